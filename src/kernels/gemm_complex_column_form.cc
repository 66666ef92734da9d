// The portable pieces of the blocked complex column form: the lone first
// term of an odd k and the packed temps of the pair terms, with the
// product forms of the complex GEMV kernels.
#include "kernels/gemm_complex_column_form.h"

#include "kernels/blas_access.h"
#include "kernels/gemm_complex_columns.h"

namespace mox2::kernels {
namespace {
using Index = std::ptrdiff_t;

// b(l, j), 0-based.
template <class C> C b_at(const ComplexGemm<C> &g, Index l, Index j) {
  return g.op_b == ComplexOp::plain ? g.b[l + j * g.ldb] : g.b[j + l * g.ldb];
}
} // namespace

template <class P> void complex_lone_column_terms(const ComplexGemm<Complex<P>> &g) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index j = 0; j < g.n; ++j) {
    C x = b_at(g, 0, j);
    if (is_zero(x)) continue;
    C t = F::lone(g.alpha, x);
    C *col = g.c + j * g.ldc;
    for (Index i = 0; i < g.m; ++i)
      col[i] = add(col[i], F::lone(t, g.a[i]));
  }
}

template <class P>
void pack_complex_temps(const ComplexGemm<Complex<P>> &g, Index l0, Index kc, Index j0, Index nc,
                        int nr, P *out) {
  using C = Complex<P>;
  using F = GemvForms<C>;
  for (Index s = 0; s < nc; s += nr) {
    for (Index l = l0; l < l0 + kc; ++l) {
      for (int q = 0; q < nr; ++q) {
        C t = {0, 0};
        if (s + q < nc) t = F::pair(g.alpha, b_at(g, l, j0 + s + q));
        out[q] = t.re;
        out[nr + q] = t.im;
      }
      out += 2 * nr;
    }
  }
}

template void complex_lone_column_terms<float>(const ComplexGemm<c8> &);
template void complex_lone_column_terms<double>(const ComplexGemm<c16> &);
template void pack_complex_temps<float>(const ComplexGemm<c8> &, Index, Index, Index, Index, int,
                                        float *);
template void pack_complex_temps<double>(const ComplexGemm<c16> &, Index, Index, Index, Index, int,
                                         double *);

} // namespace mox2::kernels
