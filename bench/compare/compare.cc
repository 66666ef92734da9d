// mox2 beside its peers in one run: GEMM of the four types, DGEMV, MATMUL of
// REAL(8) matrices and COUNT, ALL and ANY of LOGICAL(1), (2) and (4) masks,
// on 1 and 2 threads, beside OpenBLAS, the reference BLAS and gfortran's
// intrinsics; DGEMV and the masks also beside a plain read of the same bytes.
// OpenBLAS reads OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE when it is loaded,
// so it is measured twice, as two separate instances in this process: the
// library loaded with the environment as it is, and a private copy of its
// file loaded with both variables unset.  Group by group, the repetitions of
// every library, size and thread count run in one shuffled order (random
// interleaving), so that the figures at a point, and their ratios, are taken
// over the same stretch of time on a machine whose load varies.
//
// Prints each figure (the median over the repetitions) once its group has
// run, then writes to the output folder results.md (also printed),
// measurements.tsv, the gnuplot data and script, and gemm.png.
//
//   mox2_compare [--quick] [--out=DIR] [--only=dgemm,sgemm,...]
#include <dlfcn.h>
#include <omp.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include <benchmark/benchmark.h>

#include "arithmetic_peak.h"
#include "blas_peers.h"
#include "compare.h"
#include "plain_read.h"

extern "C" {
void gfortran_matmul_r8r8(int m, int k, int n, const double *a, const double *b, double *c);
// gfortran's ALL (op 0), ANY (1) and COUNT (2) of a(1:n:step), LOGICAL(k) a at p.
#define MOX2_GFORTRAN_LOGICAL_(k)                                                                  \
  std::int32_t mox2_gfortran_logical_l##k(const void *p, std::int64_t n, std::int64_t step, int op);
MOX2_GFORTRAN_LOGICAL_(1)
MOX2_GFORTRAN_LOGICAL_(2)
MOX2_GFORTRAN_LOGICAL_(4)
#undef MOX2_GFORTRAN_LOGICAL_
}

namespace mox2_compare {
namespace {

using namespace mox2_bench;

// What is measured, and how often.
struct Plan {
  std::vector<long> gemm_sizes, gemv_sizes, mask_sizes;
  long reference_limit;               // the reference BLAS's GEMM is slow beyond this n
  int repetitions, large_repetitions; // the latter for products with n >= 1000
  double min_time;                    // seconds per repetition, or one call if that is longer
};
// GEMV at 1024 beside 1000: columns a power of two apart share their cache
// sets.
const Plan kFull{{64, 128, 256, 512, 1000, 2000},
                 {256, 1000, 1024, 4000, 8000},
                 {1L << 18, 1L << 26},
                 512,
                 5,
                 3,
                 0.1};
const Plan kQuick{{64, 256}, {1000}, {1L << 18}, 256, 2, 2, 0.05};

const char *const kSeriesNames[kSeriesCount] = {"mox2",     "mox2_avx2",      "mox2_avx512",
                                                "openblas", "openblas_unset", "reference",
                                                "gfortran", "plain_read",     "mox2_dgemm"};

// One registered benchmark: where its figure goes, and its work per call
// (floating-point operations, or bytes of mask) in units of 1e9.
struct Meta {
  int group;
  Series series;
  int threads;
  long size;
  double giga_work;
};
std::map<std::string, Meta> &registry() {
  static std::map<std::string, Meta> r;
  return r;
}
// The registered names, in the order of registration (size, threads, series).
std::vector<std::string> &registration_order() {
  static std::vector<std::string> r;
  return r;
}

void add(const Plan &plan, Meta meta, std::function<void(benchmark::State &)> body) {
  const std::string name = std::string(kGroups[meta.group].name) + "/" + kSeriesNames[meta.series] +
                           "/" + std::to_string(meta.threads) + "T/" + std::to_string(meta.size);
  registry()[name] = meta;
  registration_order().push_back(name);
  const bool large = (kGroups[meta.group].gemm || meta.group == matmul_r8) && meta.size >= 1000;
  benchmark::RegisterBenchmark(name.c_str(), std::move(body))
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond)
      ->MinTime(plan.min_time)
      ->Repetitions(large ? plan.large_repetitions : plan.repetitions);
}

// The file of the shared object that holds the code at p, symbolic links
// resolved ("" if none).
std::string object_file(const void *p) {
  Dl_info info;
  if (p == nullptr || dladdr(p, &info) == 0 || info.dli_fname == nullptr) return "";
  std::error_code e;
  const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, e);
  return e ? "" : file.string();
}

