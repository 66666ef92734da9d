// MATMUL for every ordered pair of element types: vector x matrix (a12),
// matrix x vector (a21) and matrix x matrix (a22).
//
// Each result element is one inner product over k = 0 .. K-1, in that
// order, with one accumulator (one per part for COMPLEX) starting at zero,
// in the work type of the result (its part type for COMPLEX; for INTEGER
// results the 32-bit, or with an i8 operand 64-bit, wrapping integer).
// Every operand element is first converted to the work type (integers
// rounded once, narrower reals widened exactly).  Terms:
//   REAL/INTEGER      x*y
//   COMPLEX x COMPLEX re: xr*yr - xi*yi, im: xr*yi + xi*yr (no conjugation)
//   COMPLEX x REAL    re: xr*y, im: xi*y           (REAL x COMPLEX alike)
// The sum is stored once, narrowed to the result kind for INTEGER results.
// LOGICAL pairs: 1 at the first k where the AND of the sign-extended values
// is nonzero, else 0.
//
// Shapes: K comes from MATRIX_A (a21, a22) or MATRIX_B (a12); the other
// operand's matching extent is only tested for zero.  Any zero extent gives
// a zero result with at least one element allocated.
//
// Speed: operands are converted while they are packed into blocks, and a
// register tile (matmul/tile.h) computes many result elements at once, each
// in its own k order; partial sums of a k-block wait in a work-type buffer.
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "blas/partition.h"
#include "frame/dope.h"
#include "frame/errors.h"
#include "matmul/element.h"
#include "matmul/promotion.h"
#include "matmul/tile.h"
#include "runtime/parallel.h"
#include "runtime/scratch.h"

