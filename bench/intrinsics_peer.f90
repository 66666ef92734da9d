! gfortran's own MATMUL and DOT_PRODUCT on the benchmark's arrays, the peer
! measured beside the library in the same run.
module mox2_bench_intrinsics_peer
  use iso_c_binding
  implicit none
contains
  subroutine gfortran_matmul_i4i4(m, k, n, a, b, c) bind(C, name="gfortran_matmul_i4i4")
    integer(c_int), value :: m, k, n
    integer(4), intent(in) :: a(m, k), b(k, n)
    integer(4), intent(out) :: c(m, n)
    c = matmul(a, b)
  end subroutine
  subroutine gfortran_matmul_r8i4(m, k, n, a, b, c) bind(C, name="gfortran_matmul_r8i4")
    integer(c_int), value :: m, k, n
    real(8), intent(in) :: a(m, k)
    integer(4), intent(in) :: b(k, n)
    real(8), intent(out) :: c(m, n)
    c = matmul(a, b)
  end subroutine
  subroutine gfortran_matmul_r4r8(m, k, n, a, b, c) bind(C, name="gfortran_matmul_r4r8")
    integer(c_int), value :: m, k, n
    real(4), intent(in) :: a(m, k)
    real(8), intent(in) :: b(k, n)
    real(8), intent(out) :: c(m, n)
    c = matmul(a, b)
  end subroutine
  subroutine gfortran_matmul_r8r8(m, k, n, a, b, c) bind(C, name="gfortran_matmul_r8r8")
    integer(c_int), value :: m, k, n
    real(8), intent(in) :: a(m, k), b(k, n)
    real(8), intent(out) :: c(m, n)
    c = matmul(a, b)
  end subroutine
  subroutine gfortran_matmul_a21_r8i4(m, k, a, x, y) bind(C, name="gfortran_matmul_a21_r8i4")
    integer(c_int), value :: m, k
    real(8), intent(in) :: a(m, k)
    integer(4), intent(in) :: x(k)
    real(8), intent(out) :: y(m)
    y = matmul(a, x)
  end subroutine
  subroutine gfortran_matmul_a12_r8i4(k, n, x, b, y) bind(C, name="gfortran_matmul_a12_r8i4")
    integer(c_int), value :: k, n
    real(8), intent(in) :: x(k)
    integer(4), intent(in) :: b(k, n)
    real(8), intent(out) :: y(n)
    y = matmul(x, b)
  end subroutine
  real(8) function gfortran_dot_r8r8(n, a, b) bind(C, name="gfortran_dot_r8r8")
    integer(c_int), value :: n
    real(8), intent(in) :: a(n), b(n)
    gfortran_dot_r8r8 = dot_product(a, b)
  end function
  integer(4) function gfortran_dot_i4i4(n, a, b) bind(C, name="gfortran_dot_i4i4")
    integer(c_int), value :: n
    integer(4), intent(in) :: a(n), b(n)
    gfortran_dot_i4i4 = dot_product(a, b)
  end function
end module mox2_bench_intrinsics_peer