// OpenBLAS with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset, beside the
// instance loaded with the environment as it is.  Debian's libblas.so.3 is
// OpenBLAS's BLAS interface in front of libopenblas.so.0, which holds the
// kernels, the threads and the settings; the dynamic loader would hand back
// the loaded instance for that file, so a private copy of it is loaded
// (RTLD_LOCAL, BLAS interface included) while both variables are unset,
// then they are put back.  The copy is removed as soon as it is mapped, so
// that nothing is left behind however the run ends.  Nothing (no handle)
// unless the copy is a separate instance: its GEMM and its core's name
// found in itself.
const BlasLibrary &openblas_unset_library() {
  static const BlasLibrary o = [] {
    BlasLibrary r;
    // The first instance, which also sees the environment as it is.
    const std::string source = object_file(reinterpret_cast<const void *>(openblas().corename));
    if (source.empty()) return r;
    const char *tmp = std::getenv("TMPDIR");
    std::string copy = std::string(tmp && *tmp ? tmp : "/tmp") + "/mox2_compare_openblas_XXXXXX";
    const int fd = mkstemp(copy.data());
    if (fd < 0) return r;
    close(fd);
    std::error_code e;
    if (std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing,
                                   e)) {
      std::optional<std::string> saved[2];
      const char *const names[2] = {"OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE"};
      for (int i = 0; i < 2; ++i)
        if (const char *v = std::getenv(names[i])) saved[i] = v;
      for (const char *name : names)
        unsetenv(name);
      r = load_blas(copy.c_str());
      for (int i = 0; i < 2; ++i)
        if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
    }
    const std::string file = std::filesystem::canonical(copy, e).string();
    const bool separate = !e && r.handle &&
                          object_file(reinterpret_cast<const void *>(r.dgemm)) == file &&
                          object_file(reinterpret_cast<const void *>(r.corename)) == file;
    std::filesystem::remove(copy, e);
    if (!separate) r = BlasLibrary{}; // left loaded: its threads may exist
    return r;
  }();
  return o;
}

// The kernel set of a mox2 series: the one the library picks here (the
// best the CPU has, capped by MOX2_KERNEL_SET as the library reads it), or
// the series' own.
const char *best_set() {
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
    return "avx512";
  return __builtin_cpu_supports("avx2") ? "avx2" : "portable";
}
int set_rank(const std::string &set) { return set == "avx512" ? 2 : set == "avx2" ? 1 : 0; }
std::string kernel_set_of(Series series) {
  const std::string best = best_set();
  if (series == mox2_avx2 || series == mox2_avx512) {
    const std::string own = series == mox2_avx2 ? "avx2" : "avx512";
    return set_rank(own) <= set_rank(best) ? own : "";
  }
  const char *v = std::getenv("MOX2_KERNEL_SET");
  const std::string cap = v ? v : "";
  if (cap != "portable" && cap != "avx2" && cap != "avx512") return best;
  return set_rank(cap) < set_rank(best) ? cap : best;
}

// mox2 held to one kernel set, beside the library as programs load it: a
// private copy of its file, loaded (RTLD_LOCAL) as a separate instance
// while MOX2_KERNEL_SET names the set, which it reads at its first call,
// made right away (a COUNT of a short mask); then the variable is put back.
// RTLD_DEEPBIND: the copy's calls of its own entry points (MATMUL calls
// GEMM) reach the copy, not the first instance.  The copy is removed as
// soon as it is mapped.  Nothing (no handle) for a set the CPU lacks, for
// mox2's own set (measured as mox2), or unless the copy is a separate
// instance.
struct Mox2Copy {
  void *handle = nullptr;
  GemmFn sgemm = nullptr, dgemm = nullptr, cgemm = nullptr, zgemm = nullptr;
  void (*matmul_r8)(mox2_dope_vector2 *, const mox2_dope_vector2 *,
                    const mox2_dope_vector2 *) = nullptr;
};
const Mox2Copy &mox2_copy(Series series) {
  static std::map<Series, Mox2Copy> copies;
  if (auto c = copies.find(series); c != copies.end()) return c->second;
  Mox2Copy &r = copies[series];
  const std::string set = kernel_set_of(series);
  const std::string source = object_file(reinterpret_cast<const void *>(&__f95_dgemm_));
  if (set.empty() || set == kernel_set_of(mox2) || source.empty()) return r;
  const char *tmp = std::getenv("TMPDIR");
  std::string copy = std::string(tmp && *tmp ? tmp : "/tmp") + "/mox2_compare_mox2_XXXXXX";
  const int fd = mkstemp(copy.data());
  if (fd < 0) return r;
  close(fd);
  // The first instance chooses its set (with the environment as it is) first.
  std::int8_t bytes[64] = {1};
  mox2_dope_vector1 m{bytes, {64}, {1}};
  benchmark::DoNotOptimize(__f_count_s1_l1(&m));
  std::error_code e;
  if (std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing,
                                 e)) {
    const char *v = std::getenv("MOX2_KERNEL_SET");
    const std::optional<std::string> saved = v ? std::optional<std::string>(v) : std::nullopt;
    setenv("MOX2_KERNEL_SET", set.c_str(), 1);
    r.handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (r.handle) {
      auto count = reinterpret_cast<std::int64_t (*)(const mox2_dope_vector1 *)>(
          dlsym(r.handle, "__f_count_s1_l1"));
      if (count) benchmark::DoNotOptimize(count(&m));
#define MOX2_COPY_GEMM_(p, t)                                                                      \
  r.p##gemm = reinterpret_cast<GemmFn>(dlsym(r.handle, "__f95_" #p "gemm_"));
      MOX2_BLAS_TYPES(MOX2_COPY_GEMM_)
#undef MOX2_COPY_GEMM_
      r.matmul_r8 = reinterpret_cast<decltype(r.matmul_r8)>(dlsym(r.handle, "__f_matmul_a22_r8r8"));
    }
    if (saved)
      setenv("MOX2_KERNEL_SET", saved->c_str(), 1);
    else
      unsetenv("MOX2_KERNEL_SET");
  }
  const std::string file = std::filesystem::canonical(copy, e).string();
  const bool separate =
      !e && r.handle && r.matmul_r8 && object_file(reinterpret_cast<const void *>(r.dgemm)) == file;
  std::filesystem::remove(copy, e);
  if (!separate) r = Mox2Copy{};
  return r;
}

