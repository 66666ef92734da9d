// The plain read: a streaming read of the bytes an operation reads, the
// yardstick for operations bound by memory bandwidth.
#ifndef MOX2_BENCH_PLAIN_READ_H
#define MOX2_BENCH_PLAIN_READ_H

#include <cstddef>
#include <cstdint>

namespace mox2_compare {

// Reads the bytes [p, p + bytes) once, in order, with the widest vectors the
// CPU has (four AVX-512 or AVX2 accumulators), touching the page two ahead
// once per 4 KiB page, and returns their sum as 64-bit words (the last
// bytes that do not fill one added singly), so that the read cannot be
// dropped.  p need not be aligned.
std::uint64_t sum_bytes(const void *p, std::size_t bytes);

// The same on `threads` threads (OpenMP), each reading its own contiguous
// part, split at 256-byte boundaries.
std::uint64_t sum_bytes(const void *p, std::size_t bytes, int threads);

// What sum_bytes sums in here ("four AVX-512 accumulators", ...).
const char *sum_bytes_accumulators();

} // namespace mox2_compare

#endif // MOX2_BENCH_PLAIN_READ_H
