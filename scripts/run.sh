#!/usr/bin/env bash
# Installs what is missing, builds the application (only the marrowlane binary and what it needs:
# the tests and benchmarks are built by scripts/test.sh and `ML_BENCH=ON bash scripts/build.sh
# app`), and starts Marrowlane with the given files. Without a display the application runs under
# Xvfb. ML_BUILD_DIR builds and runs from another folder than build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
dir=${ML_BUILD_DIR:-$root/build}
# Configured as the test command configures the tree, so that the two share one build folder
# without configuring it again.
ML_BUILD_DIR=$dir ML_BENCH=OFF ML_TARGETS=marrowlane bash "$root/scripts/build.sh" app
app=$dir/marrowlane
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display; starting under Xvfb" >&2
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$app" "$@"
fi
exec "$app" "$@"
