#include "runtime/scratch.h"

#include <atomic>
#include <cstdlib>

namespace mox2 {
namespace {

// The calling thread's cached block; freed when the thread ends.
struct ThreadBlock {
  void *block = nullptr;
  std::size_t size = 0;
  bool lent = false;
  ~ThreadBlock() { std::free(block); }
};
thread_local ThreadBlock cached;

std::atomic<std::size_t> limit{~std::size_t(0)};

void *aligned_block(std::size_t bytes) {
  if (bytes > limit.load(std::memory_order_relaxed)) return nullptr;
  void *p = nullptr;
  if (posix_memalign(&p, 64, bytes > 0 ? bytes : 64) != 0) return nullptr;
  return p;
}

} // namespace

std::size_t Scratch::set_limit(std::size_t bytes) { return limit.exchange(bytes); }

Scratch::Scratch(std::size_t bytes) {
  ThreadBlock &t = cached;
  if (!t.lent && bytes <= Scratch::kKeptBytes && bytes <= limit.load(std::memory_order_relaxed)) {
    if (t.size < bytes) {
      // Grow in steps of at least half again, so that a run of slowly
      // rising sizes does not reallocate every time.
      std::size_t want = t.size + t.size / 2 > bytes ? t.size + t.size / 2 : bytes;
      if (want > Scratch::kKeptBytes) want = Scratch::kKeptBytes;
      want = (want + 4095) / 4096 * 4096;
      std::free(t.block);
      t.block = aligned_block(want);
      t.size = t.block ? want : 0;
    }
    if (t.block) {
      t.lent = true;
      borrowed_ = true;
      data_ = t.block;
      return;
    }
  }
  data_ = aligned_block(bytes);
}

void *Scratch::data() const { return data_; }

Scratch::~Scratch() {
  if (borrowed_)
    cached.lent = false;
  else
    std::free(data_);
}

} // namespace mox2
