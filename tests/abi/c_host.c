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

  {
    /* One sine/cosine sample through a model: phase 0 gives (cos, sin) with
     * the cosine large and the sine within a few units of zero. */
    zelip_cordic_v6_0_config cfg;
    zelip_cordic_v6_0_model *m;
    zelip_array_real *phase = zelip_cordic_v6_0_zelip_array_real_create();
    zelip_array_complex *cart = zelip_cordic_v6_0_zelip_array_complex_create();
    zelip_cordic_v6_0_default_config(&cfg);
    cfg.CordicFunction = 2;
    m = zelip_cordic_v6_0_create(&cfg, NULL, NULL);
    if (m == NULL || phase == NULL || cart == NULL ||
        zelip_cordic_v6_0_zelip_array_real_reserve_data(phase, 1) != 0 ||
        zelip_cordic_v6_0_zelip_array_real_reserve_dim(phase, 1) != 0 ||
        zelip_cordic_v6_0_zelip_array_complex_reserve_data(cart, 1) != 0 ||
        zelip_cordic_v6_0_zelip_array_complex_reserve_dim(cart, 1) != 0) {
      puts("CORDIC model or arrays failed");
      ++failures;
    } else {
      phase->data[0] = 0.0;
      phase->data_size = 1;
      phase->dim[0] = 1;
      phase->dim_size = 1;
      cart->data_size = 1;
      cart->dim[0] = 1;
      cart->dim_size = 1;
      if (zelip_cordic_v6_0_sin_cos(m, phase, cart, 1) != 0 || !(cart->data[0].re > 16000.0) ||
          !(cart->data[0].im > -4.0 && cart->data[0].im < 4.0)) {
        puts("sin_cos failed");
        ++failures;
      }
    }
    zelip_cordic_v6_0_destroy(m);
    zelip_cordic_v6_0_zelip_array_real_destroy(phase);
    zelip_cordic_v6_0_zelip_array_complex_destroy(cart);
  }
  return failures;
}
