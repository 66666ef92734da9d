// The arithmetic peak of one core, the yardstick for operations bound by
// floating-point throughput.
#ifndef MOX2_BENCH_ARITHMETIC_PEAK_H
#define MOX2_BENCH_ARITHMETIC_PEAK_H

namespace mox2_compare {

// REAL(8) GFLOP/s of one core on the widest vectors the CPU has (AVX-512,
// else AVX2), counting a multiply, an add or a fused multiply-add per lane
// as the operations it does (one, one, two).
struct ArithmeticPeak {
  const char *vectors; // "512-bit", "256-bit" or "" (neither: not measured)
  double separate = 0; // independent multiplies and adds, half each: no FMA, as mox2
  double fused = 0;    // independent fused multiply-adds, as OpenBLAS
};

// Measured on the calling thread over about 0.3 s.
ArithmeticPeak measure_arithmetic_peak();

} // namespace mox2_compare

#endif // MOX2_BENCH_ARITHMETIC_PEAK_H
