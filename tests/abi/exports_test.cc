// The shared libraries as users see them: the dynamic symbol table of
// libmox2_isa.so.2 (the 620 intrinsic entry points in version
// TAVOprivate_1.1, the eight BLAS-interface ones in TAVOprivate_1.2, no
// other defined symbol) and of libmox2_blas.so.2 (the standard names in
// MOX2_BLAS_2); calls through them, quick returns that read nothing, and
// invalid arguments reported as the reference BLAS does.
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mox2_cblas.h"
#include "mox2_isa.h"

extern "C" {
void dgemv_(const char *trans, const std::int32_t *m, const std::int32_t *n, const double *alpha,
            const double *a, const std::int32_t *lda, const double *x, const std::int32_t *incx,
            const double *beta, double *y, const std::int32_t *incy, std::size_t trans_len);
void dgemm_(const char *transa, const char *transb, const std::int32_t *m, const std::int32_t *n,
            const std::int32_t *k, const double *alpha, const double *a, const std::int32_t *lda,
            const double *b, const std::int32_t *ldb, const double *beta, double *c,
            const std::int32_t *ldc, std::size_t transa_len, std::size_t transb_len);
}

namespace {

// name -> version ("@@TAVOprivate_1.1") of every defined symbol in a
// library's .dynsym.
std::map<std::string, std::string> exported_symbols(const std::string &library) {
  std::map<std::string, std::string> symbols;
  FILE *pipe = popen(("readelf --dyn-syms -W " + library).c_str(), "r");
  if (pipe == nullptr) return symbols;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    // Num: Value Size Type Bind Vis Ndx Name
    char value[64], type[32], bind[32], vis[32], ndx[32], name[2048];
    unsigned num, size;
    if (std::sscanf(line, " %u: %63s %u %31s %31s %31s %31s %2047s", &num, value, &size, type, bind,
                    vis, ndx, name) != 8)
      continue;
    // Undefined symbols are imports; local ones (the section symbols that
    // aarch64's linker puts in .dynsym) are not visible outside.
    if (std::string(ndx) == "UND" || std::string(bind) == "LOCAL") continue;
    const std::string full(name);
    const auto at = full.find('@');
    const std::string base = full.substr(0, at);
    if (std::string(type) == "OBJECT" &&
        (base.rfind("TAVOprivate", 0) == 0 || base.rfind("MOX2_BLAS", 0) == 0))
      continue; // the version definitions
    symbols[base] = at == std::string::npos ? "" : full.substr(at);
  }
  pclose(pipe);
  return symbols;
}

