/*
 * mox2_isa_entries.h: the one list of the library's element types and entry
 * points.  Everything that names an entry point (the prototypes in
 * mox2_isa.h, the extern "C" definitions, the version script, the ABI test)
 * expands these lists; no entry-point name is written out anywhere else.
 *
 * Each list takes the name of a macro X and applies it to every member.
 */
#ifndef MOX2_ISA_ENTRIES_H
#define MOX2_ISA_ENTRIES_H

/*
 * The 14 element types: X(code, C type, class, kind, size in bytes).
 * COMPLEX(k) is a pair of REAL(k), real part first; its code counts the
 * bytes of the pair (c8 = COMPLEX(4)).  LOGICAL(k) is a signed k-byte
 * integer whose canonical values are 0 and 1.  REAL(16) is IEEE binary128,
 * spelled MOX2_BINARY128 (mox2_isa.h).
 */
#define MOX2_ELEMENT_TYPES(X)                                                  \
  X(i1, int8_t, integer, 1, 1)                                                 \
  X(i2, int16_t, integer, 2, 2)                                                \
  X(i4, int32_t, integer, 4, 4)                                                \
  X(i8, int64_t, integer, 8, 8)                                                \
  X(r4, float, real, 4, 4)                                                     \
  X(r8, double, real, 8, 8)                                                    \
  X(r16, MOX2_BINARY128, real, 16, 16)                                         \
  X(c8, mox2_complex_r4, complex, 4, 8)                                        \
  X(c16, mox2_complex_r8, complex, 8, 16)                                      \
  X(c32, mox2_complex_r16, complex, 16, 32)                                    \
  X(l1, int8_t, logical, 1, 1)                                                 \
  X(l2, int16_t, logical, 2, 2)                                                \
  X(l4, int32_t, logical, 4, 4)                                                \
  X(l8, int64_t, logical, 8, 8)

/* ---- ALL, ANY, COUNT ------------------------------------------------- */

#define MOX2_REDUCTION_KINDS_(X, op, r) X(op, r, 1) X(op, r, 2) X(op, r, 4) X(op, r, 8)
#define MOX2_REDUCTION_RANKS_2_7_(X, op)                                       \
  MOX2_REDUCTION_KINDS_(X, op, 2)                                              \
  MOX2_REDUCTION_KINDS_(X, op, 3)                                              \
  MOX2_REDUCTION_KINDS_(X, op, 4)                                              \
  MOX2_REDUCTION_KINDS_(X, op, 5)                                              \
  MOX2_REDUCTION_KINDS_(X, op, 6)                                              \
  MOX2_REDUCTION_KINDS_(X, op, 7)

/* Rank-1 workers: X(op, 1, kind); 12 entries. */
#define MOX2_REDUCTION_WORKERS(X)                                              \
  MOX2_REDUCTION_KINDS_(X, all, 1)                                             \
  MOX2_REDUCTION_KINDS_(X, any, 1)                                             \
  MOX2_REDUCTION_KINDS_(X, count, 1)

/* Whole-array reductions of rank 2 to 7: X(op, rank, kind); 72 entries. */
#define MOX2_REDUCTION_COLUMN_WALKS(X)                                         \
  MOX2_REDUCTION_RANKS_2_7_(X, all)                                            \
  MOX2_REDUCTION_RANKS_2_7_(X, any)                                            \
  MOX2_REDUCTION_RANKS_2_7_(X, count)

/* Whole-array reductions __f_<op>_s<rank>_l<kind>: 84 entries. */
#define MOX2_REDUCTION_S_ENTRIES(X)                                            \
  MOX2_REDUCTION_WORKERS(X) MOX2_REDUCTION_COLUMN_WALKS(X)

/* Reductions along DIM __f_<op>_a<rank>_l<kind>: 72 entries. */
#define MOX2_REDUCTION_A_ENTRIES(X) MOX2_REDUCTION_COLUMN_WALKS(X)

/* ---- DOT_PRODUCT and MATMUL type pairs --------------------------------- */

