// Element types of the library: one constexpr traits table for the 14 type
// codes, generated from MOX2_ELEMENT_TYPES, and the loads and stores that
// every intrinsic uses on operands that are only 4-byte aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The public prototypes are the only symbols with default visibility.
#pragma GCC visibility push(default)
#include "frame/isa_namespace.h"
#include "mox2_isa.h"
#pragma GCC visibility pop

namespace mox2 {

enum class TypeClass : std::uint8_t { integer, real, complex, logical };

enum class TypeCode : std::uint8_t {
#define MOX2_TYPE_CODE_(code, ctype, cls, kind, size) code,
  MOX2_ELEMENT_TYPES(MOX2_TYPE_CODE_)
#undef MOX2_TYPE_CODE_
};

inline constexpr int kTypeCount = 14;

// The traits of one element type, as values.
struct TypeInfo {
  TypeCode code;
  const char *name;
  TypeClass cls;
  int kind; // KIND of the type (of each part, for COMPLEX)
  int size; // E, the element size in bytes
};

inline constexpr TypeInfo kTypes[kTypeCount] = {
#define MOX2_TYPE_INFO_(code, ctype, cls, kind, size)                                              \
  {TypeCode::code, #code, TypeClass::cls, kind, size},
    MOX2_ELEMENT_TYPES(MOX2_TYPE_INFO_)
#undef MOX2_TYPE_INFO_
};

constexpr const TypeInfo &type_info(TypeCode c) { return kTypes[static_cast<int>(c)]; }

// The traits of one element type, as a type: Element<TypeCode::r8>::type is
// double.  Complex elements are Complex<Part>; `part` is the REAL of one
// part (the type itself for non-complex types).
template <TypeCode C> struct Element;
#define MOX2_ELEMENT_TRAITS_(c, ctype, klass, k, sz)                                               \
  template <> struct Element<TypeCode::c> {                                                        \
    using type = ctype;                                                                            \
    static constexpr TypeCode code = TypeCode::c;                                                  \
    static constexpr TypeClass cls = TypeClass::klass;                                             \
    static constexpr int kind = k;                                                                 \
    static constexpr int size = sz;                                                                \
  };
MOX2_ELEMENT_TYPES(MOX2_ELEMENT_TRAITS_)
#undef MOX2_ELEMENT_TRAITS_

template <TypeCode C> using ElementType = typename Element<C>::type;

template <class T> struct PartOf { using type = T; };
template <class P> struct PartOf<Complex<P>> { using type = P; };
template <class T> using Part = typename PartOf<T>::type;

template <TypeCode C> inline constexpr bool is_complex = Element<C>::cls == TypeClass::complex;
template <TypeCode C> inline constexpr bool is_logical = Element<C>::cls == TypeClass::logical;
template <TypeCode C> inline constexpr bool is_integer = Element<C>::cls == TypeClass::integer;
template <TypeCode C> inline constexpr bool is_real = Element<C>::cls == TypeClass::real;

template <class T> inline constexpr bool is_complex_element = false;
template <class P> inline constexpr bool is_complex_element<Complex<P>> = true;

inline namespace MOX2_ISA_NAMESPACE {

// alpha = 0 and beta = 1 in the sense of each type: both parts for complex.
template <class T> inline bool is_zero(const T &v) {
  if constexpr (is_complex_element<T>)
    return v.re == 0 && v.im == 0;
  else
    return v == 0;
}
template <class T> inline bool is_one(const T &v) {
  if constexpr (is_complex_element<T>)
    return v.re == 1 && v.im == 0;
  else
    return v == 1;
}

// Operands and results of the intrinsics are only known to be aligned to
// min(E, 4) bytes: every element access goes through these.
template <class T> inline T load(const void *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T> inline void store(void *p, const T &v) { std::memcpy(p, &v, sizeof v); }
} // namespace MOX2_ISA_NAMESPACE

} // namespace mox2
