! Oracles: gfortran's own intrinsics on the tests' arrays, reached from
! C++ through bind(C) wrappers.  Each subsystem adds its own file here.
module mox2_oracle_base
  use iso_c_binding
  implicit none
end module mox2_oracle_base
