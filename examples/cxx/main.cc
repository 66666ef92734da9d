// mox2 from C++: MATMUL of two REAL(8) matrices through libmox2_isa's entry
// point, on dope vectors, and the same product through libmox2_blas's
// cblas_dgemm, column-major and row-major.  MATMUL hands contiguous REAL(8)
// operands to the library's DGEMM with alpha = 1 and beta = 0, and a
// row-major product is the column-major one of the transposes, so all three
// give the same bits.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <mox2_cblas.h>
#include <mox2_isa.h>

int main() {
  const int m = 300, k = 200, n = 100;
  std::vector<double> a(m * k), b(k * n), c(m * n), ct(m * n);
  for (std::size_t i = 0; i < a.size(); ++i)
    a[i] = std::sin(0.1 * i);
  for (std::size_t i = 0; i < b.size(); ++i)
    b[i] = std::cos(0.3 * i);

  // MATMUL(A, B): column-major A (m x k) and B (k x n); the library
  // allocates the result, the caller frees it.
  mox2_dope_vector2 da = {a.data(), {m, k}, {8, 8 * m}};
  mox2_dope_vector2 db = {b.data(), {k, n}, {8, 8 * k}};
  mox2_dope_vector2 product;
  __f_matmul_a22_r8r8(&product, &da, &db);

  cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, m, n, k, 1.0, a.data(), m, b.data(), k,
              0.0, c.data(), m);
  // The same arrays read row by row are B**T (n x k) and A**T (k x m), and
  // their product C**T, row by row, is C column by column.
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, n, m, k, 1.0, b.data(), k, a.data(), m,
              0.0, ct.data(), m);

  const std::size_t bytes = c.size() * sizeof(double);
  const bool same = std::memcmp(product.base, c.data(), bytes) == 0 &&
                    std::memcmp(c.data(), ct.data(), bytes) == 0;
  std::printf("mox2 %d.%d.%d: C = A*B, %d x %d x %d; C(1,1) = %.17g, C(%d,%d) = %.17g\n",
              MOX2_VERSION_MAJOR, MOX2_VERSION_MINOR, MOX2_VERSION_PATCH, m, n, k, c[0], m, n,
              c[m * n - 1]);
  std::printf("MATMUL, cblas_dgemm column-major and row-major: %s\n",
              same ? "the same bits" : "DIFFERENT");
  std::free(product.base);
  return same ? EXIT_SUCCESS : EXIT_FAILURE;
}