// OpenBLAS's threads busy-wait after a threaded call, for 2^28 time-stamp
// counter cycles (100 ms at this machine's 2.7 GHz; its THREAD_TIMEOUT); on
// two cores they would take a core from what runs next.  Each instance has
// its own threads: after a 2-thread repetition of one, any repetition but
// one of the same instance's 2-thread series (even a 1-thread call of it,
// which would not wake them) starts only after they have gone to sleep.
constexpr int kOpenblasSettleMs = 150;
void use_threads(Series series, int threads) {
  static int spinning = -1; // the OpenBLAS series whose threads may still spin
  const bool openblas_series = series == openblas_env || series == openblas_unset;
  const bool threaded_openblas = openblas_series && threads > 1;
  if (spinning >= 0 && !(threaded_openblas && series == spinning))
    std::this_thread::sleep_for(std::chrono::milliseconds(kOpenblasSettleMs));
  spinning = threaded_openblas ? int(series) : -1;
  if (is_mox2(series) || series == mox2_dgemm) omp_set_num_threads(threads);
  if (series == openblas_env) openblas().set_threads(threads);
  if (series == openblas_unset) openblas_unset_library().set_threads(threads);
}
bool runs_on(Series series, int threads) {
  return threads == 1 || is_mox2(series) || series == openblas_env || series == openblas_unset ||
         series == plain_read || series == mox2_dgemm;
}

// The plain read's strategy for these bytes and threads: the fastest,
// measured once (fastest_read_choice) at its first use.  By (bytes,
// threads), for the notes: which strategy won.
std::map<std::pair<std::size_t, int>, std::set<int>> &read_strategies() {
  static std::map<std::pair<std::size_t, int>, std::set<int>> chosen;
  return chosen;
}
int read_strategy_for(const void *p, std::size_t bytes, int threads) {
  static std::map<std::tuple<const void *, std::size_t, int>, int> by_operand;
  auto [at, fresh] = by_operand.try_emplace({p, bytes, threads}, 0);
  if (fresh) {
    at->second = fastest_read_choice(p, bytes, threads);
    read_strategies()[{bytes, threads}].insert(at->second);
  }
  return at->second;
}

// A's n*n elements and the others' count (n*n for GEMM, n for GEMV), made
// once per shape and kept for the whole run: the repetitions of the sizes
// are interleaved.
template <class T> struct Operands { std::vector<T> a, b, c; };
template <class T> Operands<T> &operands(long n, long others) {
  static std::map<std::pair<long, long>, Operands<T>> shapes;
  Operands<T> &o = shapes[{n, others}];
  if (o.a.empty()) {
    o.a = random_matrix<T>(std::size_t(n * n));
    o.b = random_matrix<T>(std::size_t(others));
    o.c.assign(std::size_t(others), T{});
  }
  return o;
}

