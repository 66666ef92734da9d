// The comparison of mox2 with its peers: what is measured, and how the
// figures are written out (a Markdown table, gnuplot data and a PNG).
#ifndef MOX2_BENCH_COMPARE_H
#define MOX2_BENCH_COMPARE_H

#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace mox2_compare {

// One kind of operation; its figures share a unit and a size axis.
struct Group {
  const char *name;  // file names and benchmark names
  const char *title; // table headings and plot titles
  const char *unit;
  bool mask; // sized by the mask length in bytes, else by the matrix order n
  bool gemm; // plotted: GFLOP/s against n
};
inline constexpr Group kGroups[] = {
    {"dgemm", "DGEMM, C = alpha*A*B, n x n", "GFLOP/s", false, true},
    {"sgemm", "SGEMM, C = alpha*A*B, n x n", "GFLOP/s", false, true},
    {"zgemm", "ZGEMM, C = alpha*A*B, n x n", "GFLOP/s", false, true},
    {"cgemm", "CGEMM, C = alpha*A*B, n x n", "GFLOP/s", false, true},
    {"matmul_r8", "MATMUL(A, B), REAL(8), n x n (mox2: __f_matmul_a22_r8r8)", "GFLOP/s", false,
     false},
    {"dgemv_n", "DGEMV 'N', y = alpha*A*x, n x n", "GFLOP/s", false, false},
    {"dgemv_t", "DGEMV 'T', y = alpha*A^T*x, n x n", "GFLOP/s", false, false},
    {"count_l1", "COUNT of a contiguous LOGICAL(1) mask (all true)", "GB/s", true, false},
    {"all_l1", "ALL of a contiguous LOGICAL(1) mask (all true)", "GB/s", true, false},
    {"any_l1", "ANY of a contiguous LOGICAL(1) mask (all false)", "GB/s", true, false},
    {"count_l2", "COUNT of a contiguous LOGICAL(2) mask (all true)", "GB/s", true, false},
    {"all_l2", "ALL of a contiguous LOGICAL(2) mask (all true)", "GB/s", true, false},
    {"any_l2", "ANY of a contiguous LOGICAL(2) mask (all false)", "GB/s", true, false},
    {"count_l4", "COUNT of a contiguous LOGICAL(4) mask (all true)", "GB/s", true, false},
    {"all_l4", "ALL of a contiguous LOGICAL(4) mask (all true)", "GB/s", true, false},
    {"any_l4", "ANY of a contiguous LOGICAL(4) mask (all false)", "GB/s", true, false},
};
enum GroupId {
  dgemm,
  sgemm,
  zgemm,
  cgemm,
  matmul_r8,
  dgemv_n,
  dgemv_t,
  count_l1,
  all_l1,
  any_l1,
  count_l2,
  all_l2,
  any_l2,
  count_l4,
  all_l4,
  any_l4
};
inline constexpr int kGroupCount = int(sizeof kGroups / sizeof kGroups[0]);
static_assert(kGroupCount == any_l4 + 1, "one GroupId per group, in the same order");

// The mask groups: which reduction, over which kind of LOGICAL.
enum class Reduction { all, any, count };
struct MaskGroup {
  GroupId group;
  Reduction op;
  int kind;
};
inline constexpr MaskGroup kMaskGroups[] = {
    {count_l1, Reduction::count, 1}, {all_l1, Reduction::all, 1}, {any_l1, Reduction::any, 1},
    {count_l2, Reduction::count, 2}, {all_l2, Reduction::all, 2}, {any_l2, Reduction::any, 2},
    {count_l4, Reduction::count, 4}, {all_l4, Reduction::all, 4}, {any_l4, Reduction::any, 4},
};

// Who computed a figure, in the order of the table's columns.  mox2 is the
// library as programs load it, with the kernel set it picks; mox2_avx2 and
// mox2_avx512 are private copies of it held to one set each (the sets the
// CPU has besides the one mox2 picks; products only).  The plain read is
// no peer: the streaming read of the bytes the operation reads, on as many
// threads, in the group's unit (what the operation would score at read
// speed); the DGEMV and mask groups have it.
enum Series {
  mox2,
  mox2_avx2,
  mox2_avx512,
  openblas_env,
  openblas_unset,
  reference,
  gfortran,
  plain_read,
  mox2_dgemm // mox2's DGEMM beside its MATMUL: the same product, the same stretch of time
};
inline constexpr int kSeriesCount = 9;
inline bool is_mox2(Series s) { return s == mox2 || s == mox2_avx2 || s == mox2_avx512; }

struct Measurement {
  int group;
  Series series;
  int threads;
  long size;   // the matrix order n, or the mask length in bytes
  double rate; // median over the repetitions, in the group's unit
};

struct Results {
  std::vector<Measurement> measurements;
  std::array<std::string, kSeriesCount> labels; // column headings
  std::vector<std::string> notes;               // the setup, one Markdown list item each
  // By mox2 series: REAL(8) GFLOP/s of one core with separate multiplies
  // and adds on its kernel set's vectors, and their width ("512-bit"); 0
  // and "": not measured.  The products' tables give each one's share.
  std::array<double, kSeriesCount> peak_without_fma{};
  std::array<std::string, kSeriesCount> peak_vectors;
};

// Single-precision groups: twice the REAL(8) arithmetic peak.
inline bool single_precision(int group) { return group == sgemm || group == cgemm; }

// The Markdown table of every figure.
void write_table(const Results &results, std::ostream &out);

// <type>gemm.dat and gemm.gp (which draws gemm.png) in dir; returns the script's path.
std::string write_plot_script(const Results &results, const std::string &dir);

} // namespace mox2_compare

#endif // MOX2_BENCH_COMPARE_H
