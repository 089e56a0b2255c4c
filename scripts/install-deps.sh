#!/usr/bin/env bash
# Installs every Debian package Marrowlane needs to build, test and run, toolchain included.
# Does nothing when all are present; runs `apt-get update` first only when something is missing.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config make git ca-certificates
  clang lld llvm libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # Qt 6 (Widgets, DBus, Test) and the platform plugins (only recommended by libqt6gui6)
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libx11-dev  # keys held at launch, read from the X11 keymap
  # libraries
  libprotobuf-c-dev protobuf-c-compiler libcurl4-openssl-dev libssl-dev libicu-dev
  libsqlite3-dev zlib1g-dev nlohmann-json3-dev libplist-dev
  # running windows without a display, and driving them
  xvfb xauth xdotool x11-utils fonts-dejavu-core
  # tools the tests and benchmarks call
  e2fsprogs coreutils dosfstools fusefat binutils util-linux libc6-dbg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
