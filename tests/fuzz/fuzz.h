// The fuzzers' case loop, and the same-bits battery built on it.
//
// Case i draws from the tests' generator seeded with (seed, i): first the
// kernel set, the team size T (1 to 4) and whether every product is
// offered to the team, then the case itself; so a failing case replays
// alone (--seed=S --case=I).  Cases run until --seconds have passed, or
// --cases of them.
//
// With --hash=FILE the same cases (--cases of them) run on every kernel
// set at T = 1, 2 and 3 in turn, still against the model, and the
// library's results are hashed: one line per fuzzer and T, which every
// kernel set must reproduce (and CI requires of aarch64 too).
#pragma once

#include <cstddef>
#include <cstdint>

#include <gtest/gtest.h>

#include "frame/types.h"
#include "support/arrays.h"

namespace mox2::test {

// Adds `count` elements of type `code` at p to the battery's hash (any NaN
// counts as one NaN: which NaN an operation delivers is the hardware's).
void hash_elements(TypeCode code, const void *p, std::size_t count);

// Runs one_case(T) for every case of the budget, or for the battery; stops
// at the first failure.  `name` starts the battery's lines.
void fuzz_cases(const char *name, void (*one_case)(int threads));

} // namespace mox2::test
