#!/bin/sh
# Code compiled for AVX2 or AVX-512 must never stand in for portable code:
# no function may be defined both by an object of an avx2/ or avx512/
# folder and by any other object (the linker would keep one copy, perhaps
# the one with instructions an older CPU lacks).  Arguments: the objects.
isa=$(mktemp) && other=$(mktemp) || exit 1
trap 'rm -f "$isa" "$other"' EXIT
for o in "$@"; do
  case "$o" in
  */avx2/* | */avx512/*) nm --defined-only "$o" | awk '$2 ~ /^[TWVu]$/ { print $3 }' >>"$isa" ;;
  *) nm --defined-only "$o" | awk '$2 ~ /^[TWVu]$/ { print $3 }' >>"$other" ;;
  esac
done
both=$(sort -u "$isa" | comm -12 - "$(sort -u "$other" -o "$other" && echo "$other")")
if [ -n "$both" ]; then
  echo "functions defined by both instruction-set and portable objects:"
  echo "$both" | c++filt | head -50
  exit 1
fi
echo "instruction-set code is apart from portable code ($# objects)"
