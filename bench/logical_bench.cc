// ALL, ANY and COUNT over 64 MiB masks of every kind, contiguous and with
// every other element, and COUNT along either dimension of the same bytes
// as a LOGICAL(4) matrix, in bytes of mask per second, beside a plain read
// of the same memory and gfortran's own intrinsics.  ALL scans an all-true
// mask and ANY an all-false one, so that neither stops early.
#include <immintrin.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "mox2_isa.h"
#include "runtime/cpu.h"

extern "C" {
#define MOX2_GFORTRAN_LOGICAL_(k)                                                                  \
  std::int32_t mox2_gfortran_logical_l##k(const void *p, std::int64_t n, std::int64_t step, int op);
MOX2_GFORTRAN_LOGICAL_(1)
MOX2_GFORTRAN_LOGICAL_(2)
MOX2_GFORTRAN_LOGICAL_(4)
MOX2_GFORTRAN_LOGICAL_(8)
#undef MOX2_GFORTRAN_LOGICAL_
void mox2_gfortran_count_along_l4(const void *p, std::int64_t rows, std::int64_t cols, int dim,
                                  std::int32_t *res);
}

namespace {

constexpr std::size_t kBytes = std::size_t(64) << 20;
enum Op { all = 0, any = 1, count = 2 };

// 64 MiB of true (1) or false (0) elements of one kind.
const char *mask_memory(int kind, bool value) {
  static char *memory[9][2];
  char *&m = memory[kind][value];
  if (m == nullptr) {
    m = static_cast<char *>(std::aligned_alloc(4096, kBytes));
    std::memset(m, 0, kBytes);
    if (value)
      for (std::size_t i = 0; i < kBytes; i += kind)
        m[i] = 1; // low byte, little-endian
  }
  return m;
}

std::int64_t mox2_worker(Op op, int kind, const mox2_dope_vector1 *mask) {
#define MOX2_CALL_(o, r, k)                                                                        \
  if (op == o && kind == k) return __f_##o##_s1_l##k(mask);
  MOX2_REDUCTION_WORKERS(MOX2_CALL_)
#undef MOX2_CALL_
  return -1;
}

std::int32_t gfortran(Op op, int kind, const void *p, std::int64_t n, std::int64_t step) {
  switch (kind) {
  case 1: return mox2_gfortran_logical_l1(p, n, step, op);
  case 2: return mox2_gfortran_logical_l2(p, n, step, op);
  case 4: return mox2_gfortran_logical_l4(p, n, step, op);
  default: return mox2_gfortran_logical_l8(p, n, step, op);
  }
}

// Arguments: kind, step in elements (1 or 2), kernel set (mox2 only).
template <Op op> void BM_mox2(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  std::intptr_t step = state.range(1);
  auto isa = static_cast<mox2::Isa>(state.range(2));
  if (mox2::force_isa(isa) != isa) {
    state.SkipWithError("kernel set not supported here");
    return;
  }
  const char *p = mask_memory(kind, op == all);
  mox2_dope_vector1 mask{
      const_cast<char *>(p), {static_cast<std::intptr_t>(kBytes / kind / step)}, {kind * step}};
  for (auto _ : state)
    benchmark::DoNotOptimize(mox2_worker(op, kind, &mask));
  state.SetBytesProcessed(state.iterations() * kBytes);
  state.SetLabel(mox2::isa_name(isa));
  mox2::force_isa(mox2::Isa::avx512);
}

template <Op op> void BM_gfortran(benchmark::State &state) {
  int kind = static_cast<int>(state.range(0));
  std::int64_t step = state.range(1);
  const char *p = mask_memory(kind, op == all);
  for (auto _ : state)
    benchmark::DoNotOptimize(gfortran(op, kind, p, kBytes / kind, step));
  state.SetBytesProcessed(state.iterations() * kBytes);
}

// COUNT along DIM of the 64 MiB as a LOGICAL(4) matrix of `rows` rows (a
// third of the elements true).  Arguments: rows, dim.
const char *matrix_memory() {
  static char *m = nullptr;
  if (m == nullptr) {
    m = static_cast<char *>(std::aligned_alloc(4096, kBytes));
    for (std::size_t i = 0; i < kBytes / 4; ++i) {
      const std::int32_t v = (i * 2654435761u >> 13) % 3 == 0;
      std::memcpy(m + 4 * i, &v, 4);
    }
  }
  return m;
}
void BM_mox2_count_along(benchmark::State &state) {
  const std::intptr_t rows = state.range(0), cols = kBytes / 4 / rows;
  const auto dim = static_cast<std::int32_t>(state.range(1));
  mox2_dope_vector2 mask{const_cast<char *>(matrix_memory()), {rows, cols}, {4, 4 * rows}};
  for (auto _ : state) {
    mox2_dope_vector1 r;
    __f_count_a2_l4(&r, &mask, dim);
    benchmark::DoNotOptimize(r.base);
    std::free(r.base);
  }
  state.SetBytesProcessed(state.iterations() * rows * cols * 4);
}
void BM_gfortran_count_along(benchmark::State &state) {
  const std::intptr_t rows = state.range(0), cols = kBytes / 4 / rows;
  const auto dim = static_cast<int>(state.range(1));
  std::vector<std::int32_t> r(dim == 1 ? cols : rows);
  for (auto _ : state) {
    mox2_gfortran_count_along_l4(matrix_memory(), rows, cols, dim, r.data());
    benchmark::DoNotOptimize(r.data());
  }
  state.SetBytesProcessed(state.iterations() * rows * cols * 4);
}
void along_args(benchmark::internal::Benchmark *b) {
  b->ArgNames({"rows", "dim"});
  for (int rows : {3, 16, 4096})
    for (int dim : {1, 2})
      b->Args({rows, dim});
}

// The sum of a vector's eight lanes, added one by one (GCC 12's reduction
// intrinsic starts from an undefined vector and draws -Wuninitialized).
__attribute__((target("avx512f"))) inline std::uint64_t lane_sum(__m512i v) {
  alignas(64) std::uint64_t lanes[8];
  _mm512_store_si512(lanes, v);
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
         ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

// The same 64 MiB summed as 64-bit integers, eight AVX-512 lanes at a time;
// with `touch`, also touching the page two ahead once per page, as the
// scans do (the fair ceiling on 4 KiB pages).
template <bool kTouch> __attribute__((target("avx512f"))) std::uint64_t plain_read(const char *p) {
  __m512i s0 = _mm512_setzero_si512(), s1 = s0, s2 = s0, s3 = s0;
  for (std::size_t i = 0; i < kBytes; i += 256) {
    if (kTouch && i % 4096 == 0 && kBytes - i > 8192) _mm_prefetch(p + i + 8192, _MM_HINT_T0);
    s0 = _mm512_add_epi64(s0, _mm512_load_si512(p + i));
    s1 = _mm512_add_epi64(s1, _mm512_load_si512(p + i + 64));
    s2 = _mm512_add_epi64(s2, _mm512_load_si512(p + i + 128));
    s3 = _mm512_add_epi64(s3, _mm512_load_si512(p + i + 192));
  }
  return lane_sum(_mm512_add_epi64(_mm512_add_epi64(s0, s1), _mm512_add_epi64(s2, s3)));
}

// Argument: touch (0 or 1).
void BM_plain_read(benchmark::State &state) {
  const char *p = mask_memory(1, true);
  const bool touch = state.range(0) != 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(touch ? plain_read<true>(p) : plain_read<false>(p));
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void mox2_args(benchmark::internal::Benchmark *b) {
  b->ArgNames({"kind", "step", "isa"});
  for (int step : {1, 2})
    for (int kind : {1, 2, 4, 8})
      for (int isa : {2, 1, 0})
        if (step == 1 || isa == 2) b->Args({kind, step, isa});
}
void gfortran_args(benchmark::internal::Benchmark *b) {
  b->ArgNames({"kind", "step"});
  for (int step : {1, 2})
    for (int kind : {1, 2, 4, 8})
      b->Args({kind, step});
}

BENCHMARK(BM_plain_read)->ArgName("touch")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mox2<count>)->Apply(mox2_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gfortran<count>)->Apply(gfortran_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mox2<any>)->Apply(mox2_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gfortran<any>)->Apply(gfortran_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mox2<all>)->Apply(mox2_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gfortran<all>)->Apply(gfortran_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mox2_count_along)->Apply(along_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gfortran_count_along)->Apply(along_args)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
