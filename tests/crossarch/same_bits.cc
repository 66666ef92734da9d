// The same bits on every CPU, every kernel set and every architecture: a
// fixed battery of calls of every entry-point family (ALL, ANY and COUNT of
// every rank and kind, DOT_PRODUCT and MATMUL of every type pair and rank
// form, GEMV and GEMM of the four BLAS types) on operands with NaN, +-Inf,
// +-0, subnormals, zeros that the products skip and dense data without
// zeros, each for OpenMP teams of T = 1, 2 and 3 threads.  Prints one line
// per family and team size: the family, T, and a 64-bit FNV-1a hash of the
// bytes of every result (any NaN hashes as one NaN: which NaN an operation
// delivers, its sign and payload, is the hardware's and no result's
// contract).  Two machines or kernel sets that print the same lines
// computed the same bits.
//
//   same_bits               every kernel set this CPU has; fails unless all agree
//   same_bits --set=S       the kernel set S alone (portable, avx2, avx512)
//   same_bits --out=FILE    the lines into FILE too
//
// The operands come from a generator of its own (splitmix64), seeded per
// family, so that they are the same bytes on every machine.
#include <omp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "frame/types.h"
#include "runtime/cpu.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "operands are built from bytes");

namespace {

using namespace mox2;

// ---- Operands --------------------------------------------------------------

class Random {
public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }

private:
  std::uint64_t state_;
};

// dense: finite and nonzero; zeros: a quarter +-0 (the products' skipped
// terms), the rest dense; special: a fifth NaN, +-Inf, +-0, subnormal,
// huge or tiny, the rest dense.
enum class Mix { dense, zeros, special };

template <class F> F from_bits(std::uint64_t low, std::uint64_t high) {
  static_assert(sizeof(F) == 16);
  F v;
  std::memcpy(&v, &low, 8);
  std::memcpy(reinterpret_cast<char *>(&v) + 8, &high, 8);
  return v;
}

// (One draw per statement: the order in which a call's arguments are
// evaluated differs between compilers and targets.)
template <class F> F real_value(Random &r, Mix mix) {
  const F sign = r.below(2) ? F(1) : F(-1);
  if (mix == Mix::zeros && r.below(4) == 0) return sign * F(0);
  if (mix == Mix::special && r.below(5) == 0) {
    const int kind = r.below(9);
    const std::uint64_t low = r.next(), high = r.next() >> 16;
    const int small = 1 + r.below(5000);
    switch (kind) {
    case 0: return F(std::numeric_limits<double>::quiet_NaN());
    case 1: return sign * F(std::numeric_limits<double>::infinity());
    case 2: return sign * F(0);
    case 3: // subnormal
      if constexpr (sizeof(F) == 16)
        return from_bits<F>(low >> (small % 64), high) * sign;
      else
        return std::numeric_limits<F>::denorm_min() * F(small) * sign;
    case 4: // huge: products and sums overflow
      if constexpr (sizeof(F) == 16)
        return from_bits<F>(low, 0x7FFD000000000000ull | high) * sign;
      else
        return std::numeric_limits<F>::max() / F(1 + small % 4) * sign;
    case 5: // the smallest normals: products underflow
      if constexpr (sizeof(F) == 16)
        return from_bits<F>(low, 0x0001000000000000ull | high) * sign;
      else
        return std::numeric_limits<F>::min() * F(1 + small % 3) * sign;
    default: break;
    }
  }
  // Full mantissas over a modest exponent range; small integers now and then.
  const int integer = r.below(6) == 0 ? 1 + r.below(9) : 0;
  if (integer != 0) return sign * F(integer);
  const double unit = r.unit() + 0.5;
  F v = sign * F(__builtin_ldexp(unit, r.below(13) - 6));
  if constexpr (sizeof(F) == 16) v += F(r.unit()) * F(0x1p-60) * v; // bits beyond double
  return v;
}

template <class I> I integer_value(Random &r, Mix mix) {
  if (mix == Mix::zeros && r.below(4) == 0) return 0;
  switch (r.below(8)) {
  case 0: return static_cast<I>(r.next()); // any bits: products wrap
  case 1: return r.below(2) ? std::numeric_limits<I>::min() : std::numeric_limits<I>::max();
  default: return static_cast<I>(r.below(19) - 9);
  }
}

