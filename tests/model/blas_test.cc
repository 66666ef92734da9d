// GEMV and GEMM against the model, bit for bit (any two NaNs equal), in
// sweeps over element type x kernel set x shape class, each case through
// the targets its class is for, as model/blas_cases.h runs a case: the
// exported entry points at T = 1 and at 2 to 16 threads (the model of the
// drivers over the model kernels; every other case too small to repay
// helpers, some without workspace), the real GEMM block (every blocked
// form, with and without the zero skip) and the alignment-safe kernels
// (data and scalars 4 bytes off); every option letter in both cases;
// increments +-1 and +-3, leading dimensions above the minimum; alpha and
// beta in {0, 1, -1, i or 1/4, two others, a special, a random value}.
// (Invalid arguments: the fuzzer.)  Then the behaviour around the products
// (memory running out, callers on several threads), the reference BLAS
// where its order is ours, and the level-1 kernels the library calls (the
// dot products of the DOT_PRODUCT fast path, the scaling and rank-one
// update of the GEMM kernels) against their model: sizes around every
// unroll edge, increments +-1, +-3, 2 and 0, both alignments of data that
// may be 4 bytes off, special values.
#include <dlfcn.h>
#include <omp.h>

#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "model/blas_cases.h"
#include "runtime/cache_sizes.h"
#include "runtime/parallel.h"
#include "runtime/scratch.h"
#include "support/failing_allocator.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using namespace test;

// The targets a case is for that apply to T; the entry points at T = 1
// and then (threads 0) at 2 to 4 threads, every other case too small to
// repay helpers and every sixteenth without workspace.
template <class T, class Case> void check(int targets, const Case &c) {
  static int count = 0;
  if (::testing::Test::HasFailure()) return;
  set_threaded_work(++count % 2 ? 0 : 1e300);
  const std::size_t saved_limit = count % 16 == 3 ? Scratch::set_limit(0) : 0;
  auto expect = [&](Target target, int t) { EXPECT_TRUE(run_case<T>(target, c, t)); };
  for (int t : {c.threads ? c.threads : 1, c.threads ? 0 : 2 + count % 3})
    if ((targets & kEntry) && t) expect(kEntry, t);
  if ((targets & kBlock) && !is_complex_element<T>) expect(kBlock, 1);
  if ((targets & kSafe) && Kernels<T>::safe) expect(kSafe, 1);
  if (count % 16 == 3) Scratch::set_limit(saved_limit);
}

using Shapes = std::vector<std::tuple<int, int, int>>;

