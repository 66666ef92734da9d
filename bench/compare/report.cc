// The comparison's table (Markdown) and plot (gnuplot data and script).
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "compare.h"

namespace mox2_compare {
namespace {

using Column = std::pair<Series, int>; // series, threads

// Every figure by (group, series, threads, size).
using Key = std::tuple<int, Series, int, long>;
std::map<Key, double> index(const Results &r) {
  std::map<Key, double> figures;
  for (const Measurement &m : r.measurements)
    figures[{m.group, m.series, m.threads, m.size}] = m.rate;
  return figures;
}

std::string format(const char *format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string size_text(int group, long size) {
  if (!kGroups[group].mask) return std::to_string(size);
  return size >= (1L << 20) ? std::to_string(size >> 20) + " MiB"
                            : std::to_string(size >> 10) + " KiB";
}

std::string column_heading(const Results &r, Column c) {
  return r.labels[c.first] + " " + std::to_string(c.second) + "T";
}

} // namespace

void write_table(const Results &r, std::ostream &out) {
  const auto figures = index(r);
  out << "# mox2 beside its peers\n\n";
  for (const std::string &note : r.notes)
    out << "- " << note << "\n";
  for (int g = 0; g < kGroupCount; ++g) {
    std::set<Column> columns;
    std::set<long> sizes;
    for (const Measurement &m : r.measurements)
      if (m.group == g) {
        columns.insert({m.series, m.threads});
        sizes.insert(m.size);
      }
    if (columns.empty()) continue;
    // mox2 over the fastest peer at the same thread count, over the plain
    // read and over its own DGEMM (neither is a peer) at the same thread
    // count.
    std::set<int> ratios, read_ratios, dgemm_ratios;
    for (Column c : columns)
      if (c.first == mox2)
        for (Column p : columns)
          if (p.second == c.second && !is_mox2(p.first))
            (p.first == plain_read   ? read_ratios
             : p.first == mox2_dgemm ? dgemm_ratios
                                     : ratios)
                .insert(c.second);

    out << "\n## " << kGroups[g].title << " (" << kGroups[g].unit << ")\n\n| "
        << (kGroups[g].mask ? "mask" : "n") << " |";
    for (Column c : columns)
      out << " " << column_heading(r, c) << " |";
    for (int t : ratios)
      out << " mox2 / best peer " << t << "T |";
    for (int t : read_ratios)
      out << " mox2 / plain read " << t << "T |";
    for (int t : dgemm_ratios)
      out << " mox2 / mox2 DGEMM " << t << "T |";
    // Each mox2 series over the arithmetic peak without FMA of as many
    // cores, on its own kernel set's vectors.
    std::set<Column> peak_ratios;
    if (!kGroups[g].mask && g != dgemv_n && g != dgemv_t)
      for (Column c : columns)
        if (is_mox2(c.first) && r.peak_without_fma[c.first] > 0) peak_ratios.insert(c);
    for (Column c : peak_ratios)
      out << " " << r.labels[c.first] << " / " << r.peak_vectors[c.first] << " peak without FMA "
          << c.second << "T |";
    out << "\n|--:|";
    for (std::size_t i = 0; i < columns.size() + ratios.size() + read_ratios.size() +
                                    dgemm_ratios.size() + peak_ratios.size();
         ++i)
      out << "--:|";
    out << "\n";
    for (long n : sizes) {
      out << "| " << size_text(g, n) << " |";
      for (Column c : columns) {
        auto f = figures.find({g, c.first, c.second, n});
        out << " " << (f == figures.end() ? "-" : format("%.1f", f->second)) << " |";
      }
      const auto figure = [&](Series series, int t) {
        auto f = figures.find({g, series, t, n});
        return f == figures.end() ? 0.0 : f->second;
      };
      const auto ratio = [](double ours, double theirs) {
        return ours > 0 && theirs > 0 ? format("%.2f", ours / theirs) : std::string("-");
      };
      for (int t : ratios) {
        double best = 0;
        for (Column c : columns)
          if (!is_mox2(c.first) && c.first != plain_read && c.first != mox2_dgemm && c.second == t)
            best = std::max(best, figure(c.first, t));
        out << " " << ratio(figure(mox2, t), best) << " |";
      }
      for (int t : read_ratios)
        out << " " << ratio(figure(mox2, t), figure(plain_read, t)) << " |";
      for (int t : dgemm_ratios)
        out << " " << ratio(figure(mox2, t), figure(mox2_dgemm, t)) << " |";
      for (Column c : peak_ratios)
        out << " "
            << ratio(figure(c.first, c.second),
                     c.second * r.peak_without_fma[c.first] * (single_precision(g) ? 2 : 1))
            << " |";
      out << "\n";
    }
  }
}

std::string write_plot_script(const Results &r, const std::string &dir) {
  const auto figures = index(r);
  // Line styles: one colour per library, solid on 1 thread, dashed on 2.
  struct Line {
    Series series;
    int threads;
    const char *colour;
    int width;
  };
  constexpr Line lines[] = {
      {mox2, 1, "#d62728", 3},           {mox2, 2, "#d62728", 3},
      {mox2_avx2, 1, "#9467bd", 2},      {mox2_avx2, 2, "#9467bd", 2},
      {mox2_avx512, 1, "#e377c2", 2},    {mox2_avx512, 2, "#e377c2", 2},
      {openblas_env, 1, "#1f77b4", 2},   {openblas_env, 2, "#1f77b4", 2},
      {openblas_unset, 1, "#2ca02c", 2}, {openblas_unset, 2, "#2ca02c", 2},
      {reference, 1, "#7f7f7f", 2},      {gfortran, 1, "#ff7f0e", 2},
  };
  const std::string script_path = dir + "/gemm.gp";
  std::ofstream script(script_path);
  script << "# GFLOP/s of GEMM against n; run: gnuplot " << script_path << "\n"
         << "set terminal pngcairo size 1600,1150 font 'sans,11'\n"
         << "set output '" << dir << "/gemm.png'\n"
         << "set datafile missing '?'\n"
         << "set multiplot layout 2,2 title \"GEMM, C = alpha*A*B (n x n), median GFLOP/s; "
            "solid: 1 thread, dashed: 2 threads\\n"
         << (r.notes.empty() ? "" : r.notes.front()) << "\"\n"
         << "set logscale x 2\nset yrange [0:*]\nset offsets 0, 0, graph 0.45, 0\nset grid\n"
         << "set key top left reverse Left samplen 4 font ',10' opaque box lc rgb '#cccccc'\n"
         << "set xlabel 'n'\nset ylabel 'GFLOP/s'\n";
  for (int g = 0; g < kGroupCount; ++g) {
    if (!kGroups[g].gemm) continue;
    // gfortran's MATMUL of REAL(8) matrices is drawn with DGEMM.
    auto figure = [&](const Line &l, long n) {
      int group = l.series == gfortran && g == dgemm ? int(matmul_r8) : g;
      auto f = figures.find({group, l.series, l.threads, n});
      return f == figures.end() ? std::string("?") : format("%.3f", f->second);
    };
    std::set<long> sizes;
    for (const Measurement &m : r.measurements)
      if (m.group == g) sizes.insert(m.size);
    if (sizes.empty()) continue;
    const std::string data_path = dir + "/" + kGroups[g].name + ".dat";
    std::ofstream data(data_path);
    data << "# n";
    for (const Line &l : lines)
      data << " \"" << r.labels[l.series] << " " << l.threads << "T\"";
    data << "\n";
    std::vector<bool> drawn(std::size(lines));
    for (long n : sizes) {
      data << n;
      for (std::size_t i = 0; i < std::size(lines); ++i) {
        std::string f = figure(lines[i], n);
        drawn[i] = drawn[i] || f != "?";
        data << " " << f;
      }
      data << "\n";
    }
    std::string tics;
    for (long n : sizes)
      tics += (tics.empty() ? "" : ", ") + std::to_string(n);
    const std::string title = kGroups[g].title;
    script << "set title '" << title.substr(0, title.find(',')) << "'\nset xtics (" << tics
           << ")\nset xrange [" << *sizes.begin() * 0.9 << ":" << *sizes.rbegin() * 1.1
           << "]\nplot";
    const char *separator = " ";
    for (std::size_t i = 0; i < std::size(lines); ++i) {
      if (!drawn[i]) continue;
      const Line &l = lines[i];
      std::string key = r.labels[l.series] + (l.series == gfortran ? " MATMUL" : "") + " " +
                        std::to_string(l.threads) + "T";
      script << separator << "'" << data_path << "' using 1:" << i + 2 << " with linespoints"
             << " title '" << key << "' lc rgb '" << l.colour << "' lw " << l.width << " dt "
             << (l.threads == 2 ? 2 : 1) << " pt " << (l.threads == 2 ? 5 : 7) << " ps 0.8";
      separator = ", \\\n    ";
    }
    script << "\n";
  }
  script << "unset multiplot\n";
  return script_path;
}

} // namespace mox2_compare
