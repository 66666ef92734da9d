#include "fuzz/fuzz.h"

#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/parallel.h"
#include "support/isas.h"

namespace mox2::test {
namespace {

struct Budget {
  std::uint64_t seed = 1;
  double seconds = 5;
  long first = 0, cases = -1; // cases < 0: until the time is up
  const char *hash_file = nullptr;
} budget;

// The case running now, named when a sanitizer ends the process.
long current_case = -1;
extern "C" void __sanitizer_set_death_callback(void (*)()) __attribute__((weak));
void name_current_case() {
  std::fprintf(stderr, "in case --seed=%llu --case=%ld\n",
               static_cast<unsigned long long>(budget.seed), current_case);
}

// 64-bit FNV-1a over the bytes of the results.
std::uint64_t hash = 0;
void hash_bytes(const void *p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    hash = (hash ^ static_cast<const unsigned char *>(p)[i]) * 0x100000001B3ull;
}
template <class P> void hash_part(const char *p) {
  const P v = load<P>(p);
  if (v != v)
    hash_bytes("NaN", 3);
  else
    hash_bytes(p, sizeof(P));
}

} // namespace

void hash_elements(TypeCode code, const void *p, std::size_t count) {
  const TypeInfo &t = type_info(code);
  const char *bytes = static_cast<const char *>(p);
  if (t.cls != TypeClass::real && t.cls != TypeClass::complex) return hash_bytes(p, count * t.size);
  for (std::size_t at = 0; at < count * t.size; at += t.kind) // every REAL part
    t.kind == 4   ? hash_part<float>(bytes + at)
    : t.kind == 8 ? hash_part<double>(bytes + at)
                  : hash_part<mox2_r16>(bytes + at);
}

void fuzz_cases(const char *name, void (*one_case)(int threads)) {
  const std::vector<Isa> isas = supported_isas();
  Team team;
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(name_current_case);
  // Case i on the set and at the T it draws, or on `isa` at `threads`.
  auto run = [&](long i, const Isa *isa, int threads) {
    current_case = i;
    rng().seed(budget.seed * 1000003 + static_cast<std::uint64_t>(i));
    const int set = random_int(0, 2), drawn_threads = random_int(1, 4);
    // Every product offered to the team, or only those worth one: the bits
    // are the partition's for T either way.
    set_threaded_work(random_int(0, 1) ? 0.0 : team.work);
    UseIsa use(isa != nullptr ? *isa : isas[set % isas.size()]);
    if (threads == 0) threads = drawn_threads;
    omp_set_num_threads(threads);
    SCOPED_TRACE(testing::Message() << "replay with --seed=" << budget.seed << " --case=" << i
                                    << " (" << isa_name(active_isa()) << ", T=" << threads << ")");
    one_case(threads);
  };
  if (budget.hash_file != nullptr) {
    std::vector<std::string> lines;
    for (const Isa &isa : isas)
      for (int threads = 1; threads <= 3; ++threads) {
        hash = 0xCBF29CE484222325ull;
        for (long i = budget.first; i < budget.first + budget.cases && !testing::Test::HasFailure();
             ++i)
          run(i, &isa, threads);
        char line[80];
        std::snprintf(line, sizeof line, "%s T=%d %016llx", name, threads,
                      static_cast<unsigned long long>(hash));
        if (&isa == &isas[0])
          lines.push_back(line);
        else
          EXPECT_EQ(line, lines[threads - 1])
              << isa_name(isa) << " differs from " << isa_name(isas[0]);
      }
    if (std::FILE *f = std::fopen(budget.hash_file, "a")) {
      for (const std::string &line : lines)
        std::fprintf(f, "%s\n", line.c_str());
      std::fclose(f);
    } else {
      ADD_FAILURE() << "cannot write " << budget.hash_file;
    }
  } else {
    const auto start = std::chrono::steady_clock::now();
    auto time_left = [&] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
             budget.seconds;
    };
    long i = budget.first;
    for (; budget.cases >= 0 ? i < budget.first + budget.cases : time_left(); ++i) {
      run(i, nullptr, 0);
      if (testing::Test::HasFailure()) break;
    }
    std::printf("%ld cases from seed %llu\n", i - budget.first,
                static_cast<unsigned long long>(budget.seed));
  }
}

} // namespace mox2::test

// The arguments gtest leaves: --seed=S, --seconds=T, --cases=N, --case=I,
// --hash=FILE (written anew).
int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  auto &b = mox2::test::budget;
  for (int i = 1; i < argc; ++i) {
    const char *a = argv[i];
    if (std::strncmp(a, "--seed=", 7) == 0) b.seed = std::strtoull(a + 7, nullptr, 10);
    if (std::strncmp(a, "--seconds=", 10) == 0) b.seconds = std::atof(a + 10);
    if (std::strncmp(a, "--cases=", 8) == 0) b.cases = std::atol(a + 8);
    if (std::strncmp(a, "--case=", 7) == 0) b.first = std::atol(a + 7), b.cases = 1;
    if (std::strncmp(a, "--hash=", 7) == 0) b.hash_file = a + 7;
  }
  if (b.hash_file != nullptr) {
    if (b.cases < 0) b.cases = 100;
    if (std::FILE *f = std::fopen(b.hash_file, "w")) std::fclose(f);
  }
  return RUN_ALL_TESTS();
}