template <class T> void gemm_sweep() {
  using Case = GemmCase;
  Team team;
  const int all = kEntry | kBlock | kSafe;
  auto run = [](int targets, const Case &c) { check<T>(targets, c); };
  // Small shapes on every side of the 4 x 2 peel, the thin limits and the
  // small forms.
  const int sizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 16, 17};
  for (int m : sizes)
    for (int n : sizes)
      run(all, random_gemm_case(m, n, sizes[random_int(0, 12)]));
  // Every letter pair on the peel and thin shapes; every alpha with every
  // beta.
  const Shapes peel = {{5, 3, 4}, {7, 6, 9}, {2, 6, 5}, {6, 3, 5},
                       {6, 5, 2}, {1, 5, 6}, {5, 1, 6}, {6, 5, 1}};
  for (char ta : kLetters)
    for (char tb : kLetters)
      for (auto [m, n, k] : peel) {
        Case c = random_gemm_case(m, n, k);
        c.ta = ta, c.tb = tb;
        run(all, c);
      }
  for (int alpha = 0; alpha < 8; ++alpha)
    for (int beta = 0; beta < 8; ++beta)
      for (auto [m, n, k] : Shapes{{9, 7, 6}, {29, 11, 5}, {8, 5, 3}, {5, 9, 0}}) {
        Case c = random_gemm_case(m, n, k);
        c.alpha = alpha, c.beta = beta;
        run(all, c);
      }
  // A few in the hundreds: the blocking of the kernels, for few rows of
  // columns and of l with peeled rows beside them, for four columns of a
  // large A the column forms side by side (A against a zero column).
  const Shapes hundreds = {{263, 9, 270}, {70, 67, 300}, {2, 130, 40}, {130, 3, 17},
                           {101, 57, 3},  {6, 530, 800}, {3, 40, 300}, {40, 3, 300},
                           {263, 5, 800}, {41, 4, 900},  {263, 4, 800}};
  for (auto [m, n, k] : hundreds)
    for (char ta : {'N', 't', 'C'})
      for (char tb : {'n', 'T'}) {
        Case c = random_gemm_case(m, n, k);
        c.ta = ta, c.tb = tb, c.alpha = 5;
        if (n <= 5 && m > 40) c.zeros = Zeros::column;
        run(kEntry | kSafe, c);
      }
  if constexpr (!is_complex_element<T>) {
    // The blocked forms: small products, short depths and the register
    // tiles (MR 8 to 48, NR 4 or 8); few rows and columns (pair lanes);
    // the column form reading A in place (alpha = 1 reads op(B) in place,
    // other alphas a scaled copy; one tile of rows over long k), with a
    // zero column or every term added; blocks of l, rows and columns.
    for (int rep = 0; rep < 200; ++rep)
      run(kBlock, random_gemm_case(random_int(0, 100), random_int(0, 19), random_int(0, 12)));
    for (int rep = 0; rep < 60; ++rep) {
      Case c = random_gemm_case(random_int(4, 16), random_int(4, 16),
                                rep % 4 ? random_int(41, 700) : random_int(32, 40));
      c.skip = rep % 5 != 4;
      run(kBlock, c);
    }
    for (int rep = 0; rep < 100; ++rep) {
      const bool long_k = rep % 4 == 3;
      Case c = random_gemm_case(
          random_int(1, long_k ? 24 : 100), rep < 2 ? 1100 + rep : random_int(1, 40),
          long_k ? random_int(800, 1400) : random_int(13, rep < 2 ? 40 : 300));
      c.ta = "Nn"[rep % 2];
      c.alpha = rep % 3 ? 1 : c.alpha;
      c.values = rep % 5 == 4 ? Values::zeros : Values::plain;
      c.zeros = rep % 7 == 6 ? Zeros::column : rep % 5 == 4 ? Zeros::rows : Zeros::none;
      c.skip = rep % 10 != 9;
      run(kBlock, c);
    }
    const Shapes blocks = {{5, 3, 900},    {53, 13, 390},    {205, 9, 7},    {3, 3080, 2},
                           {263, 21, 520}, {197, 1030, 800}, {1, 1030, 800}, {2, 1030, 800},
                           {3, 1030, 800}, {4, 1030, 800},   {8, 1030, 800}, {12, 1030, 800}};
    for (auto [m, n, k] : blocks) {
      Case c = random_gemm_case(m, n, k);
      if (n == 1030) c.ta = 'N', c.values = Values::plain, c.zeros = Zeros::column;
      run(kBlock, c);
    }
    // Triangular op(B); every product -0 (a dot-form sum from +0 stays +0).
    for (auto [m, n, k] : Shapes{{100, 64, 300}, {53, 40, 520}, {197, 300, 300}, {30, 9, 700}}) {
      Case c = random_gemm_case(m, n, k);
      c.ta = 'N', c.values = Values::plain, c.zeros = Zeros::triangular;
      run(kBlock | kEntry, c);
    }
    // Columns of A 4 KiB apart (1024 elements) in the few-column form.
    for (int n : {3, 4}) {
      Case c = random_gemm_case(1000, n, 45);
      c.ta = 'N', c.lda = 1024;
      run(kEntry, c);
    }
    for (auto [m, n, k] : Shapes{{5, 5, 37}, {4, 12, 64}, {20, 9, 40}}) {
      Case c = random_gemm_case(m, n, k);
      c.ta = 'T', c.tb = 'N', c.alpha = 1, c.beta = 0, c.values = Values::plain;
      c.zeros = Zeros::minus;
      run(kBlock, c);
    }
  } else {
    // The complex blocked forms: rows around the tile heights (8 to 32) and
    // the row blocks, columns around the tile width, depths around the
    // blocks of l (256), odd and even (an odd k's lone leading column or
    // row); across the blocks of columns and of rows; fewer rows than a
    // vector with every letter pair, beta 0 (even k) or not (odd k), alpha
    // not real.
    const int depths[] = {2, 3, 6, 7, 255, 256, 257, 258, 513};
    for (int m : {1, 2, 15, 16, 17, 24, 31, 33, 34, 40, 48, 64, 95, 97, 191, 193, 194})
      for (int n : {1, 3, 4, 5, 8, 11})
        run(kEntry, random_gemm_case(m, n, depths[random_int(0, 8)]));
    for (auto [m, n, k] :
         Shapes{{3, 1541, 4}, {3, 1541, 5}, {6, 261, 3}, {5, 261, 258}, {1925, 5, 4}, {1924, 3, 3}})
      run(kEntry, random_gemm_case(m, n, k));
    for (int m : {2, 5, 7, 15})
      for (char ta : {'N', 'T', 'C'})
        for (char tb : {'N', 'T', 'C'})
          for (int k : {520, 521}) {
            Case c = random_gemm_case(m, 40, k);
            c.ta = ta, c.tb = tb, c.beta = k % 2 ? 5 : 0, c.values = Values::plain;
            c.zeros = Zeros::none, c.alpha = random_int(3, 7); // alpha*b's parts cross
            run(kEntry, c);
          }
    // op(B) = B^H with one zero: only its strip of columns skips a term.
    for (int rep = 0; rep < 24; ++rep) {
      Case c = random_gemm_case(random_int(20, 70), random_int(5, 12), rep % 2 ? 300 : 513);
      c.ta = 'N', c.tb = 'C', c.values = Values::plain, c.zeros = Zeros::lone;
      run(kEntry, c);
    }
  }
  // The drivers' cut: mesh (square, tall, wide, not fitting), thin row and
  // column strips (zero rows of op(B) against NaN and Inf: the strips'
  // sizes decide which terms are skipped), serial, on 1 to 16 threads;
  // random shapes.
  const Shapes cut = {{100, 100, 100}, {10, 10, 10},  {400, 20, 50}, {7, 9, 10},  {10, 3, 50},
                      {3, 10, 50},     {3, 3, 50},    {33, 1, 7},    {1, 33, 7},  {21, 19, 1},
                      {18, 22, 2},     {37, 41, 3},   {4, 4, 4},     {70, 3, 2},  {5, 68, 6},
                      {17, 66, 5},     {209, 12, 30}, {3, 12, 40},   {12, 2, 40}, {12, 12, 3}};
  for (int t : {1, 2, 3, 4, 6, 8, 16})
    for (auto [m, n, k] : cut) {
      Case c = random_gemm_case(m, n, k);
      c.threads = t;
      if (m < 4 || n < 4 || k < 4) c.values = Values::zeros, c.zeros = Zeros::rows;
      run(kEntry, c);
    }
  for (int rep = 0; rep < 100; ++rep) {
    auto dim = [] { return random_int(0, 3) == 0 ? random_int(0, 5) : random_int(1, 40); };
    run(kEntry, random_gemm_case(dim(), dim(), dim()));
  }
}

