// The plain read: a streaming read of the bytes an operation reads, the
// yardstick for operations bound by memory bandwidth.  It has several
// strategies (vector width, alignment, prefetching, unroll); no one of them
// is the fastest on every machine and size, so the comparison measures them
// all briefly where it reads and keeps the fastest.
#ifndef MOX2_BENCH_PLAIN_READ_H
#define MOX2_BENCH_PLAIN_READ_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace mox2_compare {

// A strategy's reading of [p, p + bytes): the sum of the bytes as 64-bit
// words (bytes that fill no word added singly), so that the read cannot be
// dropped.  p need not be aligned.
using ReadFn = std::uint64_t (*)(const unsigned char *p, std::size_t bytes);
struct ReadStrategy {
  const char *name; // what it does, e.g. "512-bit aligned loads, 4 sums, page touch"
  ReadFn read;
};

// The strategies this CPU can run (none wider than its vectors); never empty.
int read_strategy_count();
const ReadStrategy &read_strategy(int index);

// A choice of how to read on `threads` threads: a strategy, and on
// several threads a team (OpenMP's, or threads started for the read); each
// thread reads its own contiguous part, split at 512-byte boundaries.
int read_choice_count(int threads);
// The strategy's letter ('a' for the first), with ' for threads started
// for the read.
std::string read_choice_name(int choice);

std::uint64_t sum_bytes(const void *p, std::size_t bytes, int threads, int choice);

// The fastest choice for these bytes on `threads` threads: the choices
// read in turn, round after round (at least three rounds and 20 ms per
// choice), and the least time of one read wins.
int fastest_read_choice(const void *p, std::size_t bytes, int threads);

} // namespace mox2_compare

#endif // MOX2_BENCH_PLAIN_READ_H
