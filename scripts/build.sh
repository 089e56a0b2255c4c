#!/usr/bin/env bash
# Configures and builds one flavour of the tree. Usage: scripts/build.sh <flavour>
#   app   g++, -O2 without debug information, everything (build/; the benchmarks unless
#         ML_BENCH=OFF); the crash reporter needs only the symbol table and .eh_frame, which
#         every build keeps
#   asan  clang, Debug (-O1, asserts on), ASan + UBSan, everything including the Qt windows and
#         their suites, and the libFuzzer targets (build-asan/). Qt's own libraries are not
#         instrumented; scripts/lsan-suppressions.txt names the leaks inside them
#   tsan  clang, ThreadSanitizer, only the suites of the modules cmake/modules.txt marks "tsan"
#         (build-tsan/), with what they need
# ML_TARGETS (blank-separated) builds only those targets.
# ML_BUILD_DIR puts the flavour in another folder (several trees side by side). When ccache is
# installed every compile goes through it, so a tree made again, or a second tree of the same
# flavour, compiles only what changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-app}
jobs=${ML_JOBS:-$(nproc)}
targets=()  # all when empty
case "$flavour" in
  app)
    dir=${ML_BUILD_DIR:-$root/build}
    args=(-DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc -DCMAKE_BUILD_TYPE=Release
          -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DML_WITH_QT=ON
          -DML_BENCH="${ML_BENCH:-ON}")
    ;;
  asan)
    dir=${ML_BUILD_DIR:-$root/build-asan}
    args=(-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=Debug
          -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only"
          -DML_WITH_QT=ON -DML_SANITIZE=ON -DML_FUZZ=ON -DML_BENCH=OFF)
    ;;
  tsan)
    dir=${ML_BUILD_DIR:-$root/build-tsan}
    args=(-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=Debug
          -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only"
          -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_C_FLAGS="-fsanitize=thread"
          -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
          -DML_WITH_QT=OFF -DML_SANITIZE=OFF -DML_FUZZ=OFF -DML_BENCH=OFF -DML_SUITES=tsan)
    targets=(ml_suites)
    ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$root
  # The precompiled headers' definitions and time macros are checked by the compiler itself.
  export CCACHE_SLOPPINESS=pch_defines,time_macros
  args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
[ -n "${ML_TARGETS:-}" ] && read -r -a targets <<<"$ML_TARGETS"
cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" -j "$jobs" ${targets[@]+--target "${targets[@]}"}
