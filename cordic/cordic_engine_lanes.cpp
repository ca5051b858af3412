// Lane-parallel CORDIC data path. This file is compiled once per SIMD
// instruction set (Highway's foreach_target); every copy runs the same
// integer operations as the native scalar data path (cordic_engine_datapath.h
// with int64_t registers), lane by lane:
// - loading: the input word aligned in double arithmetic exactly as the
//   scalar path does (a power-of-two scale, floors), then truncated;
// - coarse rotation, micro-rotations with the B-bit wrap, post-correction,
//   gain compensation and output rounding on 64-bit lanes. The bounds of the
//   native path hold here too: aligned inputs below 2^59, so no lane overflows.
// Only integer adds, subtracts, shifts, selects and exact 32 x 32 -> 64-bit
// products are used, so every instruction set gives the very same words.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "cordic_engine_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "cordic_engine_lanes.h"

#include <cmath>

HWY_BEFORE_NAMESPACE();
namespace cordic {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// At most 8 lanes (one AVX-512 register of 64-bit words), so the chunk
// buffers have a fixed size on every instruction set.
using DI = hn::CappedTag<int64_t, 8>;
using DF = hn::Rebind<double, DI>;
#if HWY_TARGET != HWY_SCALAR
using DI32 = hn::Repartition<int32_t, DI>;
#endif
using VI = hn::Vec<DI>;
constexpr std::size_t kMaxLanes = 8;
static_assert(kMaxLanes <= kLanePad, "a chunk's last vector must fit the padded buffers");
constexpr double kInputBound = 0x1p59;  // the native path's bound on aligned inputs

// Aligns a vector of input words to the integer lanes; marks in fits the
// lanes whose word is not finite or too large for the native registers.
HWY_INLINE hn::Vec<DI> align_lanes(const LanePlan &p, hn::Vec<DF> word, hn::Mask<DF> &fits) {
  const DF df;
  const hn::Vec<DF> factor = hn::Set(df, p.align_factor);
  const hn::Vec<DF> aligned =
      p.alignment >= 0 ? hn::Mul(word, factor) : hn::Floor(hn::Mul(hn::Floor(word), factor));
  const auto in_range = hn::Lt(hn::Abs(aligned), hn::Set(df, kInputBound));  // false for NaN and infinities
  fits = hn::And(fits, in_range);
  // Conversion drops a fraction toward zero, as the scalar cast does.
  return hn::ConvertTo(DI(), hn::IfThenElseZero(in_range, aligned));
}

// The same for one word, in the scalar path's own operations.
HWY_INLINE bool align_word(const LanePlan &p, double word, int64_t &out) {
  const double aligned = p.alignment >= 0 ? word * p.align_factor : std::floor(std::floor(word) * p.align_factor);
  if (!(std::fabs(aligned) < kInputBound)) return false;
  out = static_cast<int64_t>(aligned);
  return true;
}

// Aligns n input words into the integer lanes of a (and b for the
// interleaved (re, im) words of the cartesian input), zero-filled up to a
// whole number of vectors. False when a word does not fit the lanes.
template <bool kPairs>
bool load_words(const LanePlan &p, const double *HWY_RESTRICT in, std::size_t n, int64_t *HWY_RESTRICT a,
                int64_t *HWY_RESTRICT b) {
  const DF df;
  const DI di;
  const std::size_t lanes = hn::Lanes(di);
  auto fits = hn::FirstN(df, lanes);
  std::size_t k = 0;
  for (; k + lanes <= n; k += lanes) {
    if constexpr (kPairs) {
      hn::Vec<DF> re, im;
      hn::LoadInterleaved2(df, in + 2 * k, re, im);
      hn::Store(align_lanes(p, re, fits), di, a + k);
      hn::Store(align_lanes(p, im, fits), di, b + k);
    } else {
      hn::Store(align_lanes(p, hn::LoadU(df, in + k), fits), di, a + k);
    }
  }
  if (!hn::AllTrue(df, fits)) return false;
  for (; k < n; ++k) {
    if (!align_word(p, in[kPairs ? 2 * k : k], a[k])) return false;
    if (kPairs && !align_word(p, in[2 * k + 1], b[k])) return false;
  }
  for (; k % lanes != 0; ++k) {
    a[k] = 0;
    if (kPairs) b[k] = 0;
  }
  return true;
}

// Two's-complement wrap to B bits.
HWY_INLINE VI wrap(VI v, int up) { return hn::ShiftRightSame(hn::ShiftLeftSame(v, up), up); }

// v when q is 0, -v when q is all ones.
HWY_INLINE VI signed_by(VI v, VI q) { return hn::Sub(hn::Xor(v, q), q); }

// Turns (x, y) into the sector |y| <= x and z into [-pi/4, pi/4]; returns the
// quarter turns (0 none, 1 +90, 2 180, 3 -90) that undo both.
HWY_INLINE VI coarse_rotate(const LanePlan &p, VI &x, VI &y, VI &z) {
  const DI di;
  const VI zero = hn::Zero(di);
  const auto sum_negative = hn::Lt(hn::Add(x, y), zero);
  const auto difference_negative = hn::Lt(hn::Sub(x, y), zero);
  // The combinations x < 0 with both non-negative and x >= 0 with both
  // negative cannot occur with exact sums.
  const auto lower = hn::AndNot(difference_negative, sum_negative);  // turned by +90
  const auto upper = hn::AndNot(sum_negative, difference_negative);  // turned by -90
  const auto left = hn::And(sum_negative, difference_negative);      // turned by 180
  const VI neg_x = hn::Sub(zero, x), neg_y = hn::Sub(zero, y);
  const VI new_x = hn::IfThenElse(lower, neg_y, hn::IfThenElse(upper, y, hn::IfThenElse(left, neg_x, x)));
  const VI new_y = hn::IfThenElse(lower, x, hn::IfThenElse(upper, neg_x, hn::IfThenElse(left, neg_y, y)));
  x = new_x;
  y = new_y;
  VI needs = hn::IfThenElseZero(lower, hn::Set(di, 3));
  needs = hn::IfThenElse(upper, hn::Set(di, 1), needs);
  needs = hn::IfThenElse(left, hn::Set(di, 2), needs);

  const VI t = hn::Set(di, p.t), m = hn::Set(di, p.m), o = hn::Set(di, p.o), l = hn::Set(di, p.l);
  const auto z_negative = hn::Lt(z, zero);
  const auto u_negative = hn::Lt(hn::IfThenElse(z_negative, hn::Sub(z, o), hn::Add(z, o)), zero);
  const auto v_negative = hn::Lt(hn::IfThenElse(z_negative, hn::Sub(z, l), hn::Add(z, l)), zero);
  const auto subtract_pi = hn::AndNot(z_negative, hn::Not(u_negative));
  const auto subtract_half_pi = hn::AndNot(z_negative, hn::AndNot(v_negative, u_negative));
  const auto add_pi = hn::And(z_negative, u_negative);
  const auto add_half_pi = hn::And(z_negative, hn::AndNot(u_negative, v_negative));
  VI new_z = hn::IfThenElse(subtract_pi, hn::Add(z, t), z);
  new_z = hn::IfThenElse(subtract_half_pi, hn::Add(z, m), new_z);
  new_z = hn::IfThenElse(add_pi, hn::Sub(z, t), new_z);
  new_z = hn::IfThenElse(add_half_pi, hn::Sub(z, m), new_z);
  z = new_z;
  VI phase_needs = hn::IfThenElseZero(hn::Or(subtract_pi, add_pi), hn::Set(di, 2));
  phase_needs = hn::IfThenElse(subtract_half_pi, hn::Set(di, 1), phase_needs);
  phase_needs = hn::IfThenElse(add_half_pi, hn::Set(di, 3), phase_needs);
  return hn::And(hn::Add(needs, phase_needs), hn::Set(di, 3));
}

// Undoes the coarse rotation: rotation mode turns the result vector,
// vectoring mode corrects the phase.
template <bool kVectoring>
HWY_INLINE void post_correct(const LanePlan &p, VI post, VI &x, VI &y, VI &z) {
  const DI di;
  const VI zero = hn::Zero(di);
  const auto plus_90 = hn::Eq(post, hn::Set(di, 1));
  const auto half = hn::Eq(post, hn::Set(di, 2));
  const auto minus_90 = hn::Eq(post, hn::Set(di, 3));
  if constexpr (kVectoring) {
    const VI t = hn::Set(di, p.t), m = hn::Set(di, p.m);
    const VI half_turned = hn::IfThenElse(hn::Lt(z, zero), hn::Sub(z, t), hn::Add(z, t));
    VI new_z = hn::IfThenElse(half, half_turned, z);
    new_z = hn::IfThenElse(plus_90, hn::Sub(z, m), new_z);
    z = hn::IfThenElse(minus_90, hn::Add(z, m), new_z);
  } else {
    const VI neg_x = hn::Sub(zero, x), neg_y = hn::Sub(zero, y);
    const VI new_x = hn::IfThenElse(plus_90, neg_y, hn::IfThenElse(minus_90, y, hn::IfThenElse(half, neg_x, x)));
    const VI new_y = hn::IfThenElse(plus_90, x, hn::IfThenElse(minus_90, neg_x, hn::IfThenElse(half, neg_y, y)));
    x = new_x;
    y = new_y;
  }
}

// floor(v * S / 2^(B-2)). Up to B = 31, |v| <= 2^(B-1) and S < 2^(B-1) fit
// 32 bits and the product is one exact 32 x 32 -> 64-bit multiply; wider
// data paths form the 128-bit product lane by lane.
HWY_INLINE VI compensate(const LanePlan &p, VI v) {
  const DI di;
  const int fraction_bits = static_cast<int>(p.width) - 2;
#if HWY_TARGET != HWY_SCALAR  // one-lane vectors have no 32-bit halves
  if (p.width <= 31) {
    const DI32 d32;
    const hn::Vec<DI32> product_factor = hn::BitCast(d32, hn::Set(di, p.scale));
    return hn::ShiftRightSame(hn::MulEven(hn::BitCast(d32, v), product_factor), fraction_bits);
  }
#endif
  HWY_ALIGN int64_t lanes[kMaxLanes];
  hn::Store(v, di, lanes);
  __extension__ using Wide = __int128;
  for (std::size_t i = 0; i < hn::Lanes(di); ++i)
    lanes[i] = static_cast<int64_t>((static_cast<Wide>(lanes[i]) * p.scale) >> fraction_bits);
  return hn::Load(di, lanes);
}

// rnd_slv_mpz from B to OutputWidth bits: floor((v + h - c) / 2^k) with h
// half a result unit and c the mode's tie correction.
HWY_INLINE VI round_output(const LanePlan &p, VI v) {
  const DI di;
  const int k = static_cast<int>(p.round_shift);
  if (k == 0) return v;
  if (p.round_mode == 0) return hn::ShiftRightSame(v, k);
  const VI half = hn::Set(di, int64_t{1} << (k - 1));
  if (p.round_mode == 1) return hn::ShiftRightSame(hn::Add(v, half), k);
  const VI negative = hn::BroadcastSignBit(v);  // -1 or 0
  if (p.round_mode == 2) return hn::ShiftRightSame(hn::Add(hn::Add(v, half), negative), k);
  // Nearest: a tie goes down when the kept low bit equals the sign bit.
  const VI one = hn::Set(di, 1);
  const VI kept_bit = hn::And(hn::ShiftRightSame(v, k), one);
  const VI lower_ties = hn::Sub(one, hn::Xor(kept_bit, hn::And(negative, one)));
  return hn::ShiftRightSame(hn::Sub(hn::Add(v, half), lower_ties), k);
}

template <bool kVectoring, bool kHyperbolic>
void run_registers(const LanePlan &p, const int64_t *HWY_RESTRICT xs, const int64_t *HWY_RESTRICT ys,
                   const int64_t *HWY_RESTRICT zs, std::size_t n, double *HWY_RESTRICT out_a,
                   double *HWY_RESTRICT out_b) {
  const DI di;
  const DF df;
  const std::size_t lanes = hn::Lanes(di);
  const int up = 64 - static_cast<int>(p.width);
  for (std::size_t k = 0; k < n; k += lanes) {
    // sin_cos and sinh_cosh start from (S, 0).
    VI x = p.vector_in ? hn::Load(di, xs + k) : hn::Set(di, p.scale);
    VI y = p.vector_in ? hn::Load(di, ys + k) : hn::Zero(di);
    VI z = p.phase_in ? hn::Load(di, zs + k) : hn::Zero(di);
    VI post = hn::Zero(di);
    if (p.coarse) post = coarse_rotate(p, x, y, z);
    for (unsigned i = 0; i < p.iterations; ++i) {
      const int s = p.shift[i];
      // Direction: rotation drives z to zero, vectoring drives y to zero;
      // q = 0 for sigma = +1, all ones for sigma = -1.
      const VI q = kVectoring ? hn::Not(hn::BroadcastSignBit(y)) : hn::BroadcastSignBit(z);
      const VI dx = signed_by(hn::ShiftRightSame(x, s), q);
      const VI dy = signed_by(hn::ShiftRightSame(y, s), q);
      const VI da = signed_by(hn::Set(di, p.angle[i]), q);
      x = wrap(kHyperbolic ? hn::Add(x, dy) : hn::Sub(x, dy), up);
      y = wrap(hn::Add(y, dx), up);
      z = wrap(hn::Sub(z, da), up);
    }
    if (p.coarse) post_correct<kVectoring>(p, post, x, y, z);
    if (p.compensate) {
      x = compensate(p, x);
      y = compensate(p, y);
    }
    // Output words stay below 2^53 in magnitude: the conversion is exact.
    hn::StoreU(hn::ConvertTo(df, round_output(p, x)), df, out_a + k);
    hn::StoreU(hn::ConvertTo(df, round_output(p, kVectoring ? z : y)), df, out_b + k);
  }
}

bool RunLaneChunk(const LanePlan &p, const double *cart, const double *phase, std::size_t n, double *out_a,
                  double *out_b) {
  HWY_ALIGN int64_t x[kLaneChunk + kMaxLanes];
  HWY_ALIGN int64_t y[kLaneChunk + kMaxLanes];
  HWY_ALIGN int64_t z[kLaneChunk + kMaxLanes];
  if (p.vector_in && !load_words<true>(p, cart, n, x, y)) return false;
  if (p.phase_in && !load_words<false>(p, phase, n, z, nullptr)) return false;
  if (p.vectoring) {
    if (p.hyperbolic)
      run_registers<true, true>(p, x, y, z, n, out_a, out_b);
    else
      run_registers<true, false>(p, x, y, z, n, out_a, out_b);
  } else {
    if (p.hyperbolic)
      run_registers<false, true>(p, x, y, z, n, out_a, out_b);
    else
      run_registers<false, false>(p, x, y, z, n, out_a, out_b);
  }
  return true;
}

const char *TargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace cordic
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace cordic {

HWY_EXPORT(RunLaneChunk);
HWY_EXPORT(TargetName);

bool run_lane_chunk(const LanePlan &plan, const double *cart, const double *phase, std::size_t n, double *out_a,
                    double *out_b) {
  return HWY_DYNAMIC_DISPATCH(RunLaneChunk)(plan, cart, phase, n, out_a, out_b);
}

const char *lane_target_name() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

}  // namespace cordic
#endif  // HWY_ONCE
