#!/usr/bin/env bash
# Checks that the code under src/ keeps to the module table (cmake/modules.txt): every #include
# "..." stays in its own module or reaches one its module may use, and a Qt-free module includes no
# Qt header. Also keeps the system interfaces that have a platform stand-in inside the platform.
# Reads sources only (no build); exits non-zero naming each offending file and line.
# Usage: scripts/check-layers.sh [source root, default the repository's src/]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
src=${1:-$root/src}
src=${src%/}
# How messages name a file: "src/files/X.cpp" for the repository's tree, else the given folder.
shown=src
[ $# -ge 1 ] && shown=$src

# The modules and what each may use come from the table (cmake/modules.txt, or ML_MODULE_TABLE):
# a file belongs to the module with the longest folder its path starts with, and may include
# files of its own module and of every module its module reaches through the table's "uses". A
# file in no module is an error, so a new folder gets its line in the table. A Qt-free module
# includes no Qt header.
table=${ML_MODULE_TABLE:-$root/cmake/modules.txt}
[ -f "$table" ] || { echo "check-layers: no module table at $table" >&2; exit 2; }
table_shown=${table#"$root"/}

# System headers whose calls have a stand-in under platform/ (the account databases, directory
# listings, raw system calls): only the platform and the crash reporter, whose crash-time code
# makes raw system calls by design, include them.
platform_only_headers='pwd\.h|grp\.h|dirent\.h|sys/syscall\.h'
platform_only_paths='platform/|crashreporter/'

[ -d "$src" ] || { echo "check-layers: no source folder at $src" >&2; exit 2; }
cd "$src"

# One awk pass over: the module table, every file name under src/, then every include line.
{
  grep -vE '^[[:space:]]*(#|$)' "$table" | awk '{ printf "M"; for (i = 1; i <= NF; i++) printf "\t%s", $i; print "" }'
  find . -type f | sed 's|^\./||; s|^|F\t|'
  grep -rnE --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' \
       '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' . | sed 's|^\./||; s|^|I\t|' || true
} | awk -F'\t' -v headers="$platform_only_headers" -v allowed="$platform_only_paths" -v shown="$shown/" -v table="$table_shown" '
  # The module whose folder is the longest that `path` starts with; "" when none.
  function moduleOf(path,    m, best, bestLength) {
    best = ""; bestLength = 0
    for (m in folder)
      if ((path == folder[m] || index(path, folder[m] "/") == 1) && length(folder[m]) > bestLength) {
        best = m; bestLength = length(folder[m])
      }
    return best
  }
  # Marks in reach[from, m] every module `from` reaches through "uses", itself included.
  function reachFrom(from, m,    i, n, used) {
    if ((from, m) in reach) return
    reach[from, m] = 1
    n = split(uses[m], used, " ")
    for (i = 1; i <= n; i++) reachFrom(from, used[i])
  }
  function dirOf(path) { return path ~ /\// ? substr(path, 1, match(path, /\/[^\/]*$/) - 1) : "" }
  function inDir(dir, file) { return dir == "" ? file : dir "/" file }
  $1 == "M" {
    # module, folder, qt, tsan, uses...
    folder[$2] = $3; qt[$2] = $4; uses[$2] = ""
    for (i = 6; i <= NF; i++) if ($i != "-") uses[$2] = uses[$2] " " $i
    order[count++] = $2
    next
  }
  $1 == "F" {
    if (!tableRead) {
      tableRead = 1
      for (m in folder) {
        reachFrom(m, m)
        n = split(uses[m], used, " ")
        for (i = 1; i <= n; i++)
          if (!(used[i] in folder)) { printf "%s: %s uses %s, which has no line of its own\n", table, m, used[i]; failed++ }
      }
    }
    present[$2] = 1
    if ($2 ~ /\.(h|hpp|c|cpp)$/) {
      fileModule[$2] = moduleOf($2)
      files++
      if (fileModule[$2] == "") {
        printf "%s%s: in no module: give its folder a line in %s\n", shown, $2, table
        failed++
      } else {
        perModule[fileModule[$2]]++
      }
    }
    next
  }
  $1 == "I" {
    # "file:line:text"; file names under src/ hold no colon.
    text = substr($0, 3)
    file = substr(text, 1, index(text, ":") - 1); text = substr(text, length(file) + 2)
    line = substr(text, 1, index(text, ":") - 1); text = substr(text, length(line) + 2)
    from = (file in fileModule) ? fileModule[file] : moduleOf(file)
    if (text ~ /include[[:space:]]*</) {
      match(text, /<[^>]*>/); header = substr(text, RSTART + 1, RLENGTH - 2)
      if (header ~ "^(" headers ")$" && file !~ "^(" allowed ")") {
        printf "%s%s:%s: includes <%s>: only the platform calls this system interface; use its stand-in under platform/\n", shown, file, line, header
        failed++
      }
      if (from != "" && qt[from] != "yes" && header ~ /^Q[A-Za-z]*(\/|$)|^Qt[A-Za-z]*\//) {
        printf "%s%s:%s: includes <%s>, but %s is a Qt-free module in %s\n", shown, file, line, header, from, table
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
    if (from == "") next
    to = moduleOf(target)
    if (to == "") {
      printf "%s%s:%s: includes \"%s\", which is in no module: give its folder a line in %s\n", shown, file, line, target, table
      failed++
      next
    }
    if (!((from, to) in reach)) {
      printf "%s%s:%s: includes \"%s\": %s (%s) may not use %s (%s); add it to what %s uses in %s if it should\n", shown, file, line, target, from, folder[from], to, folder[to], from, table
      failed++
    }
  }
  END {
    printf "check-layers: %d modules in %s (source files in each):", count, table
    for (i = 0; i < count; i++) printf " %s(%d)", folder[order[i]], perModule[order[i]]
    printf "\ncheck-layers: %d quoted includes in %d files (%d in the same folder), %d system includes\n", includes, files, same, system_includes
    if (failed) { printf "check-layers: FAILED, %d problem(s) with the module table\n", failed; exit 1 }
    print "check-layers: ok, every include stays in its module or reaches one its module may use"
  }'
