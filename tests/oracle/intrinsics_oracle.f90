! gfortran's own DOT_PRODUCT and MATMUL on contiguous arrays, the
! independent oracle of the intrinsic tests: pairs whose result type
! gfortran shares (LOGICAL DOT_PRODUCT compared by value).  MATMUL takes
! matrices only; the tests pass a vector as a matrix of one row or column.
module mox2_oracle_intrinsics
  use iso_c_binding
  implicit none
contains
  subroutine oracle_dot_i4i4(n, x, y, res) bind(C); integer(c_int), value :: n
    integer(4) :: x(n); integer(4) :: y(n); integer(4) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_i8i1(n, x, y, res) bind(C); integer(c_int), value :: n
    integer(8) :: x(n); integer(1) :: y(n); integer(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_r4r8(n, x, y, res) bind(C); integer(c_int), value :: n
    real(4) :: x(n); real(8) :: y(n); real(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_i4r8(n, x, y, res) bind(C); integer(c_int), value :: n
    integer(4) :: x(n); real(8) :: y(n); real(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_r16r8(n, x, y, res) bind(C); integer(c_int), value :: n
    real(16) :: x(n); real(8) :: y(n); real(16) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_c16c16(n, x, y, res) bind(C); integer(c_int), value :: n
    complex(8) :: x(n); complex(8) :: y(n); complex(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_c8c16(n, x, y, res) bind(C); integer(c_int), value :: n
    complex(4) :: x(n); complex(8) :: y(n); complex(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_i4c8(n, x, y, res) bind(C); integer(c_int), value :: n
    integer(4) :: x(n); complex(4) :: y(n); complex(4) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_c32r16(n, x, y, res) bind(C); integer(c_int), value :: n
    complex(16) :: x(n); real(16) :: y(n); complex(16) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_r8r8(n, x, y, res) bind(C); integer(c_int), value :: n
    real(8) :: x(n); real(8) :: y(n); real(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_l4l4(n, x, y, res) bind(C); integer(c_int), value :: n
    logical(4) :: x(n); logical(4) :: y(n); logical(4) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_dot_l1l8(n, x, y, res) bind(C); integer(c_int), value :: n
    logical(1) :: x(n); logical(8) :: y(n); logical(8) :: res; res = dot_product(x, y); end subroutine
  subroutine oracle_matmul_i1i4(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    integer(1) :: x(m, k); integer(4) :: y(k, n); integer(4) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_i8i4(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    integer(8) :: x(m, k); integer(4) :: y(k, n); integer(8) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_r4r8(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    real(4) :: x(m, k); real(8) :: y(k, n); real(8) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_r8i4(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    real(8) :: x(m, k); integer(4) :: y(k, n); real(8) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_i8r4(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    integer(8) :: x(m, k); real(4) :: y(k, n); real(4) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_c8r8(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    complex(4) :: x(m, k); real(8) :: y(k, n); complex(8) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_r16c8(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    real(16) :: x(m, k); complex(4) :: y(k, n); complex(16) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_c16c16(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    complex(8) :: x(m, k); complex(8) :: y(k, n); complex(8) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_c8i2(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    complex(4) :: x(m, k); integer(2) :: y(k, n); complex(4) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_r4r4(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    real(4) :: x(m, k); real(4) :: y(k, n); real(4) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_l2l4(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    logical(2) :: x(m, k); logical(4) :: y(k, n); logical(4) :: res(m, n); res = matmul(x, y); end subroutine
  subroutine oracle_matmul_l1l8(m, k, n, x, y, res) bind(C); integer(c_int), value :: m, k, n
    logical(1) :: x(m, k); logical(8) :: y(k, n); logical(8) :: res(m, n); res = matmul(x, y); end subroutine
end module mox2_oracle_intrinsics
