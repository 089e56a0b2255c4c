#!/usr/bin/env bash
# Installs what is missing, builds and runs every test suite:
#   1. the whole tree with g++ (GUI suites offscreen);
#   2. the whole tree with clang under ASan and UBSan (Debug: asserts on, so the thread rules the
#      windows assert are checked too; GUI suites offscreen);
#   2b. the suites cmake/modules.txt marks "tsan" with clang under ThreadSanitizer;
#   3. when run as root, the Qt-free suites and the files, info and list suites once more as an
#      ordinary user (ML_TEST_USER, default "marrowlane-test", created when missing): root passes
#      every permission check and so hides what an ordinary user meets;
#   4. each libFuzzer target on its seed corpus for a short while (ML_FUZZ_SECONDS, default 8:
#      a smoke run that replays the seeds and explores briefly; long runs happen outside CI).
# Before anything is built, every include is checked against the module table; before any suite
# runs, the crash path's objects are checked for allocation, locks and stdio.
#
# The suites of one flavour run while the next flavour builds: many of them wait on child
# processes, servers and timers, and the build takes the cores they leave. Each stage's output
# is printed when it ends, with its time; at the end, a table of every stage's time and the
# CPU time of the whole run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ML_JOBS:-$(nproc)}
# Many suites spend most of their time waiting on child processes, servers and timers: twice as
# many suites as cores keep the cores busy (ML_TEST_JOBS overrides).
test_jobs=${ML_TEST_JOBS:-$((2 * jobs))}
fuzz_seconds=${ML_FUZZ_SECONDS:-8}
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
restore_modes=()  # "mode dir" pairs to put back on exit
background=()     # stages running in the background, killed if the run stops early
cleanup() {
  local entry pid
  for pid in "${background[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
  for entry in "${restore_modes[@]}"; do chmod "${entry%% *}" "${entry#* }"; done
  rm -rf "$work"
}
trap cleanup EXIT

# Every stage's time, printed as a table at the end.
timings=()
timed() {  # timed <name> <command...>: runs a stage in the foreground and records its time
  local name=$1 start=$SECONDS
  shift
  echo "== $name (${SECONDS}s)"
  "$@"
  timings+=("$(printf '%-44s %5ds' "$name" $((SECONDS - start)))")
}
# A stage in the background: its output goes to $work/<id>.log, its status to $work/<id>.rc and
# its time to $work/<id>.time. Started in a process group of its own, so that it can be stopped
# whole.
start_stage() {  # start_stage <id> <command...>
  local id=$1
  shift
  set -m
  (
    begin=$SECONDS
    status=0
    "$@" >"$work/$id.log" 2>&1 || status=$?
    echo $((SECONDS - begin)) >"$work/$id.time"
    echo "$status" >"$work/$id.rc"
  ) &
  set +m
  background+=($!)
  eval "pid_$id=$!"
}
finish_stage() {  # finish_stage <id> <name>: waits for it, prints its output and time; stops the run when it failed
  local id=$1 name=$2 pid_var="pid_$1"
  wait "${!pid_var}" || true
  echo "== $name"
  cat "$work/$id.log"
  timings+=("$(printf '%-44s %5ds' "$name" "$(cat "$work/$id.time")")")
  if [ "$(cat "$work/$id.rc")" != 0 ]; then
    echo "== $name failed"
    exit 1
  fi
  echo "-- $name: $(cat "$work/$id.time")s"
}

timed "install" bash "$root/scripts/install-deps.sh"
timed "includes against the module table" bash "$root/scripts/check-layers.sh"

# The benchmarks are not part of the test command: the g++ tree is built without them here
# (`ML_BENCH=ON bash scripts/build.sh app` makes them).
timed "g++ build" env ML_BENCH=OFF bash "$root/scripts/build.sh" app
timed "crash path objects" bash "$root/scripts/check-crash-path.sh" "$root/build"
start_stage gxx_tests ctest --test-dir "$root/build" --output-on-failure -j "$test_jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt, fontconfig and the X and GL libraries are not instrumented and keep caches for the life of
# the process; the file names only leaks whose allocation lies wholly in such system libraries.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0"
timed "clang ASan+UBSan build (beside the g++ tests)" bash "$root/scripts/build.sh" asan
finish_stage gxx_tests "g++ tests"
start_stage asan_tests ctest --test-dir "$root/build-asan" --output-on-failure -j "$test_jobs"

# The flavour makes only the suites the module table marks.
timed "clang ThreadSanitizer build (beside the ASan tests)" bash "$root/scripts/build.sh" tsan
finish_stage asan_tests "ASan+UBSan tests"
# A report fails its test at once.
timed "ThreadSanitizer tests" env TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir "$root/build-tsan" --output-on-failure -j "$test_jobs"