const BlasLibrary *peer_library(Series series) {
  if (series == openblas_env) return &openblas();
  if (series == openblas_unset) return &openblas_unset_library();
  return series == reference ? &reference_blas() : nullptr;
}
// The group's GEMM of one series (null where it has none).
GemmFn gemm_routine(Series series, int group) {
  if (series == mox2_avx2 || series == mox2_avx512) {
    const Mox2Copy &c = mox2_copy(series);
#define MOX2_COPY_ROUTINE_(p, t)                                                                   \
  if (group == p##gemm) return c.p##gemm;
    MOX2_BLAS_TYPES(MOX2_COPY_ROUTINE_)
#undef MOX2_COPY_ROUTINE_
    return nullptr;
  }
  const BlasLibrary *peer = peer_library(series);
  if (series != mox2 && peer == nullptr) return nullptr;
#define MOX2_GEMM_ROUTINE_(p, t)                                                                   \
  if (group == p##gemm) return peer ? peer->p##gemm : reinterpret_cast<GemmFn>(&__f95_##p##gemm_);
  MOX2_BLAS_TYPES(MOX2_GEMM_ROUTINE_)
#undef MOX2_GEMM_ROUTINE_
  return nullptr;
}
DgemvFn dgemv_routine(Series series) {
  const BlasLibrary *peer = peer_library(series);
  if (series != mox2 && peer == nullptr) return nullptr;
  return peer ? peer->dgemv : &__f95_dgemv_;
}

// The mox2 series held to one set measure the larger products only.
constexpr long kSetSeriesFrom = 256;
bool set_series_skips(Series series, long n) {
  return (series == mox2_avx2 || series == mox2_avx512) && n < kSetSeriesFrom;
}

// C := 1.25*A*B (beta = 0), all n x n.
template <class T> void add_gemm(const Plan &plan, int group, const std::vector<Series> &serieses) {
  for (long n : plan.gemm_sizes)
    for (int t : {1, 2})
      for (Series series : serieses) {
        GemmFn fn = gemm_routine(series, group);
        if (!fn || !runs_on(series, t) || (series == reference && n > plan.reference_limit) ||
            set_series_skips(series, n))
          continue;
        add(plan, {group, series, t, n, flops_per_term<T>() * double(n) * n * n / 1e9},
            [=](benchmark::State &s) {
              use_threads(series, t);
              const i32 order = i32(n);
              Operands<T> &p = operands<T>(n, n * n);
              const T alpha = scalar<T>(1.25), beta = scalar<T>(0);
              for (auto _ : s) {
                fn("N", "N", &order, &order, &order, &alpha, p.a.data(), &order, p.b.data(), &order,
                   &beta, p.c.data(), &order, 1, 1);
                benchmark::ClobberMemory();
              }
            });
      }
}

// y := 1.25*op(A)*x (beta = 0), A n x n; the plain read reads A.
void add_dgemv(const Plan &plan, int group, const std::vector<Series> &serieses) {
  for (long n : plan.gemv_sizes)
    for (int t : {1, 2})
      for (Series series : serieses) {
        if (series == plain_read) {
          add(plan, {group, series, t, n, 2.0 * n * n / 1e9}, [=](benchmark::State &s) {
            use_threads(series, t);
            const Operands<double> &p = operands<double>(n, n);
            const std::size_t bytes = p.a.size() * sizeof(double);
            const int strategy = read_strategy_for(p.a.data(), bytes, t);
            for (auto _ : s)
              benchmark::DoNotOptimize(sum_bytes(p.a.data(), bytes, t, strategy));
          });
          continue;
        }
        DgemvFn fn = dgemv_routine(series);
        if (!fn || !runs_on(series, t)) continue;
        add(plan, {group, series, t, n, 2.0 * n * n / 1e9}, [=](benchmark::State &s) {
          use_threads(series, t);
          const char trans = group == dgemv_n ? 'N' : 'T';
          const i32 order = i32(n), one = 1;
          Operands<double> &p = operands<double>(n, n);
          const double alpha = 1.25, beta = 0;
          for (auto _ : s) {
            fn(&trans, &order, &order, &alpha, p.a.data(), &order, p.b.data(), &one, &beta,
               p.c.data(), &one, 1);
            benchmark::ClobberMemory();
          }
        });
      }
}

// MATMUL(A, B) of contiguous n x n REAL(8) matrices; the library allocates
// the result, gfortran's wrapper writes into the caller's array.  Beside
// them mox2's DGEMM of the same product (alpha = 1, beta = 0), so that
// MATMUL's cost over DGEMM is read from one stretch of time.
void add_matmul(const Plan &plan, const std::vector<Series> &serieses) {
  for (long n : plan.gemm_sizes)
    for (int t : {1, 2})
      for (Series series : serieses) {
        if ((!is_mox2(series) && series != gfortran && series != mox2_dgemm) ||
            !runs_on(series, t) || set_series_skips(series, n))
          continue;
        auto matmul = series == mox2 || series == mox2_dgemm ? &__f_matmul_a22_r8r8
                                                             : mox2_copy(series).matmul_r8;
        if (is_mox2(series) && !matmul) continue;
        add(plan, {matmul_r8, series, t, n, 2.0 * n * n * n / 1e9}, [=](benchmark::State &s) {
          use_threads(series, t);
          Operands<double> &p = operands<double>(n, n * n);
          mox2_dope_vector2 a{p.a.data(), {n, n}, {8, 8 * n}}, b{p.b.data(), {n, n}, {8, 8 * n}};
          const i32 order = i32(n);
          const double one = 1, zero = 0;
          for (auto _ : s) {
            if (is_mox2(series)) {
              mox2_dope_vector2 r;
              matmul(&r, &a, &b);
              benchmark::DoNotOptimize(r.base);
              std::free(r.base);
            } else if (series == mox2_dgemm) {
              __f95_dgemm_("N", "N", &order, &order, &order, &one, p.a.data(), &order, p.b.data(),
                           &order, &zero, p.c.data(), &order, 1, 1);
              benchmark::ClobberMemory();
            } else {
              gfortran_matmul_r8r8(int(n), int(n), int(n), p.a.data(), p.b.data(), p.c.data());
              benchmark::ClobberMemory();
            }
          }
        });
      }
}

// 64 MiB of LOGICAL(kind) true, or of false (all bytes zero, any kind).
const void *mask(int kind, bool value) {
  static std::map<int, std::vector<std::int8_t>> masks;
  std::vector<std::int8_t> &m = masks[value ? kind : 0];
  if (m.empty()) {
    m.assign(std::size_t(1) << 26, 0);
    if (value)
      for (std::size_t i = 0; i < m.size(); i += std::size_t(kind))
        m[i] = 1; // the low byte, little-endian
  }
  return m.data();
}

// mox2's ALL, ANY or COUNT of a rank-1 LOGICAL(kind) mask, as a number.
std::int64_t mox2_reduction(Reduction op, int kind, const mox2_dope_vector1 *m) {
#define MOX2_CALL_(o, r, k)                                                                        \
  if (op == Reduction::o && kind == k) return std::int64_t(__f_##o##_s1_l##k(m));
  MOX2_REDUCTION_WORKERS(MOX2_CALL_)
#undef MOX2_CALL_
  return -1;
}
std::int32_t gfortran_reduction(Reduction op, int kind, const void *p, std::int64_t n) {
  const int code = op == Reduction::all ? 0 : op == Reduction::any ? 1 : 2;
  switch (kind) {
  case 1: return mox2_gfortran_logical_l1(p, n, 1, code);
  case 2: return mox2_gfortran_logical_l2(p, n, 1, code);
  default: return mox2_gfortran_logical_l4(p, n, 1, code);
  }
}

// COUNT and ALL of an all-true mask, ANY of an all-false one: no early exit.
void add_reduction(const Plan &plan, MaskGroup g, const std::vector<Series> &serieses) {
  for (long bytes : plan.mask_sizes)
    for (Series series : serieses) {
      if (series != mox2 && series != gfortran && series != plain_read) continue;
      add(plan, {g.group, series, 1, bytes, double(bytes) / 1e9}, [=](benchmark::State &s) {
        use_threads(series, 1);
        const void *p = mask(g.kind, g.op != Reduction::any);
        const long length = bytes / g.kind;
        mox2_dope_vector1 m{const_cast<void *>(p), {length}, {g.kind}};
        const int strategy = series == plain_read ? read_strategy_for(p, std::size_t(bytes), 1) : 0;
        for (auto _ : s) {
          if (series == gfortran)
            benchmark::DoNotOptimize(gfortran_reduction(g.op, g.kind, p, length));
          else if (series == plain_read)
            benchmark::DoNotOptimize(sum_bytes(p, std::size_t(bytes), 1, strategy));
          else
            benchmark::DoNotOptimize(mox2_reduction(g.op, g.kind, &m));
        }
      });
    }
}

void add_all(const Plan &plan, const std::vector<Series> &serieses) {
#define MOX2_ADD_GEMM_(p, t) add_gemm<mox2_##t>(plan, p##gemm, serieses);
  MOX2_BLAS_TYPES(MOX2_ADD_GEMM_)
#undef MOX2_ADD_GEMM_
  add_matmul(plan, serieses);
  for (int group : {dgemv_n, dgemv_t})
    add_dgemv(plan, group, serieses);
  for (MaskGroup g : kMaskGroups)
    add_reduction(plan, g, serieses);
}

// Gathers each benchmark's repetitions, which arrive in any order and mixed
// with other benchmarks' (interleaved), and once a group has run keeps and
// prints the median of each, in the order of registration.
class Collector : public benchmark::BenchmarkReporter {
public:
  Collector(Results &results) : results_(results) {}
  bool ReportContext(const Context &context) override {
    if (context_) PrintBasicContext(&std::cout, context);
    context_ = false; // once per program, not once per group
    return true;
  }
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Iteration) continue; // aggregates
      const std::string &name = run.run_name.function_name;
      Repetitions &r = pending_[name];
      if (run.error_occurred)
        r.error = run.error_message;
      else
        r.rates.push_back(registry().at(name).giga_work * double(run.iterations) /
                          run.real_accumulated_time);
    }
  }
  void finish_group() {
    for (const std::string &name : registration_order()) {
      auto p = pending_.find(name);
      if (p == pending_.end()) continue;
      const Meta &m = registry().at(name);
      const std::string what = std::string(kGroups[m.group].name) + " " + std::to_string(m.size) +
                               "  " + results_.labels[m.series] + " " + std::to_string(m.threads) +
                               "T";
      std::vector<double> &rates = p->second.rates;
      if (!p->second.error.empty() || rates.empty()) {
        std::cout << what << ": skipped, " << p->second.error << std::endl;
        continue;
      }
      std::sort(rates.begin(), rates.end());
      const std::size_t h = rates.size() / 2;
      const double median = rates.size() % 2 ? rates[h] : (rates[h - 1] + rates[h]) / 2;
      results_.measurements.push_back({m.group, m.series, m.threads, m.size, median});
      std::printf("%-52s %9.2f %s  (%zu repetitions, %.2f-%.2f)\n", what.c_str(), median,
                  kGroups[m.group].unit, rates.size(), rates.front(), rates.back());
    }
    std::fflush(stdout);
    pending_.clear();
  }

private:
  struct Repetitions {
    std::vector<double> rates;
    std::string error;
  };
  Results &results_;
  bool context_ = true;
  std::map<std::string, Repetitions> pending_;
};

