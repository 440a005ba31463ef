#!/usr/bin/env bash
# Configures build/, the build that ./run and ./test share: Release, warnings as errors.
# Both configure it with these options, so that either one after the other builds only
# what is missing rather than everything again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVROSA_WERROR=ON > /dev/null
