// MATMUL entry points (all three forms) whose MATRIX_A is of class integer.
#include "matmul/matmul.h"

#define MOX2_KEEP_integer(...) __VA_ARGS__
#define MOX2_KEEP_real(...)
#define MOX2_KEEP_complex(...)
#define MOX2_KEEP_logical(...)
#define MOX2_DEFINE_(a, b, r) MOX2_FOR_CLASS_OF(a, MOX2_DEFINE_MATMUL(a, b, r))

extern "C" {
MOX2_MATMUL_PAIRS(MOX2_DEFINE_)
}