class GemmModel : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemmModel);
TEST_P(GemmModel, Real4) { gemm_sweep<float>(); }
TEST_P(GemmModel, Real8) { gemm_sweep<double>(); }
TEST_P(GemmModel, Complex4) { gemm_sweep<c8>(); }
TEST_P(GemmModel, Complex8) { gemm_sweep<c16>(); }

template <class T> void gemv_sweep() {
  using Case = GemvCase;
  Team team;
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 33};
  for (int m : sizes)
    for (int n : sizes)
      for (char trans : {'N', 'n', 'T', 't', 'C', 'c'})
        check<T>(kEntry | kSafe, random_gemv_case(trans, m, n));
  for (int alpha = 0; alpha < 8; ++alpha)
    for (int beta = 0; beta < 8; ++beta)
      for (char trans : {'N', 'T', 'C'})
        for (auto [m, n] : {std::pair{7, 5}, std::pair{4, 10}}) {
          Case c = random_gemv_case(trans, m, n);
          c.alpha = alpha, c.beta = beta;
          check<T>(kEntry | kSafe, c);
        }
  // A few in the hundreds: 1100 rows cross the chunking of a strided y;
  // 40 and 47 columns end in passes of fewer than sixteen.
  for (auto [m, n] : {std::pair{100, 131}, std::pair{257, 64}, std::pair{61, 300},
                      std::pair{1100, 7}, std::pair{19, 47}, std::pair{600, 40}})
    for (char trans : {'N', 't', 'c'}) {
      Case c = random_gemv_case(trans, m, n);
      c.alpha = 5;
      if (m > 1000) c.incy = -3;
      check<T>(kEntry | kSafe, c);
    }
  // Columns a multiple of 4 KiB apart (1024 elements of every type) share
  // their cache sets and take the forms with fewer streams at once.
  for (char trans : {'N', 't'}) {
    Case c = random_gemv_case(trans, 1000, 45);
    c.lda = 1024, c.alpha = 5;
    check<T>(kEntry | kSafe, c);
  }
  // The drivers' cut on 1 to 16 threads: the worked shapes (M = 10 on 4
  // threads, N = 7 with INCY = -1 on 3), then random ones.
  Case worked[] = {{'N', 10, 6, 10, 1, 1}, {'T', 5, 7, 5, 1, -1}};
  worked[0].threads = 4, worked[1].threads = 3;
  for (const Case &c : worked)
    check<T>(kEntry, c);
  for (int t : {1, 2, 3, 4, 6, 8, 16})
    for (int rep = 0; rep < 20; ++rep) {
      auto dim = [] { return random_int(0, 3) == 0 ? random_int(0, 4) : random_int(1, 60); };
      Case c = random_gemv_case("NnTtCc"[random_int(0, 5)], dim(), dim());
      c.threads = t;
      check<T>(kEntry, c);
    }
}

