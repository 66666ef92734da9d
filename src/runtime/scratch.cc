#include "runtime/scratch.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include <pthread.h>
#include <sys/mman.h>

namespace mox2 {
namespace {

// The calling thread's cached blocks (the second for one nested user, such
// as a product's own workspace inside a caller's operand copies).  Plain
// data: a thread_local with a destructor would have the C library record
// that destructor on the thread's first use, which ends the process when
// the record cannot be allocated.  A thread key frees them instead when
// the thread ends; its setting can fail, never abort.
struct ThreadBlock {
  void *block;
  std::size_t size;
  bool lent;
};
thread_local ThreadBlock cached[Scratch::kKeptBlocks];
thread_local bool freed_at_thread_end = false;

void free_thread_blocks(void *blocks) {
  auto *b = static_cast<ThreadBlock *>(blocks);
  for (int i = 0; i < Scratch::kKeptBlocks; ++i) {
    std::free(b[i].block);
    b[i] = {};
  }
  freed_at_thread_end = false; // a later use on this thread sets the key again
}

// Whether the calling thread's cached blocks will be freed when it ends;
// when not, nothing is cached on it.
bool blocks_freed_at_thread_end() {
  if (freed_at_thread_end) return true;
  static pthread_key_t key;
  static const bool have_key = pthread_key_create(&key, free_thread_blocks) == 0;
  freed_at_thread_end = have_key && pthread_setspecific(key, cached) == 0;
  return freed_at_thread_end;
}

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
  if (bytes <= Scratch::kKeptBytes && bytes <= limit.load(std::memory_order_relaxed) &&
      blocks_freed_at_thread_end()) {
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
