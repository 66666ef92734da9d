// The GEMM and GEMV entry points beside OpenBLAS in the same run, on 1 and
// 2 threads, and MATMUL of two REAL(8) matrices beside gfortran's MATMUL.
// Counters: FLOP/s (2*m*n*k real, 8*m*n*k complex products).
#include <immintrin.h>
#include <omp.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "blas_peers.h"
#include "frame/dope.h"

extern "C" void gfortran_matmul_r8r8(int m, int k, int n, const double *a, const double *b,
                                     double *c);

namespace {

using namespace mox2_bench;

// args: n, threads, zeros (B holds a zero about every thousandth value:
// the column form skips their terms, and the panels that hold one take
// the masked tiles); peer: use OpenBLAS.
template <class T> void run_gemm(benchmark::State &s, GemmFn fn, bool peer) {
  const i32 n = i32(s.range(0));
  const int threads = int(s.range(1));
  if (peer) {
    if (fn == nullptr) {
      s.SkipWithError("OpenBLAS not installed");
      return;
    }
    openblas().set_threads(threads);
  } else {
    omp_set_num_threads(threads);
  }
  auto a = random_matrix<T>(std::size_t(n) * n), b = random_matrix<T>(std::size_t(n) * n);
  if (s.range(2) != 0) {
    for (std::size_t e = 5; e < b.size(); e += 997)
      b[e] = T{};
    s.SetLabel("B with zeros");
  }
  std::vector<T> c(std::size_t(n) * n);
  T alpha = scalar<T>(1.25), beta = scalar<T>(0);
  for (auto _ : s) {
    fn("N", "N", &n, &n, &n, &alpha, a.data(), &n, b.data(), &n, &beta, c.data(), &n, 1, 1);
    benchmark::DoNotOptimize(c.data());
  }
  s.counters["FLOP/s"] = benchmark::Counter(flops_per_term<T>() * double(n) * n * n,
                                            benchmark::Counter::kIsIterationInvariantRate);
}

#define MOX2_GEMM_BENCH_(p, t)                                                                     \
  void mox2_##p##gemm(benchmark::State &s) {                                                       \
    run_gemm<mox2_##t>(s, reinterpret_cast<GemmFn>(&__f95_##p##gemm_), false);                     \
  }                                                                                                \
  void openblas_##p##gemm(benchmark::State &s) { run_gemm<mox2_##t>(s, openblas().p##gemm, true); }
MOX2_BLAS_TYPES(MOX2_GEMM_BENCH_)
#undef MOX2_GEMM_BENCH_