class GemvModel : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemvModel);
TEST_P(GemvModel, Real4) { gemv_sweep<float>(); }
TEST_P(GemvModel, Real8) { gemv_sweep<double>(); }
TEST_P(GemvModel, Complex4) { gemv_sweep<c8>(); }
TEST_P(GemvModel, Complex8) { gemv_sweep<c16>(); }

// Blocks cut for other caches than this machine's: a core of 32 KiB and
// 512 KiB, and caches so small that every block is one step of l, one
// tile of rows and one panel of columns (the complex forms: one tile of
// rows per packed block).  The same bits.
template <class T> void other_caches() {
  Team team;
  for (CacheSizes caches :
       {CacheSizes{32 << 10, 512 << 10, 4 << 20}, CacheSizes{256, 1024, 1024}}) {
    force_cache_sizes(caches);
    for (int rep = 0; rep < 48; ++rep) {
      GemmCase c = random_gemm_case(random_int(4, 140), random_int(4, 60),
                                    rep % 4 == 0 ? random_int(400, 900) : random_int(9, 120));
      if (rep % 3 == 2) c.ta = 'N', c.values = Values::plain, c.zeros = Zeros::triangular;
      check<T>(is_complex_element<T> ? kEntry : kBlock, c);
    }
  }
  force_cache_sizes({});
}
TEST_P(GemmModel, BlocksCutForOtherCaches) {
  other_caches<float>();
  other_caches<double>();
  other_caches<c8>();
  other_caches<c16>();
}

// Memory running out at each allocation a call makes in turn (on a thread
// of its own whose team has started, so that its first use of workspace
// is among them and no thread's start is): the bits it gives with memory
// (a first call, which also starts the library's helper threads), and the
// process goes on.
template <class T, class Call> void without_memory(Call call, std::size_t count) {
  Strip<T> want(count, 0);
  want.fill(Values::plain);
  Strip<T> got(want);
  omp_set_num_threads(2);
  call(want.data());
  // A thread that this call started (the library's helpers start at its
  // first threaded loop) allocates as it starts up, on its own schedule,
  // and no thread start survives a refusal: let it finish first.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  long asked = 0;
  for (long successes = 0; successes == 0 || asked >= successes; ++successes) {
    Strip<T> y(got);
    on_new_thread_with_team(2, [&] {
      fail_allocations_after(successes);
      call(y.data());
      asked = allocations_asked();
      allow_allocations();
    });
    ASSERT_TRUE(y.same_as(want)) << "allocations succeeding " << successes;
  }
}
template <class T> void out_of_memory(Gemm<T> gemm, Gemv<T> gemv) {
  Strip<T> a(300 * 900, 0), b(900 * 90, 0);
  a.fill(Values::specials);
  b.fill(Values::zeros);
  const T alpha = scalar<T>(4), beta = scalar<T>(5);
  for (auto [ops, m, n, k] : std::vector<std::tuple<const char *, i32, i32, i32>>{
           {"NN", 70, 45, 60}, {"TN", 3, 90, 40}, {"NT", 90, 2, 40}, {"CC", 300, 4, 900}}) {
    const i32 lda = ops[0] == 'N' ? m : k, ldb = ops[1] == 'N' ? k : n;
    without_memory<T>(
        [&](T *c) {
          gemm(ops, ops + 1, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c, &m, 1,
               1);
        },
        std::size_t(m) * n);
  }
  const i32 m = 300, n = 260, lda = 301, incx = 2, incy = -1;
  for (char trans : {'N', 'T', 'C'})
    without_memory<T>(
        [&](T *y) {
          gemv(&trans, &m, &n, &alpha, a.data(), &lda, b.data(), &incx, &beta, y, &incy, 1);
        },
        300);
}
class AroundTheProducts : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(AroundTheProducts);
TEST_P(AroundTheProducts, OutOfMemoryTheBitsAreTheSame) {
  Team team;
  out_of_memory<float>(__f95_sgemm_, __f95_sgemv_);
  out_of_memory<double>(__f95_dgemm_, __f95_dgemv_);
  out_of_memory<c8>(__f95_cgemm_, __f95_cgemv_);
  out_of_memory<c16>(__f95_zgemm_, __f95_zgemv_);
}

