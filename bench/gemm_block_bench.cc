// The real GEMM block (the kernel set in use) on one thread beside OpenBLAS's
// dgemm and sgemm (one thread) on the same square problems: the column
// form with B and with B^T (beta = 1), and the dot form (A^T).  Counter
// "GFLOPS" is 2*n^3 per call.
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "blas_peers.h"
#include "kernels/gemm/gemm_block.h"
#include "runtime/cpu.h"

namespace {

using mox2::kernels::GemmBlock;
using mox2::kernels::op_of;

template <class T>
using BlasGemm = void (*)(const char *, const char *, const std::int32_t *, const std::int32_t *,
                          const std::int32_t *, const T *, const T *, const std::int32_t *,
                          const T *, const std::int32_t *, const T *, T *, const std::int32_t *,
                          std::size_t, std::size_t);

// OpenBLAS's dgemm or sgemm on one thread (null when it is not installed).
template <class T> BlasGemm<T> openblas_gemm() {
  const mox2_bench::BlasLibrary &o = mox2_bench::openblas();
  if (o.set_threads) o.set_threads(1);
  return reinterpret_cast<BlasGemm<T>>(sizeof(T) == 8 ? o.dgemm : o.sgemm);
}

// Which operands are transposed: column form with B, with B^T, dot form.
enum Form { kColumnNN, kColumnNT, kDotTN };

template <class T> struct Problem {
  int n;
  std::vector<T> a, b, c;
  explicit Problem(int size) : n(size), a(std::size_t(n) * n), b(a.size()), c(a.size()) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<T> d(T(0.5), T(1.5));
    for (auto *v : {&a, &b, &c})
      for (T &x : *v)
        x = std::uniform_int_distribution<int>(0, 1)(gen) ? d(gen) : -d(gen);
  }
};

template <class T> void finish(benchmark::State &state, int n) {
  state.counters["GFLOPS"] =
      benchmark::Counter(2.0 * n * n * double(n), benchmark::Counter::kIsIterationInvariantRate,
                         benchmark::Counter::kIs1000);
}

template <class T> void BM_ours(benchmark::State &state) {
  const int n = int(state.range(0));
  const Form form = Form(state.range(1));
  Problem<T> p(n);
  GemmBlock<T> g{op_of(form == kDotTN),
                 op_of(form == kColumnNT),
                 n,
                 n,
                 n,
                 T(1),
                 {p.a.data(), n},
                 {p.b.data(), n},
                 T(1),
                 {p.c.data(), n}};
  for (auto _ : state) {
    mox2::kernels::gemm_block(g);
    benchmark::ClobberMemory();
  }
  finish<T>(state, n);
}

template <class T> void BM_openblas(benchmark::State &state) {
  const int n = int(state.range(0));
  const Form form = Form(state.range(1));
  const BlasGemm<T> gemm = openblas_gemm<T>();
  if (!gemm) {
    state.SkipWithError("OpenBLAS not found");
    return;
  }
  Problem<T> p(n);
  const char ta = form == kDotTN ? 'T' : 'N', tb = form == kColumnNT ? 'T' : 'N';
  const T one = 1;
  for (auto _ : state) {
    gemm(&ta, &tb, &n, &n, &n, &one, p.a.data(), &n, p.b.data(), &n, &one, p.c.data(), &n, 1, 1);
    benchmark::ClobberMemory();
  }
  finish<T>(state, n);
}

void shapes(benchmark::internal::Benchmark *b) {
  b->ArgNames({"n", "form"})->Unit(benchmark::kMillisecond)->MinTime(0.3);
  for (int form : {kColumnNN, kColumnNT, kDotTN})
    for (int n : {64, 256, 1000, 2000})
      b->Args({n, form});
}

BENCHMARK(BM_ours<double>)->Apply(shapes);
BENCHMARK(BM_openblas<double>)->Apply(shapes);
BENCHMARK(BM_ours<float>)->Apply(shapes);
BENCHMARK(BM_openblas<float>)->Apply(shapes);

} // namespace

BENCHMARK_MAIN();
