// The BLAS peers of the benchmarks, loaded by path so that nothing else can
// stand in for them, and the square problems they are measured on.
#ifndef MOX2_BENCH_BLAS_PEERS_H
#define MOX2_BENCH_BLAS_PEERS_H

#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include "mox2_isa.h"

namespace mox2_bench {

using i32 = std::int32_t;

// The BLAS calling convention, for every element type (by address).
using GemmFn = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *,
                        const void *, const void *, const i32 *, const void *, const i32 *,
                        const void *, void *, const i32 *, std::size_t, std::size_t);
using DgemvFn = void (*)(const char *, const i32 *, const i32 *, const double *, const double *,
                         const i32 *, const double *, const i32 *, const double *, double *,
                         const i32 *, std::size_t);

// One BLAS shared library; a symbol it lacks (or the whole library, when it
// is not installed) is null.  set_threads and corename exist in OpenBLAS only.
struct BlasLibrary {
  void *handle = nullptr;
  void (*set_threads)(int) = nullptr;
  char *(*corename)() = nullptr;
  GemmFn sgemm = nullptr, dgemm = nullptr, cgemm = nullptr, zgemm = nullptr;
  DgemvFn dgemv = nullptr;
};

inline BlasLibrary load_blas(const char *path) {
  BlasLibrary r;
  r.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (r.handle == nullptr) return r;
  r.set_threads = reinterpret_cast<void (*)(int)>(dlsym(r.handle, "openblas_set_num_threads"));
  r.corename = reinterpret_cast<char *(*)()>(dlsym(r.handle, "openblas_get_corename"));
  r.sgemm = reinterpret_cast<GemmFn>(dlsym(r.handle, "sgemm_"));
  r.dgemm = reinterpret_cast<GemmFn>(dlsym(r.handle, "dgemm_"));
  r.cgemm = reinterpret_cast<GemmFn>(dlsym(r.handle, "cgemm_"));
  r.zgemm = reinterpret_cast<GemmFn>(dlsym(r.handle, "zgemm_"));
  r.dgemv = reinterpret_cast<DgemvFn>(dlsym(r.handle, "dgemv_"));
  return r;
}

// OpenBLAS reads OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE when it is loaded.
inline constexpr const char *kOpenblasPath =
    "/usr/lib/x86_64-linux-gnu/openblas-pthread/libblas.so.3";
inline const BlasLibrary &openblas() {
  static const BlasLibrary o = load_blas(kOpenblasPath);
  return o;
}
inline const BlasLibrary &reference_blas() {
  static const BlasLibrary r = load_blas("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3");
  return r;
}

template <class T> T random_value(std::mt19937_64 &g) {
  std::uniform_real_distribution<double> d(-1, 1);
  if constexpr (std::is_floating_point_v<T>)
    return T(d(g));
  else
    return T{decltype(T{}.re)(d(g)), decltype(T{}.re)(d(g))};
}
template <class T> std::vector<T> random_matrix(std::size_t count) {
  std::mt19937_64 g(42);
  std::vector<T> v(count);
  for (auto &x : v)
    x = random_value<T>(g);
  return v;
}
template <class T> T scalar(double v) {
  if constexpr (std::is_floating_point_v<T>)
    return T(v);
  else
    return T{decltype(T{}.re)(v), 0};
}
// Floating-point operations per term a(i,l)*b(l,j) of a product.
template <class T> constexpr double flops_per_term() {
  return std::is_floating_point_v<T> ? 2.0 : 8.0;
}

} // namespace mox2_bench

#endif // MOX2_BENCH_BLAS_PEERS_H