// LOGICAL values, canonical or not: ALL and COUNT read bit 0, ANY the low
// byte, the products any bit.  `truth` leans the values true or false.
template <class I> I logical_value(Random &r, int truth) {
  static const std::int64_t kTrue[] = {1, 3, -1, 0x101, 0x10001, 0x100000001ll};
  static const std::int64_t kFalse[] = {0, 2, 0x100, -2, 0x10000, 0x100000000ll};
  const bool value = truth > 0 ? r.below(64) != 0 : truth < 0 ? r.below(64) == 0 : r.below(2) != 0;
  return static_cast<I>(value ? kTrue[r.below(6)] : kFalse[r.below(6)]);
}

template <TypeCode C> ElementType<C> element_value(Random &r, Mix mix, int truth = 0) {
  using T = ElementType<C>;
  if constexpr (is_complex<C>) {
    using P = Part<T>;
    P re = real_value<P>(r, mix == Mix::zeros ? Mix::dense : mix);
    P im = real_value<P>(r, mix == Mix::zeros ? Mix::dense : mix);
    if (mix == Mix::zeros && r.below(4) == 0) {
      re = r.below(2) ? P(0) : -P(0);
      im = r.below(2) ? P(0) : -P(0);
    }
    return T{re, im};
  } else if constexpr (is_real<C>) {
    return real_value<T>(r, mix);
  } else if constexpr (is_logical<C>) {
    return logical_value<T>(r, truth);
  } else {
    return integer_value<T>(r, mix);
  }
}

// Element storage starting `misalign` bytes past a 64-byte boundary, every
// element (gaps of strided views included) filled.
class Buffer {
public:
  Buffer(std::size_t bytes, std::size_t misalign = 0)
      : raw_(bytes + misalign + 64),
        data_(raw_.data() + (64 - reinterpret_cast<std::uintptr_t>(raw_.data()) % 64) + misalign),
        bytes_(bytes) {}
  template <TypeCode C> void fill(Random &r, Mix mix, int truth = 0) {
    for (std::size_t at = 0; at + sizeof(ElementType<C>) <= bytes_; at += sizeof(ElementType<C>))
      store(data_ + at, element_value<C>(r, mix, truth));
  }
  unsigned char *data() { return data_; }
  std::size_t bytes() const { return bytes_; }

private:
  std::vector<unsigned char> raw_;
  unsigned char *data_;
  std::size_t bytes_;
};

// ---- Hashing results -------------------------------------------------------

class Hash {
public:
  void bytes(const void *p, std::size_t n) {
    const auto *b = static_cast<const unsigned char *>(p);
    for (std::size_t i = 0; i < n; ++i)
      h_ = (h_ ^ b[i]) * 0x100000001B3ull;
  }
  template <class P> void part(P v) {
    if (v != v)
      bytes("NaN", 3);
    else
      bytes(&v, sizeof v);
  }
  // One element of type C at p.
  template <TypeCode C> void element(const void *p) {
    const auto v = load<ElementType<C>>(p);
    if constexpr (is_complex<C>) {
      part(v.re);
      part(v.im);
    } else if constexpr (is_real<C>) {
      part(v);
    } else {
      bytes(&v, sizeof v);
    }
  }
  // Every element of `count` at p.
  template <TypeCode C> void elements(const void *p, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      element<C>(static_cast<const char *>(p) + i * sizeof(ElementType<C>));
  }
  std::uint64_t value() const { return h_; }

private:
  std::uint64_t h_ = 0xCBF29CE484222325ull;
};

template <class D> constexpr int rank_of = sizeof(D::extent) / sizeof(D::extent[0]);

// An array result: its shape and elements (column-major through its
// strides); its storage is released.
template <TypeCode C, class D> void hash_result(Hash &h, const D &d) {
  constexpr int R = rank_of<D>;
  h.bytes(d.extent, sizeof d.extent);
  std::intptr_t index[R] = {};
  bool empty = false;
  for (int k = 0; k < R; ++k)
    empty = empty || d.extent[k] <= 0;
  while (!empty) {
    const char *p = static_cast<const char *>(d.base);
    for (int k = 0; k < R; ++k)
      p += index[k] * d.stride[k];
    h.element<C>(p);
    int k = 0;
    for (; k < R; ++k) {
      if (++index[k] < d.extent[k]) break;
      index[k] = 0;
    }
    if (k == R) break;
  }
  std::free(d.base);
}

