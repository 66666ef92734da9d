/* mox2 demonstration: calls the library's entry points the way compiled
   Fortran does, on dope vectors, and prints what they return. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "mox2_isa.h"

/* A LOGICAL value as Fortran prints it. */
static char tf(int64_t logical) { return logical ? 'T' : 'F'; }

/* ALL, ANY and COUNT of LOGICAL(4) arrays, whole and along a dimension. */
static void logical_reductions(void) {
  /* M = [T F T F; T T T T; T F T T], three rows, stored column by column. */
  int32_t m[12] = {1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 1, 1};
  mox2_dope_vector2 mask = {m, {3, 4}, {4, 12}};
  printf("M = [T F T F; T T T T; T F T T]\n");
  printf("  ALL(M) = %c, ANY(M) = %c, COUNT(M) = %d\n", tf(__f_all_s2_l4(&mask)),
         tf(__f_any_s2_l4(&mask)), __f_count_s2_l4(&mask));

  mox2_dope_vector1 counts; /* COUNT(M, DIM=1): one count per column */
  __f_count_a2_l4(&counts, &mask, 1);
  int32_t *c = counts.base;
  printf("  COUNT(M, DIM=1) = [%d %d %d %d]\n", c[0], c[1], c[2], c[3]);
  free(counts.base);

  mox2_dope_vector1 rows; /* ALL(M, DIM=2): one LOGICAL(4) per row */
  __f_all_a2_l4(&rows, &mask, 2);
  int32_t *r = rows.base;
  printf("  ALL(M, DIM=2) = [%c %c %c] (extent %ld, stride %ld bytes)\n", tf(r[0]), tf(r[1]),
         tf(r[2]), (long)rows.extent[0], (long)rows.stride[0]);
  free(rows.base);

  /* V(8:1:-2) of a LOGICAL(1) vector: base at V(8), stride -2 bytes. */
  int8_t v[8] = {0, 1, 0, 1, 1, 0, 0, 1};
  mox2_dope_vector1 back = {&v[7], {4}, {-2}};
  printf("V = [F T F T T F F T]\n");
  printf("  COUNT(V(8:1:-2)) = %d, ALL(V(8:1:-2)) = %c, ANY(V(7:1:-2)) = %c\n",
         __f_count_s1_l1(&back), tf(__f_all_s1_l1(&back)),
         tf(__f_any_s1_l1(&(mox2_dope_vector1){&v[6], {4}, {-2}})));
}

/* DOT_PRODUCT and MATMUL: same-type and mixed-type operands; array
   results come back in a dope vector the library fills (and the caller
   frees). */
static void numeric_intrinsics(void) {
  double x[3] = {1, 2, 3}, y[3] = {4, -5, 6};
  mox2_dope_vector1 dx = {x, {3}, {8}}, dy = {y, {3}, {8}};
  printf("\nX = [1 2 3], Y = [4 -5 6]\n");
  printf("  DOT_PRODUCT(X, Y) = %g\n", __f_dotprod_s1_r8r8(&dx, &dy));

  int32_t n[6] = {1, 0, 2, 0, 3, 0}; /* N(1:6:2) = [1 2 3] as INTEGER(4) */
  mox2_dope_vector1 dn = {n, {3}, {8}};
  printf("  DOT_PRODUCT(N(1:6:2), Y) = %g (INTEGER x REAL(8) gives REAL(8))\n",
         __f_dotprod_s1_i4r8(&dn, &dy));

  mox2_complex_r8 u[2] = {{1, 1}, {0, 2}}, v[2] = {{2, 0}, {1, -1}}, z;
  mox2_dope_vector1 du = {u, {2}, {16}}, dv = {v, {2}, {16}};
  __f_dotprod_s1_c16c16(&z, &du, &dv); /* SUM(CONJG(U)*V) */
  printf("  U = [(1,1) (0,2)], V = [(2,0) (1,-1)]: DOT_PRODUCT(U, V) = (%g,%g)\n", z.re, z.im);

  /* A = [1 3 5; 2 4 6] (2 x 3), B = [1 0; 0 1; 1 0] (3 x 2). */
  double a[6] = {1, 2, 3, 4, 5, 6}, b[6] = {1, 0, 1, 0, 1, 0};
  mox2_dope_vector2 da = {a, {2, 3}, {8, 16}}, db = {b, {3, 2}, {8, 24}}, ab;
  __f_matmul_a22_r8r8(&ab, &da, &db);
  double *p = ab.base;
  printf("A = [1 3 5; 2 4 6], B = [1 0; 0 1; 1 0]\n");
  printf("  MATMUL(A, B) = [%g %g; %g %g]\n", p[0], p[2], p[1], p[3]);
  free(ab.base);

  mox2_dope_vector1 ax; /* matrix times vector: A(:, 1:3) . X */
  __f_matmul_a21_r8r8(&ax, &da, &dx);
  p = ax.base;
  printf("  MATMUL(A, X) = [%g %g]\n", p[0], p[1]);
  free(ax.base);
}

/* The BLAS-convention entry points: C := alpha*op(A)*op(B) + beta*C and
   y := alpha*op(A)*x + beta*y, every argument by address. */
static void blas_products(void) {
  double a[6] = {1, 2, 3, 4, 5, 6}, b[6] = {1, 0, 1, 0, 1, 0};
  double c[4] = {10, 20, 30, 40}, x[2] = {1, -1}, y[3] = {0, 0, 0};
  double alpha = 2, beta = 1, zero = 0;
  int32_t m = 2, n = 2, k = 3, one = 1;
  __f95_dgemm_("N", "N", &m, &n, &k, &alpha, a, &m, b, &k, &beta, c, &m, 1, 1);
  printf("\nC = [10 30; 20 40]: DGEMM C := 2*A*B + C gives [%g %g; %g %g]\n", c[0], c[2], c[1],
         c[3]);
  __f95_dgemv_("T", &m, &k, &alpha, a, &m, x, &one, &zero, y, &one, 1);
  printf("x = [1 -1]: DGEMV y := 2*A**T*x gives [%g %g %g]\n", y[0], y[1], y[2]);
}

int main(void) {
  printf("mox2 %d.%d.%d demonstration\n\n", MOX2_VERSION_MAJOR, MOX2_VERSION_MINOR,
         MOX2_VERSION_PATCH);
  logical_reductions();
  numeric_intrinsics();
  blas_products();
  return 0;
}