std::string openblas_label(const BlasLibrary &o) {
  return std::string("OpenBLAS ") + (o.corename ? o.corename() : "");
}

// Runs a program (args[0], searched in PATH unless it holds a slash) with
// the environment env and waits: its exit status, or -errno if it could not start.
int run_program(const std::vector<std::string> &args, char *const *env) {
  std::vector<char *> argv;
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  std::cout.flush();
  std::fflush(stdout);
  pid_t pid;
  if (int e = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), env); e != 0) return -e;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string cpu_model() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown CPU";
}

std::string environment_value(const char *name) {
  const char *v = std::getenv(name);
  return std::string(name) + (v ? "=" + std::string(v) : " unset");
}

// The system load averaged over the last minute.
double load_average() {
  double load = 0;
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

// What the products can reach here: mox2 multiplies and adds separately
// (each product rounded before its sum); OpenBLAS fuses them.  before,
// after: the peaks measured before and after the run, the widest vectors
// first.  A peak that moved says the core's speed changed meanwhile (a
// neighbour on the host, or the clock), and with it every ratio taken
// minutes apart.
std::string peak_note(const std::vector<ArithmeticPeak> &before,
                      const std::vector<ArithmeticPeak> &after) {
  if (before.empty()) return "Arithmetic peak: not measured (neither AVX-512 nor AVX2 with FMA).";
  std::string text =
      "Arithmetic peak of one core, measured before the run (and after it), in "
      "GFLOP/s of REAL(8) with multiplies and adds as separate instructions, as mox2 "
      "computes (each product rounded before its sum), and with fused multiply-adds, "
      "as OpenBLAS computes; twice as much for REAL(4):";
  char part[300];
  double moved = 0, share = 0;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const ArithmeticPeak &b = before[i], &a = after[i];
    std::snprintf(part, sizeof part,
                  " %s vectors %.1f without FMA (%.1f), %.1f with (%.1f), ratio %.2f (%.2f);",
                  b.vectors, b.separate, a.separate, b.fused, a.fused, b.separate / b.fused,
                  a.separate / a.fused);
    text += part;
    moved =
        std::max({moved, std::abs(a.separate / b.separate - 1), std::abs(a.fused / b.fused - 1)});
    if (i == 0) share = std::max(b.separate / b.fused, a.separate / a.fused);
  }
  text.back() = '.';
  if (moved > 0.1) {
    std::snprintf(part, sizeof part,
                  " The peak moved by %.0f%% during the run: the core's speed changed (another "
                  "tenant on the host, or its clock), so figures taken minutes apart, and their "
                  "ratios, do not compare.",
                  100 * moved);
    text += part;
  }
  text += share < 0.75 ? " Multiplies and adds share the same units here: a product that does "
                         "not fuse can reach at most that share of the speed of one that does."
                       : " Separate multiplies and adds reach the fused peak here: not fusing "
                         "costs nothing in principle.";
  text += " Each mox2 column is measured against the peak of its kernel set's vectors (avx512: "
          "512-bit, avx2: 256-bit), as measured before the run.";
  return text;
}

