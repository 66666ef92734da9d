/*
 * mox2_isa.h: public interface of libmox2_isa.so.2.
 *
 * The library evaluates the Fortran 95 intrinsics ALL, ANY, COUNT,
 * DOT_PRODUCT and MATMUL on arrays passed as dope vectors, and exports
 * threaded GEMV and GEMM with the argument conventions of the BLAS.
 * Usable from C and C++ (GCC or Clang).  REAL(16) is IEEE binary128:
 * __float128 on x86-64, long double on aarch64 (mox2_r16 names it).
 *
 * The contract (docs/contract.md says more):
 * - Dope vector of rank r (mox2_dope_vector1 ... 7): the address of the
 *   first element in array order, A(1,1,...), also when strides are
 *   negative (null: not associated); then r extents, extent[0] the first
 *   Fortran dimension; then r signed strides in bytes.  Element (i1, ...,
 *   ir), 1-based, lies at base + (i1-1)*stride[0] + ... + (ir-1)*stride[r-1].
 *   An empty array still needs a base that is not null.
 * - Result descriptors are output only: the library writes every word and
 *   allocates the result with malloc (contiguous, column-major, at least one
 *   element's bytes even when empty); the caller releases it with free.
 * - DIM is 1-based, as in Fortran, and passed by value.
 * - Errors: the intrinsic entry points print one line on standard error and
 *   abort (operand not associated, DIM out of range, no memory); the
 *   __f95_ GEMV and GEMM entry points zero their output on invalid
 *   arguments and report nothing (libmox2_blas, mox2_cblas.h, checks and
 *   reports as the reference BLAS does).
 * - Threads: large GEMV, GEMM and MATMUL products run on an OpenMP team
 *   (OMP_NUM_THREADS, omp_set_num_threads; within a parallel region the
 *   nested team, usually one thread).  Results depend bit for bit on the
 *   inputs and the team size T and on nothing else: not the CPU, not the
 *   instruction set the library picks.
 * - Kernel set: chosen once, at the first call, from CPUID: AVX-512, AVX2
 *   or portable code.  MOX2_KERNEL_SET=portable, avx2 or avx512, as set at
 *   that moment, caps the choice (never above what the CPU supports; other
 *   values are ignored): a speed knob, e.g. to measure the AVX2 set on an
 *   AVX-512 machine.  It changes no result.
 * - Thread safety: no state between calls; every entry point may be called
 *   from several threads at once.
 * - Version: MOX2_VERSION_MAJOR, _MINOR, _PATCH (mox2_version.h); the file
 *   is libmox2_isa.so.MAJOR.MINOR.PATCH with SONAME libmox2_isa.so.2.
 */
#ifndef MOX2_ISA_H
#define MOX2_ISA_H

#include <stddef.h>
#include <stdint.h>

#include "mox2_isa_entries.h"
#include "mox2_version.h"

/* IEEE binary128 (113-bit significand), the C type of REAL(16). */
#if defined(__x86_64__) || defined(__i386__)
#define MOX2_BINARY128 __float128
#ifdef __FLT128_MANT_DIG__
#define MOX2_BINARY128_MANT_DIG_ __FLT128_MANT_DIG__
#else
#define MOX2_BINARY128_MANT_DIG_ 113 /* compilers that do not name it */
#endif
#else
#define MOX2_BINARY128 long double
#define MOX2_BINARY128_MANT_DIG_ __LDBL_MANT_DIG__
#endif
#if defined(__cplusplus)
static_assert(MOX2_BINARY128_MANT_DIG_ == 113 && sizeof(MOX2_BINARY128) == 16,
              "REAL(16) needs IEEE binary128");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(MOX2_BINARY128_MANT_DIG_ == 113 && sizeof(MOX2_BINARY128) == 16,
               "REAL(16) needs IEEE binary128");
#endif

