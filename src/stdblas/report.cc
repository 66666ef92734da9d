// Error reports of the standard names.  The handlers are the process's own:
// xerbla_ and cblas_xerbla are referenced weakly, so that the program's
// definitions (the reference testers' checking ones among them) or those of
// a BLAS loaded beside this library take the call.  When no loaded object
// defines them, the reference messages are printed on standard error and
// the call returns: this library never ends the process.
#include <cctype>
#include <cstdio>

#include "stdblas/reference_checks.h"

extern "C" {
void xerbla_(const char *name, const std::int32_t *info, std::size_t name_length)
    __attribute__((weak));
void cblas_xerbla(int info, const char *routine, const char *format, ...) __attribute__((weak));
}

namespace mox2::stdblas {

void report_fortran(char precision, const char *routine, int info) {
  // The reference routine name, blank-padded to six characters.
  const char name[7] = {static_cast<char>(std::toupper(static_cast<unsigned char>(precision))),
                        routine[0],
                        routine[1],
                        routine[2],
                        routine[3],
                        ' ',
                        '\0'};
  if (xerbla_ != nullptr) {
    const std::int32_t number = info;
    xerbla_(name, &number, 6);
    return;
  }
  std::fprintf(stderr, " ** On entry to %.5s parameter number %2d had an illegal value\n", name,
               info);
}

void report_cblas(int number, int user_number, const char *routine, const char *format, int value) {
  if (cblas_xerbla != nullptr) {
    cblas_xerbla(number, routine, format, value);
    return;
  }
  std::fprintf(stderr, "Parameter %d to routine %s was incorrect\n", user_number, routine);
  std::fprintf(stderr, format, value);
}

} // namespace mox2::stdblas