// Which plain-read strategy won, by size and thread count.
std::string read_strategy_note() {
  std::map<std::set<int>, std::vector<std::string>> points; // strategies -> where
  for (const auto &[at, chosen] : read_strategies()) {
    char where[64];
    if (at.first >= (std::size_t(1) << 20))
      std::snprintf(where, sizeof where, "%.1f MiB %dT", double(at.first) / (1 << 20), at.second);
    else
      std::snprintf(where, sizeof where, "%zu KiB %dT", at.first >> 10, at.second);
    points[chosen].push_back(where);
  }
  std::string text = "plain read strategies (each measured briefly where the plain read is "
                     "first used; the fastest kept for that size and thread count):";
  for (int i = 0; i < read_strategy_count(); ++i)
    text += std::string(i ? "; " : " ") + char('a' + i) + ") " + read_strategy(i).name;
  text += ". On 2 threads each also with two threads started for the read and joined by "
          "blocking (marked ') rather than OpenMP's team, whose threads spin at the join. Kept:";
  for (const auto &[chosen, where] : points) {
    text += " ";
    for (int c : chosen) {
      if (c != *chosen.begin()) text += "/";
      text += read_choice_name(c);
    }
    text += " at";
    for (const std::string &w : where)
      text += " " + w + (&w == &where.back() ? ";" : ",");
  }
  if (points.empty()) text += " none (no plain read ran);";
  text.back() = '.';
  return text;
}

