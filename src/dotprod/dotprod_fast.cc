// DOT_PRODUCT fast path: the two rank-one operands as BLAS vectors (count,
// lowest-addressed element, increment in elements), one dot kernel call.
#include "dotprod/dotprod_fast.h"

#include <cstdlib>

#include "dotprod/dotprod.h"
#include "frame/errors.h"
#include "kernels/kernels.h"

namespace mox2 {
namespace {

// The dot kernels of each type: the ordinary one and the one for data only
// 4-byte aligned (the same kernel where the type never needs more).
template <TypeCode C> struct DotKernels;
template <> struct DotKernels<TypeCode::r4> {
  static float dot(const std::int32_t *n, const float *x, const std::int32_t *incx, const float *y,
                   const std::int32_t *incy) {
    return __f___zo_sdot_(n, x, incx, y, incy);
  }
  static constexpr auto *dot_don = dot;
};
template <> struct DotKernels<TypeCode::r8> {
  static double dot(const std::int32_t *n, const double *x, const std::int32_t *incx,
                    const double *y, const std::int32_t *incy) {
    return __f___zo_ddot_(n, x, incx, y, incy);
  }
  static double dot_don(const std::int32_t *n, const double *x, const std::int32_t *incx,
                        const double *y, const std::int32_t *incy) {
    return __f___zo_ddot_don_(n, x, incx, y, incy);
  }
};
template <> struct DotKernels<TypeCode::c8> {
  static c8 dot(const std::int32_t *n, const c8 *x, const std::int32_t *incx, const c8 *y,
                const std::int32_t *incy) {
    c8 r;
    __f___zo_cdotc_(&r, n, x, incx, y, incy);
    return r;
  }
  static constexpr auto *dot_don = dot;
};
template <> struct DotKernels<TypeCode::c16> {
  static c16 dot(const std::int32_t *n, const c16 *x, const std::int32_t *incx, const c16 *y,
                 const std::int32_t *incy) {
    c16 r;
    __f___zo_zdotc_(&r, n, x, incx, y, incy);
    return r;
  }
  static c16 dot_don(const std::int32_t *n, const c16 *x, const std::int32_t *incx, const c16 *y,
                     const std::int32_t *incy) {
    c16 r;
    __f___zo_zdotc_don_(&r, n, x, incx, y, incy);
    return r;
  }
};

// One operand as a BLAS vector of n elements.  A stride that is not a
// multiple of E cannot be an increment: such an operand is copied, in
// order, into a contiguous temporary (owned by `copy`).
template <class T> struct BlasVector {
  const char *start;
  std::int32_t inc;
  void *copy = nullptr;
};
template <class T> BlasVector<T> blas_vector(const DopeVector<1> *v, std::int32_t n) {
  const char *base = static_cast<const char *>(v->base);
  const std::intptr_t stride = v->stride[0];
  if (stride % static_cast<std::intptr_t>(sizeof(T)) != 0) {
    char *copy = static_cast<char *>(allocate_result(sizeof(T), static_cast<std::size_t>(n)));
    for (std::int32_t k = 0; k < n; ++k)
      store<T>(copy + k * sizeof(T), load<T>(base + k * stride));
    return {copy, 1, copy};
  }
  const std::int32_t inc =
      static_cast<std::int32_t>(stride / static_cast<std::intptr_t>(sizeof(T)));
  if (inc < 0 && n > 0) return {base + (n - 1) * stride, inc};
  return {base, inc};
}

// Whether an operand's stride reaches the kernels as a 32-bit increment
// (a stride that is no multiple of E is copied and needs none).
template <class T> bool fits_kernels(const DopeVector<1> *v) {
  constexpr std::intptr_t e = sizeof(T);
  const std::intptr_t stride = v->stride[0];
  return stride % e != 0 || (stride / e >= INT32_MIN && stride / e <= INT32_MAX);
}

template <TypeCode C> ElementType<C> dot_fast(const DopeVector<1> *a, const DopeVector<1> *b) {
  using T = ElementType<C>;
  if (a == nullptr || b == nullptr || a->base == nullptr || b->base == nullptr)
    __f_unassociated_array();
  // Counts and increments past the kernels' 32-bit integers: the generic
  // loop, every term in element order.
  const std::size_t count = extent_count(a->extent[0]);
  if (count > INT32_MAX || !fits_kernels<T>(a) || !fits_kernels<T>(b))
    return dotprod::Sum<C, C, C>::run(
        dotprod::Walk<C>{static_cast<const char *>(a->base), a->stride[0]},
        dotprod::Walk<C>{static_cast<const char *>(b->base), b->stride[0]}, count);
  const std::int32_t n = static_cast<std::int32_t>(count);
  BlasVector<T> x = blas_vector<T>(a, n), y = blas_vector<T>(b, n);
  const T *px = reinterpret_cast<const T *>(x.start), *py = reinterpret_cast<const T *>(y.start);
  const bool aligned = reinterpret_cast<std::uintptr_t>(px) % 8 == 0 &&
                       reinterpret_cast<std::uintptr_t>(py) % 8 == 0;
  T r = aligned ? DotKernels<C>::dot(&n, px, &x.inc, py, &y.inc)
                : DotKernels<C>::dot_don(&n, px, &x.inc, py, &y.inc);
  std::free(x.copy);
  std::free(y.copy);
  return r;
}

} // namespace

#define MOX2_DEFINE_DOTPROD_FAST_(t)                                                               \
  ElementType<TypeCode::t> DotprodFastPath<TypeCode::t, TypeCode::t>::run(                         \
      const DopeVector<1> *a, const DopeVector<1> *b) {                                            \
    return dot_fast<TypeCode::t>(a, b);                                                            \
  }
MOX2_DEFINE_DOTPROD_FAST_(r4)
MOX2_DEFINE_DOTPROD_FAST_(r8)
MOX2_DEFINE_DOTPROD_FAST_(c8)
MOX2_DEFINE_DOTPROD_FAST_(c16)
#undef MOX2_DEFINE_DOTPROD_FAST_

} // namespace mox2
