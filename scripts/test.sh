#!/usr/bin/env bash
# Installs what is missing, builds and runs every test suite:
#   1. the whole tree with g++ (GUI suites offscreen);
#   2. the Qt-free modules with clang under ASan and UBSan;
#   3. each libFuzzer target on its seed corpus for a short while (ML_FUZZ_SECONDS, default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ML_JOBS:-$(nproc)}
fuzz_seconds=${ML_FUZZ_SECONDS:-30}
export QT_QPA_PLATFORM=offscreen

bash "$root/scripts/install-deps.sh"

echo "== g++ build and tests (${SECONDS}s)"
bash "$root/scripts/build.sh" app
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== clang ASan+UBSan build and tests (${SECONDS}s)"
bash "$root/scripts/build.sh" asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j "$jobs")

echo "== fuzz targets (${fuzz_seconds}s each, $jobs at a time)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
echo "== all tests passed in ${SECONDS}s; CPU time of the shell and its children:"
times
