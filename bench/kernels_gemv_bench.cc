// The serial GEMV kernels beside the reference BLAS and single-threaded
// OpenBLAS, in the same run: y := alpha*op(A)*x + beta*y on square
// matrices, REAL(8) 'N' and 'T', and the other precisions at n = 1000.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

#include <benchmark/benchmark.h>

#include "kernels/kernels.h"

namespace {

using i32 = std::int32_t;

template <class T>
using Gemv = void (*)(const char *, const i32 *, const i32 *, const T *, const T *, const i32 *,
                      const T *, const i32 *, const T *, T *, const i32 *, std::size_t);

void *open_blas(const char *path, bool one_thread) {
  void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (h && one_thread) {
    auto set_threads = reinterpret_cast<void (*)(int)>(dlsym(h, "openblas_set_num_threads"));
    if (set_threads) set_threads(1);
  }
  return h;
}
void *reference_library() {
  static void *h = open_blas("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", false);
  return h;
}
void *openblas_library() {
  static void *h = open_blas("/usr/lib/x86_64-linux-gnu/openblas-pthread/libblas.so.3", true);
  return h;
}

template <class T> const char *gemv_name();
template <> const char *gemv_name<float>() { return "sgemv_"; }
template <> const char *gemv_name<double>() { return "dgemv_"; }
template <> const char *gemv_name<mox2::c8>() { return "cgemv_"; }
template <> const char *gemv_name<mox2::c16>() { return "zgemv_"; }

template <class T> Gemv<T> reference() {
  void *h = reference_library();
  return h ? reinterpret_cast<Gemv<T>>(dlsym(h, gemv_name<T>())) : nullptr;
}
template <class T> Gemv<T> openblas() {
  void *h = openblas_library();
  return h ? reinterpret_cast<Gemv<T>>(dlsym(h, gemv_name<T>())) : nullptr;
}
template <class T> Gemv<T> mox2_kernel();
template <> Gemv<float> mox2_kernel<float>() { return __f___zo_pp_sgemv_; }
template <> Gemv<double> mox2_kernel<double>() { return __f___zo_pp_dgemv_; }
template <> Gemv<mox2::c8> mox2_kernel<mox2::c8>() { return __f___zo_pp_cgemv_; }
template <> Gemv<mox2::c16> mox2_kernel<mox2::c16>() { return __f___zo_pp_zgemv_; }

template <class T> T value(std::mt19937_64 &gen) {
  std::uniform_real_distribution<double> dist(-1, 1);
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(dist(gen));
  else
    return T{static_cast<decltype(T::re)>(dist(gen)), static_cast<decltype(T::re)>(dist(gen))};
}

template <class T> T one() {
  if constexpr (std::is_floating_point_v<T>)
    return 1;
  else
    return T{1, 0};
}

// The operands start `offset` bytes past an 8-byte boundary (4: the case
// of the alignment-safe kernels).
template <class T, Gemv<T> (*Which)()>
void gemv(benchmark::State &state, char trans, std::size_t offset = 0, i32 incy = 1) {
  Gemv<T> f = Which();
  if (!f) {
    state.SkipWithError("library not available");
    return;
  }
  const i32 n = static_cast<i32>(state.range(0)), inc = 1;
  std::mt19937_64 gen(42);
  const std::size_t count = static_cast<std::size_t>(n) * n + (1 + incy) * n;
  std::vector<double> storage((count * sizeof(T) + offset) / sizeof(double) + 1);
  char *base = reinterpret_cast<char *>(storage.data()) + offset;
  for (std::size_t i = 0; i < count; ++i) {
    T v = value<T>(gen);
    std::memcpy(base + i * sizeof(T), &v, sizeof v);
  }
  T *a = reinterpret_cast<T *>(base), *x = a + static_cast<std::size_t>(n) * n, *y = x + n;
  const T alpha = value<T>(gen), beta = one<T>(); // beta = 1: no scaling pass
  for (auto _ : state) {
    f(&trans, &n, &n, &alpha, a, &n, x, &inc, &beta, y, &incy, 1);
    benchmark::DoNotOptimize(y);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n) * n);
  // Complex elements count as four multiplications and four additions.
  const double flops = std::is_floating_point_v<T> ? 2.0 : 8.0;
  state.counters["GFLOPS"] =
      benchmark::Counter(flops * n * n * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

#define MOX2_GEMV_BENCH_(type, name, trans)                                                        \
  void mox2_##name(benchmark::State &s) { gemv<type, mox2_kernel<type>>(s, trans); }               \
  void reference_##name(benchmark::State &s) { gemv<type, reference<type>>(s, trans); }            \
  void openblas_##name(benchmark::State &s) { gemv<type, openblas<type>>(s, trans); }
MOX2_GEMV_BENCH_(double, dgemv_N, 'N')
MOX2_GEMV_BENCH_(double, dgemv_T, 'T')
MOX2_GEMV_BENCH_(float, sgemv_N, 'N')
MOX2_GEMV_BENCH_(float, sgemv_T, 'T')
MOX2_GEMV_BENCH_(mox2::c8, cgemv_N, 'N')
MOX2_GEMV_BENCH_(mox2::c8, cgemv_C, 'C')
MOX2_GEMV_BENCH_(mox2::c16, zgemv_N, 'N')
MOX2_GEMV_BENCH_(mox2::c16, zgemv_C, 'C')

BENCHMARK(mox2_dgemv_N)->Arg(256)->Arg(1000);
BENCHMARK(reference_dgemv_N)->Arg(256)->Arg(1000);
BENCHMARK(openblas_dgemv_N)->Arg(256)->Arg(1000);
BENCHMARK(mox2_dgemv_T)->Arg(256)->Arg(1000);
BENCHMARK(reference_dgemv_T)->Arg(256)->Arg(1000);
BENCHMARK(openblas_dgemv_T)->Arg(256)->Arg(1000);
// The alignment-safe kernels on data 4 bytes off 8-byte alignment.
Gemv<double> mox2_dgemv_don() { return __f___zo_dgemv_don_; }
Gemv<mox2::c16> mox2_zgemv_don() { return __f___zo_zgemv_don_; }
void mox2_dgemv_don_N(benchmark::State &s) { gemv<double, mox2_dgemv_don>(s, 'N', 4); }
void mox2_dgemv_don_T(benchmark::State &s) { gemv<double, mox2_dgemv_don>(s, 'T', 4); }
void mox2_zgemv_don_N(benchmark::State &s) { gemv<mox2::c16, mox2_zgemv_don>(s, 'N', 4); }
void mox2_zgemv_don_C(benchmark::State &s) { gemv<mox2::c16, mox2_zgemv_don>(s, 'C', 4); }
BENCHMARK(mox2_dgemv_don_N)->Arg(1000);
BENCHMARK(mox2_dgemv_don_T)->Arg(1000);
BENCHMARK(mox2_zgemv_don_N)->Arg(1000);
BENCHMARK(mox2_zgemv_don_C)->Arg(1000);

// y a row of a matrix (increment 1000), as when GEMM peels rows.
void mox2_dgemv_N_incy(benchmark::State &s) { gemv<double, mox2_kernel<double>>(s, 'N', 0, 1000); }
void reference_dgemv_N_incy(benchmark::State &s) {
  gemv<double, reference<double>>(s, 'N', 0, 1000);
}
void openblas_dgemv_N_incy(benchmark::State &s) { gemv<double, openblas<double>>(s, 'N', 0, 1000); }
BENCHMARK(mox2_dgemv_N_incy)->Arg(1000);
BENCHMARK(reference_dgemv_N_incy)->Arg(1000);
BENCHMARK(openblas_dgemv_N_incy)->Arg(1000);

#define MOX2_GEMV_BENCH_1000_(name)                                                                \
  BENCHMARK(mox2_##name)->Arg(1000);                                                               \
  BENCHMARK(reference_##name)->Arg(1000);                                                          \
  BENCHMARK(openblas_##name)->Arg(1000);
MOX2_GEMV_BENCH_1000_(sgemv_N)
MOX2_GEMV_BENCH_1000_(sgemv_T)
BENCHMARK(mox2_sgemv_T)->Arg(8000);
BENCHMARK(openblas_sgemv_T)->Arg(8000);
MOX2_GEMV_BENCH_1000_(cgemv_N)
MOX2_GEMV_BENCH_1000_(cgemv_C)
MOX2_GEMV_BENCH_1000_(zgemv_N)
MOX2_GEMV_BENCH_1000_(zgemv_C)

} // namespace

BENCHMARK_MAIN();