/* One row of a numeric promotion matrix: operand a against b = i1 ... c32. */
#define MOX2_ROW10_(X, a, ri1, ri2, ri4, ri8, rr4, rr8, rr16, rc8, rc16, rc32) \
  X(a, i1, ri1) X(a, i2, ri2) X(a, i4, ri4) X(a, i8, ri8) X(a, r4, rr4)        \
  X(a, r8, rr8) X(a, r16, rr16) X(a, c8, rc8) X(a, c16, rc16) X(a, c32, rc32)
/* One row of a LOGICAL promotion matrix: operand a against b = l1 ... l8. */
#define MOX2_ROW4_(X, a, rl1, rl2, rl4, rl8)                                   \
  X(a, l1, rl1) X(a, l2, rl2) X(a, l4, rl4) X(a, l8, rl8)

/*
 * DOT_PRODUCT result types: X(type of VECTOR_A, type of VECTOR_B, result).
 * REAL with COMPLEX keeps the COMPLEX kind; LOGICAL pairs give a default or
 * 64-bit INTEGER 0 or 1.  116 entries.
 */
#define MOX2_DOTPROD_PAIRS(X)                                                  \
  MOX2_ROW10_(X, i1, i4, i4, i4, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, i2, i4, i4, i4, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, i4, i4, i4, i4, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, i8, i8, i8, i8, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, r4, r4, r4, r4, r4, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, r8, r8, r8, r8, r8, r8, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, r16, r16, r16, r16, r16, r16, r16, r16, c8, c16, c32)         \
  MOX2_ROW10_(X, c8, c8, c8, c8, c8, c8, c8, c8, c8, c16, c32)                 \
  MOX2_ROW10_(X, c16, c16, c16, c16, c16, c16, c16, c16, c16, c16, c32)        \
  MOX2_ROW10_(X, c32, c32, c32, c32, c32, c32, c32, c32, c32, c32, c32)        \
  MOX2_ROW4_(X, l1, i4, i4, i4, i8)                                            \
  MOX2_ROW4_(X, l2, i4, i4, i4, i8)                                            \
  MOX2_ROW4_(X, l4, i4, i4, i4, i8)                                            \
  MOX2_ROW4_(X, l8, i8, i8, i8, i8)

/*
 * MATMUL result types: X(type of MATRIX_A, type of MATRIX_B, result).
 * REAL with COMPLEX widens to the larger part kind (c8 with r8 gives c16).
 * 116 entries; each is served in the three rank forms a12, a21 and a22.
 */
#define MOX2_MATMUL_PAIRS(X)                                                   \
  MOX2_ROW10_(X, i1, i1, i2, i4, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, i2, i2, i2, i4, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, i4, i4, i4, i4, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, i8, i8, i8, i8, i8, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, r4, r4, r4, r4, r4, r4, r8, r16, c8, c16, c32)                \
  MOX2_ROW10_(X, r8, r8, r8, r8, r8, r8, r8, r16, c16, c16, c32)               \
  MOX2_ROW10_(X, r16, r16, r16, r16, r16, r16, r16, r16, c32, c32, c32)        \
  MOX2_ROW10_(X, c8, c8, c8, c8, c8, c8, c16, c32, c8, c16, c32)               \
  MOX2_ROW10_(X, c16, c16, c16, c16, c16, c16, c16, c32, c16, c16, c32)        \
  MOX2_ROW10_(X, c32, c32, c32, c32, c32, c32, c32, c32, c32, c32, c32)        \
  MOX2_ROW4_(X, l1, l1, l2, l4, l8)                                            \
  MOX2_ROW4_(X, l2, l2, l2, l4, l8)                                            \
  MOX2_ROW4_(X, l4, l4, l4, l4, l8)                                            \
  MOX2_ROW4_(X, l8, l8, l8, l8, l8)

/* The MATMUL rank forms: X(form, rank of result, rank of a, rank of b). */
#define MOX2_MATMUL_FORMS(X) X(a12, 1, 1, 2) X(a21, 1, 2, 1) X(a22, 2, 2, 2)

/* ---- BLAS-interface entry points --------------------------------------- */

/* X(precision letter, element type code): __f95_<p>gemv_, __f95_<p>gemm_. */
#define MOX2_BLAS_TYPES(X) X(s, r4) X(d, r8) X(c, c8) X(z, c16)

#endif /* MOX2_ISA_ENTRIES_H */
