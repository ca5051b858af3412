/* A host written in plain C: proves that both public headers are C and that
 * both libraries link and run from C. */
#include "brevant.h"
#include "solvine.h"
#include "solvine_array.h"

#include <stdio.h>
#include <string.h>

int main(void) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  korvane_ip_zelfft_v9_0_state *s = korvane_ip_zelfft_v9_0_create_state(g);
  zelip_cordic_v6_0_config c;
  int failures = 0;

  if (s == NULL) { puts("create_state failed"); ++failures; }
  korvane_ip_zelfft_v9_0_destroy_state(s);
  korvane_ip_zelfft_v9_0_destroy_state(NULL);

  if (zelip_cordic_v6_0_default_config(&c) != 0 || strcmp(c.name, "Default configuration") != 0) {
    puts("default_config failed");
    ++failures;
  }
  if (strcmp(zelip_cordic_v6_0_get_version(), "6.0") != 0) { puts("get_version failed"); ++failures; }

  {
    /* An array of three reals, filled and read back through the exports. */
    zelip_array_real *a = zelip_cordic_v6_0_zelip_array_real_create();
    zelip_real v = 0.0;
    size_t i;
    if (a == NULL || zelip_cordic_v6_0_zelip_array_real_reserve_data(a, 3) != 0) {
      puts("array reserve failed");
      ++failures;
    } else {
      a->data_size = 3;
      for (i = 0; i < 3; ++i) zelip_cordic_v6_0_zelip_array_real_set_data(a, (zelip_real)(i * 7), i);
      if (zelip_cordic_v6_0_zelip_array_real_get_data(a, &v, 2) != 0 || v != 14.0) {
        puts("array get_data failed");
        ++failures;
      }
    }
    zelip_cordic_v6_0_zelip_array_real_destroy(a);
  }
  return failures;
}