// A descriptor of rank R over `buffer`: extents, element strides (the
// first may be negative: base then at the highest-addressed element of
// dimension 1) and element size E.
template <class D>
D describe(Buffer &buffer, const std::intptr_t *extent, const std::intptr_t *step, std::size_t e) {
  D d{};
  std::intptr_t first = 0;
  for (int k = 0; k < rank_of<D>; ++k) {
    d.extent[k] = extent[k];
    d.stride[k] = step[k] * static_cast<std::intptr_t>(e);
    if (step[k] < 0 && extent[k] > 0) first += (extent[k] - 1) * -step[k];
  }
  d.base = buffer.data() + first * static_cast<std::intptr_t>(e);
  return d;
}

// The elements a descriptor of these extents and steps spans.
template <int R> std::size_t span(const std::intptr_t *extent, const std::intptr_t *step) {
  std::size_t n = 1;
  for (int k = 0; k < R; ++k)
    if (extent[k] > 0)
      n += static_cast<std::size_t>((extent[k] - 1) * (step[k] < 0 ? -step[k] : step[k]));
  return n;
}

// Steps of a column-major layout: dimension 1 `step0` elements apart,
// each later dimension after the previous one plus `pad` elements.
template <int R>
void layout(const std::intptr_t *extent, std::intptr_t step0, std::intptr_t pad,
            std::intptr_t *step) {
  step[0] = step0;
  for (int k = 1; k < R; ++k)
    step[k] = step[k - 1] * (extent[k - 1] > 0 ? extent[k - 1] : 1) + pad;
}

// ---- ALL, ANY, COUNT -------------------------------------------------------

constexpr std::intptr_t kShape[][7] = {{7, 3, 2, 4, 1, 3, 2}, {70, 3, 2, 2, 1, 2, 2}};

template <int K> constexpr TypeCode logical_code() {
  return K == 1 ? TypeCode::l1 : K == 2 ? TypeCode::l2 : K == 4 ? TypeCode::l4 : TypeCode::l8;
}

// Each layout of the mask: contiguous, and dimension 1 two elements apart
// with padded columns; each leaning of its values.
template <int K, class D, class F> void for_each_mask(std::uint64_t seed, F &&body) {
  constexpr int R = rank_of<D>;
  constexpr TypeCode C = logical_code<K>();
  Random r(seed);
  for (const auto &shape : kShape)
    for (std::intptr_t step0 : {1, 2})
      for (int truth : {-1, 0, 1}) {
        std::intptr_t step[R];
        layout<R>(shape, step0, step0 == 1 ? 0 : 3, step);
        Buffer b(span<R>(shape, step) * K);
        b.fill<C>(r, Mix::dense, truth);
        body(describe<D>(b, shape, step, K));
      }
  if constexpr (R == 1) { // long vectors: the scans' vector paths, forwards and back
    for (std::intptr_t n : {4099, 777})
      for (std::intptr_t step0 : {1, -3, 2})
        for (int truth : {-1, 1}) {
          Buffer b(span<1>(&n, &step0) * K, K);
          b.fill<C>(r, Mix::dense, truth);
          body(describe<D>(b, &n, &step0, K));
        }
  }
}

template <int K, class Result, class D> void reduce_whole(Hash &h, Result (*f)(const D *)) {
  for_each_mask<K, D>(K * 100 + rank_of<D>, [&](const D &mask) {
    const Result v = f(&mask);
    h.bytes(&v, sizeof v);
  });
}

template <TypeCode Out, int K, class DR, class D>
void reduce_along(Hash &h, void (*f)(DR *, const D *, std::int32_t)) {
  for_each_mask<K, D>(K * 1000 + rank_of<D>, [&](const D &mask) {
    for (std::int32_t dim = 1; dim <= rank_of<D>; ++dim) {
      DR result{};
      f(&result, &mask, dim);
      hash_result<Out>(h, result);
    }
  });
}

#define MOX2_OUT_all(k) logical_code<k>()
#define MOX2_OUT_any(k) logical_code<k>()
#define MOX2_OUT_count(k) TypeCode::i4

