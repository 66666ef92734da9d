! gfortran's own ALL, ANY and COUNT, for the benchmarks: op 0 = ALL,
! 1 = ANY, 2 = COUNT over a(1:n:step) of the LOGICAL(k) array at p; and
! COUNT along a dimension of a LOGICAL(4) matrix.
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

  ! COUNT(a, dim) of the rows x cols LOGICAL(4) matrix at p, into res.
  subroutine mox2_gfortran_count_along_l4(p, rows, cols, dim, res) bind(C)
    type(c_ptr), value :: p, res
    integer(c_int64_t), value :: rows, cols
    integer(c_int), value :: dim
    logical(4), pointer :: a(:, :)
    integer(c_int32_t), pointer :: r(:)
    call c_f_pointer(p, a, [rows, cols])
    if (dim == 1) then
      call c_f_pointer(res, r, [cols])
      r = count(a, dim=1)
    else
      call c_f_pointer(res, r, [rows])
      r = count(a, dim=2)
    end if
  end subroutine
end module mox2_bench_logical