void gemm_sizes(benchmark::internal::Benchmark *b) {
  for (int n : {64, 256, 1000, 2000})
    for (int t : {1, 2})
      b->Args({n, t, 0});
  for (int t : {1, 2})
    b->Args({1000, t, 1});
  b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3);
}
#define MOX2_REGISTER_GEMM_(p, t)                                                                  \
  BENCHMARK(mox2_##p##gemm)->Apply(gemm_sizes);                                                    \
  BENCHMARK(openblas_##p##gemm)->Apply(gemm_sizes);
MOX2_REGISTER_GEMM_(d, r8)
MOX2_REGISTER_GEMM_(s, r4)
MOX2_REGISTER_GEMM_(z, c16)
MOX2_REGISTER_GEMM_(c, c8)

// GEMV reads each element of A once, so its speed is the rate at which A
// streams in from memory.  Counters: FLOP/s and bytes of A per second, the
// latter to compare with plain_read on a matrix of the same size.
void run_dgemv(benchmark::State &s, DgemvFn fn, bool peer) {
  const i32 n = i32(s.range(0)), one = 1;
  const int threads = int(s.range(1));
  const char trans = s.range(2) ? 'T' : 'N';
  if (peer) {
    if (fn == nullptr) {
      s.SkipWithError("OpenBLAS not installed");
      return;
    }
    openblas().set_threads(threads);
  } else {
    omp_set_num_threads(threads);
  }
  auto a = random_matrix<double>(std::size_t(n) * n), x = random_matrix<double>(std::size_t(n));
  std::vector<double> y(static_cast<std::size_t>(n));
  double alpha = 1.25, beta = 0;
  for (auto _ : s) {
    fn(&trans, &n, &n, &alpha, a.data(), &n, x.data(), &one, &beta, y.data(), &one, 1);
    benchmark::DoNotOptimize(y.data());
  }
  s.counters["FLOP/s"] =
      benchmark::Counter(2.0 * n * n, benchmark::Counter::kIsIterationInvariantRate);
  s.SetBytesProcessed(std::int64_t(s.iterations()) * n * n * 8);
}
void mox2_dgemv(benchmark::State &s) { run_dgemv(s, &__f95_dgemv_, false); }
void openblas_dgemv(benchmark::State &s) { run_dgemv(s, openblas().dgemv, true); }

// The sum of a vector's eight lanes, added one by one (GCC 12's reduction
// intrinsic starts from an undefined vector and draws -Wuninitialized).
__attribute__((target("avx512f"))) inline std::uint64_t lane_sum(__m512i v) {
  alignas(64) std::uint64_t lanes[8];
  _mm512_store_si512(lanes, v);
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
         ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

// The read bandwidth that bounds GEMV: an n x n REAL(8) matrix allocated
// like GEMV's, summed as 64-bit integers with AVX-512 (four independent
// sums), each of `threads` threads reading one contiguous part.  With
// `touch`, the sum also touches the page two pages ahead once per page, as
// the GEMV kernels do: on this machine's 4 KiB pages that is worth about a
// third more bandwidth, so it is the fair ceiling.
template <bool kTouch>
__attribute__((target("avx512f"))) std::uint64_t sum_words(const double *p, std::size_t count) {
  __m512i s0 = _mm512_setzero_si512(), s1 = s0, s2 = s0, s3 = s0;
  std::size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    if (kTouch && i % 512 == 0)
      _mm_prefetch(reinterpret_cast<const char *>(p) + 8 * i + 8192, _MM_HINT_T0);
    s0 = _mm512_add_epi64(s0, _mm512_loadu_si512(p + i));
    s1 = _mm512_add_epi64(s1, _mm512_loadu_si512(p + i + 8));
    s2 = _mm512_add_epi64(s2, _mm512_loadu_si512(p + i + 16));
    s3 = _mm512_add_epi64(s3, _mm512_loadu_si512(p + i + 24));
  }
  std::uint64_t r = lane_sum(_mm512_add_epi64(_mm512_add_epi64(s0, s1), _mm512_add_epi64(s2, s3)));
  for (; i < count; ++i) {
    std::uint64_t w;
    std::memcpy(&w, p + i, sizeof w);
    r += w;
  }
  return r;
}
// args: n, threads, touch.
void plain_read(benchmark::State &s) {
  const std::size_t n = std::size_t(s.range(0)), count = n * n;
  const int threads = int(s.range(1));
  const bool touch = s.range(2) != 0;
  auto a = random_matrix<double>(count);
  for (auto _ : s) {
    std::uint64_t total = 0;
#pragma omp parallel num_threads(threads) reduction(+ : total)
    {
      const std::size_t t = std::size_t(omp_get_thread_num()), parts = omp_get_num_threads();
      const std::size_t lo = count * t / parts, hi = count * (t + 1) / parts;
      total += touch ? sum_words<true>(a.data() + lo, hi - lo)
                     : sum_words<false>(a.data() + lo, hi - lo);
    }
    benchmark::DoNotOptimize(total);
  }
  s.SetBytesProcessed(std::int64_t(s.iterations()) * std::int64_t(count) * 8);
}

// 1024 beside 1000: columns a power of two apart share their cache sets.
void gemv_sizes(benchmark::internal::Benchmark *b) {
  for (int n : {1000, 1024, 4000, 8000})
    for (int t : {1, 2})
      for (int trans : {0, 1})
        b->Args({n, t, trans});
  b->ArgNames({"n", "threads", "T"})->Unit(benchmark::kMicrosecond)->UseRealTime();
}
void read_sizes(benchmark::internal::Benchmark *b) {
  for (int n : {4000, 8000})
    for (int t : {1, 2})
      for (int touch : {0, 1})
        b->Args({n, t, touch});
  b->ArgNames({"n", "threads", "touch"})->Unit(benchmark::kMicrosecond)->UseRealTime();
}
BENCHMARK(plain_read)->Apply(read_sizes);
BENCHMARK(mox2_dgemv)->Apply(gemv_sizes);
BENCHMARK(openblas_dgemv)->Apply(gemv_sizes);

// MATMUL(A, B) of contiguous REAL(8) matrices: the library on 1 and 2
// threads, gfortran's MATMUL (serial) on the same arrays.
void matmul_r8r8(benchmark::State &s) {
  const std::intptr_t n = s.range(0);
  omp_set_num_threads(int(s.range(1)));
  auto a = random_matrix<double>(std::size_t(n * n)), b = random_matrix<double>(std::size_t(n * n));
  mox2_dope_vector2 da{a.data(), {n, n}, {8, 8 * n}}, db{b.data(), {n, n}, {8, 8 * n}};
  for (auto _ : s) {
    mox2_dope_vector2 r;
    __f_matmul_a22_r8r8(&r, &da, &db);
    benchmark::DoNotOptimize(r.base);
    std::free(r.base);
  }
  s.counters["FLOP/s"] =
      benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}
void gfortran_matmul(benchmark::State &s) {
  const int n = int(s.range(0));
  auto a = random_matrix<double>(std::size_t(n) * n), b = random_matrix<double>(std::size_t(n) * n);
  std::vector<double> c(std::size_t(n) * n);
  for (auto _ : s) {
    gfortran_matmul_r8r8(n, n, n, a.data(), b.data(), c.data());
    benchmark::DoNotOptimize(c.data());
  }
  s.counters["FLOP/s"] =
      benchmark::Counter(2.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}
void matmul_sizes(benchmark::internal::Benchmark *b) {
  for (int n : {64, 256, 1000})
    for (int t : {1, 2})
      b->Args({n, t});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(matmul_r8r8)->Apply(matmul_sizes);
BENCHMARK(gfortran_matmul)->Apply(matmul_sizes);

} // namespace

BENCHMARK_MAIN();