void reductions(Hash &h) {
#define MOX2_WHOLE_(op, r, k) reduce_whole<k>(h, __f_##op##_s##r##_l##k);
#define MOX2_ALONG_(op, r, k) reduce_along<MOX2_OUT_##op(k), k>(h, __f_##op##_a##r##_l##k);
  MOX2_REDUCTION_S_ENTRIES(MOX2_WHOLE_)
  MOX2_REDUCTION_A_ENTRIES(MOX2_ALONG_)
#undef MOX2_WHOLE_
#undef MOX2_ALONG_
}

// ---- DOT_PRODUCT -------------------------------------------------------------

template <class R>
R call_dot(R (*f)(const mox2_dope_vector1 *, const mox2_dope_vector1 *), const mox2_dope_vector1 &a,
           const mox2_dope_vector1 &b) {
  return f(&a, &b);
}
template <class R>
R call_dot(void (*f)(R *, const mox2_dope_vector1 *, const mox2_dope_vector1 *),
           const mox2_dope_vector1 &a, const mox2_dope_vector1 &b) {
  R result;
  f(&result, &a, &b);
  return result;
}

// Lengths 0 to 1000; unit steps (aligned, and 4 bytes off for the
// alignment-safe kernels) and other steps, negative ones included.
template <TypeCode A, TypeCode B, TypeCode R, class F> void dot(Hash &h, F f) {
  constexpr std::size_t ea = sizeof(ElementType<A>), eb = sizeof(ElementType<B>);
  Random r(static_cast<int>(A) * 16 + static_cast<int>(B));
  struct Step {
    std::intptr_t a, b;
    std::size_t misalign;
  };
  for (std::intptr_t n : {0, 1, 5, 64, 1000})
    for (Step s : {Step{1, 1, 0}, Step{1, 1, 4}, Step{2, -3, 0}})
      for (Mix mix : {Mix::dense, Mix::zeros, Mix::special}) {
        Buffer ba(span<1>(&n, &s.a) * ea, s.misalign), bb(span<1>(&n, &s.b) * eb, s.misalign);
        ba.fill<A>(r, mix);
        bb.fill<B>(r, mix);
        const auto da = describe<mox2_dope_vector1>(ba, &n, &s.a, ea);
        const auto db = describe<mox2_dope_vector1>(bb, &n, &s.b, eb);
        const ElementType<R> v = call_dot(f, da, db);
        h.element<R>(&v);
      }
}

void dot_products(Hash &h) {
#define MOX2_DOT_(a, b, r) dot<TypeCode::a, TypeCode::b, TypeCode::r>(h, __f_dotprod_s1_##a##b);
  MOX2_DOTPROD_PAIRS(MOX2_DOT_)
#undef MOX2_DOT_
}

// ---- MATMUL ----------------------------------------------------------------

struct Product {
  std::intptr_t m, k, n;
  std::intptr_t step0, pad; // operand layout
  std::size_t misalign;
};

// One product in each rank form (a12 takes k x n, a21 m x k).
template <TypeCode A, TypeCode B, TypeCode R, class F12, class F21, class F22>
void matmul(Hash &h, Random &r, const Product &p, Mix mix, F12 f12, F21 f21, F22 f22) {
  constexpr std::size_t ea = sizeof(ElementType<A>), eb = sizeof(ElementType<B>);
  auto matrix = [&](Buffer &buf, std::intptr_t rows, std::intptr_t cols, std::size_t e) {
    const std::intptr_t extent[2] = {rows, cols};
    std::intptr_t step[2];
    layout<2>(extent, p.step0, p.pad, step);
    return describe<mox2_dope_vector2>(buf, extent, step, e);
  };
  auto matrix_bytes = [&](std::intptr_t rows, std::intptr_t cols, std::size_t e) {
    const std::intptr_t extent[2] = {rows, cols};
    std::intptr_t step[2];
    layout<2>(extent, p.step0, p.pad, step);
    return span<2>(extent, step) * e;
  };
  Buffer a(matrix_bytes(p.m, p.k, ea), p.misalign), b(matrix_bytes(p.k, p.n, eb), p.misalign);
  Buffer x(span<1>(&p.k, &p.step0) * ea, p.misalign), y(span<1>(&p.k, &p.step0) * eb, p.misalign);
  a.fill<A>(r, mix);
  b.fill<B>(r, mix);
  x.fill<A>(r, mix);
  y.fill<B>(r, mix);
  const auto da = matrix(a, p.m, p.k, ea), db = matrix(b, p.k, p.n, eb);
  const auto dx = describe<mox2_dope_vector1>(x, &p.k, &p.step0, ea);
  const auto dy = describe<mox2_dope_vector1>(y, &p.k, &p.step0, eb);
  mox2_dope_vector2 c{};
  f22(&c, &da, &db);
  hash_result<R>(h, c);
  mox2_dope_vector1 v{};
  f21(&v, &da, &dy);
  hash_result<R>(h, v);
  f12(&v, &dx, &db);
  hash_result<R>(h, v);
}

