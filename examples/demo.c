/* mox2 demonstration: calls the library's entry points the way compiled
   Fortran does, on dope vectors, and prints what they return. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "mox2_isa.h"

/* ALL, ANY and COUNT of LOGICAL(4) arrays, whole and along a dimension. */
static void logical_reductions(void) {
  /* M = [T F T F; T T T T; T F T T], three rows, stored column by column. */
  int32_t m[12] = {1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 1, 1};
  mox2_dope_vector2 mask = {m, {3, 4}, {4, 12}};
  printf("M = [T F T F; T T T T; T F T T]\n");
  printf("  ALL(M) = %d, ANY(M) = %d, COUNT(M) = %d\n", __f_all_s2_l4(&mask), __f_any_s2_l4(&mask),
         __f_count_s2_l4(&mask));

  mox2_dope_vector1 counts; /* COUNT(M, DIM=1): one count per column */
  __f_count_a2_l4(&counts, &mask, 1);
  int32_t *c = counts.base;
  printf("  COUNT(M, DIM=1) = [%d %d %d %d]\n", c[0], c[1], c[2], c[3]);
  free(counts.base);

  mox2_dope_vector1 rows; /* ALL(M, DIM=2): one LOGICAL(4) per row */
  __f_all_a2_l4(&rows, &mask, 2);
  int32_t *r = rows.base;
  printf("  ALL(M, DIM=2) = [%d %d %d] (extent %ld, stride %ld bytes)\n", r[0], r[1], r[2],
         (long)rows.extent[0], (long)rows.stride[0]);
  free(rows.base);

  /* V(8:1:-2) of a LOGICAL(1) vector: base at V(8), stride -2 bytes. */
  int8_t v[8] = {0, 1, 0, 1, 1, 0, 0, 1};
  mox2_dope_vector1 back = {&v[7], {4}, {-2}};
  printf("V = [F T F T T F F T]\n");
  printf("  COUNT(V(8:1:-2)) = %d, ALL(V(8:1:-2)) = %d, ANY(V(7:1:-2)) = %d\n",
         __f_count_s1_l1(&back), __f_all_s1_l1(&back),
         __f_any_s1_l1(&(mox2_dope_vector1){&v[6], {4}, {-2}}));
}

int main(void) {
  printf("mox2 demonstration\n\n");
  logical_reductions();
  return 0;
}
