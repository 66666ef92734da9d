// The dynamic symbol table of libmox2_isa.so.2: the intrinsic entry points
// in version TAVOprivate_1.1, the BLAS-interface ones in TAVOprivate_1.2,
// and no other defined symbol.
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "mox2_isa.h"

namespace {

// name -> version of every defined symbol in the library's .dynsym.
std::map<std::string, std::string> exported_symbols() {
  std::map<std::string, std::string> symbols;
  std::string command = std::string("readelf --dyn-syms -W ") + MOX2_SHARED_LIBRARY;
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
    if (std::string(ndx) == "UND") continue;
    std::string full(name);
    auto at = full.find('@');
    std::string base = full.substr(0, at);
    std::string version = at == std::string::npos ? "" : full.substr(at); // "@@TAVO..."
    if (std::string(type) == "OBJECT" && base.rfind("TAVOprivate", 0) == 0) continue;
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
