! An ordinary MATMUL compiled with gfortran -fexternal-blas: gfortran hands
! products above -fblas-matmul-limit (30 by default) to dgemm_, which this
! program takes from libmox2_blas.  The operands hold small whole numbers,
! so the product is exact and equals the one of a plain loop.
program external_blas
  implicit none
  integer, parameter :: m = 200, k = 150, n = 100
  real(8) :: a(m, k), b(k, n), c(m, n), expected(m, n)
  integer :: i, j, l

  a = reshape([(real(mod(7 * i, 11) - 5, 8), i = 1, m * k)], [m, k])
  b = reshape([(real(mod(5 * i, 13) - 6, 8), i = 1, k * n)], [k, n])
  c = matmul(a, b)

  expected = 0
  do j = 1, n
    do l = 1, k
      do i = 1, m
        expected(i, j) = expected(i, j) + a(i, l) * b(l, j)
      end do
    end do
  end do
  print '(a, 2f12.1)', 'MATMUL(A, B) through dgemm_: C(1, 1), C(m, n) =', c(1, 1), c(m, n)
  if (any(c /= expected)) error stop 'MATMUL through dgemm_ differs from the loop'
  print '(a)', 'the same as a plain loop'
end program external_blas
