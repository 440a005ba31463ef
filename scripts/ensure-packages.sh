#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kavrosa need, if any
# are missing. Through sudo when not root.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  libsdl2-dev libglm-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libimgui-dev libstb-dev libx11-dev
  xvfb xauth xdotool imagemagick x11-utils
  clang libclang-rt-14-dev clang-format
  nlohmann-json3-dev libtomlplusplus-dev python3-matplotlib parallel slurm-wlm munge
  pybind11-dev python3-pybind11 python3-numpy python3-pandas
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
