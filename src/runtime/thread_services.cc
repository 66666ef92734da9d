// Thread count, thread mesh, and the Fortran-callable services of the same
// module (option letters, GETENV, the stack-size word).
#include <omp.h>

#include <cstdlib>
#include <cstring>

#include "runtime/parallel.h"

extern "C" {
std::int32_t __f___zo_com_stack_size_ = 0;
}

namespace mox2 {
namespace {

// Thread mesh of n: p the largest divisor of n with p*p <= n, q = n / p.
struct MeshEntry {
  std::int32_t p, q;
};
struct MeshTable {
  MeshEntry entry[kMaxThreads];
};
constexpr MeshTable make_mesh_table() {
  MeshTable t{};
  for (std::int32_t n = 1; n <= kMaxThreads; ++n) {
    std::int32_t p = 1;
    for (std::int32_t d = 1; d * d <= n; ++d)
      if (n % d == 0) p = d;
    t.entry[n - 1] = {p, n / p};
  }
  return t;
}
constexpr MeshTable kMeshTable = make_mesh_table();

// Thread-count region body: thread 0 of the team records the team size.
void record_team_size(void *args, std::int32_t, std::int32_t) {
  if (__mt_get_thread_num_() == 0) *static_cast<std::int32_t *>(args) = __omp_get_num_threads_();
}

std::int32_t clamp_threads(std::int32_t t) {
  return t < 1 ? 1 : (t > kMaxThreads ? kMaxThreads : t);
}

} // namespace
} // namespace mox2

extern "C" {

std::int32_t __f___zo_using_threads_() {
  using namespace mox2;
  // OpenMP's state settles the answer without a region when no region is
  // running and the team size is not adjusted dynamically, or when nesting
  // limits leave a new region one thread.
  if (omp_get_active_level() >= omp_get_max_active_levels()) return 1;
  if (omp_get_level() == 0 && !omp_get_dynamic()) {
    int limit = omp_get_thread_limit();
    int t = omp_get_max_threads();
    return clamp_threads(t < limit ? t : limit);
  }
  std::int32_t result = 1; // stands for a call inside an active region
  RegionRecord region{};
  region.word[0] = kRegionPlain;
  __mt_MasterFunction_(&region, record_team_size, &result, 0, 1, 0);
  return clamp_threads(result);
}

void __f___zo_factor_mesh_(const std::int32_t *n_, std::int32_t *p, std::int32_t *q) {
  std::int32_t n = *n_;
  if (n <= mox2::kMaxThreads) {
    const mox2::MeshEntry &e = mox2::kMeshTable.entry[n >= 1 ? n - 1 : 0];
    *p = e.p;
    *q = e.q;
    return;
  }
  // Divisor search: every divisor d above the previous p with n / d above
  // the scan's start narrows the pair.
  std::int32_t pp, qq, start, limit;
  if (n % 2 == 0) {
    pp = 2, qq = n / 2, start = 3, limit = n / 2;
  } else {
    pp = 1, qq = n, start = 2, limit = n / 2;
  }
  for (std::int32_t d = start; d <= limit;) {
    if (n % d == 0 && n / d > start) {
      pp = d, qq = n / d, start = d + 1, limit = qq;
      d = start;
    } else {
      ++d;
    }
  }
  *p = pp;
  *q = qq;
}

std::int32_t __f___zo_lsame_(const char *ca, const char *cb, std::size_t, std::size_t) {
  unsigned a = static_cast<unsigned char>(*ca), b = static_cast<unsigned char>(*cb);
  unsigned la = a | 0x20u;
  if (la >= 0x61u && la <= 0x7Au) return la == (b | 0x20u) ? 1 : 0;
  return a == b ? 1 : 0;
}

void __f___zo_getenv_(const char *name, char *value, std::ptrdiff_t name_len,
                      std::ptrdiff_t value_len) {
  char small[256];
  char *heap = nullptr;
  const char *lookup = "";
  bool found_name = true;
  if (name_len > 0) {
    bool nul_inside = name[0] == '\0' || std::memchr(name + 1, '\0', name_len - 1) != nullptr;
    if (nul_inside) {
      lookup = name;
    } else {
      std::ptrdiff_t l = name_len;
      while (l > 0 && name[l - 1] == ' ')
        --l;
      if (l >= 1 && l <= 255) {
        std::memcpy(small, name, l);
        small[l] = '\0';
        lookup = small;
      } else if (l >= 256) {
        heap = static_cast<char *>(std::malloc(static_cast<std::size_t>(l) + 1));
        if (heap == nullptr) {
          found_name = false;
        } else {
          std::memcpy(heap, name, l);
          heap[l] = '\0';
          lookup = heap;
        }
      }
    }
  }
  const char *v = found_name ? std::getenv(lookup) : nullptr;
  std::free(heap);
  if (value_len <= 0) return;
  std::ptrdiff_t copied = 0;
  if (v != nullptr)
    while (copied < value_len && v[copied] != '\0') {
      value[copied] = v[copied];
      ++copied;
    }
  std::memset(value + copied, ' ', static_cast<std::size_t>(value_len - copied));
}

std::int32_t __f___zo_get_stack_size_() { return __f___zo_com_stack_size_; }

} // extern "C"
