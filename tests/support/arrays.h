// Test helpers: dope vectors over test-owned buffers, random data with
// special values, and the death-test matcher for the library's diagnostics.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "frame/dope.h"

namespace mox2::test {

// A byte buffer whose first element sits at a chosen offset from a 64-byte
// boundary, so that tests control the alignment of the data they pass.
class Buffer {
public:
  Buffer(std::size_t bytes, std::size_t misalign = 0)
      : storage_(bytes + misalign + 128),
        offset_(64 - reinterpret_cast<std::uintptr_t>(storage_.data()) % 64 + misalign) {}
  char *data() { return storage_.data() + offset_; }
  const char *data() const { return storage_.data() + offset_; }
  template <class T> T *as() { return reinterpret_cast<T *>(data()); }

private:
  std::vector<char> storage_;
  std::size_t offset_;
};

// Data pages between two inaccessible pages: a read outside them ends the
// test with SIGSEGV.
class GuardedPages {
public:
  explicit GuardedPages(std::size_t pages = 1)
      : guard_(sysconf(_SC_PAGESIZE)), size_(pages * guard_),
        region_(static_cast<char *>(
            mmap(nullptr, size_ + 2 * guard_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {
    if (region_ == MAP_FAILED || mprotect(begin(), size_, PROT_READ | PROT_WRITE) != 0)
      std::abort();
  }
  ~GuardedPages() { munmap(region_, size_ + 2 * guard_); }
  char *begin() { return region_ + guard_; }
  char *end() { return begin() + size_; }

private:
  std::size_t guard_, size_;
  char *region_;
};

// The line an intrinsic entry point prints before aborting, as a
// death-test pattern for all of standard error.
inline std::string diagnostic(int number, const char *text) {
  return "^libmox2_isa: error " + std::to_string(number) + ": " + text + "\n$";
}

// Deterministic random numbers for the tests.
inline std::mt19937_64 &rng() {
  static std::mt19937_64 generator(20261205);
  return generator;
}
inline int random_int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng()); }

} // namespace mox2::test
