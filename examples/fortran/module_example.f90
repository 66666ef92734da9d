! The module mox2: the library's MATMUL, DOT_PRODUCT, ALL, ANY and COUNT by
! name, on whole arrays and on sections with any strides, checked against
! gfortran's own intrinsics.  The operands hold small whole numbers, so that
! every sum is exact and the two agree whatever their orders of addition.
program module_example
  use mox2
  implicit none
  real(8) :: a(40, 30), b(30, 20), x(30)
  real(4) :: s(12, 9), t(9, 7)
  integer(8) :: ia(6, 5), ib(5, 4)
  complex(8) :: u(25), v(25), z(25, 10)
  logical(4) :: mask(7, 5, 3)
  integer :: i, failures

  failures = 0
  a = reshape([(real(mod(7 * i, 11) - 5, 8), i = 1, size(a))], shape(a))
  b = reshape([(real(mod(5 * i, 13) - 6, 8), i = 1, size(b))], shape(b))
  x = [(real(mod(3 * i, 7) - 3, 8), i = 1, size(x))]
  s = reshape([(real(mod(i, 9) - 4, 4), i = 1, size(s))], shape(s))
  t = reshape([(real(mod(2 * i, 5) - 2, 4), i = 1, size(t))], shape(t))
  ia = reshape([(int(i, 8) * 1000000007_8, i = 1, size(ia))], shape(ia))
  ib = reshape([(int(mod(i, 4) - 2, 8), i = 1, size(ib))], shape(ib))
  u = [(cmplx(mod(i, 5) - 2, mod(i, 3) - 1, 8), i = 1, size(u))]
  v = [(cmplx(mod(i, 4) - 1, 2 - mod(i, 5), 8), i = 1, size(v))]
  z = reshape([(cmplx(mod(i, 6) - 3, mod(i, 7) - 3, 8), i = 1, size(z))], shape(z))
  mask = reshape([(mod(i, 3) /= 0 .or. mod(i, 7) == 0, i = 1, size(mask))], shape(mask))

  call check('MATMUL(A, B)', all(mox2_matmul(a, b) == matmul(a, b)))
  call check('MATMUL(A(1:39:2, :), B(:, 20:1:-3))', &
             all(mox2_matmul(a(1:39:2, :), b(:, 20:1:-3)) == matmul(a(1:39:2, :), b(:, 20:1:-3))))
  call check('MATMUL(A(3, :), B)', all(mox2_matmul(a(3, :), b) == matmul(a(3, :), b)))
  call check('MATMUL(A, X(30:1:-1))', all(mox2_matmul(a, x(30:1:-1)) == matmul(a, x(30:1:-1))))
  call check('MATMUL of REAL(4)', all(mox2_matmul(s, t) == matmul(s, t)))
  call check('MATMUL of INTEGER(8)', all(mox2_matmul(ia, ib) == matmul(ia, ib)))
  call check('MATMUL of COMPLEX(8)', all(mox2_matmul(v(1:20:2), z(1:10, :)) == matmul(v(1:20:2), z(1:10, :))))
  call check('MATMUL of LOGICAL(4)', all(mox2_matmul(mask(:, :, 1), mask(1:5, 1:2, 2)) &
                                         .eqv. matmul(mask(:, :, 1), mask(1:5, 1:2, 2))))
  call check('MATMUL of an empty section', size(mox2_matmul(a(1:0, :), b), 1) == 0 &
             .and. size(mox2_matmul(a(1:0, :), b), 2) == 20)
  call check('DOT_PRODUCT(X(30:1:-1), A(3, :))', mox2_dot_product(x(30:1:-1), a(3, :)) == &
             dot_product(x(30:1:-1), a(3, :)))
  call check('DOT_PRODUCT of COMPLEX(8) (conjugates U)', mox2_dot_product(u, v) == dot_product(u, v))
  call check('DOT_PRODUCT of LOGICAL(4)', mox2_dot_product(mask(:, 1, 1), mask(:, 2, 3)) .eqv. &
             dot_product(mask(:, 1, 1), mask(:, 2, 3)))
  call check('ALL, ANY, COUNT of MASK', (mox2_all(mask) .eqv. all(mask)) .and. &
             (mox2_any(mask) .eqv. any(mask)) .and. mox2_count(mask) == count(mask))
  call check('COUNT(MASK(7:1:-2, :, 2), DIM=2)', &
             all(mox2_count(mask(7:1:-2, :, 2), 2) == count(mask(7:1:-2, :, 2), 2)))
  call check('ALL(MASK, DIM=3), ANY(MASK, DIM=1)', all(mox2_all(mask, 3) .eqv. all(mask, 3)) .and. &
             all(mox2_any(mask, 1) .eqv. any(mask, 1)))

  print '(a, 5(1x, l1))', 'ALL(MASK(:, :, 1), DIM=1) =', mox2_all(mask(:, :, 1), 1)
  print '(a, 7(1x, l1))', 'ANY(MASK(:, 2:3, 3), DIM=2) =', mox2_any(mask(:, 2:3, 3), 2)
  if (failures > 0) error stop 'mox2 and gfortran disagree'
  print '(a)', 'mox2 and gfortran agree on every check'

contains

  subroutine check(what, agree)
    character(*), intent(in) :: what
    logical, intent(in) :: agree
    print '(a, 1x, l1)', what // ':', agree
    if (.not. agree) failures = failures + 1
  end subroutine check

end program module_example
