// The serial complex GEMM kernels beside single-threaded OpenBLAS, in the
// same run: C := alpha*op(A)*B + beta*C on square matrices ('N', 'N'; and
// 'C' or 'T' with 'N' for the dot form),
// COMPLEX(8) and COMPLEX(4), with GFLOP/s (8*n^3 per product).  Also
// worth running under `env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE`.
#include <cstdint>
#include <random>
#include <type_traits>
#include <vector>

#include <benchmark/benchmark.h>

#include "blas_peers.h"
#include "kernels/kernels.h"
#include "runtime/cpu.h"

namespace {

using i32 = std::int32_t;

template <class T>
using Gemm = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *, const T *,
                      const T *, const i32 *, const T *, const i32 *, const T *, T *, const i32 *,
                      std::size_t, std::size_t);

// OpenBLAS's cgemm or zgemm on one thread (null when it is not installed).
template <class T> Gemm<T> openblas() {
  const mox2_bench::BlasLibrary &o = mox2_bench::openblas();
  if (o.set_threads) o.set_threads(1);
  return reinterpret_cast<Gemm<T>>(std::is_same_v<T, mox2::c8> ? o.cgemm : o.zgemm);
}
template <class T> Gemm<T> mox2_kernel();
template <> Gemm<mox2::c8> mox2_kernel<mox2::c8>() { return __f___zo_pp_cgemm_; }
template <> Gemm<mox2::c16> mox2_kernel<mox2::c16>() { return __f___zo_pp_zgemm_; }

template <class T, Gemm<T> (*Which)()> void gemm(benchmark::State &state, const char *ta) {
  Gemm<T> f = Which();
  if (!f) {
    state.SkipWithError("library not available");
    return;
  }
  const i32 n = static_cast<i32>(state.range(0));
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> dist(-1, 1);
  using P = decltype(T::re);
  std::vector<T> a(static_cast<std::size_t>(n) * n), b(a.size()), c(a.size());
  for (auto *v : {&a, &b, &c})
    for (T &x : *v)
      x = T{static_cast<P>(dist(gen)), static_cast<P>(dist(gen))};
  const T alpha{P(0.75), P(-0.5)}, beta{1, 0};
  for (auto _ : state) {
    f(ta, "N", &n, &n, &n, &alpha, a.data(), &n, b.data(), &n, &beta, c.data(), &n, 1, 1);
    benchmark::ClobberMemory();
  }
  double flops = 8.0 * n * n * n;
  state.counters["GFLOPS"] = benchmark::Counter(
      flops * static_cast<double>(state.iterations()) / 1e9, benchmark::Counter::kIsRate);
}

void mox2_zgemm_NN(benchmark::State &s) { gemm<mox2::c16, mox2_kernel<mox2::c16>>(s, "N"); }
void openblas_zgemm_NN(benchmark::State &s) { gemm<mox2::c16, openblas<mox2::c16>>(s, "N"); }
void mox2_cgemm_NN(benchmark::State &s) { gemm<mox2::c8, mox2_kernel<mox2::c8>>(s, "N"); }
void openblas_cgemm_NN(benchmark::State &s) { gemm<mox2::c8, openblas<mox2::c8>>(s, "N"); }
// The AVX2 kernel set on an AVX-512 machine.
template <class T> void on_avx2(benchmark::State &s) {
  mox2::force_isa(mox2::Isa::avx2);
  gemm<T, mox2_kernel<T>>(s, "N");
  mox2::force_isa(mox2::Isa::avx512);
}
void mox2_avx2_zgemm_NN(benchmark::State &s) { on_avx2<mox2::c16>(s); }
void mox2_avx2_cgemm_NN(benchmark::State &s) { on_avx2<mox2::c8>(s); }
// The dot form.
void mox2_zgemm_CN(benchmark::State &s) { gemm<mox2::c16, mox2_kernel<mox2::c16>>(s, "C"); }
void openblas_zgemm_CN(benchmark::State &s) { gemm<mox2::c16, openblas<mox2::c16>>(s, "C"); }
void mox2_cgemm_TN(benchmark::State &s) { gemm<mox2::c8, mox2_kernel<mox2::c8>>(s, "T"); }
void openblas_cgemm_TN(benchmark::State &s) { gemm<mox2::c8, openblas<mox2::c8>>(s, "T"); }

} // namespace

BENCHMARK(mox2_zgemm_NN)->Arg(64)->Arg(256)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(openblas_zgemm_NN)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(mox2_cgemm_NN)->Arg(64)->Arg(256)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(openblas_cgemm_NN)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(mox2_zgemm_CN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(openblas_zgemm_CN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(mox2_cgemm_TN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(openblas_cgemm_TN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK(mox2_avx2_zgemm_NN)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(mox2_avx2_cgemm_NN)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
