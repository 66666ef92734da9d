#include "support/failing_allocator.h"

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

std::atomic<bool> failing{false};
std::atomic<long> successes_left{0}, asked{0};

bool refuse() {
  if (!failing.load(std::memory_order_acquire)) return false;
  asked.fetch_add(1, std::memory_order_relaxed);
  if (successes_left.fetch_sub(1, std::memory_order_relaxed) > 0) return false;
  errno = ENOMEM;
  return true;
}

// The allocator behind this one, looked up on the first request.  Requests
// that the lookup itself makes are served from a small arena (and never
// freed).
struct Allocator {
  void *(*malloc)(std::size_t);
  void *(*calloc)(std::size_t, std::size_t);
  void *(*realloc)(void *, std::size_t);
  void (*free)(void *);
  int (*posix_memalign)(void **, std::size_t, std::size_t);
  void *(*aligned_alloc)(std::size_t, std::size_t);
  void *(*memalign)(std::size_t, std::size_t);
};
Allocator next_allocator;
std::atomic<int> lookup{0}; // 0 not yet, 1 under way, 2 done
thread_local bool looking_up = false;

alignas(64) char arena[8192];
std::atomic<std::size_t> arena_used{0};
// 64-byte aligned, the size kept in the 64 bytes before.
void *from_arena(std::size_t bytes) {
  const std::size_t at = arena_used.fetch_add(64 + (bytes + 63) / 64 * 64);
  if (at + 64 + bytes > sizeof arena) return nullptr;
  std::memcpy(arena + at, &bytes, sizeof bytes);
  return arena + at + 64;
}
bool in_arena(const void *p) {
  return static_cast<const char *>(p) >= arena &&
         static_cast<const char *>(p) < arena + sizeof arena;
}
std::size_t arena_size(const void *p) {
  std::size_t bytes;
  std::memcpy(&bytes, static_cast<const char *>(p) - 64, sizeof bytes);
  return bytes;
}

template <class F> F symbol(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// Null while the calling thread is looking the allocator up.
const Allocator *next() {
  if (looking_up) return nullptr;
  if (lookup.load(std::memory_order_acquire) != 2) {
    int expected = 0;
    if (lookup.compare_exchange_strong(expected, 1)) {
      looking_up = true;
      Allocator a;
      a.malloc = symbol<decltype(a.malloc)>("malloc");
      a.calloc = symbol<decltype(a.calloc)>("calloc");
      a.realloc = symbol<decltype(a.realloc)>("realloc");
      a.free = symbol<decltype(a.free)>("free");
      a.posix_memalign = symbol<decltype(a.posix_memalign)>("posix_memalign");
      a.aligned_alloc = symbol<decltype(a.aligned_alloc)>("aligned_alloc");
      a.memalign = symbol<decltype(a.memalign)>("memalign");
      next_allocator = a;
      looking_up = false;
      lookup.store(2, std::memory_order_release);
    }
    while (lookup.load(std::memory_order_acquire) != 2) {
    }
  }
  return &next_allocator;
}

// Whether `caller` is pthread_getattr_np, which the sanitizers call as
// every thread starts (its CPU set comes from realloc): no thread's start
// survives a refusal there, and the library may start its helpers while
// requests are refused.
bool starting_a_thread(void *caller) {
  Dl_info info;
  return dladdr(caller, &info) != 0 && info.dli_sname != nullptr &&
         std::strstr(info.dli_sname, "pthread_getattr_np") != nullptr;
}

} // namespace

namespace mox2::test {
void fail_allocations_after(long successes) {
  asked.store(0, std::memory_order_relaxed);
  successes_left.store(successes, std::memory_order_relaxed);
  failing.store(true, std::memory_order_release);
}
void allow_allocations() { failing.store(false, std::memory_order_release); }
long allocations_asked() { return asked.load(std::memory_order_relaxed); }
} // namespace mox2::test

extern "C" {

// LeakSanitizer takes what the dynamic linker allocates (the lists of a
// dlopen) for reachable when the linker is the allocator's caller; through
// this allocator it is not, and a suppression says the same.
const char *__lsan_default_suppressions() { return "leak:ld-linux-x86-64.so\n"; }

void *malloc(std::size_t bytes) noexcept {
  const Allocator *a = next();
  if (a == nullptr) return from_arena(bytes);
  return refuse() ? nullptr : a->malloc(bytes);
}

void *calloc(std::size_t count, std::size_t size) noexcept {
  const Allocator *a = next();
  if (a == nullptr) return from_arena(count * size); // the arena is zero and never reused
  return refuse() ? nullptr : a->calloc(count, size);
}

void *realloc(void *p, std::size_t bytes) noexcept {
  if (p != nullptr && in_arena(p)) {
    void *q = malloc(bytes);
    const std::size_t old = arena_size(p);
    if (q != nullptr) std::memcpy(q, p, old < bytes ? old : bytes);
    return q;
  }
  const Allocator *a = next();
  if (a == nullptr) return from_arena(bytes);
  if (refuse() && !starting_a_thread(__builtin_return_address(0))) return nullptr;
  return a->realloc(p, bytes);
}

void free(void *p) noexcept {
  if (p == nullptr || in_arena(p)) return;
  next()->free(p);
}

int posix_memalign(void **p, std::size_t alignment, std::size_t bytes) noexcept {
  const Allocator *a = next();
  if (a == nullptr && alignment <= 64) return (*p = from_arena(bytes)) ? 0 : ENOMEM;
  return a == nullptr || refuse() ? ENOMEM : a->posix_memalign(p, alignment, bytes);
}

void *aligned_alloc(std::size_t alignment, std::size_t bytes) noexcept {
  const Allocator *a = next();
  if (a == nullptr) return alignment <= 64 ? from_arena(bytes) : nullptr;
  return refuse() ? nullptr : a->aligned_alloc(alignment, bytes);
}

void *memalign(std::size_t alignment, std::size_t bytes) noexcept {
  const Allocator *a = next();
  if (a == nullptr) return alignment <= 64 ? from_arena(bytes) : nullptr;
  return refuse() ? nullptr : a->memalign(alignment, bytes);
}

} // extern "C"
