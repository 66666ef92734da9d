// Fatal diagnostics of the intrinsic entry points.  Each routine runs the
// Fortran run-time clean-up, prints "libmox2_isa: error <n>: <text>" on
// standard error and aborts; none returns.  The BLAS-interface entry points
// and the kernels never call them.
#pragma once

extern "C" {
[[noreturn]] void __f_unassociated_array();         // 1191
[[noreturn]] void __f_illegal_dimension();          // 1192
[[noreturn]] void __f_small_source_size();          // 1193
[[noreturn]] void __f_zero_array_size();            // 1194
[[noreturn]] void __f_negative_elements_in_shape(); // 1195
[[noreturn]] void __f_illegal_kind();               // 1196
[[noreturn]] void __f_nonconformable_array();       // 1197
[[noreturn]] void __f_out_of_space();               // ENOMEM

// The three run-time services the diagnostics use.
void __f90_cleanup();
const char *__f90_mfmt(int format);
const char *__f90_rmsg(int message);
}
