// The flags of one group l of a masked panel of B: kCount flags "b != 0",
// each with all bits set or none.  A tile takes a group whose flags are
// all set unmasked, skips one whose flags are all clear (every term of it
// is skipped), and masks the rest; it finds the groups with a zero in a
// list made when the panel was packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/isa_namespace.h"

namespace mox2::kernels {
inline namespace MOX2_ISA_NAMESPACE {

enum class GroupFlags { live, dead, mixed };

template <class Live, int kCount> inline GroupFlags group_flags(const Live *lp) {
  constexpr std::size_t kBytes = sizeof(Live) * kCount;
  static_assert(kBytes <= 8 || kBytes % 8 == 0, "up to one word, or whole words, of flags");
  constexpr std::size_t kWords = (kBytes + 7) / 8;
  constexpr std::uint64_t kLastAll =
      kBytes % 8 == 0 ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * kBytes)) - 1;
  // Their AND and OR, word by word, each read straight into a register (a
  // copy of them all to the stack would be read back in pieces that the
  // store cannot forward), without a branch per word.  Bytes past the
  // flags count as set for the AND and clear for the OR.
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(lp);
  std::uint64_t every = ~std::uint64_t(0), some = 0;
#pragma GCC unroll 8
  for (std::size_t i = 0; i < kWords; ++i) {
    const bool last = i + 1 == kWords;
    std::uint64_t w = ~std::uint64_t(0);
    std::memcpy(&w, bytes + 8 * i, last ? kBytes - 8 * i : 8);
    every &= w;
    some |= last ? w & kLastAll : w;
  }
  return every == ~std::uint64_t(0) ? GroupFlags::live
         : some != 0                ? GroupFlags::mixed
                                    : GroupFlags::dead;
}

// The groups l = 0..kc-1 of a masked panel (kCount flags each, from lp)
// whose flags are not all set, in increasing order, then kc: made when the
// panel is packed, so that its tiles look at flags only there.
template <class Live, int kCount>
void list_masked_groups(const Live *lp, std::ptrdiff_t kc, std::int32_t *groups) {
  for (std::ptrdiff_t l = 0; l < kc; ++l)
    if (group_flags<Live, kCount>(lp + l * kCount) != GroupFlags::live) *groups++ = std::int32_t(l);
  *groups = std::int32_t(kc);
}

// The kc groups of a masked panel in order, `groups` as list_masked_groups
// made it: add(std::false_type, lp) adds a group's terms unmasked (the
// groups between the listed ones), add(std::true_type, flags) under the
// group's flags (a listed group with some set), nothing for a listed group
// with none set; next() moves to the following group after each.
template <class Live, int kCount, class Add, class Next>
__attribute__((always_inline)) inline void add_masked_groups(std::ptrdiff_t kc, const Live *lp,
                                                             const std::int32_t *groups, Add &&add,
                                                             Next &&next) {
  std::ptrdiff_t l = 0;
  for (;; ++groups) {
    for (const std::ptrdiff_t stop = *groups; l < stop; ++l, next())
      add(std::false_type{}, lp);
    if (l == kc) break;
    const Live *flags = lp + l * kCount;
    if (group_flags<Live, kCount>(flags) == GroupFlags::mixed) add(std::true_type{}, flags);
    ++l;
    next();
  }
}

// p itself, through an empty asm statement: to the compiler a new pointer,
// so that loads through it are not merged with loads through p elsewhere
// (in a tile, a masked form's broadcasts with the unmasked form's: merged
// and hoisted ahead of the choice, they would not fit in the registers
// beside the tile's accumulators).
template <class P> __attribute__((always_inline)) inline P *unmerged(P *p) {
  asm("" : "+r"(p));
  return p;
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels
