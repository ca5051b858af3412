// Width reduction with the core's four output rounding modes. All divisions
// by powers of two round toward minus infinity, as the hardware's arithmetic
// shift does.
#include "rnd_slv_mpz.h"

#include <cstdio>
#include <limits>

void rnd_slv_mpz(mpz_t out, const mpz_t v, uint32_t in_len, uint32_t out_len, uint32_t mode) {
  if (out_len == in_len) {
    mpz_set(out, v);
    return;
  }
  if (out_len > in_len) {
    // Not an error the host sees: the core's model only complains and goes on.
    std::fputs("Error: in rnd_slv_mpz. Output length of round is greater than input\n", stderr);
    std::fflush(stderr);
    return;
  }
  if (mode > 3) return;

  const uint32_t k = in_len - out_len;
  if (mode == 0) {
    mpz_fdiv_q_2exp(out, v, k);
    return;
  }
  // Add half a unit of the result, less one for the cases whose ties must go
  // down, then shift. The tie rule reads v before out (which may be v) changes.
  const bool negative = mpz_sgn(v) < 0;
  bool lower_ties = false;
  if (mode == 2) lower_ties = negative;
  if (mode == 3) lower_ties = (mpz_tstbit(v, k) != 0) == negative;
  if (k - 1 < static_cast<uint32_t>(std::numeric_limits<unsigned long>::digits)) {
    mpz_add_ui(out, v, 1UL << (k - 1));  // no temporary on the per-sample path
  } else {
    mpz_t half;
    mpz_init_set_ui(half, 1);
    mpz_mul_2exp(half, half, k - 1);
    mpz_add(out, v, half);
    mpz_clear(half);
  }
  if (lower_ties) mpz_sub_ui(out, out, 1);
  mpz_fdiv_q_2exp(out, out, k);
}
