! gfortran's own ALL, ANY and COUNT, for the benchmarks: op 0 = ALL,
! 1 = ANY, 2 = COUNT over a(1:n:step) of the LOGICAL(k) array at p.
module mox2_bench_logical
  use iso_c_binding
  implicit none
contains
  integer(c_int32_t) function mox2_gfortran_logical_l1(p, n, step, op) bind(C) result(r)
    logical(1), pointer :: a(:)
    include 'logical_bench_body.inc'
  end function

  integer(c_int32_t) function mox2_gfortran_logical_l2(p, n, step, op) bind(C) result(r)
    logical(2), pointer :: a(:)
    include 'logical_bench_body.inc'
  end function

  integer(c_int32_t) function mox2_gfortran_logical_l4(p, n, step, op) bind(C) result(r)
    logical(4), pointer :: a(:)
    include 'logical_bench_body.inc'
  end function

  integer(c_int32_t) function mox2_gfortran_logical_l8(p, n, step, op) bind(C) result(r)
    logical(8), pointer :: a(:)
    include 'logical_bench_body.inc'
  end function
end module mox2_bench_logical