# The test folders of the g++ tree to run again as an ordinary user: every suite of a Qt-free
# module (the list CMake writes from the module table), and the files, info and list suites.
unprivileged_dirs() {
  cat "$root/build/qt-free-suites.txt"
  printf '%s\n' tests/files tests/info tests/list
}

unprivileged_start=$SECONDS
if [ "$(id -u)" -ne 0 ]; then
  echo "== the suites ran as an ordinary user ($(id -un)) already: no second run"
else
  user=${ML_TEST_USER:-marrowlane-test}
  echo "== Qt-free, files, info and list suites again as the ordinary user $user (${SECONDS}s)"
  if ! id "$user" >/dev/null 2>&1; then
    useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
  fi
  home=$work/home
  mkdir -p "$home/tmp" "$home/runtime"
  chmod 700 "$home/runtime"
  chown -R "$user:" "$home"
  chmod 755 "$work"
  as_user() {
    setpriv --reuid="$user" --regid="$user" --init-groups -- \
      env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME -u XDG_STATE_HOME \
      HOME="$home" TMPDIR="$home/tmp" XDG_RUNTIME_DIR="$home/runtime" ML_TEST_USER="$user" "$@"
  }
  # The user must reach the build tree: a folder on the way that others may not search gets that
  # right for the run (it is taken back on exit).
  dir=$root/build
  while [ "$dir" != / ]; do
    dir=$(dirname "$dir")
    if [ "$(( 0$(stat -c %a "$dir") & 1 ))" -eq 0 ]; then
      restore_modes+=("$(stat -c %a "$dir") $dir")
      chmod o+x "$dir"
    fi
  done
  # The first run wrote the lists of tests; ctest writes only its logs under Testing/.
  mapfile -t dirs < <(unprivileged_dirs | sort -u)
  for d in "${dirs[@]}"; do
    mkdir -p "$root/build/$d/Testing"
    chown -R "$user" "$root/build/$d/Testing"
  done
  for d in "${dirs[@]}"; do
    log=$work/unprivileged.log
    status=0
    as_user ctest --output-on-failure -j "$test_jobs" --test-dir "$root/build/$d" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
      cat "$log"
      echo "== $d failed as the ordinary user $user"
      exit 1
    fi
    echo "-- $d: $(grep -E '% tests passed' "$log")"
    # Each skipped test with the reason it gave ("<test>: needs root").
    awk '/^\[ RUN      \]/ { test = $4 } skip { print "   skipped " test ": " $0; skip = 0 } /: Skipped$/ { skip = 1 }' \
      "$root/build/$d/Testing/Temporary/LastTest.log"
  done
  timings+=("$(printf '%-44s %5ds' "ordinary user" $((SECONDS - unprivileged_start)))")
fi

fuzz_start=$SECONDS
echo "== fuzz targets (${fuzz_seconds}s each, $jobs at a time) (${SECONDS}s)"
# Runs one target on a scratch copy of its corpus; its output goes to $work/<target>.log.
fuzz_one() {
  local target=$1 seconds=$fuzz_seconds
  # A target may ask for a longer run in fuzz/corpus/<target>.seconds.
  [ -f "$root/fuzz/corpus/$target.seconds" ] && seconds=$(cat "$root/fuzz/corpus/$target.seconds")
  mkdir -p "$work/$target"
  local seeds=()
  [ -d "$root/fuzz/corpus/$target" ] && seeds=("$root/fuzz/corpus/$target")
  "$root/build-asan/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/$target-" "$work/$target" "${seeds[@]}" >"$work/$target.log" 2>&1
  echo $? >"$work/$target.rc"
}
names=()
failed=0
while read -r target; do
  [ -n "$target" ] || continue
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$target" &
  names+=("$target")
done < "$root/build-asan/fuzzers.txt"
wait
for name in "${names[@]}"; do
  if [ "$(cat "$work/$name.rc" 2>/dev/null)" = 0 ]; then
    echo "-- $name: $(grep -h 'number_of_executed_units' "$work/$name.log" | awk '{print $2}') runs, clean"
  else
    echo "-- $name: FAILED"; tail -n 60 "$work/$name.log"; failed=1
  fi
done
[ "$failed" -eq 0 ] || { echo "== a fuzz target failed"; exit 1; }
timings+=("$(printf '%-44s %5ds' "fuzz targets" $((SECONDS - fuzz_start)))")
echo "== all tests passed in ${SECONDS}s. Each stage (the g++ tests ran beside the ASan build, the"
echo "   ASan tests beside the ThreadSanitizer build):"
printf '   %s\n' "${timings[@]}"
echo "   CPU time of the shell (first line) and its children (second line), user and system:"
times
