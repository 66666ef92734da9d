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
};
enum GroupId { dgemm, sgemm, zgemm, cgemm, matmul_r8, dgemv_n, dgemv_t, count_l1, all_l1, any_l1 };
inline constexpr int kGroupCount = int(sizeof kGroups / sizeof kGroups[0]);

// Who computed a figure, in the order of the table's columns.
enum Series { mox2, openblas_env, openblas_unset, reference, gfortran };
inline constexpr int kSeriesCount = 5;

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
};

// The Markdown table of every figure.
void write_table(const Results &results, std::ostream &out);

// <type>gemm.dat and gemm.gp (which draws gemm.png) in dir; returns the script's path.
std::string write_plot_script(const Results &results, const std::string &dir);

} // namespace mox2_compare

#endif // MOX2_BENCH_COMPARE_H