// Callers on several threads at once each get the bits of their own team.
TEST_P(AroundTheProducts, ConcurrentCallersGetTheirTeamsBits) {
  const i32 m = 90, n = 70, k = 50;
  Strip<double> a(std::size_t(m) * k, 0), b(std::size_t(k) * n, 0), want(std::size_t(m) * n, 0);
  a.fill(Values::specials);
  b.fill(Values::zeros);
  const double alpha = -0.75, beta = 0;
  model::gemm<double>(4, 'N', 'T', m, n, k, alpha, a.data(), m, b.data(), n, beta, want.data(), m);
  std::vector<Strip<double>> got(3, want);
  std::vector<std::thread> callers;
  for (auto &g : got)
    callers.emplace_back([&, c = g.data()] {
      omp_set_num_threads(4); // each thread has its own team size
      for (int r = 0; r < 10; ++r)
        __f95_dgemm_("N", "T", &m, &n, &k, &alpha, a.data(), &m, b.data(), &n, &beta, c, &m, 1, 1);
    });
  for (auto &th : callers)
    th.join();
  for (auto &g : got)
    EXPECT_TRUE(g.same_as(want));
}

// A routine of Debian's reference BLAS ("dgemv_"), loaded by path (never
// through -lblas, which may resolve to an optimised BLAS), or null when it
// is not installed.
template <class F> F reference_blas(const char *name) {
  static void *blas = dlopen("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", RTLD_NOW | RTLD_LOCAL);
  return blas ? reinterpret_cast<F>(dlsym(blas, name)) : nullptr;
}

// The reference BLAS, on finite non-zero data, where its order is ours:
// GEMV (the entry points on one thread and the alignment-safe kernels);
// the real GEMM block and the alignment-safe GEMM kernels (the reference
// algorithm), COMPLEX(8) GEMM (its column form's zero test never fires,
// its dot form's alpha*temp + beta*C is ours for beta = 1).
template <class T>
void against_reference(Gemv<T> ours, Gemv<T> reference, std::vector<char> letters) {
  for (auto [m, n] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{33, 64}, std::pair{200, 3}})
    for (char trans : letters)
      for (i32 incx : {1, -2})
        for (i32 incy : {1, -1, 3}) {
          const i32 lda = m + 3, len = std::max(m, n);
          Strip<T> a(std::size_t(lda) * n, 0), x(span(len, incx), 0);
          Strip<T> got(span(len, incy), 0);
          a.fill(Values::plain);
          x.fill(Values::plain);
          got.fill(Values::plain);
          Strip<T> want(got);
          const T alpha = scalar<T>(5), beta = scalar<T>(4);
          ours(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, got.data(), &incy,
               1);
          reference(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, want.data(),
                    &incy, 1);
          EXPECT_TRUE(got.same_as(want)) << trans << " m=" << m << " n=" << n;
        }
}

