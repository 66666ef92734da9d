#!/usr/bin/env bash
# mox2 as a user gets it: the build installed into a fresh prefix, and the
# examples built and run against that tree alone: the C demo with
# pkg-config, the C++ example and the Fortran examples as CMake projects
# that find_package(mox2).
#
#   installed_tree.sh BUILD_DIR SOURCE_DIR WORK_DIR LIBDIR CC CXX [FC]
set -euo pipefail
build=$1 source=$2 work=$3 libdir=$4 cc=$5 cxx=$6 fc=${7:-}

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log"

echo "== C, with pkg-config"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --modversion mox2_isa)" = "$(pkg-config --modversion mox2_blas)" ]
read -r -a flags <<< "$(pkg-config --cflags --libs mox2_isa)"
"$cc" -std=c11 -Wall -Wextra -o "$work/demo" "$source/examples/demo.c" "${flags[@]}" \
  -Wl,-rpath,"$(pkg-config --variable=libdir mox2_isa)"
"$work/demo" | tee "$work/demo.txt"
grep -q "ALL(M) = F, ANY(M) = T, COUNT(M) = 9" "$work/demo.txt"

configure_and_build() { # project folder, build folder, compiler settings
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
    "${@:3}" > "$2.log" || { cat "$2.log"; return 1; }
  cmake --build "$2" > "$2.build.log" || { cat "$2.build.log"; return 1; }
}

echo "== C++, with CMake's find_package"
configure_and_build "$source/examples/cxx" "$work/cxx" -DCMAKE_CXX_COMPILER="$cxx"
"$work/cxx/mox2_cxx_example"

if [ -n "$fc" ]; then
  echo "== Fortran, with CMake's find_package: the module mox2, and gfortran -fexternal-blas"
  configure_and_build "$source/examples/fortran" "$work/fortran" -DCMAKE_Fortran_COMPILER="$fc"
  "$work/fortran/module_example"
  env -u LD_BIND_NOW LD_DEBUG=bindings LD_DEBUG_OUTPUT="$work/bindings" \
    "$work/fortran/external_blas"
  grep -q "to $prefix/$libdir/libmox2_blas.so.2 \[0\]: normal symbol \`dgemm_'" "$work"/bindings.* ||
    { echo "MATMUL did not call libmox2_blas's dgemm_"; exit 1; }
fi