namespace mox2 {

enum class MatmulForm { a12, a21, a22 };

// Specialised by the fast path for the pairs has_fast_path() names, with
// static members a21(result, a, b) and a22(result, a, b).
template <TypeCode A, TypeCode B> struct MatmulFastPath;

namespace matmul {

// A matrix operand: element (i, k) at base + i*s1 + k*s2 (byte strides).
struct View {
  const char *base;
  std::intptr_t s1, s2;
  const char *at(std::size_t i, std::size_t k) const {
    return base + static_cast<std::intptr_t>(i) * s1 + static_cast<std::intptr_t>(k) * s2;
  }
};

template <TypeCode R, TypeCode A, TypeCode B>
using Work = std::conditional_t<is_integer<R>, IntegerWork<A, B>, Part<ElementType<R>>>;

// An operand element converted to the work type W (imaginary part 0 is not
// written for non-complex operands).
template <class W, TypeCode C> inline void convert(const char *p, W *re, W *im) {
  using T = ElementType<C>;
  T v = load<T>(p);
  if constexpr (is_complex<C>) {
    *re = static_cast<W>(v.re);
    *im = static_cast<W>(v.im);
  } else if constexpr (std::is_integral_v<W>) {
    *re = widen_integer<W>(v);
  } else {
    *re = static_cast<W>(v);
  }
}

// Rows [i0, i0+mc) and columns [k0, k0+kc) of A, as strips of mr rows (the
// last one padded with zeros).
template <class W, TypeCode C>
void pack_a(W *dst, const View &a, std::size_t i0, std::size_t mc, std::size_t k0, std::size_t kc,
            std::size_t mr) {
  constexpr bool cx = is_complex<C>;
  for (std::size_t s = 0; s < mc; s += mr) {
    std::size_t rows = std::min(mr, mc - s);
    for (std::size_t k = 0; k < kc; ++k) {
      const char *p = a.at(i0 + s, k0 + k);
      for (std::size_t i = 0; i < rows; ++i, p += a.s1)
        convert<W, C>(p, dst + i, dst + mr + i);
      for (std::size_t i = rows; i < mr; ++i) {
        dst[i] = W{};
        if constexpr (cx) dst[mr + i] = W{};
      }
      dst += cx ? 2 * mr : mr;
    }
  }
}

// Rows [k0, k0+kc) of all n columns of B, as panels of nr columns (the last
// one padded with zeros).
template <class W, TypeCode C>
void pack_b(W *dst, const View &b, std::size_t k0, std::size_t kc, std::size_t n, std::size_t nr) {
  constexpr bool cx = is_complex<C>;
  for (std::size_t q = 0; q < n; q += nr) {
    std::size_t cols = std::min(nr, n - q);
    for (std::size_t k = 0; k < kc; ++k) {
      const char *p = b.at(k0 + k, q);
      for (std::size_t j = 0; j < cols; ++j, p += b.s2)
        convert<W, C>(p, dst + j, dst + nr + j);
      for (std::size_t j = cols; j < nr; ++j) {
        dst[j] = W{};
        if constexpr (cx) dst[nr + j] = W{};
      }
      dst += cx ? 2 * nr : nr;
    }
  }
}

inline constexpr std::size_t kBlockK = 256;             // k values per block
inline constexpr std::size_t kColumnBlockK = 65536;     // with one column (x fits whole below)
inline constexpr std::size_t kBlockABytes = 256 * 1024; // packed A block

// How many threads a product cut into `units` blocks takes: one unless
// its weighed work repays a team.
inline std::size_t team_for(std::size_t units, double work) {
  if (units < 2 || work < threaded_work()) return 1;
  return std::min<std::size_t>(units, std::size_t(__f___zo_using_threads_()));
}

// One band of the result of numeric_product (all its rows and some
// columns, or for one column some rows): for every block of k in order,
// the band's panels of B and blocks of rows of A are packed (into its own
// bpack and apack) and the tiles add their products to the band's
// accumulators.
template <class W> struct Band {
  std::size_t row_first, rows; // whole strips of mr except at the end
  std::size_t col_first, cols; // whole panels of nr except at the end
  W *apack, *bpack;
};
template <class W> struct ProductPlan {
  TileFn<W> tile;
  std::size_t m, kk, mr, nr, mb, kb, mp, plane;
  bool in_place;
  W *acc;
  Band<W> band[kMaxThreads];
};

template <TypeCode A, TypeCode B, class W>
void product_band(const ProductPlan<W> &p, const Band<W> &band, const View &a, const View &b) {
  constexpr std::size_t pa = is_complex<A> ? 2 : 1, pb = is_complex<B> ? 2 : 1;
  const std::size_t mr = p.mr, nr = p.nr, mp = p.mp;
  const std::size_t r0 = band.row_first, r1 = r0 + band.rows;
  const std::size_t np = (band.cols + nr - 1) / nr * nr;
  const View bv{b.at(0, band.col_first), b.s1, b.s2};
  W *acc = p.acc + band.col_first * mp;
  for (std::size_t k0 = 0; k0 < p.kk; k0 += p.kb) {
    const std::size_t kc = std::min(p.kb, p.kk - k0);
    pack_b<W, B>(band.bpack, bv, k0, kc, band.cols, nr);
    std::size_t i_packed = r0;
    if (p.in_place) {
      i_packed = std::max(r0, std::min(r1, p.m / mr * mr));
      const std::ptrdiff_t lda = a.s2 / static_cast<std::ptrdiff_t>(sizeof(W));
      for (std::size_t s = r0; s < i_packed; s += mr)
        p.tile(kc, reinterpret_cast<const W *>(a.at(s, k0)), lda, band.bpack, acc + s, mp, p.plane);
    }
    for (std::size_t i0 = i_packed; i0 < r1; i0 += p.mb) {
      const std::size_t mc = std::min(p.mb, r1 - i0);
      pack_a<W, A>(band.apack, a, i0, mc, k0, kc, mr);
      for (std::size_t q = 0; q < np; q += nr) {
        const W *bp = band.bpack + q * kc * pb;
        for (std::size_t s = 0; s < mc; s += mr)
          p.tile(kc, band.apack + s * kc * pa, mr * pa, bp, acc + q * mp + i0 + s, mp, p.plane);
      }
    }
  }
}

// Products of at most kDirectTerms terms skip the packing: each element's
// sum is formed term by term where it stands, in the tile kernels'
// arithmetic (the same expressions, the same order), up to eight elements
// of a column side by side.
inline constexpr std::size_t kDirectTerms = 512;

// Elements i0 .. i0+kRows-1 of column j, stored from out.
template <TypeCode A, TypeCode B, TypeCode R, int kRows>
void direct_elements(char *out, const View &a, const View &b, std::size_t i0, std::size_t j,
                     std::size_t kk) {
  using W = Work<R, A, B>;
  using T = ElementType<R>;
  constexpr bool ac = is_complex<A>, bc = is_complex<B>;
  W cr[kRows] = {}, ci[kRows] = {};
  const char *pa = a.at(i0, 0), *pb = b.at(0, j);
  for (std::size_t k = 0; k < kk; ++k, pa += a.s2, pb += b.s1) {
    W br, bi{};
    convert<W, B>(pb, &br, &bi);
#pragma GCC unroll 8
    for (int r = 0; r < kRows; ++r) {
      W ar, ai{};
      convert<W, A>(pa + r * a.s1, &ar, &ai);
      if constexpr (ac && bc) {
        cr[r] += ar * br - ai * bi;
        ci[r] += ar * bi + ai * br;
      } else if constexpr (ac) {
        cr[r] += ar * br;
        ci[r] += ai * br;
      } else if constexpr (bc) {
        cr[r] += ar * br;
        ci[r] += ar * bi;
      } else {
        cr[r] += ar * br;
      }
    }
  }
#pragma GCC unroll 8
  for (int r = 0; r < kRows; ++r) {
    if constexpr (ac || bc)
      store<T>(out + r * sizeof(T), T{cr[r], ci[r]});
    else
      store<T>(out + r * sizeof(T), static_cast<T>(cr[r]));
  }
}

// Rows [r0, r1) of every column of the m x n result at out.
template <TypeCode A, TypeCode B, TypeCode R>
void direct_product(char *out, const View &a, const View &b, std::size_t m, std::size_t n,
                    std::size_t kk, std::size_t r0, std::size_t r1) {
  using T = ElementType<R>;
  for (std::size_t j = 0; j < n; ++j) {
    char *o = out + (j * m + r0) * sizeof(T);
    std::size_t i = r0;
    for (; i + 8 <= r1; i += 8, o += 8 * sizeof(T))
      direct_elements<A, B, R, 8>(o, a, b, i, j, kk);
    for (; i + 4 <= r1; i += 4, o += 4 * sizeof(T))
      direct_elements<A, B, R, 4>(o, a, b, i, j, kk);
    for (; i < r1; ++i, o += sizeof(T))
      direct_elements<A, B, R, 1>(o, a, b, i, j, kk);
  }
}

// A product with one column whose A runs along k (consecutive values of k
// adjacent: the transpose of a column-major matrix, as in a vector times
// a matrix) is summed where A stands as well, eight rows side by side,
// rather than packed: a transposing pack would move all of A once more
// for a single use of each value; from about 80 x 80 (REAL(8) x
// INTEGER(4)) it cuts its rows into bands of eight, one per thread.
template <TypeCode A, TypeCode B, TypeCode R>
void direct_column(char *out, const View &a, const View &b, std::size_t m, std::size_t kk) {
  constexpr bool cx = is_complex<A> || is_complex<B>;
  const std::size_t units = (m + 7) / 8;
  const double work = 16.0 * (cx ? 8.0 : 2.0) * double(m) * double(kk);
  const std::size_t threads = team_for(units, work);
  if (threads == 1) {
    direct_product<A, B, R>(out, a, b, m, 1, kk, 0, m);
    return;
  }
  struct Args {
    char *out;
    const View *a, *b;
    std::size_t m, kk, units, threads;
  } args{out, &a, &b, m, kk, units, threads};
  run_block_loop(
      [](void *v, std::int32_t lo, std::int32_t hi) {
        const Args &x = *static_cast<const Args *>(v);
        for (std::size_t t = std::size_t(lo); t <= std::size_t(hi); ++t) {
          const auto band = blas::band_first_longer(x.units, x.threads, t);
          direct_product<A, B, R>(x.out, *x.a, *x.b, x.m, 1, x.kk, 8 * band.first,
                                  std::min(x.m, 8 * (band.first + band.count)));
        }
      },
      &args, 0, std::int32_t(threads) - 1, work);
}

// out(i, j) = sum over k of A(i, k)*B(k, j), i < m, j < n, stored contiguously
// (column-major, leading dimension m) in the result type R.  A product
// large enough to repay a team has its columns (one column: its rows) cut
// into one band per thread (each element is computed whole by one band,
// in its own order: no bit depends on the cut).
template <TypeCode A, TypeCode B, TypeCode R>
void numeric_product(char *out, const View &a, const View &b, std::size_t m, std::size_t n,
                     std::size_t kk) {
  using W = Work<R, A, B>;
  constexpr bool ac = is_complex<A>, bc = is_complex<B>, cx = ac || bc;
  constexpr std::size_t pa = ac ? 2 : 1, pb = bc ? 2 : 1, pc = cx ? 2 : 1;
  if (m <= kDirectTerms && n <= kDirectTerms && kk <= kDirectTerms && m * n * kk <= kDirectTerms) {
    direct_product<A, B, R>(out, a, b, m, n, kk, 0, m);
    return;
  }
  if (n == 1 && a.s2 == static_cast<std::intptr_t>(sizeof(ElementType<A>))) {
    direct_column<A, B, R>(out, a, b, m, kk);
    return;
  }
  const TileSet<W> tiles = select_tiles<W, ac, bc>();
  const bool column = n == 1;
  // One column of fewer rows than a strip: packing would pad every k to a
  // whole strip (and each element's sum is a chain of dependent adds in
  // either form).
  if (column && m < std::size_t(tiles.mr1)) {
    direct_product<A, B, R>(out, a, b, m, 1, kk, 0, m);
    return;
  }
  ProductPlan<W> p;
  p.tile = column ? tiles.column : tiles.tile;
  p.m = m;
  p.kk = kk;
  p.mr = column ? tiles.mr1 : tiles.mr;
  p.nr = column ? 1 : tiles.nr;
  const std::size_t mr = p.mr, nr = p.nr;
  p.mp = (m + mr - 1) / mr * mr;
  const std::size_t np = (n + nr - 1) / nr * nr;
  p.kb = std::min(kk, column ? kColumnBlockK : kBlockK);
  std::size_t mb = std::max<std::size_t>(kBlockABytes / (p.kb * pa * sizeof(W)) / mr, 1) * mr;
  p.mb = std::min(mb, p.mp);
  p.plane = checked_product(p.mp, np);

  // Threads: whole panels (one column: strips) per band, as even as they go.
  const std::size_t units = column ? p.mp / mr : np / nr;
  // The work estimate weighs the operations so that a second thread is
  // taken where it pays (for REAL(8) x INTEGER(4)): a matrix product,
  // whose bands each pack all of A, from about 72 x 72 x 72; a product
  // with one column from about 160 x 160.
  const double work = (column ? 4.0 : 0.25) * (cx ? 8.0 : 2.0) * double(m) * double(n) * double(kk);
  const std::size_t threads = team_for(units, work);

  const std::size_t acc_bytes =
      Scratch::rounded(checked_product(checked_product(p.plane, pc), sizeof(W)));
  const std::size_t band_cols = column ? 1 : (units + threads - 1) / threads * nr;
  const std::size_t b_bytes =
      Scratch::rounded(checked_product(checked_product(p.kb * pb, band_cols), sizeof(W)));
  const std::size_t a_bytes =
      Scratch::rounded(checked_product(checked_product(p.mb, p.kb * pa), sizeof(W)));
  Scratch scratch(checked_sum(acc_bytes, checked_product(threads, checked_sum(b_bytes, a_bytes))));
  if (scratch.data() == nullptr) __f_out_of_space();
  p.acc = static_cast<W *>(scratch.data());
  std::memset(static_cast<void *>(p.acc), 0, p.plane * pc * sizeof(W));
  char *room = static_cast<char *>(scratch.data()) + acc_bytes;
  for (std::size_t t = 0; t < threads; ++t) {
    const auto u = blas::band_first_longer(units, threads, t);
    Band<W> &band = p.band[t];
    if (column)
      band = {u.first * mr, std::min(u.count * mr, m - u.first * mr), 0, 1, nullptr, nullptr};
    else
      band = {0, m, u.first * nr, std::min(u.count * nr, n - u.first * nr), nullptr, nullptr};
    band.bpack = reinterpret_cast<W *>(room);
    band.apack = reinterpret_cast<W *>(room + b_bytes);
    room += b_bytes + a_bytes;
  }

  // Matrix x vector with A already of the work type and contiguous columns:
  // whole strips are read in place, only the last partial strip is packed.
  constexpr bool in_place_type = !ac && std::is_same_v<ElementType<A>, W>;
  p.in_place = in_place_type && column && a.s1 == sizeof(W) &&
               a.s2 % static_cast<std::intptr_t>(sizeof(W)) == 0 &&
               reinterpret_cast<std::uintptr_t>(a.base) % alignof(W) == 0;
  if (threads == 1) {
    product_band<A, B, W>(p, p.band[0], a, b);
  } else {
    struct Args {
      const ProductPlan<W> *p;
      const View *a, *b;
    } args{&p, &a, &b};
    run_block_loop(
        [](void *v, std::int32_t lo, std::int32_t hi) {
          const Args &x = *static_cast<const Args *>(v);
          for (std::int32_t t = lo; t <= hi; ++t)
            product_band<A, B, W>(*x.p, x.p->band[t], *x.a, *x.b);
        },
        &args, 0, std::int32_t(threads) - 1, work);
  }

  using T = ElementType<R>;
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < m; ++i) {
      const W *c = p.acc + j * p.mp + i;
      T v;
      if constexpr (cx)
        v = T{c[0], c[p.plane]};
      else
        v = static_cast<T>(c[0]);
      store<T>(out + (j * m + i) * sizeof(T), v);
    }
}

template <TypeCode A, TypeCode B, TypeCode R>
void logical_product(char *out, const View &a, const View &b, std::size_t m, std::size_t n,
                     std::size_t kk) {
  using TA = ElementType<A>;
  using TB = ElementType<B>;
  using T = ElementType<R>;
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < m; ++i) {
      const char *pa = a.at(i, 0), *pb = b.at(0, j);
      T v = 0;
      for (std::size_t k = 0; k < kk; ++k, pa += a.s2, pb += b.s1)
        if (logical_pair_true(load<TA>(pa), load<TB>(pb))) {
          v = 1;
          break;
        }
      store<T>(out, v);
      out += sizeof(T);
    }
}