// `pp`: a kernel for 8-byte aligned data, compared where op(B) is not B^H,
// for beta = 1.
template <class T> void against_reference(Gemm<T> ours, Gemm<T> reference, bool pp) {
  for (auto [m, n, k] : Shapes{{1, 1, 1}, {7, 5, 3}, {33, 20, 64}, {270, 6, 260}, {34, 9, 258}})
    for (char ta : {'N', 'T', 'C'})
      for (char tb : {'N', 'T', 'C'}) {
        if (pp && tb == 'C') continue;
        const i32 lda = (ta == 'N' ? m : k) + 1, ldb = (tb == 'N' ? k : n) + 2, ldc = m + 3;
        const int off = pp ? 0 : 4;
        Strip<T> a(cells(lda, ta == 'N' ? k : m), off), b(cells(ldb, tb == 'N' ? n : k), off);
        Strip<T> got(cells(ldc, n), off);
        a.fill(Values::plain);
        b.fill(Values::plain);
        got.fill(Values::plain);
        Strip<T> want(got);
        const T alpha = scalar<T>(4), beta = scalar<T>(pp ? 1 : 5);
        ours(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, got.data(), &ldc,
             1, 1);
        reference(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, want.data(),
                  &ldc, 1, 1);
        EXPECT_TRUE(got.same_as(want)) << ta << tb << " m=" << m << " n=" << n << " k=" << k;
      }
}
TEST_P(AroundTheProducts, ReferenceBlasWhereTheOrderIsOurs) {
  auto sgemv = reference_blas<Gemv<float>>("sgemv_");
  auto dgemv = reference_blas<Gemv<double>>("dgemv_");
  auto zgemv = reference_blas<Gemv<c16>>("zgemv_");
  auto sgemm = reference_blas<Gemm<float>>("sgemm_");
  auto dgemm = reference_blas<Gemm<double>>("dgemm_");
  auto zgemm = reference_blas<Gemm<c16>>("zgemm_");
  if (!sgemv || !dgemv || !zgemv || !sgemm || !dgemm || !zgemm)
    GTEST_SKIP() << "reference BLAS not installed";
  Team team;
  omp_set_num_threads(1);
  against_reference<double>(__f95_dgemv_, dgemv, {'N', 'T'});
  against_reference<double>(__f___zo_dgemv_don_, dgemv, {'N', 'T', 'C'});
  against_reference<float>(__f95_sgemv_, sgemv, {'N', 'T'});
  against_reference<c16>(__f95_zgemv_, zgemv, {'N', 'T', 'C'});
  against_reference<c16>(__f___zo_zgemv_don_, zgemv, {'N', 'T', 'C'});
  against_reference<float>(__f___zo_pp_sgemmx_, sgemm, false);
  against_reference<double>(__f___zo_dgemm_don_, dgemm, false);
  against_reference<c16>(__f___zo_zgemm_don_, zgemm, false);
  against_reference<c16>(__f___zo_pp_zgemm_, zgemm, true);
}

const int kSizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 16, 17, 31, 32, 33, 100, 257};
const int kIncrements[] = {1, -1, 3, -3, 2, 0};

// Every dot kernel as (n, x, incx, y, incy) -> value; the complex ones
// write through a result address (4 bytes off for zdotc_don) that starts
// as NaN, so that every part must be written.
template <class T> using Dot = T (*)(int, const T *, int, const T *, int);
template <class T, T (*K)(const i32 *, const T *, const i32 *, const T *, const i32 *)>
T real_dot(int n, const T *x, int incx, const T *y, int incy) {
  return K(&n, x, &incx, y, &incy);
}
template <class C, void (*K)(C *, const i32 *, const C *, const i32 *, const C *, const i32 *),
          int kOff = 0>
C complex_dot(int n, const C *x, int incx, const C *y, int incy) {
  Buffer out(sizeof(C), kOff);
  store<C>(out.data(), splat<C>(std::numeric_limits<Part<C>>::quiet_NaN()));
  K(reinterpret_cast<C *>(out.data()), &n, x, &incx, y, &incy);
  return load<C>(out.data());
}
template <class T, bool kConjugate, bool kInOrder = false>
T model_dot(int n, const T *x, int incx, const T *y, int incy) {
  return model::dot(n, x, incx, y, incy, kConjugate, kInOrder);
}