#ifdef __cplusplus
namespace mox2 {
/* COMPLEX(k): a pair of REAL(k), real part first. */
template <class Part> struct Complex {
  Part re;
  Part im;
};
} // namespace mox2
typedef mox2::Complex<float> mox2_complex_r4;
typedef mox2::Complex<double> mox2_complex_r8;
typedef mox2::Complex<MOX2_BINARY128> mox2_complex_r16;
extern "C" {
#else
typedef struct mox2_complex_r4 {
  float re, im;
} mox2_complex_r4;
typedef struct mox2_complex_r8 {
  double re, im;
} mox2_complex_r8;
typedef struct mox2_complex_r16 {
  MOX2_BINARY128 re, im;
} mox2_complex_r16;
#endif

/* mox2_i1 ... mox2_l8: the C type of each element type code. */
#define MOX2_DECLARE_ELEMENT_TYPE_(code, ctype, cls, kind, size) typedef ctype mox2_##code;
MOX2_ELEMENT_TYPES(MOX2_DECLARE_ELEMENT_TYPE_)
#undef MOX2_DECLARE_ELEMENT_TYPE_

/* mox2_dope_vector1 ... mox2_dope_vector7. */
#define MOX2_DECLARE_DOPE_VECTOR_(r)                                           \
  typedef struct mox2_dope_vector##r {                                         \
    void *base;                                                                \
    intptr_t extent[r];                                                        \
    intptr_t stride[r];                                                        \
  } mox2_dope_vector##r;
MOX2_DECLARE_DOPE_VECTOR_(1)
MOX2_DECLARE_DOPE_VECTOR_(2)
MOX2_DECLARE_DOPE_VECTOR_(3)
MOX2_DECLARE_DOPE_VECTOR_(4)
MOX2_DECLARE_DOPE_VECTOR_(5)
MOX2_DECLARE_DOPE_VECTOR_(6)
MOX2_DECLARE_DOPE_VECTOR_(7)
#undef MOX2_DECLARE_DOPE_VECTOR_
/* Rank-0 result of a reduction along DIM: only the base address. */
typedef struct mox2_dope_vector0 {
  void *base;
} mox2_dope_vector0;

/* ---- Signatures, shared by these prototypes and the definitions ------- */

#define MOX2_RANK_BELOW_2 1
#define MOX2_RANK_BELOW_3 2
#define MOX2_RANK_BELOW_4 3
#define MOX2_RANK_BELOW_5 4
#define MOX2_RANK_BELOW_6 5
#define MOX2_RANK_BELOW_7 6
#define MOX2_CAT_(a, b) a##b
#define MOX2_CAT(a, b) MOX2_CAT_(a, b)

/* ALL and ANY return LOGICAL(k); COUNT returns default INTEGER. */
#define MOX2_REDUCTION_RESULT_all(k) mox2_l##k
#define MOX2_REDUCTION_RESULT_any(k) mox2_l##k
#define MOX2_REDUCTION_RESULT_count(k) int32_t
#define MOX2_REDUCTION_S_SIGNATURE(op, r, k)                                   \
  MOX2_REDUCTION_RESULT_##op(k) __f_##op##_s##r##_l##k(const mox2_dope_vector##r *mask)
#define MOX2_REDUCTION_A_SIGNATURE(op, r, k)                                   \
  void __f_##op##_a##r##_l##k(MOX2_CAT(mox2_dope_vector, MOX2_RANK_BELOW_##r) * result, \
                              const mox2_dope_vector##r *mask, int32_t dim)

/* DOT_PRODUCT: scalar results by value, complex ones through a hidden first argument. */
#define MOX2_DOTPROD_BY_VALUE_(t, name)                                        \
  mox2_##t name(const mox2_dope_vector1 *a, const mox2_dope_vector1 *b)
