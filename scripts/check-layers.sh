#!/usr/bin/env bash
# Checks that the code under src/ keeps its layers: every #include "..." points to the including
# file's own layer or one below it, never up. Also keeps the system interfaces that have a
# platform stand-in inside the platform. Reads sources only (no build); exits non-zero naming each
# offending file and line. Usage: scripts/check-layers.sh [source root, default the repository's src/]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
src=${1:-$root/src}
src=${src%/}
# How messages name a file: "src/files/X.cpp" for the repository's tree, else the given folder.
shown=src
[ $# -ge 1 ] && shown=$src

# The layers, lowest first, as folders (or files) relative to src/. A file belongs to the longest
# entry its path starts with; a file in no entry is an error, so a new folder gets its place here.
# A layer may include itself and anything listed before it.
#   platform        Qt-free stand-ins of the platform. logging sits below foundation so that
#                   foundation (preferences) may log; darwin uses foundation's types.
#   util, files     helpers and the file-system model over the platform.
#   rename/rules, rename/mover, find/search
#                   the Qt-free engines of two window families: they build without Qt (the
#                   sanitizer build tests them), so they sit under every Qt layer. The mover
#                   is the one way every window renames an item.
#   crashreporter, beacon/*
#                   the crash reporter and the telemetry libraries: platform only, never Qt or
#                   the application.
#   appkit, shell   the Qt stand-ins, then the application delegate, global store and menus.
#   rename, info, list, find
#                   the window families; list and find open the renamer, nothing opens list or
#                   find, so rename is lowest.
#   app             the composition root, which builds every service and window.
#   main.cpp        the entry.
layers=(
  platform/dispatch
  platform/store
  platform/logging
  platform/foundation
  platform/darwin
  platform/security
  platform/net
  util
  files
  rename/rules
  rename/mover
  find/search
  crashreporter
  beacon/core
  beacon/analytics
  beacon/crashes
  appkit
  shell
  rename
  info
  list
  find
  app
  main.cpp
)

# System headers whose calls have a stand-in under platform/ (the account databases, directory
# listings, raw system calls): only the platform and the crash reporter, whose crash-time code
# makes raw system calls by design, include them.
platform_only_headers='pwd\.h|grp\.h|dirent\.h|sys/syscall\.h'
platform_only_paths='platform/|crashreporter/'

[ -d "$src" ] || { echo "check-layers: no source folder at $src" >&2; exit 2; }
cd "$src"

# One awk pass over: the layer table, every file name under src/, then every include line.
{
  for i in "${!layers[@]}"; do printf 'L\t%s\t%s\n' "$i" "${layers[$i]}"; done
  find . -type f | sed 's|^\./||; s|^|F\t|'
  grep -rnE --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' \
       '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' . | sed 's|^\./||; s|^|I\t|' || true
} | awk -F'\t' -v headers="$platform_only_headers" -v allowed="$platform_only_paths" -v shown="$shown/" '
  # The index of the longest layer entry `path` starts with; -1 when none.
  function layerOf(path,    i, best, bestLength) {
    best = -1; bestLength = 0
    for (i = 0; i < count; i++)
      if ((path == name[i] || index(path, name[i] "/") == 1) && length(name[i]) > bestLength) {
        best = i; bestLength = length(name[i])
      }
    return best
  }
  function dirOf(path) { return path ~ /\// ? substr(path, 1, match(path, /\/[^\/]*$/) - 1) : "" }
  function inDir(dir, file) { return dir == "" ? file : dir "/" file }
  $1 == "L" { name[$2] = $3; count++; next }
  $1 == "F" {
    present[$2] = 1
    if ($2 ~ /\.(h|hpp|c|cpp)$/) {
      fileLayer[$2] = layerOf($2)
      files++
      if (fileLayer[$2] < 0) {
        printf "%s%s: in no layer: add its folder to the order in scripts/check-layers.sh\n", shown, $2
        failed++
      } else {
        perLayer[fileLayer[$2]]++
      }
    }
    next
  }
  $1 == "I" {
    # "file:line:text"; file names under src/ hold no colon.
    text = substr($0, 3)
    file = substr(text, 1, index(text, ":") - 1); text = substr(text, length(file) + 2)
    line = substr(text, 1, index(text, ":") - 1); text = substr(text, length(line) + 2)
    if (text ~ /include[[:space:]]*</) {
      match(text, /<[^>]*>/); header = substr(text, RSTART + 1, RLENGTH - 2)
      if (header ~ "^(" headers ")$" && file !~ "^(" allowed ")") {
        printf "%s%s:%s: includes <%s>: only the platform calls this system interface; use its stand-in under platform/\n", shown, file, line, header
        failed++
      }
      system_includes++
      next
    }
    match(text, /"[^"]*"/); target = substr(text, RSTART + 1, RLENGTH - 2)
    includes++
    dir = dirOf(file)
    # A name beside the including file (or a header uic generates from a form beside it) is
    # the same folder; anything else is a path from src/ (or from build/src/ for generated ones).
    if (inDir(dir, target) in present) { same++; next }
    if (target ~ /^ui_[^\/]+\.h$/ && inDir(dir, substr(target, 4, length(target) - 5) ".ui") in present) { same++; next }
    # A path that names no file under src/ is a generated header (build/src/...): its folder
    # still places it.
    from = (file in fileLayer) ? fileLayer[file] : layerOf(file); to = layerOf(target)
    if (from < 0) next
    if (to < 0) {
      printf "%s%s:%s: includes \"%s\", which is in no layer: add its folder to the order in scripts/check-layers.sh\n", shown, file, line, target
      failed++
      next
    }
    if (to > from) {
      printf "%s%s:%s: includes \"%s\": layer %s (%d) may not include the higher layer %s (%d)\n", shown, file, line, target, name[from], from + 1, name[to], to + 1
      failed++
    }
  }
  END {
    printf "check-layers: %d layers, lowest first (source files in each):", count
    for (i = 0; i < count; i++) printf " %s(%d)", name[i], perLayer[i]
    printf "\ncheck-layers: %d quoted includes in %d files (%d in the same folder), %d system includes\n", includes, files, same, system_includes
    if (failed) { printf "check-layers: FAILED, %d include(s) break the layer order\n", failed; exit 1 }
    print "check-layers: ok, every include points down or stays in its layer"
  }'