TEST(Exports, The628EntryPointsWithTheirVersionsAndNothingElse) {
  std::map<std::string, std::string> want; // name -> version
  int reductions = 0, dot_products = 0, matmuls = 0;
#define MOX2_NAME_S_(op, r, k) want["__f_" #op "_s" #r "_l" #k] = "1.1", ++reductions;
#define MOX2_NAME_A_(op, r, k) want["__f_" #op "_a" #r "_l" #k] = "1.1", ++reductions;
#define MOX2_NAME_DOT_(a, b, r) want["__f_dotprod_s1_" #a #b] = "1.1", ++dot_products;
#define MOX2_NAME_MATMUL_(a, b, r)                                                                 \
  for (const char *form : {"a12_", "a21_", "a22_"})                                                \
    want[std::string("__f_matmul_") + form + #a #b] = "1.1", ++matmuls;
#define MOX2_NAME_BLAS_(p, t) want["__f95_" #p "gemv_"] = want["__f95_" #p "gemm_"] = "1.2";
  MOX2_REDUCTION_S_ENTRIES(MOX2_NAME_S_)
  MOX2_REDUCTION_A_ENTRIES(MOX2_NAME_A_)
  MOX2_DOTPROD_PAIRS(MOX2_NAME_DOT_)
  MOX2_MATMUL_PAIRS(MOX2_NAME_MATMUL_)
  MOX2_BLAS_TYPES(MOX2_NAME_BLAS_)
  EXPECT_EQ(reductions, 156);
  EXPECT_EQ(dot_products, 116);
  EXPECT_EQ(matmuls, 348);
  EXPECT_EQ(want.size(), 628u);
  const auto symbols = exported_symbols(MOX2_SHARED_LIBRARY);
  ASSERT_FALSE(symbols.empty()) << "could not read " << MOX2_SHARED_LIBRARY;
  for (const auto &[name, version] : want) {
    auto it = symbols.find(name);
    if (it == symbols.end())
      ADD_FAILURE() << name << " is not exported";
    else
      EXPECT_EQ(it->second, "@@TAVOprivate_" + version) << name;
  }
  for (const auto &[name, version] : symbols)
    EXPECT_TRUE(want.count(name)) << "unexpected export " << name << version;
}

TEST(Exports, ExactlyTheStandardNamesInMOX2_BLAS_2) {
  std::set<std::string> names, exported;
#define MOX2_STANDARD_(p, t)                                                                       \
  for (const char *routine : {"gemv", "gemm"})                                                     \
    names.insert(std::string(#p) + routine + "_"), names.insert(std::string("cblas_" #p) + routine);
  MOX2_BLAS_TYPES(MOX2_STANDARD_)
  for (const auto &[name, version] : exported_symbols(MOX2_BLAS_LIBRARY)) {
    exported.insert(name);
    EXPECT_EQ(version, "@@MOX2_BLAS_2") << name;
  }
  EXPECT_EQ(exported, names);
}

// The BLAS-interface entry points as an external program reaches them;
// the quick returns (M or N = 0; alpha = 0 and beta = 1; K = 0) read
// neither A nor B nor x, which lie in an unreadable page, and write
// exactly what they must.
TEST(SharedLibrary, GemmAndGemvThroughTheExports) {
  const double a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
  double c[4] = {-1, -1, -1, -1}, y[2] = {-1, -1};
  const std::int32_t i0 = 0, i1 = 1, two = 2, i3 = 3, i4 = 4;
  const double zero = 0, one = 1, twice = 2;
  __f95_dgemm_("N", "N", &two, &two, &two, &one, a, &two, b, &two, &zero, c, &two, 1, 1);
  EXPECT_TRUE(c[0] == 23 && c[1] == 34 && c[2] == 31 && c[3] == 46);
  __f95_dgemv_("T", &two, &two, &one, a, &two, b, &i1, &zero, y, &i1, 1);
  EXPECT_TRUE(y[0] == 17 && y[1] == 39);

  void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  const double *none = static_cast<const double *>(page);
  double out[12];
  std::fill(out, out + 12, 3.0);
  __f95_dgemv_("N", &i0, &i3, &one, none, &i1, none, &i1, &zero, out, &i1, 1);
  __f95_dgemv_("T", &i3, &i0, &one, none, &i3, none, &i1, &zero, out, &i1, 1);
  __f95_dgemv_("N", &i3, &i3, &zero, none, &i3, none, &i1, &one, out, &i1, 1);
  __f95_dgemm_("N", "N", &i0, &i3, &i4, &one, none, &i1, none, &i4, &zero, out, &i1, 1, 1);
  __f95_dgemm_("T", "N", &i3, &i3, &i4, &zero, none, &i4, none, &i4, &one, out, &i4, 1, 1);
  for (double v : out)
    EXPECT_EQ(v, 3.0);
  __f95_dgemm_("N", "T", &i3, &two, &i0, &one, none, &i3, none, &two, &twice, out, &i4, 1, 1);
  __f95_dgemm_("N", "N", &i3, &i1, &i0, &one, none, &i3, none, &i1, &zero, out + 8, &i3, 1, 1);
  for (int i = 0; i < 12; ++i) // C(1:3, 1:2) doubled, then a C of 3 x 1 zeroed
    EXPECT_EQ(out[i], i >= 8 && i < 11 ? 0.0 : i < 8 && i % 4 < 3 ? 6.0 : 3.0) << i;
  munmap(page, 4096);
}

// With no xerbla_ or cblas_xerbla in the process (none here), an invalid
// argument prints the reference message, naming the argument of the
// caller's own call and the first invalid one in the reference order, and
// leaves the output untouched.
TEST(StandardNames, InvalidArgumentsReportedAsTheReferenceDoes) {
  double out[4] = {7, 7, 7, 7};
  const double in[8] = {}, one = 1;
  const std::int32_t i0 = 0, i1 = 1, i2 = 2, i3 = 3, minus1 = -1;
  struct Case {
    std::function<void()> call;
    const char *message;
  } cases[] = {
      {[&] { dgemv_("N", &i2, &i1, &one, in, &i1, in, &i0, &one, out, &i1, 1); },
       " ** On entry to DGEMV parameter number  6 had an illegal value\n"},
      {[&] { dgemm_("T", "N", &i2, &i1, &i3, &one, in, &i2, in, &i3, &one, out, &i2, 1, 1); },
       " ** On entry to DGEMM parameter number  8 had an illegal value\n"},
      {[&] {
         cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, 1, 1, 2, 1, in, 1, in, 1, 1, out,
                     1);
       },
       "Parameter 9 to routine cblas_dgemm was incorrect\n"},
      {[&] { cblas_dgemv(CblasRowMajor, CblasTrans, minus1, 1, 1, in, 1, in, 1, 1, out, 1); },
       "Parameter 3 to routine cblas_dgemv was incorrect\n"},
      {[&] {
         cblas_zgemm(CblasColMajor, CblasNoTrans, static_cast<CBLAS_TRANSPOSE>(99), 1, 1, 1, in, in,
                     1, in, 1, in, out, 1);
       },
       "Parameter 3 to routine cblas_zgemm was incorrect\nIllegal TransB setting, 99\n"},
  };
  for (const Case &c : cases) {
    testing::internal::CaptureStderr();
    c.call();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    for (double v : out)
      EXPECT_EQ(v, 7.0) << c.message;
  }
}

// Row-major GEMV of A**H on complex data: the bits of one column-major 'N'
// call on A**T with conj(alpha), conj(x), conj(beta) and y conjugated
// around it, for x longer than one run of conjugated columns (odd and even
// lengths, both signs of INCX, zeros in x, a NaN in A); x is left as it was.
// Any two NaNs count as equal (which NaN an operation on NaNs gives depends
// on the instructions).
template <class F> bool same(F u, F v) {
  return std::memcmp(&u, &v, sizeof u) == 0 || (u != u && v != v);
}
template <class C, class Entry, class Cblas> void check_conjugate_gemv(Entry entry, Cblas cblas) {
  auto conj = [](C v) { return C{v.re, -v.im}; };
  unsigned seed = 12345;
  auto value = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<decltype(C{}.re)>(int(seed >> 16 & 1023) - 512) / 3;
  };
  const int n = 37;
  for (int m : {1, 511, 1100, 1101})
    for (int incx : {1, -3}) {
      const int lda = n + 2, incy = -2, span_x = 1 + (m - 1) * std::abs(incx);
      std::vector<C> a(std::size_t(lda) * m), x(span_x), y(1 + (n - 1) * 2);
      for (auto *v : {&a, &x, &y})
        for (C &e : *v)
          e = {value(), value()};
      auto x_at = [&](int j) -> C & {
        return x[std::size_t(incx > 0 ? j : m - 1 - j) * std::abs(incx)];
      };
      // Zeros in x facing an Inf in A, each in a row of its own: a column
      // skipped for its zero, or taken in a pair without the test, shows.
      int row = 0;
      for (int j : {0, 1, 510, 511, 512, 1022, 1023, m - 1})
        if (j < m) x_at(j) = {0, 0}, a[std::size_t(j) * lda + row++].im = 1 / 0.0f;
      a[std::size_t(m / 2) * lda + row].re = std::numeric_limits<decltype(C{}.re)>::quiet_NaN();
      const C alpha = {value(), value()}, beta = {value(), value()};
      const std::vector<C> x_given = x;
      std::vector<C> conj_x(m), want(y.size()); // conj_x(j): x(j) in array order, conjugated
      for (int j = 0; j < m; ++j)
        conj_x[j] = conj(x_at(j));
      std::transform(y.begin(), y.end(), want.begin(), conj);
      const C ca = conj(alpha), cb = conj(beta);
      const std::int32_t rows = n, columns = m, ld = lda, one = 1, iy = incy;
      entry("N", &rows, &columns, &ca, a.data(), &ld, conj_x.data(), &one, &cb, want.data(), &iy,
            1);
      std::transform(want.begin(), want.end(), want.begin(), conj);
      cblas(CblasRowMajor, CblasConjTrans, m, n, &alpha, a.data(), lda, x.data(), incx, &beta,
            y.data(), incy);
      for (std::size_t i = 0; i < y.size(); ++i)
        EXPECT_TRUE(same(y[i].re, want[i].re) && same(y[i].im, want[i].im)) << m << " " << incx;
      EXPECT_EQ(0, std::memcmp(x.data(), x_given.data(), x.size() * sizeof(C)));
    }
}

TEST(StandardNames, RowMajorConjugateGemvHasTheBitsOfOneCall) {
  check_conjugate_gemv<mox2_complex_r4>(__f95_cgemv_, cblas_cgemv);
  check_conjugate_gemv<mox2_complex_r8>(__f95_zgemv_, cblas_zgemv);
}

} // namespace
