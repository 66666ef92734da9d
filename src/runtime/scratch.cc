#include "runtime/scratch.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace mox2 {
namespace {

// The calling thread's cached blocks (the second for one nested user, such
// as a product's own workspace inside a caller's operand copies); freed
// when the thread ends.
struct ThreadBlock {
  void *block = nullptr;
  std::size_t size = 0;
  bool lent = false;
  ~ThreadBlock() { std::free(block); }
};
thread_local ThreadBlock cached[Scratch::kKeptBlocks];

std::atomic<std::size_t> limit{~std::size_t(0)};

// Blocks of at least this size are asked to live on 2 MiB pages.
constexpr std::size_t kHugePage = std::size_t(2) << 20;

// A block of a megabyte or more is aligned to a 2 MiB page, rounded up to
// whole ones (`bytes` becomes its size) and advised onto large pages: a
// packed block of B then takes one or two translations instead of
// hundreds, and their misses cost the most under virtualisation.  The
// advice is only a hint; without large pages the block is an ordinary one.
void *aligned_block(std::size_t &bytes) {
  // No allocation is larger than PTRDIFF_MAX bytes (and the rounding below
  // then cannot overflow).
  if (bytes > limit.load(std::memory_order_relaxed) || bytes > PTRDIFF_MAX) return nullptr;
  void *p = nullptr;
  if (bytes >= kHugePage / 2) {
    const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (posix_memalign(&p, kHugePage, whole) != 0) return nullptr;
    madvise(p, whole, MADV_HUGEPAGE);
    bytes = whole;
    return p;
  }
  if (posix_memalign(&p, 64, bytes > 0 ? bytes : 64) != 0) return nullptr;
  return p;
}

} // namespace

std::size_t Scratch::set_limit(std::size_t bytes) { return limit.exchange(bytes); }

Scratch::Scratch(std::size_t bytes) {
  if (bytes <= Scratch::kKeptBytes && bytes <= limit.load(std::memory_order_relaxed)) {
    for (int b = 0; b < Scratch::kKeptBlocks; ++b) {
      ThreadBlock &t = cached[b];
      if (t.lent) continue;
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
        borrowed_ = b;
        data_ = t.block;
        return;
      }
      break;
    }
  }
  data_ = aligned_block(bytes);
}

void *Scratch::data() const { return data_; }

Scratch::~Scratch() {
  if (borrowed_ >= 0)
    cached[borrowed_].lent = false;
  else
    std::free(data_);
}

} // namespace mox2
