#!/bin/sh
# Every product in the library rounds on its own: the library must hold no
# fused multiply-add instruction (GCC emits them from AVX-512 code even
# under -ffp-contract=off, e.g. for complex products).  Lists the functions
# that hold one, and fails.
found=$(objdump -d --no-show-raw-insn -C "$1" |
  awk '/^[0-9a-f]+ <.*>:$/ { fn = $0 } /\tv?f(n)?m(add|sub)/ { print fn ": " $0 }')
if [ -n "$found" ]; then
  echo "fused multiply-add instructions in $1:"
  echo "$found" | head -50
  exit 1
fi
echo "no fused multiply-add in $1"
