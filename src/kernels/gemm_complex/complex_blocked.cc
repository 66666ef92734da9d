// The portable pieces of the blocked complex column and dot forms: the
// lone first term or row, the packed operands, the final alpha*temp, with
// the product forms of the complex GEMV kernels.
#include "kernels/gemm_complex/complex_blocked.h"

#include "kernels/blas_access.h"
#include "kernels/gemm_complex/gemv_forms.h"
#include "kernels/kernel_set.h"
#include "runtime/cpu.h"

namespace mox2::kernels {
namespace {
using Index = std::ptrdiff_t;

// b(l, j) and op(A)(i, l), 0-based.
template <class C> C b_at(const GemmBlock<C> &g, Index l, Index j) {
  if (g.op_b == Op::plain) return g.b.p[l + j * g.b.step];
  const C v = g.b.p[j + l * g.b.step];
  return g.op_b == Op::conjugated ? conj(v) : v;
}
template <class C> C op_a_at(const GemmBlock<C> &g, Index i, Index l) {
  C v = g.a.p[l + i * g.a.step];
  return g.op_a == Op::conjugated ? conj(v) : v;
}
} // namespace

template <class P> void complex_lone_column_terms(const GemmBlock<Complex<P>> &g) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index j = 0; j < g.n; ++j) {
    C x = b_at(g, 0, j);
    if (is_zero(x)) continue;
    C t = F::lone(g.alpha, x);
    C *col = g.c.p + j * g.c.step;
    for (Index i = 0; i < g.m; ++i)
      col[i] = add(col[i], F::lone(t, g.a.p[i]));
  }
}

template <class P> void complex_lone_row_terms(const GemmBlock<Complex<P>> &g) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index j = 0; j < g.n; ++j) {
    C temp = {0, 0};
    for (Index l = 0; l < g.k; ++l)
      temp = add(temp, F::lone(op_a_at(g, 0, l), b_at(g, l, j)));
    C *cj = g.c.p + j * g.c.step;
    *cj = add(*cj, F::lone(g.alpha, temp));
  }
}

template <class P>
void pack_complex_b(const GemmBlock<Complex<P>> &g, bool scaled, Index l0, Index kc, Index j0,
                    Index nc, int nr, P *out) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index s = 0; s < nc; s += nr) {
    for (Index l = l0; l < l0 + kc; ++l) {
      for (int q = 0; q < nr; ++q) {
        C t = {0, 0};
        if (s + q < nc) {
          t = b_at(g, l, j0 + s + q);
          if (scaled) t = F::pair(g.alpha, t);
        }
        out[q] = t.re;
        out[nr + q] = t.im;
      }
      out += 2 * nr;
    }
  }
}

template <class P>
void pack_complex_rows_of_a(const GemmBlock<Complex<P>> &g, Index i0, Index rows, int r, Index l0,
                            Index kc, P *out) {
  for (int q = 0; q < r; ++q) {
    P *o = out + q;
    if (q < rows) {
      for (Index l = l0; l < l0 + kc; ++l, o += 2 * r) {
        Complex<P> v = op_a_at(g, i0 + q, l);
        o[0] = v.re;
        o[r] = v.im;
      }
    } else {
      for (Index l = 0; l < kc; ++l, o += 2 * r)
        o[0] = o[r] = 0;
    }
  }
}

template <class P>
void add_complex_dot_sums(const GemmBlock<Complex<P>> &g, Index i0, Index mc, Index j0, Index nc,
                          const Complex<P> *sums, Index lds) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index j = 0; j < nc; ++j) {
    C *col = g.c.p + i0 + (j0 + j) * g.c.step;
    const C *s = sums + j * lds;
    for (Index i = 0; i < mc; ++i)
      col[i] = add(col[i], F::pair(g.alpha, s[i]));
  }
}

// The reference dot form's products alpha*temp and beta*C: COMPLEX(4)
// exact, COMPLEX(8) in its own precision.
inline c8 reference_scale(c8 u, c8 v) { return mul_exact(u, v); }
inline c16 reference_scale(c16 u, c16 v) { return mul(u, v); }

template <class P>
void finish_complex_dot_sums(const GemmBlock<Complex<P>> &g, Index i0, Index mc, Index j0, Index nc,
                             const Complex<P> *sums, Index lds) {
  using C = Complex<P>;
  const bool beta_zero = is_zero(g.beta);
  for (Index j = 0; j < nc; ++j) {
    C *col = g.c.p + i0 + (j0 + j) * g.c.step;
    const C *s = sums + j * lds;
    for (Index i = 0; i < mc; ++i) {
      C v = reference_scale(g.alpha, s[i]);
      col[i] = beta_zero ? v : add(v, reference_scale(g.beta, col[i]));
    }
  }
}

template <class P>
void add_complex_lone_row_sums(const GemmBlock<Complex<P>> &g, Index j0, Index nc,
                               const Complex<P> *sums) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index j = 0; j < nc; ++j) {
    C *cj = g.c.p + (j0 + j) * g.c.step;
    *cj = add(*cj, F::lone(g.alpha, sums[j]));
  }
}

#define MOX2_INSTANTIATE_(P)                                                                       \
  template void add_complex_lone_row_sums<P>(const GemmBlock<Complex<P>> &, Index, Index,          \
                                             const Complex<P> *);                                  \
  template void complex_lone_column_terms<P>(const GemmBlock<Complex<P>> &);                       \
  template void complex_lone_row_terms<P>(const GemmBlock<Complex<P>> &);                          \
  template void pack_complex_b<P>(const GemmBlock<Complex<P>> &, bool, Index, Index, Index, Index, \
                                  int, P *);                                                       \
  template void pack_complex_rows_of_a<P>(const GemmBlock<Complex<P>> &, Index, Index, int, Index, \
                                          Index, P *);                                             \
  template void add_complex_dot_sums<P>(const GemmBlock<Complex<P>> &, Index, Index, Index, Index, \
                                        const Complex<P> *, Index);                                \
  template void finish_complex_dot_sums<P>(const GemmBlock<Complex<P>> &, Index, Index, Index,     \
                                           Index, const Complex<P> *, Index);
MOX2_INSTANTIATE_(float)
MOX2_INSTANTIATE_(double)
#undef MOX2_INSTANTIATE_

bool complex_blocked(const GemmBlock<c8> &g) {
  const auto blocked = kernel_set().c.gemm_blocked;
  return blocked && blocked(g);
}
bool complex_blocked(const GemmBlock<c16> &g) {
  const auto blocked = kernel_set().z.gemm_blocked;
  return blocked && blocked(g);
}

void complex_gemm_loops(const GemmBlock<c8> &g, ComplexForms forms, bool zero_skip) {
  kernel_set().c.gemm_loops(g, forms, zero_skip);
}
void complex_gemm_loops(const GemmBlock<c16> &g, bool zero_skip) {
  kernel_set().z.gemm_loops(g, ComplexForms::mixed, zero_skip);
}
void complex_gemm_loops_bytewise(const GemmBlock<c16> &g) { kernel_set().z.gemm_loops_bytewise(g); }
void complex_gemm_by_gemv(const GemmBlock<c8> &g) { kernel_set().c.gemm_by_gemv(g); }
void complex_gemm_by_gemv(const GemmBlock<c16> &g) { kernel_set().z.gemm_by_gemv(g); }

} // namespace mox2::kernels
