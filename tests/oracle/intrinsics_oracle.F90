! gfortran's own DOT_PRODUCT and MATMUL on contiguous arrays, the
! independent oracle of the intrinsic tests: pairs whose result type
! gfortran shares (LOGICAL DOT_PRODUCT compared by value).  MATMUL takes
! matrices only; the tests pass a vector as a matrix of one row or column.
! DOT(pair, type of x, of y, of the result) and MATMUL(...) each make one
! bind(C) wrapper, oracle_dot_<pair> or oracle_matmul_<pair>.
#define DOT(ab, tx, ty, tr) subroutine oracle_dot_/**/ab(n, x, y, res) bind(C); integer(c_int), value :: n; tx :: x(n); ty :: y(n); tr :: res; res = dot_product(x, y); end subroutine
#define MATMUL(ab, tx, ty, tr) subroutine oracle_matmul_/**/ab(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n; tx :: x(m, k); ty :: y(k, n); tr :: res(m, n); res = matmul(x, y); end subroutine
module mox2_oracle_intrinsics
  use iso_c_binding
  implicit none
contains
  DOT(i4i4, integer(4), integer(4), integer(4))
  DOT(i8i1, integer(8), integer(1), integer(8))
  DOT(r4r8, real(4), real(8), real(8))
  DOT(i4r8, integer(4), real(8), real(8))
  DOT(r16r8, real(16), real(8), real(16))
  DOT(c16c16, complex(8), complex(8), complex(8))
  DOT(c8c16, complex(4), complex(8), complex(8))
  DOT(i4c8, integer(4), complex(4), complex(4))
  DOT(c32r16, complex(16), real(16), complex(16))
  DOT(r8r8, real(8), real(8), real(8))
  DOT(l4l4, logical(4), logical(4), logical(4))
  DOT(l1l8, logical(1), logical(8), logical(8))
  MATMUL(i1i4, integer(1), integer(4), integer(4))
  MATMUL(i8i4, integer(8), integer(4), integer(8))
  MATMUL(r4r8, real(4), real(8), real(8))
  MATMUL(r8i4, real(8), integer(4), real(8))
  MATMUL(i8r4, integer(8), real(4), real(4))
  MATMUL(c8r8, complex(4), real(8), complex(8))
  MATMUL(r16c8, real(16), complex(4), complex(16))
  MATMUL(c16c16, complex(8), complex(8), complex(8))
  MATMUL(c8i2, complex(4), integer(2), complex(4))
  MATMUL(r4r4, real(4), real(4), real(4))
  MATMUL(l2l4, logical(2), logical(4), logical(4))
  MATMUL(l1l8, logical(1), logical(8), logical(8))
end module mox2_oracle_intrinsics