template <class T>
void check_dot(const char *name, Dot<T> kernel, Dot<T> model, bool may_be_4_off) {
  for (int n : kSizes)
    for (int incx : kIncrements)
      for (int incy : kIncrements)
        for (int xoff = 0; xoff <= (may_be_4_off ? 4 : 0); xoff += 4)
          for (int yoff = 0; yoff <= (may_be_4_off ? 4 : 0); yoff += 4)
            for (Values v : {Values::plain, Values::specials}) {
              Strip<T> x(span(n, incx), xoff), y(span(n, incy), yoff);
              x.fill(v);
              y.fill(v);
              T got = kernel(n, x.data(), incx, y.data(), incy);
              T want = model(n, x.data(), incx, y.data(), incy);
              ASSERT_TRUE(same_elements(kCode<T>, &got, &want, 1))
                  << name << " n=" << n << " incx=" << incx << " incy=" << incy << " +" << xoff
                  << yoff;
            }
}

class Level1Model : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Level1Model);

TEST_P(Level1Model, Dots) {
  check_dot<float>("sdot", real_dot<float, __f___zo_sdot_>, model_dot<float, false>, true);
  check_dot<double>("ddot", real_dot<double, __f___zo_ddot_>, model_dot<double, false>, false);
  check_dot<double>("ddot_don", real_dot<double, __f___zo_ddot_don_>,
                    model_dot<double, false, true>, true);
  check_dot<c8>("cdotc", complex_dot<c8, __f___zo_cdotc_>, model_dot<c8, true>, true);
  check_dot<c16>("zdotc", complex_dot<c16, __f___zo_zdotc_>, model_dot<c16, true>, false);
  check_dot<c16>("zdotc_don", complex_dot<c16, __f___zo_zdotc_don_, 4>, model_dot<c16, true>, true);
}

// Scaling (x by alpha, alpha 0 included: Inf and NaN become NaN) and the
// rank-one update.
template <class T>
void check_scal(void (*kernel)(const i32 *, const T *, T *, const i32 *), bool may_be_4_off,
                std::vector<T> alphas) {
  for (int n : kSizes)
    for (int inc : kIncrements)
      for (int off = 0; off <= (may_be_4_off ? 4 : 0); off += 4)
        for (T alpha : alphas) {
          Strip<T> want(span(n, inc), off);
          want.fill(Values::specials);
          Strip<T> got(want);
          kernel(&n, &alpha, got.data(), &inc);
          model::scal(n, alpha, want.data(), inc);
          ASSERT_TRUE(got.same_as(want))
              << "n=" << n << " inc=" << inc << " +" << off << " alpha=" << alpha;
        }
}

template <class T>
void check_ger(void (*kernel)(const i32 *, const i32 *, const T *, const T *, const i32 *,
                              const T *, const i32 *, T *, const i32 *),
               bool may_be_4_off) {
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 33, 70};
  for (int m : sizes)
    for (int n : sizes)
      for (int rep = 0; rep < 3; ++rep) {
        int incx = kIncrements[random_int(0, 3)], incy = kIncrements[random_int(0, 3)];
        int lda = (m > 0 ? m : 1) + random_int(0, 2);
        int off = may_be_4_off ? 4 * random_int(0, 1) : 0;
        T alpha = rep == 0 ? T(1) : rep == 1 ? T(0) : random_element<T>(Values::plain);
        Values v = rep == 2 ? Values::specials : Values::zeros;
        Strip<T> x(span(m, incx), off), y(span(n, incy), off);
        Strip<T> want(std::size_t(lda) * (n > 0 ? n : 1), off);
        x.fill(v);
        y.fill(v);
        want.fill(v);
        Strip<T> got(want);
        kernel(&m, &n, &alpha, x.data(), &incx, y.data(), &incy, got.data(), &lda);
        model::ger(m, n, alpha, x.data(), incx, y.data(), incy, want.data(), lda);
        ASSERT_TRUE(got.same_as(want))
            << "m=" << m << " n=" << n << " incx=" << incx << " incy=" << incy << " lda=" << lda;
      }
}

TEST_P(Level1Model, ScalAndRankOneUpdate) {
  check_scal<float>(__f___zo_sscal_, true, {0.0f, 1.0f, -1.0f, 0.375f, -0.0f});
  check_scal<double>(__f___zo_dscal_, false, {0.0, 1.0, -1.0, -2.625, -0.0});
  check_ger<float>(__f___zo_pp_sger_, true);
  check_ger<double>(__f___zo_pp_dger_, false);
}

} // namespace
} // namespace mox2
