#include "frame/errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

// Termination clean-up: flush what the program wrote to standard output.
void __f90_cleanup() { std::fflush(stdout); }

// Message format 5 consumes the message number and then its text.
const char *__f90_mfmt(int format) {
  return format == 5 ? "libmox2_isa: error %d: %s\n" : "libmox2_isa: %d: %s\n";
}

const char *__f90_rmsg(int message) {
  switch (message) {
  case 1191: return "array argument is not associated";
  case 1192: return "DIM argument is out of range";
  case 1193: return "source array is too small for the result";
  case 1194: return "array of size zero is not allowed here";
  case 1195: return "shape argument has a negative element";
  case 1196: return "kind value is not supported";
  case 1197: return "array arguments are not conformable";
  default: return "unknown error";
  }
}

} // extern "C"

namespace {
// The fixed order: clean-up, then format and text, then print, then abort.
[[noreturn]] void report_and_abort(int number, bool c_library_error) {
  __f90_cleanup();
  const char *fmt = __f90_mfmt(5);
  const char *text = c_library_error ? std::strerror(number) : __f90_rmsg(number);
  std::fprintf(stderr, fmt, number, text);
  std::abort();
}
} // namespace

extern "C" {
void __f_unassociated_array() { report_and_abort(1191, false); }
void __f_illegal_dimension() { report_and_abort(1192, false); }
void __f_small_source_size() { report_and_abort(1193, false); }
void __f_zero_array_size() { report_and_abort(1194, false); }
void __f_negative_elements_in_shape() { report_and_abort(1195, false); }
void __f_illegal_kind() { report_and_abort(1196, false); }
void __f_nonconformable_array() { report_and_abort(1197, false); }
void __f_out_of_space() { report_and_abort(ENOMEM, true); }
}
