// The reference algorithm of the real GEMM block, REAL(4) and REAL(8)
// (order in gemm_block.h), portable, and gemm_block, which runs the block
// on the kernel set in use.  Data is only known to be 4-byte aligned, so
// every access goes through an element type of 4-byte alignment; the
// compiler then uses unaligned vector accesses.
//
// Column form: C is walked in blocks of kRows x kCols elements held in
// registers while l runs over a slice of k; each element still receives
// its terms in increasing l after its beta scaling, and a zero op(B)(l, j)
// skips the term for its column alone (unless the block adds every term).
// Dot form: kDotRows x kDotCols sums side by side, each over l = 1..k in
// order.
#include "kernels/gemm/gemm_block.h"

#include "kernels/kernel_set.h"
#include "runtime/cpu.h"

namespace mox2::kernels {
namespace {

using Index = std::ptrdiff_t;

template <class T> struct Unaligned;
template <> struct Unaligned<float> { typedef float type __attribute__((aligned(4))); };
template <> struct Unaligned<double> { typedef double type __attribute__((aligned(4))); };

constexpr int kRows = 8;       // column form: rows of C per register block
constexpr int kCols = 4;       // column form: columns of C per register block
constexpr Index kSliceK = 256; // column form: terms per pass over a block of C
constexpr Index kSliceM = 256; // column form: rows of A per slice (stays in cache)
constexpr int kDotRows = 4;    // dot form: rows of C side by side
constexpr int kDotCols = 4;    // dot form: columns of C side by side

template <class T> struct View {
  using U = typename Unaligned<T>::type;
  const U *a;
  Index lda;
  const U *b;
  Index ldb;
  U *c;
  Index ldc;
  bool b_transposed;
  bool skip_zeros;
  // op(B)(l, j), 0-based.
  T b_at(Index l, Index j) const { return b_transposed ? b[j + l * ldb] : b[l + j * ldb]; }
};

// C(:, j) := beta*C(:, j) (zeros when beta = 0, C not read; nothing for 1).
template <class T> void scale_column(T beta, typename Unaligned<T>::type *c, Index m) {
  if (beta == 1) return;
  if (beta == 0) {
    for (Index i = 0; i < m; ++i)
      c[i] = T(0);
  } else {
    for (Index i = 0; i < m; ++i)
      c[i] = beta * c[i];
  }
}

// Rows i0..i0+R-1 (R = kRows, or 1 for leftovers), columns j0..j0+N-1 of C,
// terms l0..l1-1.
template <int R, int N, class T>
void column_block(const View<T> &v, T alpha, Index i0, Index j0, Index l0, Index l1) {
  T acc[N][R];
  for (int c = 0; c < N; ++c)
    for (int r = 0; r < R; ++r)
      acc[c][r] = v.c[i0 + r + (j0 + c) * v.ldc];
  for (Index l = l0; l < l1; ++l) {
    const typename View<T>::U *al = v.a + i0 + l * v.lda;
    T av[R];
    for (int r = 0; r < R; ++r)
      av[r] = al[r];
    for (int c = 0; c < N; ++c) {
      T b = v.b_at(l, j0 + c);
      if (v.skip_zeros && b == 0) continue;
      T t = alpha * b;
      for (int r = 0; r < R; ++r)
        acc[c][r] = acc[c][r] + t * av[r];
    }
  }
  for (int c = 0; c < N; ++c)
    for (int r = 0; r < R; ++r)
      v.c[i0 + r + (j0 + c) * v.ldc] = acc[c][r];
}

template <int N, class T>
void column_panel(const View<T> &v, T alpha, Index i0, Index i1, Index j0, Index l0, Index l1) {
  Index i = i0;
  for (; i + kRows <= i1; i += kRows)
    column_block<kRows, N>(v, alpha, i, j0, l0, l1);
  for (; i < i1; ++i)
    column_block<1, N>(v, alpha, i, j0, l0, l1);
}

template <class T> void column_form(const GemmBlock<T> &g, const View<T> &v) {
  for (Index j = 0; j < g.n; ++j)
    scale_column(g.beta, v.c + j * v.ldc, g.m);
  for (Index l0 = 0; l0 < g.k; l0 += kSliceK) {
    Index l1 = l0 + kSliceK < g.k ? l0 + kSliceK : g.k;
    for (Index i0 = 0; i0 < g.m; i0 += kSliceM) {
      Index i1 = i0 + kSliceM < g.m ? i0 + kSliceM : g.m;
      Index j = 0;
      for (; j + kCols <= g.n; j += kCols)
        column_panel<kCols>(v, g.alpha, i0, i1, j, l0, l1);
      for (; j < g.n; ++j)
        column_panel<1>(v, g.alpha, i0, i1, j, l0, l1);
    }
  }
}

// Rows i0.., columns j0.. of C in the dot form, R x N sums side by side.
template <int R, int N, class T>
void dot_block(const GemmBlock<T> &g, const View<T> &v, Index i0, Index j0) {
  T s[N][R];
  for (int c = 0; c < N; ++c)
    for (int r = 0; r < R; ++r)
      s[c][r] = T(0);
  for (Index l = 0; l < g.k; ++l) {
    T av[R], bv[N];
    for (int r = 0; r < R; ++r)
      av[r] = v.a[l + (i0 + r) * v.lda];
    for (int c = 0; c < N; ++c)
      bv[c] = v.b_at(l, j0 + c);
    for (int c = 0; c < N; ++c)
      for (int r = 0; r < R; ++r)
        s[c][r] = s[c][r] + av[r] * bv[c];
  }
  for (int c = 0; c < N; ++c)
    for (int r = 0; r < R; ++r) {
      typename View<T>::U *cij = v.c + i0 + r + (j0 + c) * v.ldc;
      *cij = g.beta == 0 ? g.alpha * s[c][r] : g.alpha * s[c][r] + g.beta * *cij;
    }
}

template <int N, class T> void dot_panel(const GemmBlock<T> &g, const View<T> &v, Index j0) {
  Index i = 0;
  for (; i + kDotRows <= g.m; i += kDotRows)
    dot_block<kDotRows, N>(g, v, i, j0);
  for (; i < g.m; ++i)
    dot_block<1, N>(g, v, i, j0);
}

template <class T> void dot_form(const GemmBlock<T> &g, const View<T> &v) {
  Index j = 0;
  for (; j + kDotCols <= g.n; j += kDotCols)
    dot_panel<kDotCols>(g, v, j);
  for (; j < g.n; ++j)
    dot_panel<1>(g, v, j);
}

template <class T> void reference(const GemmBlock<T> &g) {
  if (g.m <= 0 || g.n <= 0 || (g.beta == 1 && (g.alpha == 0 || g.k <= 0))) return;
  using U = typename Unaligned<T>::type;
  View<T> v{reinterpret_cast<const U *>(g.a.p),
            g.a.step,
            reinterpret_cast<const U *>(g.b.p),
            g.b.step,
            reinterpret_cast<U *>(g.c.p),
            g.c.step,
            g.op_b != Op::plain,
            g.skip_zeros};
  if (g.alpha == 0) {
    for (Index j = 0; j < g.n; ++j)
      scale_column(g.beta, v.c + j * v.ldc, g.m);
    return;
  }
  if (g.op_a != Op::plain)
    dot_form(g, v);
  else
    column_form(g, v);
}

} // namespace

void gemm_reference(const GemmBlock<float> &g) { reference(g); }
void gemm_reference(const GemmBlock<double> &g) { reference(g); }

namespace {
// The blocked implementation of the kernel set in use; the portable one
// when there is none or it could not get its workspace.
template <class T> void dispatch(const GemmBlock<T> &g) {
  const auto blocked = kernel_set().of<T>().gemm_blocked;
  if (!(blocked && blocked(g))) gemm_reference(g);
}

template <class T> bool dispatch_with_dot_rows(const GemmBlock<T> &g, const DotRows<T> &d) {
  const auto with_dot_rows = kernel_set().of<T>().gemm_with_dot_rows;
  return with_dot_rows && with_dot_rows(g, d);
}
} // namespace

void gemm_block(const GemmBlock<float> &g) { dispatch(g); }
void gemm_block(const GemmBlock<double> &g) { dispatch(g); }
bool gemm_block_with_dot_rows(const GemmBlock<float> &g, const DotRows<float> &d) {
  return dispatch_with_dot_rows(g, d);
}
bool gemm_block_with_dot_rows(const GemmBlock<double> &g, const DotRows<double> &d) {
  return dispatch_with_dot_rows(g, d);
}

} // namespace mox2::kernels
