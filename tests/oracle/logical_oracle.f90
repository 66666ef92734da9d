! ALL, ANY and COUNT as gfortran computes them, on a section of a parent
! array of LOGICAL(1) that the caller owns: the parent has shape
! dims(1:rank) and the section is parent(lo(1):hi(1):st(1), ...), taken as
! a section of rank 7 whose dimensions past rank have extent 1.  dim = 0
! asks for the whole-array forms; otherwise the nres results along dim, in
! column-major order.  ALL and ANY results are stored as 0 or 1.
module mox2_oracle_logical
  use iso_c_binding
  implicit none
contains
  subroutine oracle_logical(parent, dims, rank, lo, hi, st, dim, nres, res_all, res_any, &
                            res_count) bind(C)
    type(c_ptr), value :: parent
    integer(c_int), value :: rank, dim, nres
    integer(c_int64_t), intent(in) :: dims(rank), lo(rank), hi(rank), st(rank)
    integer(c_int32_t), intent(out) :: res_all(*), res_any(*), res_count(*)
    integer(c_int64_t) :: d(7), l(7), h(7), s(7)
    logical(1), pointer :: p(:, :, :, :, :, :, :)
    d = 1; l = 1; h = 1; s = 1
    d(1:rank) = dims; l(1:rank) = lo; h(1:rank) = hi; s(1:rank) = st
    call c_f_pointer(parent, p, d)
    associate (m => p(l(1):h(1):s(1), l(2):h(2):s(2), l(3):h(3):s(3), l(4):h(4):s(4), &
                      l(5):h(5):s(5), l(6):h(6):s(6), l(7):h(7):s(7)))
      if (dim == 0) then
        res_all(1) = merge(1, 0, all(m))
        res_any(1) = merge(1, 0, any(m))
        res_count(1) = count(m)
      else if (nres > 0) then
        res_all(1:nres) = pack(merge(1, 0, all(m, dim)), .true.)
        res_any(1:nres) = pack(merge(1, 0, any(m, dim)), .true.)
        res_count(1:nres) = pack(count(m, dim), .true.)
      end if
    end associate
  end subroutine
end module mox2_oracle_logical
