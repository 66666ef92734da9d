// DOT_PRODUCT entry points whose VECTOR_A is of class complex.
#include "dotprod/dotprod.h"

#define MOX2_KEEP_integer(...)
#define MOX2_KEEP_real(...)
#define MOX2_KEEP_complex(...) __VA_ARGS__
#define MOX2_KEEP_logical(...)
#define MOX2_DEFINE_(a, b, r) MOX2_FOR_CLASS_OF(a, MOX2_DEFINE_DOTPROD(a, b, r))

extern "C" {
MOX2_DOTPROD_PAIRS(MOX2_DEFINE_)
}