#define MOX2_DOTPROD_BY_ADDRESS_(t, name)                                      \
  void name(mox2_##t *result, const mox2_dope_vector1 *a, const mox2_dope_vector1 *b)
#define MOX2_DOTPROD_SIGNATURE_i4(name) MOX2_DOTPROD_BY_VALUE_(i4, name)
#define MOX2_DOTPROD_SIGNATURE_i8(name) MOX2_DOTPROD_BY_VALUE_(i8, name)
#define MOX2_DOTPROD_SIGNATURE_r4(name) MOX2_DOTPROD_BY_VALUE_(r4, name)
#define MOX2_DOTPROD_SIGNATURE_r8(name) MOX2_DOTPROD_BY_VALUE_(r8, name)
#define MOX2_DOTPROD_SIGNATURE_r16(name) MOX2_DOTPROD_BY_VALUE_(r16, name)
#define MOX2_DOTPROD_SIGNATURE_c8(name) MOX2_DOTPROD_BY_ADDRESS_(c8, name)
#define MOX2_DOTPROD_SIGNATURE_c16(name) MOX2_DOTPROD_BY_ADDRESS_(c16, name)
#define MOX2_DOTPROD_SIGNATURE_c32(name) MOX2_DOTPROD_BY_ADDRESS_(c32, name)
#define MOX2_DOTPROD_SIGNATURE(a, b, r) MOX2_DOTPROD_SIGNATURE_##r(__f_dotprod_s1_##a##b)

/* MATMUL: (result, MATRIX_A, MATRIX_B) dope vectors of the form's ranks. */
#define MOX2_MATMUL_SIGNATURE(form, rr, ra, rb, a, b)                          \
  void __f_matmul_##form##_##a##b(mox2_dope_vector##rr *result,                \
                                  const mox2_dope_vector##ra *a_,              \
                                  const mox2_dope_vector##rb *b_)

/* BLAS GEMV and GEMM; every argument by address, character lengths by value. */
#define MOX2_GEMV_SIGNATURE(p, t)                                              \
  void __f95_##p##gemv_(const char *trans, const int32_t *m, const int32_t *n, \
                        const mox2_##t *alpha, const mox2_##t *a,              \
                        const int32_t *lda, const mox2_##t *x,                 \
                        const int32_t *incx, const mox2_##t *beta,             \
                        mox2_##t *y, const int32_t *incy, size_t trans_len)
#define MOX2_GEMM_SIGNATURE(p, t)                                              \
  void __f95_##p##gemm_(const char *transa, const char *transb,                \
                        const int32_t *m, const int32_t *n, const int32_t *k,  \
                        const mox2_##t *alpha, const mox2_##t *a,              \
                        const int32_t *lda, const mox2_##t *b,                 \
                        const int32_t *ldb, const mox2_##t *beta, mox2_##t *c, \
                        const int32_t *ldc, size_t transa_len,                 \
                        size_t transb_len)

/* ---- Prototypes --------------------------------------------------------- */

#define MOX2_DECLARE_REDUCTION_S_(op, r, k) MOX2_REDUCTION_S_SIGNATURE(op, r, k);
#define MOX2_DECLARE_REDUCTION_A_(op, r, k) MOX2_REDUCTION_A_SIGNATURE(op, r, k);
#define MOX2_DECLARE_DOTPROD_(a, b, r) MOX2_DOTPROD_SIGNATURE(a, b, r);
#define MOX2_DECLARE_MATMUL_a12_(a, b, r) MOX2_MATMUL_SIGNATURE(a12, 1, 1, 2, a, b);
#define MOX2_DECLARE_MATMUL_a21_(a, b, r) MOX2_MATMUL_SIGNATURE(a21, 1, 2, 1, a, b);
#define MOX2_DECLARE_MATMUL_a22_(a, b, r) MOX2_MATMUL_SIGNATURE(a22, 2, 2, 2, a, b);
#define MOX2_DECLARE_BLAS_(p, t) MOX2_GEMV_SIGNATURE(p, t); MOX2_GEMM_SIGNATURE(p, t);

MOX2_REDUCTION_S_ENTRIES(MOX2_DECLARE_REDUCTION_S_)
MOX2_REDUCTION_A_ENTRIES(MOX2_DECLARE_REDUCTION_A_)
MOX2_DOTPROD_PAIRS(MOX2_DECLARE_DOTPROD_)
MOX2_MATMUL_PAIRS(MOX2_DECLARE_MATMUL_a12_)
MOX2_MATMUL_PAIRS(MOX2_DECLARE_MATMUL_a21_)
MOX2_MATMUL_PAIRS(MOX2_DECLARE_MATMUL_a22_)
MOX2_BLAS_TYPES(MOX2_DECLARE_BLAS_)

#undef MOX2_DECLARE_REDUCTION_S_
#undef MOX2_DECLARE_REDUCTION_A_
#undef MOX2_DECLARE_DOTPROD_
#undef MOX2_DECLARE_MATMUL_a12_
#undef MOX2_DECLARE_MATMUL_a21_
#undef MOX2_DECLARE_MATMUL_a22_
#undef MOX2_DECLARE_BLAS_

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* MOX2_ISA_H */