// Every pair and form on small shapes and strided layouts.
template <TypeCode A, TypeCode B, TypeCode R, class F12, class F21, class F22>
void matmul_small(Hash &h, F12 f12, F21 f21, F22 f22) {
  Random r(static_cast<int>(A) * 16 + static_cast<int>(B));
  for (Product p :
       {Product{5, 4, 3, 1, 0, 0}, Product{7, 1, 2, 1, 0, 0}, Product{9, 6, 1, 2, 3, 0},
        Product{3, 3, 3, 1, 1, 4}, Product{0, 2, 3, 1, 0, 0}, Product{4, 0, 2, 1, 0, 0}})
    for (Mix mix : {Mix::zeros, Mix::special})
      matmul<A, B, R>(h, r, p, mix, f12, f21, f22);
}

void matmul_pairs(Hash &h) {
#define MOX2_MATMUL_(a, b, r)                                                                      \
  matmul_small<TypeCode::a, TypeCode::b, TypeCode::r>(                                             \
      h, __f_matmul_a12_##a##b, __f_matmul_a21_##a##b, __f_matmul_a22_##a##b);
  MOX2_MATMUL_PAIRS(MOX2_MATMUL_)
#undef MOX2_MATMUL_
}

// Products large enough for the blocked kernels, the GEMV and GEMM fast
// path (4-byte-off REAL(8) and COMPLEX(8) data through the alignment-safe
// kernels) and OpenMP's team.
template <TypeCode A, TypeCode B, TypeCode R, class F12, class F21, class F22>
void matmul_large(Hash &h, F12 f12, F21 f21, F22 f22, std::intptr_t scale) {
  Random r(static_cast<int>(A) * 16 + static_cast<int>(B) + 7);
  const std::intptr_t m = 13 * scale, k = 7 * scale, n = 9 * scale;
  for (Product p : {Product{m, k, n, 1, 0, 0}, Product{m + 1, k + 3, n - 1, 1, 5, 4},
                    Product{m - 3, k, n + 2, 2, 1, 0}})
    for (Mix mix : {Mix::dense, Mix::zeros, Mix::special})
      matmul<A, B, R>(h, r, p, mix, f12, f21, f22);
}

void matmul_products(Hash &h) {
#define MOX2_LARGE_(a, b, r, scale)                                                                \
  matmul_large<TypeCode::a, TypeCode::b, TypeCode::r>(                                             \
      h, __f_matmul_a12_##a##b, __f_matmul_a21_##a##b, __f_matmul_a22_##a##b, scale);
  MOX2_LARGE_(r4, r4, r4, 10)
  MOX2_LARGE_(r8, r8, r8, 10)
  MOX2_LARGE_(c8, c8, c8, 8)
  MOX2_LARGE_(c16, c16, c16, 8)
  MOX2_LARGE_(r4, r8, r8, 6)
  MOX2_LARGE_(i4, r8, r8, 6)
  MOX2_LARGE_(r8, c16, c16, 6)
  MOX2_LARGE_(c8, r8, c16, 6)
  MOX2_LARGE_(i8, i8, i8, 6)
  MOX2_LARGE_(l4, l2, l4, 6)
  MOX2_LARGE_(r16, r16, r16, 3)
  MOX2_LARGE_(c32, c32, c32, 2)
  MOX2_LARGE_(r8, c32, c32, 2)
#undef MOX2_LARGE_
}

// ---- GEMV and GEMM ---------------------------------------------------------

// alpha and beta: 1, 0, and values that round.
template <TypeCode C> ElementType<C> scalar(int i) {
  static const double kRe[] = {1, 0, -0.75, 2.5, 0.1}, kIm[] = {0, 0, 0.5, -1, 0.3};
  using T = ElementType<C>;
  if constexpr (is_complex<C>)
    return T{Part<T>(kRe[i % 5]), Part<T>(kIm[i % 5])};
  else
    return T(kRe[i % 5]);
}

template <TypeCode C, class F> void gemv(Hash &h, F f, const char *transes) {
  using T = ElementType<C>;
  constexpr std::size_t e = sizeof(T);
  Random r(static_cast<int>(C) + 500);
  struct Shape {
    std::int32_t m, n;
  };
  struct Incs {
    std::int32_t x, y;
  };
  const Incs incs[] = {{1, 1}, {-2, 1}, {1, 3}, {3, -2}};
  int i = 0;
  for (Shape s :
       {Shape{600, 400}, Shape{330, 700}, Shape{37, 5}, Shape{3, 300}, Shape{1, 1}, Shape{0, 3}})
    for (const char *t = transes; *t != 0; ++t)
      for (Mix mix : {Mix::dense, Mix::zeros, Mix::special}) {
        const Incs inc = incs[i % 4];
        const T alpha = scalar<C>(i % 5), beta = scalar<C>((i / 5 + 2) % 5);
        ++i;
        const bool transposed = *t != 'N';
        const std::int32_t lenx = transposed ? s.m : s.n, leny = transposed ? s.n : s.m;
        const std::int32_t lda = s.m + (i % 2) * 3 + (s.m == 0 ? 1 : 0);
        const std::size_t x_len = 1 + std::size_t(lenx > 0 ? lenx - 1 : 0) * std::abs(inc.x);
        const std::size_t y_len = 1 + std::size_t(leny > 0 ? leny - 1 : 0) * std::abs(inc.y);
        Buffer a(std::size_t(lda) * std::size_t(s.n) * e + e), x(x_len * e), y(y_len * e);
        // A gets NaN and Inf where x has zeros: only the skip keeps them out.
        a.fill<C>(r, mix == Mix::zeros ? Mix::special : mix);
        x.fill<C>(r, mix);
        y.fill<C>(r, mix == Mix::zeros ? Mix::dense : mix);
        f(t, &s.m, &s.n, &alpha, reinterpret_cast<const T *>(a.data()), &lda,
          reinterpret_cast<const T *>(x.data()), &inc.x, &beta, reinterpret_cast<T *>(y.data()),
          &inc.y, 1);
        h.elements<C>(y.data(), y_len);
      }
}

template <TypeCode C, class F> void gemm(Hash &h, F f, const char *const *transes) {
  using T = ElementType<C>;
  constexpr std::size_t e = sizeof(T);
  Random r(static_cast<int>(C) + 900);
  struct Shape {
    std::int32_t m, n, k;
  };
  int i = 0;
  for (Shape s : {Shape{96, 80, 72}, Shape{200, 3, 800}, Shape{9, 250, 7}, Shape{130, 2, 40},
                  Shape{5, 5, 300}, Shape{1, 1, 1}, Shape{0, 5, 5}, Shape{5, 5, 0}})
    for (const char *const *t = transes; *t != nullptr; ++t)
      for (Mix mix : {Mix::dense, Mix::zeros, Mix::special}) {
        const T alpha = scalar<C>(i % 5), beta = scalar<C>((i / 5 + 2) % 5);
        ++i;
        const bool ta = (*t)[0] != 'N', tb = (*t)[1] != 'N';
        const std::int32_t pad = i % 3;
        const std::int32_t lda = (ta ? s.k : s.m) + pad + 1, ldb = (tb ? s.n : s.k) + pad + 1,
                           ldc = s.m + pad + 1;
        Buffer a(std::size_t(lda) * std::size_t(ta ? s.m : s.k) * e + e),
            b(std::size_t(ldb) * std::size_t(tb ? s.k : s.n) * e + e),
            c(std::size_t(ldc) * std::size_t(s.n) * e + e);
        // A gets NaN and Inf where op(B) has zeros: only the skip keeps them out.
        a.fill<C>(r, mix == Mix::zeros ? Mix::special : mix);
        b.fill<C>(r, mix);
        c.fill<C>(r, mix == Mix::zeros ? Mix::dense : mix);
        f(&(*t)[0], &(*t)[1], &s.m, &s.n, &s.k, &alpha, reinterpret_cast<const T *>(a.data()), &lda,
          reinterpret_cast<const T *>(b.data()), &ldb, &beta, reinterpret_cast<T *>(c.data()), &ldc,
          1, 1);
        h.elements<C>(c.data(), c.bytes() / e);
      }
}

const char *const kRealTranses[] = {"NN", "TN", "NT", "TT", nullptr};
const char *const kComplexTranses[] = {"NN", "CN", "NT", "TC", "CC", nullptr};

void gemv_real(Hash &h) {
  gemv<TypeCode::r4>(h, __f95_sgemv_, "NT");
  gemv<TypeCode::r8>(h, __f95_dgemv_, "NT");
}
void gemv_complex(Hash &h) {
  gemv<TypeCode::c8>(h, __f95_cgemv_, "NTC");
  gemv<TypeCode::c16>(h, __f95_zgemv_, "NTC");
}
void gemm_real(Hash &h) {
  gemm<TypeCode::r4>(h, __f95_sgemm_, kRealTranses);
  gemm<TypeCode::r8>(h, __f95_dgemm_, kRealTranses);
}
void gemm_complex(Hash &h) {
  gemm<TypeCode::c8>(h, __f95_cgemm_, kComplexTranses);
  gemm<TypeCode::c16>(h, __f95_zgemm_, kComplexTranses);
}

// ---- The battery -------------------------------------------------------------

struct Family {
  const char *name;
  void (*run)(Hash &);
};
const Family kFamilies[] = {
    {"all_any_count", reductions},  {"dot_product", dot_products},
    {"matmul_pairs", matmul_pairs}, {"matmul_products", matmul_products},
    {"gemv_real", gemv_real},       {"gemv_complex", gemv_complex},
    {"gemm_real", gemm_real},       {"gemm_complex", gemm_complex},
};

std::vector<std::string> battery() {
  std::vector<std::string> lines;
  for (int threads = 1; threads <= 3; ++threads) {
    omp_set_num_threads(threads);
    for (const Family &f : kFamilies) {
      Hash h;
      f.run(h);
      char line[96];
      std::snprintf(line, sizeof line, "%-16s T=%d %016llx", f.name, threads,
                    static_cast<unsigned long long>(h.value()));
      lines.push_back(line);
    }
  }
  return lines;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<Isa> sets;
  const char *out = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--set=", 6) == 0) {
      for (Isa isa : {Isa::portable, Isa::avx2, Isa::avx512})
        if (std::strcmp(argv[i] + 6, isa_name(isa)) == 0 &&
            static_cast<int>(isa) <= static_cast<int>(detected_isa()))
          sets.push_back(isa);
      if (sets.empty()) {
        std::fprintf(stderr, "same_bits: no kernel set %s on this CPU\n", argv[i] + 6);
        return 2;
      }
    } else if (std::strncmp(argv[i], "--out=", 6) == 0) {
      out = argv[i] + 6;
    } else {
      std::fprintf(stderr, "usage: same_bits [--set=portable|avx2|avx512] [--out=FILE]\n");
      return 2;
    }
  }
  if (sets.empty())
    for (int s = 0; s <= static_cast<int>(detected_isa()); ++s)
      sets.push_back(static_cast<Isa>(s));

  std::vector<std::string> first;
  bool same = true;
  for (Isa isa : sets) {
    force_isa(isa);
    std::vector<std::string> lines = battery();
    if (first.empty()) {
      first = lines;
      continue;
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i] != first[i]) {
        std::fprintf(stderr, "%s: %s\n%s: %s\n", isa_name(sets[0]), first[i].c_str(), isa_name(isa),
                     lines[i].c_str());
        same = false;
      }
  }
  std::FILE *file = out != nullptr ? std::fopen(out, "w") : nullptr;
  if (out != nullptr && file == nullptr) {
    std::perror(out);
    return 2;
  }
  for (const std::string &line : first) {
    std::printf("%s\n", line.c_str());
    if (file != nullptr) std::fprintf(file, "%s\n", line.c_str());
  }
  if (file != nullptr && std::fclose(file) != 0) return 2;
  return same ? 0 : 1;
}
