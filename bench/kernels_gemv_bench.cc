// The serial GEMV kernel beside the reference BLAS and single-threaded
// OpenBLAS, in the same run: y := alpha*op(A)*x + beta*y on square REAL(8)
// matrices, 'N' and 'T'.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "kernels/kernels.h"

namespace {

using i32 = std::int32_t;
using Dgemv = void (*)(const char *, const i32 *, const i32 *, const double *, const double *,
                       const i32 *, const double *, const i32 *, const double *, double *,
                       const i32 *, std::size_t);

Dgemv load_dgemv(const char *path, bool one_thread) {
  void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!h) return nullptr;
  if (one_thread) {
    auto set_threads = reinterpret_cast<void (*)(int)>(dlsym(h, "openblas_set_num_threads"));
    if (set_threads) set_threads(1);
  }
  return reinterpret_cast<Dgemv>(dlsym(h, "dgemv_"));
}

Dgemv reference() {
  static Dgemv f = load_dgemv("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", false);
  return f;
}
Dgemv openblas() {
  static Dgemv f = load_dgemv("/usr/lib/x86_64-linux-gnu/openblas-pthread/libblas.so.3", true);
  return f;
}
Dgemv mox2_kernel() { return __f___zo_pp_dgemv_; }

template <Dgemv (*Which)()> void gemv(benchmark::State &state, char trans) {
  Dgemv f = Which();
  if (!f) {
    state.SkipWithError("library not available");
    return;
  }
  const i32 n = static_cast<i32>(state.range(0)), one = 1;
  std::mt19937_64 gen(42);
  std::uniform_real_distribution<double> dist(-1, 1);
  std::vector<double> a(static_cast<std::size_t>(n) * n), x(n), y(n);
  for (double &v : a)
    v = dist(gen);
  for (double &v : x)
    v = dist(gen);
  for (double &v : y)
    v = dist(gen);
  const double alpha = 0.75, beta = 1.0;
  for (auto _ : state) {
    f(&trans, &n, &n, &alpha, a.data(), &n, x.data(), &one, &beta, y.data(), &one, 1);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n) * n);
  state.counters["GFLOPS"] =
      benchmark::Counter(2.0 * n * n * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

void mox2_N(benchmark::State &s) { gemv<mox2_kernel>(s, 'N'); }
void reference_N(benchmark::State &s) { gemv<reference>(s, 'N'); }
void openblas_N(benchmark::State &s) { gemv<openblas>(s, 'N'); }
void mox2_T(benchmark::State &s) { gemv<mox2_kernel>(s, 'T'); }
void reference_T(benchmark::State &s) { gemv<reference>(s, 'T'); }
void openblas_T(benchmark::State &s) { gemv<openblas>(s, 'T'); }

BENCHMARK(mox2_N)->Arg(256)->Arg(1000);
BENCHMARK(reference_N)->Arg(256)->Arg(1000);
BENCHMARK(openblas_N)->Arg(256)->Arg(1000);
BENCHMARK(mox2_T)->Arg(256)->Arg(1000);
BENCHMARK(reference_T)->Arg(256)->Arg(1000);
BENCHMARK(openblas_T)->Arg(256)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
