#!/bin/sh
# Every product in the library rounds on its own: the library must hold no
# fused multiply-add instruction (GCC emits them from AVX-512 code even
# under -ffp-contract=off, e.g. for complex products; aarch64 GCC fuses by
# default).  x86-64: vfmadd, vfmsub, vfnmadd, vfnmsub and their kin;
# aarch64: fmadd, fmsub, fnmadd, fnmsub, fmla, fmls (scalar, NEON, SVE's
# fmad, fmsb, fnmla, ...) and the widening fmlal, fmlsl, bfmlal.
# Arguments: the library, then the target's objdump (objdump by default).
# Lists the functions that hold one, and fails.
objdump=${2:-objdump}
listing=$("$objdump" -d --no-show-raw-insn -C "$1") || exit 1
found=$(echo "$listing" |
  awk '/^[0-9a-f]+ <.*>:$/ { fn = $0 }
       /\t(v?fn?m(add|sub)|fn?m(la|ls|ad|sb)\t|b?fml[as]l)/ { print fn ": " $0 }')
if [ -n "$found" ]; then
  echo "fused multiply-add instructions in $1:"
  echo "$found" | head -50
  exit 1
fi
echo "no fused multiply-add in $1"
