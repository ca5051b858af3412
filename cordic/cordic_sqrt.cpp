// Restoring square root, two radicand bits per step, as the core's sqrt
// unit computes it. The partial remainder register keeps a + 1 bits and the
// root register a - 1 bits; both wrap, so a root of 2^(a-1) or more loses its
// top bit. With a at most 54 (the widest data path) both fit in int64_t.
#include "cordic_sqrt.h"

namespace cordic {

namespace {

// Bit i of the two's-complement word m x 2^shift (floored when shift < 0).
int shifted_bit(const mpz_t m, long shift, long i) {
  const long j = i - shift;
  return j < 0 ? 0 : mpz_tstbit(m, static_cast<mp_bitcnt_t>(j));
}

int shifted_bit(int64_t m, long shift, long i) {
  const long j = i - shift;
  if (j < 0) return 0;
  return j >= 63 ? (m < 0 ? 1 : 0) : static_cast<int>((m >> j) & 1);
}

// The root register after a steps on the radicand m (either word type).
template <class Word>
int64_t root_register(const Word &m, uint32_t a, uint32_t data_format, uint32_t input_width) {
  const long window = 2L * a;
  const long w = input_width;
  // Place the radicand in the 2a-bit window: the integer format aligns its
  // odd/even bit pairs, the fractional format aligns its binary point.
  long shift = 0;
  if (data_format == 2) shift = (w % 2 != 0) ? window - w - 1 : window - w - 2;
  if (data_format == 1) shift = window - w - 1;

  const int64_t remainder_mask = (int64_t{1} << (a - 1)) - 1;  // q mod 2^(a-1)
  const int64_t root_mask = (int64_t{1} << (a - 2)) - 1;       // root mod 2^(a-2)
  int64_t rem = 0;  // partial remainder
  int64_t rt = 0;   // root so far
  for (long j = 0; j < static_cast<long>(a); ++j) {
    const long d = window - 2 - 2 * j;
    const int64_t pair = 2 * shifted_bit(m, shift, d + 1) + shifted_bit(m, shift, d);
    rem = ((rem & remainder_mask) << 2) + pair;
    rt &= root_mask;
    const int64_t trial = rem - (4 * rt + 1);
    rt *= 2;
    if (trial >= 0) {
      rem = trial;
      rt += 1;
    }
  }
  return rt;
}

}  // namespace

void cordic_sqrt(mpz_t root, const mpz_t m, uint32_t a, uint32_t data_format, uint32_t input_width) {
  mpz_set_si(root, static_cast<long>(root_register(m, a, data_format, input_width)));
}

int64_t cordic_sqrt(int64_t m, uint32_t a, uint32_t data_format, uint32_t input_width) {
  return root_register(m, a, data_format, input_width);
}

}  // namespace cordic
