// MATMUL fast path: the operands as BLAS matrices and vectors, one call of
// the GEMM or GEMV entry point (C := 1*A*B + 0*C, y := 1*A*x + 0*y), or of
// the alignment-safe kernel with the same arguments when REAL(8) or
// COMPLEX(8) data is not 8-byte aligned.
#include "matmul/matmul_fast.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "frame/errors.h"
#include "kernels/kernels.h"
#include "matmul/matmul.h"
#include "runtime/scratch.h"

namespace mox2 {
namespace {

template <TypeCode C> struct BlasEntries;
#define MOX2_BLAS_ENTRIES_(p, t)                                                                   \
  template <> struct BlasEntries<TypeCode::t> {                                                    \
    static constexpr auto *gemv = __f95_##p##gemv_;                                                \
    static constexpr auto *gemm = __f95_##p##gemm_;                                                \
  };
MOX2_BLAS_TYPES(MOX2_BLAS_ENTRIES_)
#undef MOX2_BLAS_ENTRIES_

// The alignment-safe kernels of the types whose ordinary kernels need
// 8-byte aligned data.
template <TypeCode C>
inline constexpr bool kNeedsAlignment = C == TypeCode::r8 || C == TypeCode::c16;
template <TypeCode C> struct SafeKernels;
template <> struct SafeKernels<TypeCode::r8> {
  static constexpr auto *gemv = __f___zo_dgemv_don_;
  static constexpr auto *gemm = __f___zo_dgemm_don_;
};
template <> struct SafeKernels<TypeCode::c16> {
  static constexpr auto *gemv = __f___zo_zgemv_don_;
  static constexpr auto *gemm = __f___zo_zgemm_don_;
};

bool aligned8(const void *p) { return reinterpret_cast<std::uintptr_t>(p) % 8 == 0; }

// A matrix operand of rows x cols as (address, leading dimension).  Its
// columns must be contiguous (stride1 = E), its column stride a multiple
// of E and at least max(1, rows) elements; otherwise the operand is copied
// into a contiguous temporary: `room` when the caller has workspace for it,
// else memory of its own (owned by `copy`).
template <class T> struct BlasMatrix {
  const T *a;
  std::int32_t ld;
  void *copy = nullptr;
};
template <class T> bool passes_as_is(const DopeVector<2> *d, std::size_t rows) {
  constexpr std::intptr_t e = sizeof(T);
  const std::intptr_t s1 = d->stride[0], s2 = d->stride[1];
  const std::intptr_t min_ld = rows > 1 ? static_cast<std::intptr_t>(rows) : 1;
  return s1 == e && s2 % e == 0 && s2 / e >= min_ld && s2 / e <= INT32_MAX;
}
// Bytes of the contiguous copy an operand needs (0 when it passes as is);
// a count that overflows ends the process (out of space).
template <class T>
std::size_t copy_bytes(const DopeVector<2> *d, std::size_t rows, std::size_t cols) {
  if (passes_as_is<T>(d, rows)) return 0;
  return Scratch::rounded(checked_product(checked_product(rows, cols), sizeof(T)));
}

// Whether a count reaches the BLAS routines as the 32-bit integer they take.
// Larger ones go to the member's generic loop (every term, in k order).
bool fits_blas(std::size_t count) { return count <= INT32_MAX; }
matmul::View view_of(const DopeVector<2> *d) {
  return {static_cast<const char *>(d->base), d->stride[0], d->stride[1]};
}
template <class T>
BlasMatrix<T> blas_matrix(const DopeVector<2> *d, std::size_t rows, std::size_t cols, char *room) {
  const char *base = static_cast<const char *>(d->base);
  const std::intptr_t s1 = d->stride[0], s2 = d->stride[1];
  if (passes_as_is<T>(d, rows))
    return {reinterpret_cast<const T *>(base),
            static_cast<std::int32_t>(s2 / std::intptr_t(sizeof(T)))};
  char *copy =
      room ? room : static_cast<char *>(allocate_result(sizeof(T), checked_product(rows, cols)));
  // In tiles of kTile x kTile elements, so that a transposed or strided
  // operand is read a cache line at a time, not an element per line.
  constexpr std::size_t kTile = 32;
  for (std::size_t j0 = 0; j0 < cols; j0 += kTile)
    for (std::size_t i0 = 0; i0 < rows; i0 += kTile) {
      const std::size_t j1 = cols - j0 < kTile ? cols : j0 + kTile;
      const std::size_t i1 = rows - i0 < kTile ? rows : i0 + kTile;
      for (std::size_t j = j0; j < j1; ++j)
        for (std::size_t i = i0; i < i1; ++i)
          store<T>(copy + (i + j * rows) * sizeof(T),
                   load<T>(base + static_cast<std::intptr_t>(i) * s1 +
                           static_cast<std::intptr_t>(j) * s2));
    }
  const std::int32_t ld = static_cast<std::int32_t>(rows > 1 ? rows : 1);
  return {reinterpret_cast<const T *>(copy), ld, room ? nullptr : copy};
}

// A vector operand of n elements as (lowest-addressed element, increment);
// a stride of 0 or not a multiple of E is copied into a contiguous temporary.
template <class T> struct BlasVector {
  const T *x;
  std::int32_t inc;
  void *copy = nullptr;
};
template <class T> BlasVector<T> blas_vector(const DopeVector<1> *d, std::size_t n) {
  constexpr std::intptr_t e = sizeof(T);
  const char *base = static_cast<const char *>(d->base);
  const std::intptr_t s = d->stride[0];
  if (s != 0 && s % e == 0 && s / e >= INT32_MIN && s / e <= INT32_MAX) {
    const char *start = s < 0 ? base + static_cast<std::intptr_t>(n - 1) * s : base;
    return {reinterpret_cast<const T *>(start), static_cast<std::int32_t>(s / e)};
  }
  char *copy = static_cast<char *>(allocate_result(sizeof(T), n));
  for (std::size_t k = 0; k < n; ++k)
    store<T>(copy + k * sizeof(T), load<T>(base + static_cast<std::intptr_t>(k) * s));
  return {reinterpret_cast<const T *>(copy), 1, copy};
}

template <class T> T one() {
  if constexpr (is_complex_element<T>)
    return T{1, 0};
  else
    return T(1);
}
template <TypeCode C>
void matmul_a22_fast(DopeVector<2> *result, const DopeVector<2> *a, const DopeVector<2> *b) {
  using T = ElementType<C>;
  if (result == nullptr || a == nullptr || b == nullptr || a->base == nullptr || b->base == nullptr)
    __f_unassociated_array();
  const std::size_t m = extent_count(a->extent[0]), k = extent_count(a->extent[1]);
  const std::size_t n = extent_count(b->extent[1]);
  void *c = allocate_result(sizeof(T), checked_product(m, n));
  describe_result<2>(result, c, {m, n}, sizeof(T));
  if (m == 0 || n == 0) return;
  if (k == 0) {
    std::memset(c, 0, m * n * sizeof(T));
    return;
  }
  // Operand copies go to the thread's workspace (no fresh pages per call);
  // the product's own workspace then takes the thread's second block.
  const std::size_t bytes_a = copy_bytes<T>(a, m, k), bytes_b = copy_bytes<T>(b, k, n);
  if (!fits_blas(m) || !fits_blas(n) || !fits_blas(k)) {
    matmul::product<C, C, C>(static_cast<char *>(c), view_of(a), view_of(b), m, n, k);
    return;
  }
  std::optional<Scratch> room;
  char *room_a = nullptr, *room_b = nullptr;
  if (bytes_a + bytes_b > 0) {
    room.emplace(checked_sum(bytes_a, bytes_b));
    if (char *r = static_cast<char *>(room->data())) {
      room_a = bytes_a ? r : nullptr;
      room_b = bytes_b ? r + bytes_a : nullptr;
    }
  }
  BlasMatrix<T> am = blas_matrix<T>(a, m, k, room_a), bm = blas_matrix<T>(b, k, n, room_b);
  const std::int32_t mm = static_cast<std::int32_t>(m), nn = static_cast<std::int32_t>(n),
                     kk = static_cast<std::int32_t>(k);
  const T alpha = one<T>(), beta = T{};
  T *cc = static_cast<T *>(c);
  bool safe = false;
  if constexpr (kNeedsAlignment<C>) safe = !(aligned8(am.a) && aligned8(bm.a));
  if constexpr (kNeedsAlignment<C>)
    if (safe)
      SafeKernels<C>::gemm("N", "N", &mm, &nn, &kk, &alpha, am.a, &am.ld, bm.a, &bm.ld, &beta, cc,
                           &mm, 1, 1);
  if (!safe)
    BlasEntries<C>::gemm("N", "N", &mm, &nn, &kk, &alpha, am.a, &am.ld, bm.a, &bm.ld, &beta, cc,
                         &mm, 1, 1);
  std::free(am.copy);
  std::free(bm.copy);
}

template <TypeCode C>
void matmul_a21_fast(DopeVector<1> *result, const DopeVector<2> *a, const DopeVector<1> *x) {
  using T = ElementType<C>;
  if (a == nullptr || x == nullptr || a->base == nullptr || x->base == nullptr)
    __f_unassociated_array();
  const std::size_t m = extent_count(a->extent[0]), k = extent_count(a->extent[1]);
  const std::size_t nx = extent_count(x->extent[0]);
  void *y = allocate_result(sizeof(T), m);
  describe_result<1>(result, y, {m}, sizeof(T));
  if (m == 0) return;
  if (nx == 0 || k == 0) {
    std::memset(y, 0, m * sizeof(T));
    return;
  }
  const std::size_t bytes_a = copy_bytes<T>(a, m, k);
  if (!fits_blas(m) || !fits_blas(k)) {
    const matmul::View xv{static_cast<const char *>(x->base), x->stride[0], 0};
    matmul::product<C, C, C>(static_cast<char *>(y), view_of(a), xv, m, 1, k);
    return;
  }
  std::optional<Scratch> room;
  char *room_a = nullptr;
  if (bytes_a > 0) {
    room.emplace(bytes_a);
    room_a = static_cast<char *>(room->data());
  }
  BlasMatrix<T> am = blas_matrix<T>(a, m, k, room_a);
  BlasVector<T> xv = blas_vector<T>(x, k);
  const std::int32_t mm = static_cast<std::int32_t>(m), kk = static_cast<std::int32_t>(k);
  const std::int32_t unit = 1;
  const T alpha = one<T>(), beta = T{};
  T *yy = static_cast<T *>(y);
  bool safe = false;
  if constexpr (kNeedsAlignment<C>) safe = !(aligned8(am.a) && aligned8(xv.x));
  if constexpr (kNeedsAlignment<C>)
    if (safe)
      SafeKernels<C>::gemv("N", &mm, &kk, &alpha, am.a, &am.ld, xv.x, &xv.inc, &beta, yy, &unit, 1);
  if (!safe)
    BlasEntries<C>::gemv("N", &mm, &kk, &alpha, am.a, &am.ld, xv.x, &xv.inc, &beta, yy, &unit, 1);
  std::free(am.copy);
  std::free(xv.copy);
}

} // namespace

#define MOX2_DEFINE_MATMUL_FAST_(t)                                                                \
  void MatmulFastPath<TypeCode::t, TypeCode::t>::a21(                                              \
      DopeVector<1> *result, const DopeVector<2> *a, const DopeVector<1> *x) {                     \
    matmul_a21_fast<TypeCode::t>(result, a, x);                                                    \
  }                                                                                                \
  void MatmulFastPath<TypeCode::t, TypeCode::t>::a22(                                              \
      DopeVector<2> *result, const DopeVector<2> *a, const DopeVector<2> *b) {                     \
    matmul_a22_fast<TypeCode::t>(result, a, b);                                                    \
  }
MOX2_DEFINE_MATMUL_FAST_(r4)
MOX2_DEFINE_MATMUL_FAST_(r8)
MOX2_DEFINE_MATMUL_FAST_(c8)
MOX2_DEFINE_MATMUL_FAST_(c16)
#undef MOX2_DEFINE_MATMUL_FAST_

} // namespace mox2
