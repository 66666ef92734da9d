// Workspace for packed operands and partial sums, reused across calls.
//
// Each thread keeps up to kKeptBlocks cached blocks (each up to
// kKeptBytes), freed when the thread ends.  A Scratch lends the first one
// not already lent, grown if need be; otherwise (deeper nesting on the
// same thread, a request above the cap, or a thread whose blocks could
// not be arranged to be freed at its end) the Scratch allocates memory of
// its own and frees it when it goes.
// Reuse saves a large request the page faults of fresh memory on every
// call.  The memory is 64-byte aligned and uninitialised; data() is null
// when none could be had (the caller then takes a path that needs none,
// or reports it).  Nothing here ends the process.  Never shared between
// threads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mox2 {

class Scratch {
public:
  static constexpr std::size_t kKeptBytes = std::size_t(32) << 20;
  static constexpr int kKeptBlocks = 2;

  explicit Scratch(std::size_t bytes);
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  void *data() const;

  // Test hook: from now on requests of more than `bytes` get no memory
  // (as when memory runs out).  Returns the previous limit.
  static std::size_t set_limit(std::size_t bytes);

  // Bytes rounded up to whole cache lines, for carving several arrays,
  // each 64-byte aligned, out of one request; SIZE_MAX, which no request
  // gets, when the rounded count does not fit.
  static constexpr std::size_t rounded(std::size_t bytes) {
    return bytes > SIZE_MAX - 63 ? SIZE_MAX : (bytes + 63) / 64 * 64;
  }

private:
  void *data_ = nullptr;
  int borrowed_ = -1; // the cached block lent, or -1
};

} // namespace mox2
