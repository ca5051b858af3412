// The two register types of the CORDIC data path and the handful of
// operations it needs, with identical integer semantics:
// - MpzWord, a GMP integer: any value, used whenever an input is too large
//   for the native path (inputs are not range-checked by the core);
// - int64_t: every register of a sample whose aligned inputs are below 2^59
//   in magnitude. The data path is at most 54 bits wide and wraps after every
//   micro-rotation, so no intermediate value can overflow (the gain product
//   is formed in 128 bits).
// Shifts are floor divisions by powers of two (arithmetic shifts), as in the
// hardware.
#pragma once

#include <gmp.h>

#include <cstdint>

namespace cordic {

class MpzWord {
 public:
  MpzWord() { mpz_init(v_); }
  ~MpzWord() { mpz_clear(v_); }
  MpzWord(const MpzWord &) = delete;
  MpzWord &operator=(const MpzWord &) = delete;

  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }

 private:
  mpz_t v_;
};

// --- GMP registers ----------------------------------------------------------

inline bool nonnegative(const MpzWord &a) { return mpz_sgn(a.get()) >= 0; }
inline void assign(MpzWord &r, const MpzWord &a) { mpz_set(r.get(), a.get()); }
inline void add(MpzWord &r, const MpzWord &a, const MpzWord &b) { mpz_add(r.get(), a.get(), b.get()); }
inline void sub(MpzWord &r, const MpzWord &a, const MpzWord &b) { mpz_sub(r.get(), a.get(), b.get()); }
inline void negate(MpzWord &r, const MpzWord &a) { mpz_neg(r.get(), a.get()); }
inline void swap(MpzWord &a, MpzWord &b) { mpz_swap(a.get(), b.get()); }
inline void shift_floor(MpzWord &r, const MpzWord &a, unsigned s) { mpz_fdiv_q_2exp(r.get(), a.get(), s); }

// Two's-complement wrap to `bits` bits; modulus holds 2^bits.
inline void wrap(MpzWord &v, unsigned bits, const MpzWord &modulus) {
  mpz_fdiv_r_2exp(v.get(), v.get(), bits);
  if (mpz_tstbit(v.get(), bits - 1)) mpz_sub(v.get(), v.get(), modulus.get());
}

// v = floor(v * scale / 2^fraction_bits); tmp is scratch.
inline void scale_floor(MpzWord &v, const MpzWord &scale, unsigned fraction_bits, MpzWord &tmp) {
  mpz_mul(tmp.get(), v.get(), scale.get());
  mpz_fdiv_q_2exp(v.get(), tmp.get(), fraction_bits);
}

// --- native registers -------------------------------------------------------

inline bool nonnegative(int64_t a) { return a >= 0; }
inline void assign(int64_t &r, int64_t a) { r = a; }
inline void add(int64_t &r, int64_t a, int64_t b) { r = a + b; }
inline void sub(int64_t &r, int64_t a, int64_t b) { r = a - b; }
inline void negate(int64_t &r, int64_t a) { r = -a; }
inline void swap(int64_t &a, int64_t &b) {
  const int64_t t = a;
  a = b;
  b = t;
}
inline void shift_floor(int64_t &r, int64_t a, unsigned s) { r = a >> s; }

// Keeps the low `bits` bits (1..63) and sign-extends from bit bits - 1. The
// shifts run on the unsigned pattern so no signed overflow is involved.
inline void wrap(int64_t &v, unsigned bits, int64_t /*modulus*/) {
  const unsigned up = 64 - bits;
  v = static_cast<int64_t>(static_cast<uint64_t>(v) << up) >> up;
}

inline void scale_floor(int64_t &v, int64_t scale, unsigned fraction_bits, int64_t & /*tmp*/) {
  __extension__ using Wide = __int128;
  v = static_cast<int64_t>((static_cast<Wide>(v) * scale) >> fraction_bits);
}

// rnd_slv_mpz on a native word for a reduction by k >= 1 bits and modes 0..3
// (the only case the native path is used for): floor((v + h - c) / 2^k) with
// h half a result unit and c the tie correction of the mode.
inline int64_t round_native(int64_t v, unsigned k, uint32_t mode) {
  if (mode == 0) return v >> k;
  const int64_t half = int64_t{1} << (k - 1);
  int64_t lower_ties = 0;
  if (mode == 2) lower_ties = v < 0;
  if (mode == 3) lower_ties = ((v >> k) & 1) == (v < 0 ? 1 : 0);
  return (v + half - lower_ties) >> k;
}

}  // namespace cordic
