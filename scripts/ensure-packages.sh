#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kavrosa need, if any
# are missing. Through sudo when not root.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  libsdl2-dev libglm-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libimgui-dev libstb-dev libx11-dev
  xvfb xauth xdotool imagemagick x11-utils ffmpeg
  clang libclang-rt-14-dev clang-format
  nlohmann-json3-dev libtomlplusplus-dev python3-matplotlib parallel slurm-wlm munge
  pybind11-dev python3-pybind11 python3-numpy python3-pandas jupyter-nbconvert python3-ipykernel
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

# Another apt or dpkg at work (an upgrade in the background, another user's install)
# holds its locks: wait for them, up to five minutes in all, rather than fail. apt waits
# for the dpkg lock itself when asked (DPkg::Lock::Timeout); the package lists' and the
# download folder's locks it does not wait for, so a run refused for a lock is tried again.
lock_wait=${KAVROSA_APT_LOCK_WAIT:-300}
give_up=$((SECONDS + lock_wait))
apt_get() {
  local errors status
  errors=$(mktemp)
  while true; do
    status=0
    "${as_root[@]}" env LC_ALL=C DEBIAN_FRONTEND=noninteractive \
      apt-get -o DPkg::Lock::Timeout="$lock_wait" \
      "$@" 2> "$errors" || status=$?
    if [ "$status" -ne 0 ] && grep -q "Could not get lock\|Unable to lock\|Unable to acquire" "$errors" &&
       [ "$SECONDS" -lt "$give_up" ]; then
      echo "apt is in use by another program; waiting for it ($((give_up - SECONDS)) s left)" >&2
      sleep 5
      continue
    fi
    cat "$errors" >&2
    rm -f "$errors"
    return "$status"
  done
}
apt_get update -qq
apt_get install -y -qq "${missing[@]}"
