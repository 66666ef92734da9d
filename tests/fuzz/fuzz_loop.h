// The fuzzers' case loop.  Case i draws from the tests' generator seeded
// with (seed, i), so a failing case replays alone (--seed=S --case=I);
// cases run until --seconds have passed, or --cases of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "support/arrays.h"

namespace mox2::test {

struct FuzzBudget {
  std::uint64_t seed = 1;
  double seconds = 5;
  long first = 0, cases = -1; // cases < 0: until the time is up
};
inline FuzzBudget &fuzz_budget() {
  static FuzzBudget budget;
  return budget;
}

// The arguments gtest left: --seed=S, --seconds=T, --cases=N, --case=I.
inline void read_fuzz_arguments(int argc, char **argv) {
  FuzzBudget &b = fuzz_budget();
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    if (std::strncmp(a, "--seed=", 7) == 0) b.seed = std::strtoull(a + 7, nullptr, 10);
    if (std::strncmp(a, "--seconds=", 10) == 0) b.seconds = std::atof(a + 10);
    if (std::strncmp(a, "--cases=", 8) == 0) b.cases = std::atol(a + 8);
    if (std::strncmp(a, "--case=", 7) == 0) b.first = std::atol(a + 7), b.cases = 1;
  }
}

// The case running now, named when a sanitizer ends the process.
inline long current_case = -1;
extern "C" void __sanitizer_set_death_callback(void (*)()) __attribute__((weak));
inline void name_current_case() {
  std::fprintf(stderr, "in case --seed=%llu --case=%ld\n",
               static_cast<unsigned long long>(fuzz_budget().seed), current_case);
}

// Runs one_case() for every case of the budget; stops at the first failure.
template <class F> void fuzz_cases(F one_case) {
  const FuzzBudget &b = fuzz_budget();
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(name_current_case);
  const auto start = std::chrono::steady_clock::now();
  auto time_left = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
           b.seconds;
  };
  long i = b.first;
  for (; b.cases >= 0 ? i < b.first + b.cases : time_left(); ++i) {
    current_case = i;
    rng().seed(b.seed * 1000003 + static_cast<std::uint64_t>(i));
    SCOPED_TRACE(testing::Message() << "replay with --seed=" << b.seed << " --case=" << i);
    one_case();
    if (testing::Test::HasFailure()) return;
  }
  std::printf("%ld cases from seed %llu\n", i - b.first, static_cast<unsigned long long>(b.seed));
}

} // namespace mox2::test