std::vector<std::string> setup_notes(const Results &r, const Plan &plan, bool interleaved,
                                     double load_before, const std::vector<ArithmeticPeak> &peaks,
                                     const std::vector<ArithmeticPeak> &peaks_after) {
  const std::time_t now = std::time(nullptr);
  char date[64];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M %Z", std::localtime(&now));
  std::vector<std::string> notes{
      std::string(date) + ", " + cpu_model() + ", " +
          std::to_string(std::thread::hardware_concurrency()) + " logical CPUs.",
      "Each figure is the median of " + std::to_string(plan.repetitions) + " repetitions (" +
          std::to_string(plan.large_repetitions) + " for products with n >= 1000) of at least " +
          std::to_string(int(plan.min_time * 1000)) +
          " ms or one call; wall-clock time. nT: n threads (mox2 through OpenMP, OpenBLAS "
          "through openblas_set_num_threads); the reference BLAS and gfortran run on one.",
      interleaved
          ? "The repetitions are interleaved: group by group, those of every library, size and "
            "thread count run in one random order (Google Benchmark's random interleaving), so "
            "that the figures at a point, and their ratios, are taken over the same stretch of "
            "time rather than one library after the other. A repetition that follows a 2-thread "
            "one of OpenBLAS (of another series) starts " +
                std::to_string(kOpenblasSettleMs) + " ms later, once OpenBLAS's threads sleep."
          : std::string("The repetitions of each figure ran back to back (random interleaving "
                        "turned off on the command line)."),
      "GFLOP/s counts 2n^3 (real) or 8n^3 (complex) per product, 2n^2 per DGEMV; GB/s counts "
      "the mask's bytes.",
      "plain read: a streaming read of exactly the bytes the operation reads (A's n*n doubles "
      "for DGEMV, the mask's bytes for COUNT, ALL and ANY), summed as 64-bit words so that it "
      "cannot be dropped, by the fastest of several strategies (below), on as many threads (2T: "
      "each thread reads its own half, through OpenMP), measured right beside the others at "
      "each point. It is reported in the group's unit: 2n^2 flops, or the mask's bytes, per "
      "second of the read, i.e. what the operation would score at the machine's read speed. It "
      "is no peer: mox2 / best peer leaves it out; mox2 / plain read nT is mox2's share of read "
      "speed."};
  char load[200];
  std::snprintf(load, sizeof load, "Load average before the run (one minute): %.1f%s", load_before,
                load_before > 0.5
                    ? ": other programs were running, so the figures are noisy, the 2-thread "
                      "ones most."
                    : ".");
  notes.push_back(load);
  notes.push_back(peak_note(peaks, peaks_after));
  notes.push_back(read_strategy_note());
  std::string sets = "mox2: the library as programs load it, with the kernel set it picks here (" +
                     kernel_set_of(mox2) + ", " + environment_value("MOX2_KERNEL_SET") + ").";
  for (Series series : {mox2_avx2, mox2_avx512})
    if (mox2_copy(series).handle)
      sets += " " + r.labels[series] +
              ": a private copy of its file loaded as a separate "
              "instance with MOX2_KERNEL_SET=" +
              kernel_set_of(series) + " (products with n >= " + std::to_string(kSetSeriesFrom) +
              ").";
  sets += " The portable set is not measured (scalar code, far slower).";
  notes.push_back(sets);
  if (openblas().handle) {
    auto config = reinterpret_cast<char *(*)()>(dlsym(openblas().handle, "openblas_get_config"));
    notes.push_back(r.labels[openblas_env] + ": " + (config ? config() : "OpenBLAS") +
                    ", with this environment: " + environment_value("OPENBLAS_CORETYPE") + ", " +
                    environment_value("OPENBLAS_L2_SIZE") + ".");
    notes.push_back(
        openblas_unset_library().handle
            ? r.labels[openblas_unset] +
                  ": the same library with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset (it "
                  "picks its kernels from the CPU): a private copy of its file, loaded into the "
                  "same process as a second, separate instance with its own threads while both "
                  "variables were unset. OpenBLAS's Haswell kernels are 256-bit (AVX2), its "
                  "SkylakeX and Cooperlake ones AVX-512."
            : std::string("OpenBLAS with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset: not "
                          "measured (a private copy of its file could not be made or loaded as a "
                          "separate instance)."));
  } else {
    notes.push_back("OpenBLAS is not installed (apt-get install libopenblas-dev): not measured.");
  }
  notes.push_back("reference BLAS: /usr/lib/x86_64-linux-gnu/blas/libblas.so.3" +
                  std::string(reference_blas().handle
                                  ? ", GEMM up to n = " + std::to_string(plan.reference_limit)
                                  : " (not installed: not measured)") +
                  ". gfortran: its own MATMUL, COUNT, ALL and ANY, compiled with -O2.");
  return notes;
}