template <TypeCode A, TypeCode B, TypeCode R>
void product(char *out, const View &a, const View &b, std::size_t m, std::size_t n,
             std::size_t kk) {
  if constexpr (is_logical<R>)
    logical_product<A, B, R>(out, a, b, m, n, kk);
  else
    numeric_product<A, B, R>(out, a, b, m, n, kk);
}

// A fresh result of `count` elements (at least one allocated); zero-filled
// when `zero` is set.
template <TypeCode R> char *new_result(std::size_t count, bool zero) {
  constexpr std::size_t e = sizeof(ElementType<R>);
  void *base = allocate_result(e, count);
  if (zero) std::memset(base, 0, std::max<std::size_t>(count, 1) * e);
  return static_cast<char *>(base);
}

// Vector x matrix: R(j) = sum over k of a(k)*b(k, j); computed as the
// matrix-vector product of b's transpose with a, term by term the same
// products and sums in the same order.
template <TypeCode A, TypeCode B, TypeCode R>
void a12(DopeVector<1> *result, const DopeVector<1> *a, const DopeVector<2> *b) {
  if (a->base == nullptr || b->base == nullptr) __f_unassociated_array();
  std::size_t ka = extent_count(a->extent[0]);
  std::size_t kk = extent_count(b->extent[0]), n = extent_count(b->extent[1]);
  bool zero = ka == 0 || kk == 0 || n == 0;
  char *out = new_result<R>(n, zero);
  if (!zero) {
    View bt{static_cast<const char *>(b->base), b->stride[1], b->stride[0]};
    View x{static_cast<const char *>(a->base), a->stride[0], 0};
    product<B, A, R>(out, bt, x, n, 1, kk);
  }
  describe_result<1>(result, out, {n}, sizeof(ElementType<R>));
}

