! mox2: the library's ALL, ANY, COUNT, DOT_PRODUCT and MATMUL by name, for
! Fortran programs that want its reproducible results explicitly (whatever
! the compiler does with the intrinsics).
!
!   mox2_matmul(a, b)       vector x matrix, matrix x vector, matrix x matrix
!   mox2_dot_product(a, b)
!       a and b of one type: INTEGER(4), INTEGER(8), REAL(4), REAL(8),
!       COMPLEX(4), COMPLEX(8) or LOGICAL(4); results as the intrinsics'.
!   mox2_all(mask [, dim]), mox2_any(mask [, dim]), mox2_count(mask [, dim])
!       mask LOGICAL(4) of rank 1 to 3; dim 1-based.
!
! Arguments are assumed-shape: any array or section, any strides, no copy.
! Each call is one call of the library's entry point for the type pair and
! rank form, through a bind(C) interface, on dope vectors that
! mox2_describe makes of the arguments; an array result is copied out of the
! storage the library allocated, which is then freed.  Errors (an illegal
! DIM) end the process with the library's diagnostic, as the entry points
! do for compiled code.
module mox2
  use, intrinsic :: iso_c_binding
  implicit none
  private
  public :: mox2_dope_vector1, mox2_dope_vector2, mox2_dope_vector3, mox2_describe
  public :: mox2_matmul, mox2_dot_product, mox2_all, mox2_any, mox2_count

  ! The library's dope vector of rank r: the address of the first element in
  ! array order (null: not associated), the r extents, first Fortran
  ! dimension first, and the r signed distances in bytes between
  ! neighbouring elements along each dimension.
  type, bind(C) :: mox2_dope_vector1
    type(c_ptr) :: base
    integer(c_intptr_t) :: extent(1), stride(1)
  end type mox2_dope_vector1
  type, bind(C) :: mox2_dope_vector2
    type(c_ptr) :: base
    integer(c_intptr_t) :: extent(2), stride(2)
  end type mox2_dope_vector2
  type, bind(C) :: mox2_dope_vector3
    type(c_ptr) :: base
    integer(c_intptr_t) :: extent(3), stride(3)
  end type mox2_dope_vector3

  ! The base of an empty array: an address that is not null, never read.
  integer(c_int), target, save :: empty_base = 0

  ! mox2_describe(x): the dope vector of the array or section x (the
  ! element types above, ranks 1 and 2; LOGICAL(4) also of rank 3).  Its
  ! base points into x, so it describes x while x exists and does not move.
  interface mox2_describe
    module procedure describe_i4_1, describe_i4_2, describe_i8_1, describe_i8_2
    module procedure describe_r4_1, describe_r4_2, describe_r8_1, describe_r8_2
    module procedure describe_c8_1, describe_c8_2, describe_c16_1, describe_c16_2
    module procedure describe_l4_1, describe_l4_2, describe_l4_3
  end interface mox2_describe

  interface mox2_matmul
    module procedure matmul_12_i4, matmul_21_i4, matmul_22_i4
    module procedure matmul_12_i8, matmul_21_i8, matmul_22_i8
    module procedure matmul_12_r4, matmul_21_r4, matmul_22_r4
    module procedure matmul_12_r8, matmul_21_r8, matmul_22_r8
    module procedure matmul_12_c8, matmul_21_c8, matmul_22_c8
    module procedure matmul_12_c16, matmul_21_c16, matmul_22_c16
    module procedure matmul_12_l4, matmul_21_l4, matmul_22_l4
  end interface mox2_matmul

  interface mox2_dot_product
    module procedure dot_product_i4, dot_product_i8, dot_product_r4, dot_product_r8
    module procedure dot_product_c8, dot_product_c16, dot_product_l4
  end interface mox2_dot_product

  interface mox2_all
    module procedure all_1, all_2, all_3
    module procedure all_dim_1, all_dim_2, all_dim_3
  end interface mox2_all

  interface mox2_any
    module procedure any_1, any_2, any_3
    module procedure any_dim_1, any_dim_2, any_dim_3
  end interface mox2_any

  interface mox2_count
    module procedure count_1, count_2, count_3
    module procedure count_dim_1, count_dim_2, count_dim_3
  end interface mox2_count

  ! The calling sequences of the entry points.
  abstract interface
    integer(c_int32_t) function reduce_1(mask) bind(C)
      import :: c_int32_t, mox2_dope_vector1
      type(mox2_dope_vector1), intent(in) :: mask
    end function reduce_1
    integer(c_int32_t) function reduce_2(mask) bind(C)
      import :: c_int32_t, mox2_dope_vector2
      type(mox2_dope_vector2), intent(in) :: mask
    end function reduce_2
    integer(c_int32_t) function reduce_3(mask) bind(C)
      import :: c_int32_t, mox2_dope_vector3
      type(mox2_dope_vector3), intent(in) :: mask
    end function reduce_3
    subroutine reduce_dim_2(result, mask, dim) bind(C)
      import :: c_int32_t, mox2_dope_vector1, mox2_dope_vector2
      type(mox2_dope_vector1), intent(out) :: result
      type(mox2_dope_vector2), intent(in) :: mask
      integer(c_int32_t), value :: dim
    end subroutine reduce_dim_2
    subroutine reduce_dim_3(result, mask, dim) bind(C)
      import :: c_int32_t, mox2_dope_vector2, mox2_dope_vector3
      type(mox2_dope_vector2), intent(out) :: result
      type(mox2_dope_vector3), intent(in) :: mask
      integer(c_int32_t), value :: dim
    end subroutine reduce_dim_3
    subroutine matmul_a12(result, a, b) bind(C)
      import :: mox2_dope_vector1, mox2_dope_vector2
      type(mox2_dope_vector1), intent(out) :: result
      type(mox2_dope_vector1), intent(in) :: a
      type(mox2_dope_vector2), intent(in) :: b
    end subroutine matmul_a12
    subroutine matmul_a21(result, a, b) bind(C)
      import :: mox2_dope_vector1, mox2_dope_vector2
      type(mox2_dope_vector1), intent(out) :: result
      type(mox2_dope_vector2), intent(in) :: a
      type(mox2_dope_vector1), intent(in) :: b
    end subroutine matmul_a21
    subroutine matmul_a22(result, a, b) bind(C)
      import :: mox2_dope_vector2
      type(mox2_dope_vector2), intent(out) :: result
      type(mox2_dope_vector2), intent(in) :: a, b
    end subroutine matmul_a22
    integer(c_int32_t) function dot_i4(a, b) bind(C)
      import :: c_int32_t, mox2_dope_vector1
      type(mox2_dope_vector1), intent(in) :: a, b
    end function dot_i4
    integer(c_int64_t) function dot_i8(a, b) bind(C)
      import :: c_int64_t, mox2_dope_vector1
      type(mox2_dope_vector1), intent(in) :: a, b
    end function dot_i8
    real(c_float) function dot_r4(a, b) bind(C)
      import :: c_float, mox2_dope_vector1
      type(mox2_dope_vector1), intent(in) :: a, b
    end function dot_r4
    real(c_double) function dot_r8(a, b) bind(C)
      import :: c_double, mox2_dope_vector1
      type(mox2_dope_vector1), intent(in) :: a, b
    end function dot_r8
    subroutine dot_c8(result, a, b) bind(C)
      import :: c_float_complex, mox2_dope_vector1
      complex(c_float_complex), intent(out) :: result
      type(mox2_dope_vector1), intent(in) :: a, b
    end subroutine dot_c8
    subroutine dot_c16(result, a, b) bind(C)
      import :: c_double_complex, mox2_dope_vector1
      complex(c_double_complex), intent(out) :: result
      type(mox2_dope_vector1), intent(in) :: a, b
    end subroutine dot_c16
    integer(c_int32_t) function dot_l4(a, b) bind(C)
      import :: c_int32_t, mox2_dope_vector1
      type(mox2_dope_vector1), intent(in) :: a, b
    end function dot_l4
  end interface

  procedure(reduce_1), bind(C, name="__f_all_s1_l4") :: f_all_s1
  procedure(reduce_2), bind(C, name="__f_all_s2_l4") :: f_all_s2
  procedure(reduce_3), bind(C, name="__f_all_s3_l4") :: f_all_s3
  procedure(reduce_dim_2), bind(C, name="__f_all_a2_l4") :: f_all_a2
  procedure(reduce_dim_3), bind(C, name="__f_all_a3_l4") :: f_all_a3
  procedure(reduce_1), bind(C, name="__f_any_s1_l4") :: f_any_s1
  procedure(reduce_2), bind(C, name="__f_any_s2_l4") :: f_any_s2
  procedure(reduce_3), bind(C, name="__f_any_s3_l4") :: f_any_s3
  procedure(reduce_dim_2), bind(C, name="__f_any_a2_l4") :: f_any_a2
  procedure(reduce_dim_3), bind(C, name="__f_any_a3_l4") :: f_any_a3
  procedure(reduce_1), bind(C, name="__f_count_s1_l4") :: f_count_s1
  procedure(reduce_2), bind(C, name="__f_count_s2_l4") :: f_count_s2
  procedure(reduce_3), bind(C, name="__f_count_s3_l4") :: f_count_s3
  procedure(reduce_dim_2), bind(C, name="__f_count_a2_l4") :: f_count_a2
  procedure(reduce_dim_3), bind(C, name="__f_count_a3_l4") :: f_count_a3
  procedure(dot_i4), bind(C, name="__f_dotprod_s1_i4i4") :: f_dotprod_i4
  procedure(dot_i8), bind(C, name="__f_dotprod_s1_i8i8") :: f_dotprod_i8
  procedure(dot_r4), bind(C, name="__f_dotprod_s1_r4r4") :: f_dotprod_r4
  procedure(dot_r8), bind(C, name="__f_dotprod_s1_r8r8") :: f_dotprod_r8
  procedure(dot_c8), bind(C, name="__f_dotprod_s1_c8c8") :: f_dotprod_c8
  procedure(dot_c16), bind(C, name="__f_dotprod_s1_c16c16") :: f_dotprod_c16
  procedure(dot_l4), bind(C, name="__f_dotprod_s1_l4l4") :: f_dotprod_l4
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_i4i4") :: f_matmul_a12_i4
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_i4i4") :: f_matmul_a21_i4
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_i4i4") :: f_matmul_a22_i4
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_i8i8") :: f_matmul_a12_i8
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_i8i8") :: f_matmul_a21_i8
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_i8i8") :: f_matmul_a22_i8
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_r4r4") :: f_matmul_a12_r4
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_r4r4") :: f_matmul_a21_r4
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_r4r4") :: f_matmul_a22_r4
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_r8r8") :: f_matmul_a12_r8
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_r8r8") :: f_matmul_a21_r8
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_r8r8") :: f_matmul_a22_r8
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_c8c8") :: f_matmul_a12_c8
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_c8c8") :: f_matmul_a21_c8
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_c8c8") :: f_matmul_a22_c8
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_c16c16") :: f_matmul_a12_c16
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_c16c16") :: f_matmul_a21_c16
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_c16c16") :: f_matmul_a22_c16
  procedure(matmul_a12), bind(C, name="__f_matmul_a12_l4l4") :: f_matmul_a12_l4
  procedure(matmul_a21), bind(C, name="__f_matmul_a21_l4l4") :: f_matmul_a21_l4
  procedure(matmul_a22), bind(C, name="__f_matmul_a22_l4l4") :: f_matmul_a22_l4

  interface
    subroutine c_free(p) bind(C, name="free")
      import :: c_ptr
      type(c_ptr), value :: p
    end subroutine c_free
  end interface

