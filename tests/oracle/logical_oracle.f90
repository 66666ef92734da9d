! ALL, ANY and COUNT as gfortran computes them, on a section of a parent
! array that the caller owns.  The parent has shape dims(1:rank); the
! section is parent(lo(1):hi(1):st(1), ..., lo(rank):hi(rank):st(rank)).
! dim = 0 asks for the whole-array forms (one result each); otherwise the
! nres results along dim are stored in column-major order.  ALL and ANY
! results are stored as 0 or 1.
module mox2_oracle_logical
  use iso_c_binding
  implicit none
contains
  subroutine mox2_oracle_logical_l1(parent, dims, rank, lo, hi, st, dim, nres, res_all, res_any, &
                                    res_count) bind(C)
    integer, parameter :: lk = 1
    include 'logical_sections.inc'
  end subroutine

  subroutine mox2_oracle_logical_l2(parent, dims, rank, lo, hi, st, dim, nres, res_all, res_any, &
                                    res_count) bind(C)
    integer, parameter :: lk = 2
    include 'logical_sections.inc'
  end subroutine

  subroutine mox2_oracle_logical_l4(parent, dims, rank, lo, hi, st, dim, nres, res_all, res_any, &
                                    res_count) bind(C)
    integer, parameter :: lk = 4
    include 'logical_sections.inc'
  end subroutine

  subroutine mox2_oracle_logical_l8(parent, dims, rank, lo, hi, st, dim, nres, res_all, res_any, &
                                    res_count) bind(C)
    integer, parameter :: lk = 8
    include 'logical_sections.inc'
  end subroutine
end module mox2_oracle_logical