// Matrix x vector: R(i) = sum over k of a(i, k)*b(k).
template <TypeCode A, TypeCode B, TypeCode R>
void a21(DopeVector<1> *result, const DopeVector<2> *a, const DopeVector<1> *b) {
  if (a->base == nullptr || b->base == nullptr) __f_unassociated_array();
  std::size_t m = extent_count(a->extent[0]), kk = extent_count(a->extent[1]);
  std::size_t kb = extent_count(b->extent[0]);
  bool zero = m == 0 || kk == 0 || kb == 0;
  char *out = new_result<R>(m, zero);
  if (!zero) {
    View av{static_cast<const char *>(a->base), a->stride[0], a->stride[1]};
    View x{static_cast<const char *>(b->base), b->stride[0], 0};
    product<A, B, R>(out, av, x, m, 1, kk);
  }
  describe_result<1>(result, out, {m}, sizeof(ElementType<R>));
}

// Matrix x matrix: R(i, j) = sum over k of a(i, k)*b(k, j).
template <TypeCode A, TypeCode B, TypeCode R>
void a22(DopeVector<2> *result, const DopeVector<2> *a, const DopeVector<2> *b) {
  if (a->base == nullptr || b->base == nullptr) __f_unassociated_array();
  std::size_t m = extent_count(a->extent[0]), kk = extent_count(a->extent[1]);
  std::size_t kb = extent_count(b->extent[0]), n = extent_count(b->extent[1]);
  bool zero = m == 0 || kk == 0 || kb == 0 || n == 0;
  char *out = new_result<R>(checked_product(m, n), zero);
  if (!zero) {
    View av{static_cast<const char *>(a->base), a->stride[0], a->stride[1]};
    View bv{static_cast<const char *>(b->base), b->stride[0], b->stride[1]};
    product<A, B, R>(out, av, bv, m, n, kk);
  }
  describe_result<2>(result, out, {m, n}, sizeof(ElementType<R>));
}

} // namespace matmul

