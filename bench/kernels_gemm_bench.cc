// The serial GEMM kernels beside the reference BLAS and single-threaded
// OpenBLAS, in the same run: C := alpha*op(A)*op(B) + beta*C on square
// matrices, REAL(4), REAL(8) and COMPLEX(8), for the 'NN' and 'TN' forms.
#include <dlfcn.h>

#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "kernels/kernels.h"
#include "runtime/cpu.h"

namespace {

using i32 = std::int32_t;
template <class T>
using Gemm = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *, const T *,
                      const T *, const i32 *, const T *, const i32 *, const T *, T *, const i32 *,
                      std::size_t, std::size_t);

void *open_blas(const char *path, bool one_thread) {
  void *h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (h && one_thread) {
    auto set_threads = reinterpret_cast<void (*)(int)>(dlsym(h, "openblas_set_num_threads"));
    if (set_threads) set_threads(1);
  }
  return h;
}
void *reference_blas() {
  static void *h = open_blas("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", false);
  return h;
}
void *openblas() {
  static void *h = open_blas("/usr/lib/x86_64-linux-gnu/openblas-pthread/libblas.so.3", true);
  return h;
}

template <class T> struct Names;
template <> struct Names<float> {
  static constexpr const char *blas = "sgemm_";
  static constexpr Gemm<float> ours = __f___zo_pp_sgemm_;
  static float value(double v) { return static_cast<float>(v); }
  static constexpr double flops_per_term = 2;
};
template <> struct Names<double> {
  static constexpr const char *blas = "dgemm_";
  static constexpr Gemm<double> ours = __f___zo_pp_dgemm_;
  static double value(double v) { return v; }
  static constexpr double flops_per_term = 2;
};
template <> struct Names<mox2::c16> {
  static constexpr const char *blas = "zgemm_";
  static constexpr Gemm<mox2::c16> ours = __f___zo_pp_zgemm_;
  static mox2::c16 value(double v) { return {v, -0.5 * v}; }
  static constexpr double flops_per_term = 8;
};

// mox2_avx2: the library limited to its AVX2 kernels (as on CPUs without
// AVX-512).
enum class Peer { mox2, mox2_avx2, reference, openblas };

template <class T> Gemm<T> function(Peer p) {
  if (p == Peer::mox2 || p == Peer::mox2_avx2) return Names<T>::ours;
  void *h = p == Peer::reference ? reference_blas() : openblas();
  return h ? reinterpret_cast<Gemm<T>>(dlsym(h, Names<T>::blas)) : nullptr;
}

template <class T> void gemm(benchmark::State &state, Peer peer, char transa) {
  Gemm<T> f = function<T>(peer);
  if (!f) {
    state.SkipWithError("library not available");
    return;
  }
  const i32 n = static_cast<i32>(state.range(0));
  std::mt19937_64 gen(42);
  std::uniform_real_distribution<double> dist(-1, 1);
  std::vector<T> a(static_cast<std::size_t>(n) * n), b(a.size()), c(a.size());
  for (auto *v : {&a, &b, &c})
    for (T &x : *v)
      x = Names<T>::value(dist(gen));
  const T alpha = Names<T>::value(0.75), beta = Names<T>::value(1.0);
  const char transb = 'N';
  mox2::Isa isa = mox2::force_isa(peer == Peer::mox2_avx2 ? mox2::Isa::avx2 : mox2::Isa::avx512);
  for (auto _ : state) {
    f(&transa, &transb, &n, &n, &n, &alpha, a.data(), &n, b.data(), &n, &beta, c.data(), &n, 1, 1);
    benchmark::DoNotOptimize(c.data());
    benchmark::ClobberMemory();
  }
  mox2::force_isa(mox2::Isa::avx512);
  state.counters["isa"] = static_cast<double>(isa);
  state.counters["GFLOPS"] = benchmark::Counter(
      Names<T>::flops_per_term * n * n * static_cast<double>(n) * state.iterations(),
      benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

#define MOX2_GEMM_BENCH_(type, name)                                                               \
  void name##_mox2_NN(benchmark::State &s) { gemm<type>(s, Peer::mox2, 'N'); }                     \
  void name##_reference_NN(benchmark::State &s) { gemm<type>(s, Peer::reference, 'N'); }           \
  void name##_mox2_avx2_NN(benchmark::State &s) { gemm<type>(s, Peer::mox2_avx2, 'N'); }           \
  void name##_mox2_avx2_TN(benchmark::State &s) { gemm<type>(s, Peer::mox2_avx2, 'T'); }           \
  BENCHMARK(name##_mox2_avx2_NN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);              \
  BENCHMARK(name##_mox2_avx2_TN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);              \
  void name##_openblas_NN(benchmark::State &s) { gemm<type>(s, Peer::openblas, 'N'); }             \
  void name##_mox2_TN(benchmark::State &s) { gemm<type>(s, Peer::mox2, 'T'); }                     \
  void name##_reference_TN(benchmark::State &s) { gemm<type>(s, Peer::reference, 'T'); }           \
  void name##_openblas_TN(benchmark::State &s) { gemm<type>(s, Peer::openblas, 'T'); }             \
  BENCHMARK(name##_mox2_NN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);                   \
  BENCHMARK(name##_reference_NN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);              \
  BENCHMARK(name##_openblas_NN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);               \
  BENCHMARK(name##_mox2_TN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);                   \
  BENCHMARK(name##_reference_TN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);              \
  BENCHMARK(name##_openblas_TN)->Arg(256)->Arg(1000)->Unit(benchmark::kMillisecond);

MOX2_GEMM_BENCH_(double, dgemm)
MOX2_GEMM_BENCH_(float, sgemm)
MOX2_GEMM_BENCH_(mox2::c16, zgemm)

} // namespace

BENCHMARK_MAIN();
