/* A project outside this tree using the installed models: an impulse through
 * the default FFT core comes out flat, and the CORDIC library answers. */
#include <brevant/brevant.h>
#include <solvine/solvine.h>

#include <stdio.h>
#include <string.h>

int main(void) {
  static double xr[1024], xi[1024], yr[1024], yi[1024];
  int32_t sch[5] = {0, 0, 0, 0, 0};
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  korvane_ip_zelfft_v9_0_state *s = korvane_ip_zelfft_v9_0_create_state(g);
  korvane_ip_zelfft_v9_0_inputs in = {10, xr, 1024, xi, 1024, sch, 5, 1};
  korvane_ip_zelfft_v9_0_outputs out = {yr, 1024, yi, 1024, 0, 0};
  int k, flat = 1;

  xr[0] = 0.5;
  if (s == NULL || korvane_ip_zelfft_v9_0_bitacc_simulate(s, in, &out) != 0) return 1;
  for (k = 0; k < 1024; ++k) flat = flat && yr[k] == 0.5 && yi[k] == 0.0;
  korvane_ip_zelfft_v9_0_destroy_state(s);
  if (!flat) { puts("FFT of an impulse is not flat"); return 1; }
  if (strcmp(zelip_cordic_v6_0_get_version(), "6.0") != 0) { puts("CORDIC version differs"); return 1; }
  puts("outside host: brevant and solvine work");
  return 0;
}
