#!/usr/bin/env bash
# One reference BLAS tester of Debian's libblas-test (xblat2d, xzcblat3, ...)
# run with libmox2_blas preloaded over the reference BLAS, which keeps
# serving every routine but GEMV and GEMM.  Passes when the tester reaches
# its end with no failure (computations and error exits of every routine it
# tests), its GEMV or GEMM passed, and that routine's calls reached mox2:
# the tester's symbol bound to libmox2_blas, and libmox2_blas's (lazily bound)
# call of the __f95_ entry point bound to libmox2_isa.
#
#   reference_tester.sh TESTER_DIR LIBMOX2_BLAS WORK_DIR TESTER THREADS
set -euo pipefail
dir=$1 library=$2 work=$3 tester=$4 threads=$5

case $tester in
xblat2?) p=${tester#xblat2} input=${p}blat2.in routine=${p^^}GEMV symbol=${p}gemv_ layouts=1 ;;
xblat3?) p=${tester#xblat3} input=${p}blat3.in routine=${p^^}GEMM symbol=${p}gemm_ layouts=1 ;;
x?cblat2) p=${tester:1:1} input=${p}in2 routine=cblas_${p}gemv symbol=cblas_${p}gemv layouts=2 ;;
x?cblat3) p=${tester:1:1} input=${p}in3 routine=cblas_${p}gemm symbol=cblas_${p}gemm layouts=2 ;;
*) echo "unknown tester $tester" >&2; exit 2 ;;
esac
entry=__f95_${p}${routine: -4}_
entry=${entry,,}

rm -rf "$work"
mkdir -p "$work"
cd "$work"
# The package's parameters with one size more, 33, that crosses the
# kernels' blocks of 4, 8, 16 and 32.
awk '/NUMBER OF VALUES OF N *$/ { $1 = $1 + 1; print; getline; $0 = "33 " $0 } { print }' \
  "$dir/$input" > "$input"

env -u LD_BIND_NOW LD_LIBRARY_PATH="$dir" LD_PRELOAD="$library" OMP_NUM_THREADS="$threads" \
  LD_DEBUG=bindings LD_DEBUG_OUTPUT="$work/bindings" "$dir/$tester" < "$input" > output.txt 2>&1
# The Fortran testers write their summary to the file their input names.
summary=$(cat output.txt ./*.out 2>/dev/null || true)

fail() {
  echo "$tester, $threads threads: $*"
  echo "$summary"
  exit 1
}
grep -q "END OF TESTS" <<< "$summary" || fail "the tester did not reach its end"
if grep -E "FAIL|\*\*\*\*" <<< "$summary"; then fail "failures above"; fi
[ "$(grep -c -E "$routine +PASSED THE TESTS OF ERROR-EXITS" <<< "$summary")" -eq 1 ] ||
  fail "$routine did not pass its error-exit tests"
[ "$(grep -c -E "$routine +PASSED THE .*COMPUTATIONAL TESTS" <<< "$summary")" -eq "$layouts" ] ||
  fail "$routine did not pass its computational tests"

bindings=$(cat bindings.*)
grep -q "binding file $dir/$tester \[0\] to $library \[0\]: normal symbol \`$symbol'" \
  <<< "$bindings" || fail "the tester's $symbol is not libmox2_blas's"
grep -q "binding file $library \[0\] to [^ ]*libmox2_isa.so.2 \[0\]: normal symbol \`$entry'" \
  <<< "$bindings" || fail "no call of $symbol reached $entry in libmox2_isa"
echo "$tester, $threads threads: $routine passed and ran in mox2"
