// DOT_PRODUCT and MATMUL of the library beside gfortran's own intrinsics on
// the same contiguous arrays, in the same run.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>

#include "mox2_isa.h"

extern "C" {
void gfortran_matmul_i4i4(int m, int k, int n, const int32_t *a, const int32_t *b, int32_t *c);
void gfortran_matmul_r8i4(int m, int k, int n, const double *a, const int32_t *b, double *c);
void gfortran_matmul_r4r8(int m, int k, int n, const float *a, const double *b, double *c);
void gfortran_matmul_r8r8(int m, int k, int n, const double *a, const double *b, double *c);
void gfortran_matmul_a21_r8i4(int m, int k, const double *a, const int32_t *x, double *y);
void gfortran_matmul_a12_r8i4(int k, int n, const double *x, const int32_t *b, double *y);
double gfortran_dot_r8r8(int n, const double *a, const double *b);
int32_t gfortran_dot_i4i4(int n, const int32_t *a, const int32_t *b);
}

namespace {

template <class T> std::vector<T> filled(std::size_t count) {
  std::vector<T> v(count);
  for (std::size_t i = 0; i < count; ++i)
    v[i] = static_cast<T>((i * 7919 % 97) - 48) / T(8);
  return v;
}

template <class T> mox2_dope_vector2 matrix(std::vector<T> &v, std::size_t rows, std::size_t cols) {
  return {v.data(),
          {static_cast<intptr_t>(rows), static_cast<intptr_t>(cols)},
          {sizeof(T), static_cast<intptr_t>(rows * sizeof(T))}};
}
template <class T> mox2_dope_vector1 vector(std::vector<T> &v) {
  return {v.data(), {static_cast<intptr_t>(v.size())}, {sizeof(T)}};
}

void set_flops(benchmark::State &state, double flops) {
  state.counters["GFLOPS"] = benchmark::Counter(
      flops, benchmark::Counter::kIsIterationInvariantRate, benchmark::Counter::kIs1000);
}

template <class TA, class TB, class TC, auto Ours, auto Peer>
void matmul_a22(benchmark::State &state, bool ours) {
  const std::size_t n = state.range(0);
  auto a = filled<TA>(n * n);
  auto b = filled<TB>(n * n);
  auto da = matrix(a, n, n);
  auto db = matrix(b, n, n);
  std::vector<TC> c(n * n);
  for (auto _ : state) {
    if (ours) {
      mox2_dope_vector2 r;
      Ours(&r, &da, &db);
      benchmark::DoNotOptimize(r.base);
      std::free(r.base);
    } else {
      Peer(n, n, n, a.data(), b.data(), c.data());
      benchmark::DoNotOptimize(c.data());
    }
  }
  set_flops(state, 2.0 * n * n * n);
}

#define MOX2_MATMUL_BENCH(pair, TA, TB, TC)                                                        \
  void BM_matmul_a22_##pair##_mox2(benchmark::State &s) {                                          \
    matmul_a22<TA, TB, TC, __f_matmul_a22_##pair, gfortran_matmul_##pair>(s, true);                \
  }                                                                                                \
  void BM_matmul_a22_##pair##_gfortran(benchmark::State &s) {                                      \
    matmul_a22<TA, TB, TC, __f_matmul_a22_##pair, gfortran_matmul_##pair>(s, false);               \
  }                                                                                                \
  BENCHMARK(BM_matmul_a22_##pair##_mox2)                                                           \
      ->Arg(64)                                                                                    \
      ->Arg(256)                                                                                   \
      ->Arg(1000)                                                                                  \
      ->Unit(benchmark::kMicrosecond);                                                             \
  BENCHMARK(BM_matmul_a22_##pair##_gfortran)                                                       \
      ->Arg(64)                                                                                    \
      ->Arg(256)                                                                                   \
      ->Arg(1000)                                                                                  \
      ->Unit(benchmark::kMicrosecond);

MOX2_MATMUL_BENCH(i4i4, int32_t, int32_t, int32_t)
MOX2_MATMUL_BENCH(r8i4, double, int32_t, double)
MOX2_MATMUL_BENCH(r4r8, float, double, double)
MOX2_MATMUL_BENCH(r8r8, double, double, double)

void matmul_rank1(benchmark::State &state, bool a21, bool ours) {
  const std::size_t n = state.range(0);
  auto mat = filled<double>(n * n);
  auto mat_i = filled<int32_t>(n * n);
  auto vec_i = filled<int32_t>(n);
  auto vec = filled<double>(n);
  std::vector<double> y(n);
  auto dm = matrix(mat, n, n);
  auto dmi = matrix(mat_i, n, n);
  auto dvi = vector(vec_i);
  auto dv = vector(vec);
  for (auto _ : state) {
    if (ours) {
      mox2_dope_vector1 r;
      if (a21)
        __f_matmul_a21_r8i4(&r, &dm, &dvi);
      else
        __f_matmul_a12_r8i4(&r, &dv, &dmi);
      benchmark::DoNotOptimize(r.base);
      std::free(r.base);
    } else {
      if (a21)
        gfortran_matmul_a21_r8i4(n, n, mat.data(), vec_i.data(), y.data());
      else
        gfortran_matmul_a12_r8i4(n, n, vec.data(), mat_i.data(), y.data());
      benchmark::DoNotOptimize(y.data());
    }
  }
  set_flops(state, 2.0 * n * n);
}
void BM_matmul_a21_r8i4_mox2(benchmark::State &s) { matmul_rank1(s, true, true); }
void BM_matmul_a21_r8i4_gfortran(benchmark::State &s) { matmul_rank1(s, true, false); }
void BM_matmul_a12_r8i4_mox2(benchmark::State &s) { matmul_rank1(s, false, true); }
void BM_matmul_a12_r8i4_gfortran(benchmark::State &s) { matmul_rank1(s, false, false); }
BENCHMARK(BM_matmul_a21_r8i4_mox2)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_matmul_a21_r8i4_gfortran)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_matmul_a12_r8i4_mox2)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_matmul_a12_r8i4_gfortran)->Arg(1000)->Unit(benchmark::kMicrosecond);

template <class T, auto Ours, auto Peer> void dot(benchmark::State &state, bool ours) {
  const std::size_t n = state.range(0);
  auto a = filled<T>(n);
  auto b = filled<T>(n);
  auto da = vector(a);
  auto db = vector(b);
  for (auto _ : state) {
    if (ours)
      benchmark::DoNotOptimize(Ours(&da, &db));
    else
      benchmark::DoNotOptimize(Peer(n, a.data(), b.data()));
  }
  set_flops(state, 2.0 * n);
}
void BM_dotprod_r8r8_mox2(benchmark::State &s) {
  dot<double, __f_dotprod_s1_r8r8, gfortran_dot_r8r8>(s, true);
}
void BM_dotprod_r8r8_gfortran(benchmark::State &s) {
  dot<double, __f_dotprod_s1_r8r8, gfortran_dot_r8r8>(s, false);
}
void BM_dotprod_i4i4_mox2(benchmark::State &s) {
  dot<int32_t, __f_dotprod_s1_i4i4, gfortran_dot_i4i4>(s, true);
}
void BM_dotprod_i4i4_gfortran(benchmark::State &s) {
  dot<int32_t, __f_dotprod_s1_i4i4, gfortran_dot_i4i4>(s, false);
}
BENCHMARK(BM_dotprod_r8r8_mox2)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_dotprod_r8r8_gfortran)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_dotprod_i4i4_mox2)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_dotprod_i4i4_gfortran)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