int run(const Plan &plan, bool interleaved, const std::vector<int> &groups,
        const std::string &out_dir) {
  const auto start = std::chrono::steady_clock::now();
  const double load_before = load_average();
  std::vector<ArithmeticPeak> peaks;
  for (int bits : {512, 256})
    if (const ArithmeticPeak p = measure_arithmetic_peak(bits); *p.vectors) peaks.push_back(p);
  std::filesystem::create_directories(out_dir);
  const std::string dir = std::filesystem::absolute(out_dir).lexically_normal().string();
  Results results;
  const std::string env_label = openblas_label(openblas());
  const std::string unset_label = openblas_label(openblas_unset_library());
  results.labels = {"mox2",
                    "mox2 avx2",
                    "mox2 avx512",
                    env_label,
                    unset_label == env_label ? unset_label + ", variables unset" : unset_label,
                    "reference BLAS",
                    "gfortran",
                    "plain read",
                    "mox2 DGEMM"};
  add_all(plan, {mox2, mox2_avx2, mox2_avx512, openblas_env, openblas_unset, reference, gfortran,
                 plain_read, mox2_dgemm});
  // Group by group: the repetitions of a group's benchmarks are interleaved.
  Collector collector(results);
  for (int g : groups) {
    benchmark::RunSpecifiedBenchmarks(&collector, std::string("^") + kGroups[g].name + "/");
    collector.finish_group();
  }

  std::vector<ArithmeticPeak> peaks_after;
  for (int bits : {512, 256})
    if (const ArithmeticPeak p = measure_arithmetic_peak(bits); *p.vectors)
      peaks_after.push_back(p);
  results.notes = setup_notes(results, plan, interleaved, load_before, peaks, peaks_after);
  for (Series series : {mox2, mox2_avx2, mox2_avx512}) {
    const std::string set = kernel_set_of(series);
    const char *vectors = set == "avx512" ? "512-bit" : set == "avx2" ? "256-bit" : "";
    for (const ArithmeticPeak &p : peaks)
      if (std::strcmp(p.vectors, vectors) == 0) {
        results.peak_without_fma[series] = p.separate;
        results.peak_vectors[series] = p.vectors;
      }
  }
  std::ostringstream table;
  write_table(results, table);
  std::ofstream(dir + "/results.md") << table.str();
  std::ofstream tsv(dir + "/measurements.tsv");
  tsv << "group\tseries\tthreads\tsize\trate\tunit\n";
  for (const Measurement &m : results.measurements)
    tsv << kGroups[m.group].name << "\t" << results.labels[m.series] << "\t" << m.threads << "\t"
        << m.size << "\t" << m.rate << "\t" << kGroups[m.group].unit << "\n";
  std::cout << "\n" << table.str() << std::endl;

  const bool gemm_figures = std::any_of(results.measurements.begin(), results.measurements.end(),
                                        [](const Measurement &m) { return kGroups[m.group].gemm; });
  const std::string script = gemm_figures ? write_plot_script(results, dir) : "";
  const int status = gemm_figures ? run_program({"gnuplot", script}, environ) : 0;
  if (!gemm_figures)
    std::cout << "No GEMM figures, no plot.\n";
  else if (status == -ENOENT)
    std::cout << "gnuplot is not installed, so there is no plot: apt-get install gnuplot-nox, "
                 "then run gnuplot "
              << script << "\n";
  else if (status != 0)
    std::cout << "gnuplot failed (status " << status << ") on " << script << "\n";
  else
    std::cout << "Plot: " << dir << "/gemm.png\n";
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  std::cout << "Table: " << dir << "/results.md (" << int(seconds.count()) << " s)" << std::endl;
  return 0;
}

void print_usage(std::ostream &out, const char *program) {
  out << "usage: " << program << " [--quick] [--out=DIR] [--only=GROUP,...]\n"
      << "  --quick       fewer sizes and repetitions (well under a minute)\n"
      << "  --out=DIR     where results.md, measurements.tsv and gemm.png go (./compare)\n"
      << "  --only=GROUP  measure only these groups, comma-separated:\n               ";
  for (const Group &g : kGroups)
    out << " " << g.name;
  out << "\nGoogle Benchmark's --benchmark_... options pass through; the repetitions are\n"
         "interleaved unless --benchmark_enable_random_interleaving=false.\n";
}

// Google Benchmark's reading of a boolean option's value.
bool truthy(std::string value) {
  for (char &c : value)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  if (value.size() == 1)
    return std::isalnum(static_cast<unsigned char>(value[0])) && value != "0" && value != "f" &&
           value != "n";
  return value != "false" && value != "no" && value != "off";
}

} // namespace
} // namespace mox2_compare

int main(int argc, char **argv) {
  using namespace mox2_compare;
  std::vector<char *> args(argv, argv + argc);
  if (std::any_of(args.begin() + 1, args.end(), [](const char *a) {
        return std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0;
      })) {
    print_usage(std::cout, argv[0]);
    return 0;
  }
  // Repetitions interleaved, unless the command line says otherwise.
  static const std::string interleave = "--benchmark_enable_random_interleaving";
  bool interleaved = true, given = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string a = args[i];
    if (a == interleave || a.rfind(interleave + "=", 0) == 0) {
      given = true;
      interleaved = a == interleave || truthy(a.substr(interleave.size() + 1));
    }
  }
  static std::string interleave_on = interleave + "=true";
  if (!given) args.push_back(interleave_on.data());
  argc = int(args.size());
  args.push_back(nullptr);
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  bool quick = false;
  std::string out = "compare";
  std::vector<int> groups;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    bool known = true;
    if (a == "--quick")
      quick = true;
    else if (a.rfind("--out=", 0) == 0)
      out = a.substr(6);
    else if (a.rfind("--only=", 0) == 0) {
      std::istringstream names(a.substr(7));
      for (std::string name; std::getline(names, name, ',');) {
        int g = 0;
        while (g < kGroupCount && name != kGroups[g].name)
          ++g;
        known = known && g < kGroupCount;
        groups.push_back(g);
      }
    } else
      known = false;
    if (!known) {
      std::cerr << "unknown option " << a << "\n";
      print_usage(std::cerr, argv[0]);
      return 2;
    }
  }
  if (groups.empty())
    for (int g = 0; g < kGroupCount; ++g)
      groups.push_back(g);
  const Plan &plan = quick ? kQuick : kFull;
  return run(plan, interleaved, groups, out);
}