// The MATMUL entry of one form and ordered pair.
template <MatmulForm F, TypeCode A, TypeCode B, TypeCode R, class Result, class OpA, class OpB>
void matmul_entry(Result *result, const OpA *a, const OpB *b) {
  if constexpr (F == MatmulForm::a12)
    matmul::a12<A, B, R>(result, a, b);
  else if constexpr (F == MatmulForm::a21 && has_fast_path(A, B))
    MatmulFastPath<A, B>::a21(result, a, b);
  else if constexpr (F == MatmulForm::a21)
    matmul::a21<A, B, R>(result, a, b);
  else if constexpr (has_fast_path(A, B))
    MatmulFastPath<A, B>::a22(result, a, b);
  else
    matmul::a22<A, B, R>(result, a, b);
}

} // namespace mox2

#include "matmul/matmul_fast.h"

// Entry-point definitions, for X(a, b, r) of MOX2_MATMUL_PAIRS: one per form.
#define MOX2_MATMUL_CALL_(form, ta, tb, tr)                                                        \
  {                                                                                                \
    mox2::matmul_entry<mox2::MatmulForm::form, mox2::TypeCode::ta, mox2::TypeCode::tb,             \
                       mox2::TypeCode::tr>(result, a_, b_);                                        \
  }
#define MOX2_DEFINE_MATMUL_FORM_(form, rr, ra, rb, ta, tb, tr)                                     \
  MOX2_MATMUL_SIGNATURE(form, rr, ra, rb, ta, tb) MOX2_MATMUL_CALL_(form, ta, tb, tr)
#define MOX2_DEFINE_MATMUL(ta, tb, tr)                                                             \
  MOX2_DEFINE_MATMUL_FORM_(a12, 1, 1, 2, ta, tb, tr)                                               \
  MOX2_DEFINE_MATMUL_FORM_(a21, 1, 2, 1, ta, tb, tr)                                               \
  MOX2_DEFINE_MATMUL_FORM_(a22, 2, 2, 2, ta, tb, tr)
