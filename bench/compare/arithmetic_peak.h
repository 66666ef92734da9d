// The arithmetic peak of one core, the yardstick for operations bound by
// floating-point throughput.
#ifndef MOX2_BENCH_ARITHMETIC_PEAK_H
#define MOX2_BENCH_ARITHMETIC_PEAK_H

namespace mox2_compare {

// REAL(8) GFLOP/s of one core on vectors of a given width, counting a
// multiply, an add or a fused multiply-add per lane as the operations it
// does (one, one, two).
struct ArithmeticPeak {
  const char *vectors; // "512-bit", "256-bit" or "" (neither: not measured)
  double separate = 0; // independent multiplies and adds, half each: no FMA, as mox2
  double fused = 0;    // independent fused multiply-adds, as OpenBLAS
};

// Measured on the calling thread over about 0.2 s, on 512-bit (AVX-512) or
// 256-bit (AVX2 and FMA) vectors; not measured where the CPU lacks them.
ArithmeticPeak measure_arithmetic_peak(int bits);

} // namespace mox2_compare

#endif // MOX2_BENCH_ARITHMETIC_PEAK_H
