#!/usr/bin/env bash
# The files compiled for the wider vector units may define only the functions the dispatch
# calls: an inline function or template they instantiated with external linkage could be
# the copy the linker keeps for every caller, and run AVX instructions on any processor.
# Arguments: the object files of the simulation library.
set -euo pipefail
status=0
checked=0
for object in "$@"; do
  case "$object" in
    *avx2_kernels.cpp.o | *avx512_kernels.cpp.o) ;;
    *) continue ;;
  esac
  checked=$((checked + 1))
  # Global (T) symbols must be the exported kernels; no weak (W, V) or unique (u) ones but
  # the pointer to the C++ exception personality that instrumented builds emit (data, the
  # same in every file, never code of a wider unit).
  shared=$(nm -C --defined-only "$object" |
    awk '$3 != "DW.ref.__gxx_personality_v0" && ($2 ~ /^[WVu]$/ || ($2 == "T" && $0 !~ / kav::[a-zA-Z]+(Avx2|Avx512)\(/))')
  if [ -n "$shared" ]; then
    echo "$object defines symbols another file could link to:" >&2
    echo "$shared" >&2
    status=1
  fi
done
if [ "$checked" -eq 0 ]; then
  echo "no wider-unit kernel objects on this processor; nothing to check"
  exit 77
fi
exit $status
