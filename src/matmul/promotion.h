// Result types of DOT_PRODUCT and MATMUL, written as rules.  The entry-point
// list carries the same matrices as data; every row of both is checked
// against these rules at compile time, so a typo in either fails the build.
//
// Also: the filter by which one source file defines only the entry points
// whose first operand belongs to a chosen class (the instantiations are
// spread over several files so that they compile in parallel).
#pragma once

#include "frame/types.h"

namespace mox2 {

constexpr TypeClass class_of(TypeCode c) { return type_info(c).cls; }
constexpr int kind_of(TypeCode c) { return type_info(c).kind; }

constexpr TypeCode integer_of_kind(int kind) {
  return kind == 1   ? TypeCode::i1
         : kind == 2 ? TypeCode::i2
         : kind == 4 ? TypeCode::i4
                     : TypeCode::i8;
}
constexpr TypeCode real_of_kind(int kind) {
  return kind == 4 ? TypeCode::r4 : kind == 8 ? TypeCode::r8 : TypeCode::r16;
}
constexpr TypeCode complex_of_kind(int kind) {
  return kind == 4 ? TypeCode::c8 : kind == 8 ? TypeCode::c16 : TypeCode::c32;
}
constexpr TypeCode logical_of_kind(int kind) {
  return kind == 1   ? TypeCode::l1
         : kind == 2 ? TypeCode::l2
         : kind == 4 ? TypeCode::l4
                     : TypeCode::l8;
}
constexpr int max_kind(int a, int b) { return a > b ? a : b; }

// MATMUL: the usual promotion.  INTEGER pairs give the larger kind; INTEGER
// with REAL or COMPLEX gives the other operand's type; REAL with COMPLEX
// gives COMPLEX of the larger part kind; LOGICAL pairs the larger kind.
constexpr TypeCode matmul_result(TypeCode a, TypeCode b) {
  TypeClass ca = class_of(a), cb = class_of(b);
  int k = max_kind(kind_of(a), kind_of(b));
  if (ca == TypeClass::logical) return logical_of_kind(k);
  if (ca == TypeClass::integer && cb == TypeClass::integer) return integer_of_kind(k);
  if (ca == TypeClass::integer) return b;
  if (cb == TypeClass::integer) return a;
  if (ca == TypeClass::complex || cb == TypeClass::complex) return complex_of_kind(k);
  return real_of_kind(k);
}

// DOT_PRODUCT: INTEGER pairs give default INTEGER (i4), or i8 when either is
// i8; REAL with COMPLEX keeps the COMPLEX operand's kind; LOGICAL pairs give
// the INTEGER 0 or 1, 64-bit when either operand is l8.
constexpr TypeCode dotprod_result(TypeCode a, TypeCode b) {
  TypeClass ca = class_of(a), cb = class_of(b);
  int k = max_kind(kind_of(a), kind_of(b));
  if (ca == TypeClass::logical || (ca == TypeClass::integer && cb == TypeClass::integer))
    return k == 8 ? TypeCode::i8 : TypeCode::i4;
  if (ca == TypeClass::complex && cb == TypeClass::real) return a;
  if (ca == TypeClass::real && cb == TypeClass::complex) return b;
  return matmul_result(a, b);
}

#define MOX2_CHECK_MATMUL_ROW_(a, b, r)                                                            \
  static_assert(matmul_result(TypeCode::a, TypeCode::b) == TypeCode::r,                            \
                "MATMUL result type of " #a " x " #b);
#define MOX2_CHECK_DOTPROD_ROW_(a, b, r)                                                           \
  static_assert(dotprod_result(TypeCode::a, TypeCode::b) == TypeCode::r,                           \
                "DOT_PRODUCT result type of " #a " x " #b);
MOX2_MATMUL_PAIRS(MOX2_CHECK_MATMUL_ROW_)
MOX2_DOTPROD_PAIRS(MOX2_CHECK_DOTPROD_ROW_)
#undef MOX2_CHECK_MATMUL_ROW_
#undef MOX2_CHECK_DOTPROD_ROW_

// The pairs that the fast paths take over (same-type REAL and COMPLEX of
// kinds 4 and 8: dot product, matrix x vector, matrix x matrix): they go to
// the level-1 kernels and the GEMV and GEMM entry points
// (dotprod/dotprod_fast.h, matmul/matmul_fast.h).
constexpr bool is_fast_path_pair(TypeCode a, TypeCode b) {
  return a == b &&
         (a == TypeCode::r4 || a == TypeCode::r8 || a == TypeCode::c8 || a == TypeCode::c16);
}
inline constexpr bool kFastPathsEnabled = true;
constexpr bool has_fast_path(TypeCode a, TypeCode b) {
  return kFastPathsEnabled && is_fast_path_pair(a, b);
}

} // namespace mox2

// Source-file filter: MOX2_FOR_CLASS_OF(a, x) expands to x when the class of
// type code a is enabled in the including file by defining
// MOX2_KEEP_<class>(...) as __VA_ARGS__ (and the others as nothing).
#define MOX2_CLASS_OF_i1 integer
#define MOX2_CLASS_OF_i2 integer
#define MOX2_CLASS_OF_i4 integer
#define MOX2_CLASS_OF_i8 integer
#define MOX2_CLASS_OF_r4 real
#define MOX2_CLASS_OF_r8 real
#define MOX2_CLASS_OF_r16 real
#define MOX2_CLASS_OF_c8 complex
#define MOX2_CLASS_OF_c16 complex
#define MOX2_CLASS_OF_c32 complex
#define MOX2_CLASS_OF_l1 logical
#define MOX2_CLASS_OF_l2 logical
#define MOX2_CLASS_OF_l4 logical
#define MOX2_CLASS_OF_l8 logical
#define MOX2_KEEP_BY_CLASS_(cls) MOX2_KEEP_##cls
#define MOX2_KEEP_BY_CLASS(cls) MOX2_KEEP_BY_CLASS_(cls)
#define MOX2_FOR_CLASS_OF(a, ...) MOX2_KEEP_BY_CLASS(MOX2_CLASS_OF_##a)(__VA_ARGS__)
