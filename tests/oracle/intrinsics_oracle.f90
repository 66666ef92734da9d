! gfortran's own DOT_PRODUCT and MATMUL on contiguous arrays, the
! independent oracle of the intrinsic tests (pairs whose result type
! gfortran shares; LOGICAL DOT_PRODUCT compared by value).
module mox2_oracle_intrinsics
  use iso_c_binding
  implicit none
contains
  subroutine oracle_dot_i4i4(n, x, y, res) bind(C, name="oracle_dot_i4i4")
    integer(c_int), value :: n
    integer(4), intent(in) :: x(n)
    integer(4), intent(in) :: y(n)
    integer(4), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_i2i4(n, x, y, res) bind(C, name="oracle_dot_i2i4")
    integer(c_int), value :: n
    integer(2), intent(in) :: x(n)
    integer(4), intent(in) :: y(n)
    integer(4), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_i8i1(n, x, y, res) bind(C, name="oracle_dot_i8i1")
    integer(c_int), value :: n
    integer(8), intent(in) :: x(n)
    integer(1), intent(in) :: y(n)
    integer(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_r4r8(n, x, y, res) bind(C, name="oracle_dot_r4r8")
    integer(c_int), value :: n
    real(4), intent(in) :: x(n)
    real(8), intent(in) :: y(n)
    real(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_i4r8(n, x, y, res) bind(C, name="oracle_dot_i4r8")
    integer(c_int), value :: n
    integer(4), intent(in) :: x(n)
    real(8), intent(in) :: y(n)
    real(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_r16r8(n, x, y, res) bind(C, name="oracle_dot_r16r8")
    integer(c_int), value :: n
    real(16), intent(in) :: x(n)
    real(8), intent(in) :: y(n)
    real(16), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_c16c16(n, x, y, res) bind(C, name="oracle_dot_c16c16")
    integer(c_int), value :: n
    complex(8), intent(in) :: x(n)
    complex(8), intent(in) :: y(n)
    complex(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_c8c16(n, x, y, res) bind(C, name="oracle_dot_c8c16")
    integer(c_int), value :: n
    complex(4), intent(in) :: x(n)
    complex(8), intent(in) :: y(n)
    complex(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_i4c8(n, x, y, res) bind(C, name="oracle_dot_i4c8")
    integer(c_int), value :: n
    integer(4), intent(in) :: x(n)
    complex(4), intent(in) :: y(n)
    complex(4), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_c32r16(n, x, y, res) bind(C, name="oracle_dot_c32r16")
    integer(c_int), value :: n
    complex(16), intent(in) :: x(n)
    real(16), intent(in) :: y(n)
    complex(16), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_r8r8(n, x, y, res) bind(C, name="oracle_dot_r8r8")
    integer(c_int), value :: n
    real(8), intent(in) :: x(n)
    real(8), intent(in) :: y(n)
    real(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_l4l4(n, x, y, res) bind(C, name="oracle_dot_l4l4")
    integer(c_int), value :: n
    logical(4), intent(in) :: x(n)
    logical(4), intent(in) :: y(n)
    logical(4), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_dot_l1l8(n, x, y, res) bind(C, name="oracle_dot_l1l8")
    integer(c_int), value :: n
    logical(1), intent(in) :: x(n)
    logical(8), intent(in) :: y(n)
    logical(8), intent(out) :: res
    res = dot_product(x, y)
  end subroutine
  subroutine oracle_mm22_i1i4(m, k, n, x, y, res) bind(C, name="oracle_mm22_i1i4")
    integer(c_int), value :: m, k, n
    integer(1), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k, n)
    integer(4), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_i1i4(m, k, x, y, res) bind(C, name="oracle_mm21_i1i4")
    integer(c_int), value :: m, k
    integer(1), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k)
    integer(4), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_i1i4(k, n, x, y, res) bind(C, name="oracle_mm12_i1i4")
    integer(c_int), value :: k, n
    integer(1), intent(in) :: x(k)
    integer(4), intent(in) :: y(k, n)
    integer(4), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_i2i4(m, k, n, x, y, res) bind(C, name="oracle_mm22_i2i4")
    integer(c_int), value :: m, k, n
    integer(2), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k, n)
    integer(4), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_i2i4(m, k, x, y, res) bind(C, name="oracle_mm21_i2i4")
    integer(c_int), value :: m, k
    integer(2), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k)
    integer(4), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_i2i4(k, n, x, y, res) bind(C, name="oracle_mm12_i2i4")
    integer(c_int), value :: k, n
    integer(2), intent(in) :: x(k)
    integer(4), intent(in) :: y(k, n)
    integer(4), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_i8i4(m, k, n, x, y, res) bind(C, name="oracle_mm22_i8i4")
    integer(c_int), value :: m, k, n
    integer(8), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k, n)
    integer(8), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_i8i4(m, k, x, y, res) bind(C, name="oracle_mm21_i8i4")
    integer(c_int), value :: m, k
    integer(8), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k)
    integer(8), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_i8i4(k, n, x, y, res) bind(C, name="oracle_mm12_i8i4")
    integer(c_int), value :: k, n
    integer(8), intent(in) :: x(k)
    integer(4), intent(in) :: y(k, n)
    integer(8), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_r4r8(m, k, n, x, y, res) bind(C, name="oracle_mm22_r4r8")
    integer(c_int), value :: m, k, n
    real(4), intent(in) :: x(m, k)
    real(8), intent(in) :: y(k, n)
    real(8), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_r4r8(m, k, x, y, res) bind(C, name="oracle_mm21_r4r8")
    integer(c_int), value :: m, k
    real(4), intent(in) :: x(m, k)
    real(8), intent(in) :: y(k)
    real(8), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_r4r8(k, n, x, y, res) bind(C, name="oracle_mm12_r4r8")
    integer(c_int), value :: k, n
    real(4), intent(in) :: x(k)
    real(8), intent(in) :: y(k, n)
    real(8), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_r8i4(m, k, n, x, y, res) bind(C, name="oracle_mm22_r8i4")
    integer(c_int), value :: m, k, n
    real(8), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k, n)
    real(8), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_r8i4(m, k, x, y, res) bind(C, name="oracle_mm21_r8i4")
    integer(c_int), value :: m, k
    real(8), intent(in) :: x(m, k)
    integer(4), intent(in) :: y(k)
    real(8), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_r8i4(k, n, x, y, res) bind(C, name="oracle_mm12_r8i4")
    integer(c_int), value :: k, n
    real(8), intent(in) :: x(k)
    integer(4), intent(in) :: y(k, n)
    real(8), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_i8r4(m, k, n, x, y, res) bind(C, name="oracle_mm22_i8r4")
    integer(c_int), value :: m, k, n
    integer(8), intent(in) :: x(m, k)
    real(4), intent(in) :: y(k, n)
    real(4), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_i8r4(m, k, x, y, res) bind(C, name="oracle_mm21_i8r4")
    integer(c_int), value :: m, k
    integer(8), intent(in) :: x(m, k)
    real(4), intent(in) :: y(k)
    real(4), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_i8r4(k, n, x, y, res) bind(C, name="oracle_mm12_i8r4")
    integer(c_int), value :: k, n
    integer(8), intent(in) :: x(k)
    real(4), intent(in) :: y(k, n)
    real(4), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_c8r8(m, k, n, x, y, res) bind(C, name="oracle_mm22_c8r8")
    integer(c_int), value :: m, k, n
    complex(4), intent(in) :: x(m, k)
    real(8), intent(in) :: y(k, n)
    complex(8), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_c8r8(m, k, x, y, res) bind(C, name="oracle_mm21_c8r8")
    integer(c_int), value :: m, k
    complex(4), intent(in) :: x(m, k)
    real(8), intent(in) :: y(k)
    complex(8), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_c8r8(k, n, x, y, res) bind(C, name="oracle_mm12_c8r8")
    integer(c_int), value :: k, n
    complex(4), intent(in) :: x(k)
    real(8), intent(in) :: y(k, n)
    complex(8), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_r16c8(m, k, n, x, y, res) bind(C, name="oracle_mm22_r16c8")
    integer(c_int), value :: m, k, n
    real(16), intent(in) :: x(m, k)
    complex(4), intent(in) :: y(k, n)
    complex(16), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_r16c8(m, k, x, y, res) bind(C, name="oracle_mm21_r16c8")
    integer(c_int), value :: m, k
    real(16), intent(in) :: x(m, k)
    complex(4), intent(in) :: y(k)
    complex(16), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_r16c8(k, n, x, y, res) bind(C, name="oracle_mm12_r16c8")
    integer(c_int), value :: k, n
    real(16), intent(in) :: x(k)
    complex(4), intent(in) :: y(k, n)
    complex(16), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_c16c16(m, k, n, x, y, res) bind(C, name="oracle_mm22_c16c16")
    integer(c_int), value :: m, k, n
    complex(8), intent(in) :: x(m, k)
    complex(8), intent(in) :: y(k, n)
    complex(8), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_c16c16(m, k, x, y, res) bind(C, name="oracle_mm21_c16c16")
    integer(c_int), value :: m, k
    complex(8), intent(in) :: x(m, k)
    complex(8), intent(in) :: y(k)
    complex(8), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_c16c16(k, n, x, y, res) bind(C, name="oracle_mm12_c16c16")
    integer(c_int), value :: k, n
    complex(8), intent(in) :: x(k)
    complex(8), intent(in) :: y(k, n)
    complex(8), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_c8i2(m, k, n, x, y, res) bind(C, name="oracle_mm22_c8i2")
    integer(c_int), value :: m, k, n
    complex(4), intent(in) :: x(m, k)
    integer(2), intent(in) :: y(k, n)
    complex(4), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_c8i2(m, k, x, y, res) bind(C, name="oracle_mm21_c8i2")
    integer(c_int), value :: m, k
    complex(4), intent(in) :: x(m, k)
    integer(2), intent(in) :: y(k)
    complex(4), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_c8i2(k, n, x, y, res) bind(C, name="oracle_mm12_c8i2")
    integer(c_int), value :: k, n
    complex(4), intent(in) :: x(k)
    integer(2), intent(in) :: y(k, n)
    complex(4), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_r4r4(m, k, n, x, y, res) bind(C, name="oracle_mm22_r4r4")
    integer(c_int), value :: m, k, n
    real(4), intent(in) :: x(m, k)
    real(4), intent(in) :: y(k, n)
    real(4), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_r4r4(m, k, x, y, res) bind(C, name="oracle_mm21_r4r4")
    integer(c_int), value :: m, k
    real(4), intent(in) :: x(m, k)
    real(4), intent(in) :: y(k)
    real(4), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_r4r4(k, n, x, y, res) bind(C, name="oracle_mm12_r4r4")
    integer(c_int), value :: k, n
    real(4), intent(in) :: x(k)
    real(4), intent(in) :: y(k, n)
    real(4), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_l2l4(m, k, n, x, y, res) bind(C, name="oracle_mm22_l2l4")
    integer(c_int), value :: m, k, n
    logical(2), intent(in) :: x(m, k)
    logical(4), intent(in) :: y(k, n)
    logical(4), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_l2l4(m, k, x, y, res) bind(C, name="oracle_mm21_l2l4")
    integer(c_int), value :: m, k
    logical(2), intent(in) :: x(m, k)
    logical(4), intent(in) :: y(k)
    logical(4), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_l2l4(k, n, x, y, res) bind(C, name="oracle_mm12_l2l4")
    integer(c_int), value :: k, n
    logical(2), intent(in) :: x(k)
    logical(4), intent(in) :: y(k, n)
    logical(4), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm22_l1l8(m, k, n, x, y, res) bind(C, name="oracle_mm22_l1l8")
    integer(c_int), value :: m, k, n
    logical(1), intent(in) :: x(m, k)
    logical(8), intent(in) :: y(k, n)
    logical(8), intent(out) :: res(m, n)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm21_l1l8(m, k, x, y, res) bind(C, name="oracle_mm21_l1l8")
    integer(c_int), value :: m, k
    logical(1), intent(in) :: x(m, k)
    logical(8), intent(in) :: y(k)
    logical(8), intent(out) :: res(m)
    res = matmul(x, y)
  end subroutine
  subroutine oracle_mm12_l1l8(k, n, x, y, res) bind(C, name="oracle_mm12_l1l8")
    integer(c_int), value :: k, n
    logical(1), intent(in) :: x(k)
    logical(8), intent(in) :: y(k, n)
    logical(8), intent(out) :: res(n)
    res = matmul(x, y)
  end subroutine
end module mox2_oracle_intrinsics
