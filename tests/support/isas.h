// The kernel sets a test runs on: every set this CPU can run, each forced
// in turn through the library's test hook, the detected set given back
// afterwards (never a fixed one: a CPU may lack AVX-512 or AVX2); and the
// team settings a test changes, given back too.
#pragma once

#include <omp.h>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/cpu.h"
#include "runtime/parallel.h"

namespace mox2 {
// gtest prints a test's kernel set by name.
inline void PrintTo(Isa isa, std::ostream *os) { *os << isa_name(isa); }
} // namespace mox2

namespace mox2::test {

// The kernel sets this CPU can run, portable first, the detected one last.
inline std::vector<Isa> supported_isas() {
  std::vector<Isa> isas;
  for (Isa isa : {Isa::portable, Isa::avx2, Isa::avx512})
    if (force_isa(isa) == isa) isas.push_back(isa);
  force_isa(detected_isa());
  return isas;
}

// The library runs on `isa` while this lives, then on the detected set.
class UseIsa {
public:
  explicit UseIsa(Isa isa) { force_isa(isa); }
  ~UseIsa() { force_isa(detected_isa()); }
};

// The team size and the threaded-work threshold (the least work offered to
// the team) given back when this ends; Team(t, work) sets them meanwhile.
struct Team {
  const int threads = omp_get_max_threads();
  const double work = threaded_work();
  Team() = default;
  Team(int t, double w) { omp_set_num_threads(t), set_threaded_work(w); }
  ~Team() { omp_set_num_threads(threads), set_threaded_work(work); }
};

// A suite whose every test runs once on each supported kernel set (the
// set's name ends the test's name):
//   class Suite : public test::OnEachKernelSet {};
//   TEST_P(Suite, Name) { ... }
//   MOX2_ON_EACH_KERNEL_SET(Suite);
class OnEachKernelSet : public ::testing::TestWithParam<Isa> {
protected:
  void SetUp() override { force_isa(GetParam()); }
  void TearDown() override { force_isa(detected_isa()); }
};

inline std::string isa_param_name(const ::testing::TestParamInfo<Isa> &info) {
  return isa_name(info.param);
}

} // namespace mox2::test

#define MOX2_ON_EACH_KERNEL_SET(suite)                                                             \
  INSTANTIATE_TEST_SUITE_P(, suite, ::testing::ValuesIn(::mox2::test::supported_isas()),           \
                           ::mox2::test::isa_param_name)
