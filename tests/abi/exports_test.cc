// The dynamic symbol table of libmox2_isa.so.2: the intrinsic entry points
// in version TAVOprivate_1.1, the BLAS-interface ones in TAVOprivate_1.2,
// and no other defined symbol; that of libmox2_blas.so.2: the standard
// names in MOX2_BLAS_2.
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>

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

// name -> version of every defined symbol in the library's .dynsym.
std::map<std::string, std::string>
exported_symbols(const std::string &library = MOX2_SHARED_LIBRARY) {
  std::map<std::string, std::string> symbols;
  std::string command = "readelf --dyn-syms -W " + library;
  FILE *pipe = popen(command.c_str(), "r");
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
    std::string full(name);
    auto at = full.find('@');
    std::string base = full.substr(0, at);
    std::string version = at == std::string::npos ? "" : full.substr(at); // "@@TAVO..."
    if (std::string(type) == "OBJECT" &&
        (base.rfind("TAVOprivate", 0) == 0 || base.rfind("MOX2_BLAS", 0) == 0))
      continue;
    symbols[base] = version;
  }
  pclose(pipe);
  return symbols;
}

struct Family {
  const char *what;
  std::set<std::string> names;
  const char *version;
};

std::set<std::string> reduction_names() {
  std::set<std::string> names;
#define MOX2_NAME_S_(op, r, k) names.insert("__f_" #op "_s" #r "_l" #k);
#define MOX2_NAME_A_(op, r, k) names.insert("__f_" #op "_a" #r "_l" #k);
  MOX2_REDUCTION_S_ENTRIES(MOX2_NAME_S_)
  MOX2_REDUCTION_A_ENTRIES(MOX2_NAME_A_)
#undef MOX2_NAME_S_
#undef MOX2_NAME_A_
  return names;
}

std::set<std::string> dotprod_names() {
  std::set<std::string> names;
#define MOX2_NAME_(a, b, r) names.insert("__f_dotprod_s1_" #a #b);
  MOX2_DOTPROD_PAIRS(MOX2_NAME_)
#undef MOX2_NAME_
  return names;
}

std::set<std::string> matmul_names() {
  std::set<std::string> names;
#define MOX2_NAME_(a, b, r)                                                    \
  names.insert("__f_matmul_a12_" #a #b);                                       \
  names.insert("__f_matmul_a21_" #a #b);                                       \
  names.insert("__f_matmul_a22_" #a #b);
  MOX2_MATMUL_PAIRS(MOX2_NAME_)
#undef MOX2_NAME_
  return names;
}

std::set<std::string> blas_names() {
  std::set<std::string> names;
#define MOX2_NAME_(p, t)                                                       \
  names.insert("__f95_" #p "gemv_");                                           \
  names.insert("__f95_" #p "gemm_");
  MOX2_BLAS_TYPES(MOX2_NAME_)
#undef MOX2_NAME_
  return names;
}

std::vector<Family> families() {
  return {{"ALL/ANY/COUNT", reduction_names(), "TAVOprivate_1.1"},
          {"DOT_PRODUCT", dotprod_names(), "TAVOprivate_1.1"},
          {"MATMUL", matmul_names(), "TAVOprivate_1.1"},
          {"GEMV/GEMM", blas_names(), "TAVOprivate_1.2"}};
}

TEST(Exports, TheListHas628EntryPoints) {
  auto f = families();
  EXPECT_EQ(f[0].names.size(), 156u);
  EXPECT_EQ(f[1].names.size(), 116u);
  EXPECT_EQ(f[2].names.size(), 348u);
  EXPECT_EQ(f[3].names.size(), 8u);
}

TEST(Exports, EveryEntryPointWithItsVersion) {
  auto symbols = exported_symbols();
  ASSERT_FALSE(symbols.empty()) << "could not read " << MOX2_SHARED_LIBRARY;
  for (const Family &family : families()) {
    for (const std::string &name : family.names) {
      auto it = symbols.find(name);
      if (it == symbols.end()) {
        ADD_FAILURE() << family.what << ": " << name << " is not exported";
        continue;
      }
      EXPECT_EQ(it->second, std::string("@@") + family.version) << name;
    }
  }
}

TEST(Exports, NothingElse) {
  std::set<std::string> listed;
  for (const Family &family : families()) listed.insert(family.names.begin(), family.names.end());
  for (const auto &[name, version] : exported_symbols())
    EXPECT_TRUE(listed.count(name)) << "unexpected export " << name << version;
}

} // namespace

namespace {

// The BLAS-interface entry points as an external program reaches them.
TEST(SharedLibrary, GemmAndGemvThroughTheExports) {
  const double a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
  double c[4] = {-1, -1, -1, -1}, y[2] = {-1, -1};
  const std::int32_t two = 2, one = 1;
  const double alpha = 1, beta = 0;
  __f95_dgemm_("N", "N", &two, &two, &two, &alpha, a, &two, b, &two, &beta, c, &two, 1, 1);
  EXPECT_EQ(c[0], 23.0);
  EXPECT_EQ(c[1], 34.0);
  EXPECT_EQ(c[2], 31.0);
  EXPECT_EQ(c[3], 46.0);
  __f95_dgemv_("T", &two, &two, &alpha, a, &two, b, &one, &beta, y, &one, 1);
  EXPECT_EQ(y[0], 17.0);
  EXPECT_EQ(y[1], 39.0);
}

} // namespace

namespace {

TEST(StandardNames, ExactlyTheFortranAndCblasNamesInMOX2_BLAS_2) {
  std::set<std::string> names;
#define MOX2_NAME_(p, t)                                                                           \
  for (const char *routine : {"gemv", "gemm"}) {                                                   \
    names.insert(std::string(#p) + routine + "_");                                                 \
    names.insert(std::string("cblas_" #p) + routine);                                              \
  }
  MOX2_BLAS_TYPES(MOX2_NAME_)
#undef MOX2_NAME_
  std::set<std::string> exported;
  for (const auto &[name, version] : exported_symbols(MOX2_BLAS_LIBRARY)) {
    exported.insert(name);
    EXPECT_EQ(version, "@@MOX2_BLAS_2") << name;
  }
  EXPECT_EQ(exported, names);
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

} // namespace