contains

  ! The distance in bytes from p to q.
  integer(c_intptr_t) function distance(p, q)
    type(c_ptr), intent(in) :: p, q
    distance = transfer(q, 0_c_intptr_t) - transfer(p, 0_c_intptr_t)
  end function distance

  function describe_i4_1(x) result(d)
    integer(c_int32_t), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_i4_1

  function describe_i4_2(x) result(d)
    integer(c_int32_t), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_i4_2

  function describe_i8_1(x) result(d)
    integer(c_int64_t), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_i8_1

  function describe_i8_2(x) result(d)
    integer(c_int64_t), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_i8_2

  function describe_r4_1(x) result(d)
    real(c_float), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_r4_1

  function describe_r4_2(x) result(d)
    real(c_float), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_r4_2

  function describe_r8_1(x) result(d)
    real(c_double), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_r8_1

  function describe_r8_2(x) result(d)
    real(c_double), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_r8_2

  function describe_c8_1(x) result(d)
    complex(c_float_complex), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_c8_1

  function describe_c8_2(x) result(d)
    complex(c_float_complex), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_c8_2

  function describe_c16_1(x) result(d)
    complex(c_double_complex), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_c16_1

  function describe_c16_2(x) result(d)
    complex(c_double_complex), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_c16_2

  function describe_l4_1(x) result(d)
    logical(4), intent(in), target :: x(:)
    type(mox2_dope_vector1) :: d
    include 'describe1.inc'
  end function describe_l4_1

  function describe_l4_2(x) result(d)
    logical(4), intent(in), target :: x(:, :)
    type(mox2_dope_vector2) :: d
    include 'describe2.inc'
  end function describe_l4_2

  function describe_l4_3(x) result(d)
    logical(4), intent(in), target :: x(:, :, :)
    type(mox2_dope_vector3) :: d
    include 'describe3.inc'
  end function describe_l4_3

  function matmul_12_i4(a, b) result(r)
    integer(c_int32_t), intent(in), target :: a(:), b(:, :)
    integer(c_int32_t), allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_i4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_12_i4

  function matmul_21_i4(a, b) result(r)
    integer(c_int32_t), intent(in), target :: a(:, :), b(:)
    integer(c_int32_t), allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_i4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_21_i4

  function matmul_22_i4(a, b) result(r)
    integer(c_int32_t), intent(in), target :: a(:, :), b(:, :)
    integer(c_int32_t), allocatable :: r(:, :)
    integer(c_int32_t), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_i4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_22_i4

  function matmul_12_i8(a, b) result(r)
    integer(c_int64_t), intent(in), target :: a(:), b(:, :)
    integer(c_int64_t), allocatable :: r(:)
    integer(c_int64_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_i8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_12_i8

  function matmul_21_i8(a, b) result(r)
    integer(c_int64_t), intent(in), target :: a(:, :), b(:)
    integer(c_int64_t), allocatable :: r(:)
    integer(c_int64_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_i8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_21_i8

  function matmul_22_i8(a, b) result(r)
    integer(c_int64_t), intent(in), target :: a(:, :), b(:, :)
    integer(c_int64_t), allocatable :: r(:, :)
    integer(c_int64_t), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_i8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_22_i8

  function matmul_12_r4(a, b) result(r)
    real(c_float), intent(in), target :: a(:), b(:, :)
    real(c_float), allocatable :: r(:)
    real(c_float), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_r4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_12_r4

  function matmul_21_r4(a, b) result(r)
    real(c_float), intent(in), target :: a(:, :), b(:)
    real(c_float), allocatable :: r(:)
    real(c_float), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_r4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_21_r4

  function matmul_22_r4(a, b) result(r)
    real(c_float), intent(in), target :: a(:, :), b(:, :)
    real(c_float), allocatable :: r(:, :)
    real(c_float), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_r4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_22_r4

  function matmul_12_r8(a, b) result(r)
    real(c_double), intent(in), target :: a(:), b(:, :)
    real(c_double), allocatable :: r(:)
    real(c_double), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_r8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_12_r8

  function matmul_21_r8(a, b) result(r)
    real(c_double), intent(in), target :: a(:, :), b(:)
    real(c_double), allocatable :: r(:)
    real(c_double), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_r8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_21_r8

  function matmul_22_r8(a, b) result(r)
    real(c_double), intent(in), target :: a(:, :), b(:, :)
    real(c_double), allocatable :: r(:, :)
    real(c_double), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_r8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_22_r8

  function matmul_12_c8(a, b) result(r)
    complex(c_float_complex), intent(in), target :: a(:), b(:, :)
    complex(c_float_complex), allocatable :: r(:)
    complex(c_float_complex), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_c8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_12_c8

  function matmul_21_c8(a, b) result(r)
    complex(c_float_complex), intent(in), target :: a(:, :), b(:)
    complex(c_float_complex), allocatable :: r(:)
    complex(c_float_complex), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_c8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_21_c8

  function matmul_22_c8(a, b) result(r)
    complex(c_float_complex), intent(in), target :: a(:, :), b(:, :)
    complex(c_float_complex), allocatable :: r(:, :)
    complex(c_float_complex), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_c8(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_22_c8

  function matmul_12_c16(a, b) result(r)
    complex(c_double_complex), intent(in), target :: a(:), b(:, :)
    complex(c_double_complex), allocatable :: r(:)
    complex(c_double_complex), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_c16(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_12_c16

  function matmul_21_c16(a, b) result(r)
    complex(c_double_complex), intent(in), target :: a(:, :), b(:)
    complex(c_double_complex), allocatable :: r(:)
    complex(c_double_complex), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_c16(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_21_c16

  function matmul_22_c16(a, b) result(r)
    complex(c_double_complex), intent(in), target :: a(:, :), b(:, :)
    complex(c_double_complex), allocatable :: r(:, :)
    complex(c_double_complex), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_c16(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function matmul_22_c16

  function matmul_12_l4(a, b) result(r)
    logical(4), intent(in), target :: a(:), b(:, :)
    logical(4), allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a12_l4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function matmul_12_l4

  function matmul_21_l4(a, b) result(r)
    logical(4), intent(in), target :: a(:, :), b(:)
    logical(4), allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_matmul_a21_l4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function matmul_21_l4

  function matmul_22_l4(a, b) result(r)
    logical(4), intent(in), target :: a(:, :), b(:, :)
    logical(4), allocatable :: r(:, :)
    integer(c_int32_t), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_matmul_a22_l4(d, mox2_describe(a), mox2_describe(b))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function matmul_22_l4

  function dot_product_i4(a, b) result(r)
    integer(c_int32_t), intent(in), target :: a(:), b(:)
    integer(c_int32_t) :: r
    r = f_dotprod_i4(mox2_describe(a), mox2_describe(b))
  end function dot_product_i4

  function dot_product_i8(a, b) result(r)
    integer(c_int64_t), intent(in), target :: a(:), b(:)
    integer(c_int64_t) :: r
    r = f_dotprod_i8(mox2_describe(a), mox2_describe(b))
  end function dot_product_i8

  function dot_product_r4(a, b) result(r)
    real(c_float), intent(in), target :: a(:), b(:)
    real(c_float) :: r
    r = f_dotprod_r4(mox2_describe(a), mox2_describe(b))
  end function dot_product_r4

  function dot_product_r8(a, b) result(r)
    real(c_double), intent(in), target :: a(:), b(:)
    real(c_double) :: r
    r = f_dotprod_r8(mox2_describe(a), mox2_describe(b))
  end function dot_product_r8

  function dot_product_c8(a, b) result(r)
    complex(c_float_complex), intent(in), target :: a(:), b(:)
    complex(c_float_complex) :: r
    call f_dotprod_c8(r, mox2_describe(a), mox2_describe(b))
  end function dot_product_c8

  function dot_product_c16(a, b) result(r)
    complex(c_double_complex), intent(in), target :: a(:), b(:)
    complex(c_double_complex) :: r
    call f_dotprod_c16(r, mox2_describe(a), mox2_describe(b))
  end function dot_product_c16

  function dot_product_l4(a, b) result(r)
    logical(4), intent(in), target :: a(:), b(:)
    logical(4) :: r
    r = f_dotprod_l4(mox2_describe(a), mox2_describe(b)) /= 0
  end function dot_product_l4

  logical function all_1(mask)
    logical(4), intent(in), target :: mask(:)
    all_1 = f_all_s1(mox2_describe(mask)) /= 0
  end function all_1

  logical function all_2(mask)
    logical(4), intent(in), target :: mask(:, :)
    all_2 = f_all_s2(mox2_describe(mask)) /= 0
  end function all_2

  logical function all_3(mask)
    logical(4), intent(in), target :: mask(:, :, :)
    all_3 = f_all_s3(mox2_describe(mask)) /= 0
  end function all_3

  ! A rank-1 mask along DIM = 1 is the whole mask; any other DIM goes to
  ! the rank-2 form, which ends the process with the illegal-DIM diagnostic.
  logical function all_dim_1(mask, dim)
    logical(4), intent(in), target :: mask(:)
    integer, intent(in) :: dim
    type(mox2_dope_vector1) :: d
    if (dim /= 1) call f_all_a2(d, mox2_describe(reshape(mask, [size(mask), 1])), 0)
    all_dim_1 = f_all_s1(mox2_describe(mask)) /= 0
  end function all_dim_1

  function all_dim_2(mask, dim) result(r)
    logical(4), intent(in), target :: mask(:, :)
    integer, intent(in) :: dim
    logical, allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_all_a2(d, mox2_describe(mask), int(dim, c_int32_t))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function all_dim_2

  function all_dim_3(mask, dim) result(r)
    logical(4), intent(in), target :: mask(:, :, :)
    integer, intent(in) :: dim
    logical, allocatable :: r(:, :)
    integer(c_int32_t), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_all_a3(d, mox2_describe(mask), int(dim, c_int32_t))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function all_dim_3

  logical function any_1(mask)
    logical(4), intent(in), target :: mask(:)
    any_1 = f_any_s1(mox2_describe(mask)) /= 0
  end function any_1

  logical function any_2(mask)
    logical(4), intent(in), target :: mask(:, :)
    any_2 = f_any_s2(mox2_describe(mask)) /= 0
  end function any_2

  logical function any_3(mask)
    logical(4), intent(in), target :: mask(:, :, :)
    any_3 = f_any_s3(mox2_describe(mask)) /= 0
  end function any_3

  ! A rank-1 mask along DIM = 1 is the whole mask; any other DIM goes to
  ! the rank-2 form, which ends the process with the illegal-DIM diagnostic.
  logical function any_dim_1(mask, dim)
    logical(4), intent(in), target :: mask(:)
    integer, intent(in) :: dim
    type(mox2_dope_vector1) :: d
    if (dim /= 1) call f_any_a2(d, mox2_describe(reshape(mask, [size(mask), 1])), 0)
    any_dim_1 = f_any_s1(mox2_describe(mask)) /= 0
  end function any_dim_1

  function any_dim_2(mask, dim) result(r)
    logical(4), intent(in), target :: mask(:, :)
    integer, intent(in) :: dim
    logical, allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_any_a2(d, mox2_describe(mask), int(dim, c_int32_t))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function any_dim_2

  function any_dim_3(mask, dim) result(r)
    logical(4), intent(in), target :: mask(:, :, :)
    integer, intent(in) :: dim
    logical, allocatable :: r(:, :)
    integer(c_int32_t), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_any_a3(d, mox2_describe(mask), int(dim, c_int32_t))
    call c_f_pointer(d%base, p, d%extent)
    r = p /= 0
    call c_free(d%base)
  end function any_dim_3

  integer function count_1(mask)
    logical(4), intent(in), target :: mask(:)
    count_1 = f_count_s1(mox2_describe(mask))
  end function count_1

  integer function count_2(mask)
    logical(4), intent(in), target :: mask(:, :)
    count_2 = f_count_s2(mox2_describe(mask))
  end function count_2

  integer function count_3(mask)
    logical(4), intent(in), target :: mask(:, :, :)
    count_3 = f_count_s3(mox2_describe(mask))
  end function count_3

  ! A rank-1 mask along DIM = 1 is the whole mask; any other DIM goes to
  ! the rank-2 form, which ends the process with the illegal-DIM diagnostic.
  integer function count_dim_1(mask, dim)
    logical(4), intent(in), target :: mask(:)
    integer, intent(in) :: dim
    type(mox2_dope_vector1) :: d
    if (dim /= 1) call f_count_a2(d, mox2_describe(reshape(mask, [size(mask), 1])), 0)
    count_dim_1 = f_count_s1(mox2_describe(mask))
  end function count_dim_1

  function count_dim_2(mask, dim) result(r)
    logical(4), intent(in), target :: mask(:, :)
    integer, intent(in) :: dim
    integer, allocatable :: r(:)
    integer(c_int32_t), pointer :: p(:)
    type(mox2_dope_vector1) :: d
    call f_count_a2(d, mox2_describe(mask), int(dim, c_int32_t))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function count_dim_2

  function count_dim_3(mask, dim) result(r)
    logical(4), intent(in), target :: mask(:, :, :)
    integer, intent(in) :: dim
    integer, allocatable :: r(:, :)
    integer(c_int32_t), pointer :: p(:, :)
    type(mox2_dope_vector2) :: d
    call f_count_a3(d, mox2_describe(mask), int(dim, c_int32_t))
    call c_f_pointer(d%base, p, d%extent)
    r = p
    call c_free(d%base)
  end function count_dim_3

end module mox2
