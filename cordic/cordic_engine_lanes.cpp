// Lane-parallel CORDIC data path. This file is compiled once per SIMD
// instruction set (Highway's foreach_target); every copy runs the same
// integer operations as the native scalar data path (cordic_engine_datapath.h
// with int64_t registers), lane by lane:
// - loading: the input word aligned in double arithmetic exactly as the
//   scalar path does (a power-of-two scale, floors), then truncated;
// - coarse rotation, micro-rotations with the B-bit wrap and post-correction
//   on 32-bit lanes where the data path and the inputs are narrow enough (see
//   kNarrowWidth), else on 64-bit lanes with the native path's bound (aligned
//   inputs below 2^59); no lane overflows either way;
// - gain compensation and output rounding on 64-bit lanes.
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

// Wide lanes: at most 8 (one AVX-512 register of 64-bit words), so the chunk
// buffers have a fixed size on every instruction set. Narrow lanes hold
// 32-bit registers, twice as many per vector, for data paths of up to
// kNarrowWidth bits whose aligned inputs stay below 2^kNarrowInputBits.
using DI = hn::CappedTag<int64_t, 8>;
using DF = hn::Rebind<double, DI>;
using DN = hn::CappedTag<int32_t, 16>;
using DNF = hn::Rebind<int32_t, DF>;  // 32-bit words, as many as DF has lanes
using VI = hn::Vec<DI>;
constexpr std::size_t kMaxLanes = 16;
constexpr std::size_t kBuffer = kLaneChunk + kMaxLanes;
static_assert(hn::MaxLanes(DI()) <= kLanePad, "a chunk's last vector must fit the caller's padded buffers");
constexpr double kWideInputBound = 0x1p59;  // the native path's bound on aligned inputs

// Narrow bounds. With |input| < 2^29 and B <= 29 every value stays below
// 2^31: x + y and x - y below 2^30; a coarse-rotated z below 2^29 + 2^28; the
// first micro-rotation (shift 1, before its wrap) below 1.5 x 2^29 for x and
// y and 2^29 + 2^28 + 2^26 for z; afterwards every register is within B bits
// and each step adds at most half of one.
constexpr unsigned kNarrowWidth = 29;
constexpr double kNarrowInputBound = 0x1p29;

// The scalar path's alignment of one input word, in its own operations;
// false when the word is not finite or beyond the bound.
HWY_INLINE bool align_word(const LanePlan &p, double word, double bound, double &aligned) {
  aligned = p.alignment >= 0 ? word * p.align_factor : std::floor(std::floor(word) * p.align_factor);
  return std::fabs(aligned) < bound;
}

// The same on a vector of words; marks in fits the lanes beyond the bound
// (and NaN and infinities) and zeroes them.
HWY_INLINE hn::Vec<DF> align_lanes(const LanePlan &p, hn::Vec<DF> word, double bound, hn::Mask<DF> &fits) {
  const DF df;
  const hn::Vec<DF> factor = hn::Set(df, p.align_factor);
  const hn::Vec<DF> aligned =
      p.alignment >= 0 ? hn::Mul(word, factor) : hn::Floor(hn::Mul(hn::Floor(word), factor));
  const auto in_range = hn::Lt(hn::Abs(aligned), hn::Set(df, bound));
  fits = hn::And(fits, in_range);
  return hn::IfThenElseZero(in_range, aligned);
}

// Aligned words to integer lanes: conversion drops a fraction toward zero,
// as the scalar cast does.
HWY_INLINE void store_lanes(hn::Vec<DF> aligned, int64_t *out) { hn::Store(hn::ConvertTo(DI(), aligned), DI(), out); }
HWY_INLINE void store_lanes(hn::Vec<DF> aligned, int32_t *out) {
  hn::StoreU(hn::DemoteTo(DNF(), aligned), DNF(), out);
}

// Aligns n input words into the registers a (and b for the interleaved
// (re, im) words of the cartesian input), zero-filled up to `multiple`.
// False when a word does not fit the registers' bound.
template <bool kPairs, class T>
bool load_words(const LanePlan &p, const double *HWY_RESTRICT in, std::size_t n, double bound, std::size_t multiple,
                T *HWY_RESTRICT a, T *HWY_RESTRICT b) {
  const DF df;
  const std::size_t lanes = hn::Lanes(df);
  auto fits = hn::FirstN(df, lanes);
  std::size_t k = 0;
  for (; k + lanes <= n; k += lanes) {
    if constexpr (kPairs) {
      hn::Vec<DF> re, im;
      hn::LoadInterleaved2(df, in + 2 * k, re, im);
      store_lanes(align_lanes(p, re, bound, fits), a + k);
      store_lanes(align_lanes(p, im, bound, fits), b + k);
    } else {
      store_lanes(align_lanes(p, hn::LoadU(df, in + k), bound, fits), a + k);
    }
  }
  if (!hn::AllTrue(df, fits)) return false;
  for (; k < n; ++k) {
    double aligned = 0.0;
    if (!align_word(p, in[kPairs ? 2 * k : k], bound, aligned)) return false;
    a[k] = static_cast<T>(aligned);
    if constexpr (kPairs) {
      if (!align_word(p, in[2 * k + 1], bound, aligned)) return false;
      b[k] = static_cast<T>(aligned);
    }
  }
  for (; k % multiple != 0; ++k) {
    a[k] = 0;
    if constexpr (kPairs) b[k] = 0;
  }
  return true;
}

// Two's-complement wrap to B bits: up = lane bits - B, half = 2^(B-1),
// mask = 2^B - 1. x86 before AVX-512 has no 64-bit arithmetic shift, so
// there the wrap adds half, keeps the low B bits and subtracts half again.
template <class V>
HWY_INLINE V wrap(V v, int up, V half, V mask) {
#if HWY_ARCH_X86 && HWY_TARGET > HWY_AVX3
  if constexpr (sizeof(hn::TFromV<V>) == 8) return hn::Sub(hn::And(hn::Add(v, half), mask), half);
#endif
  (void)half;
  (void)mask;
  return hn::ShiftRightSame(hn::ShiftLeftSame(v, up), up);
}

// v when q is 0, -v when q is all ones.
template <class V>
HWY_INLINE V signed_by(V v, V q) {
  return hn::Sub(hn::Xor(v, q), q);
}

// Turns (x, y) into the sector |y| <= x and z into [-pi/4, pi/4]; returns the
// quarter turns (0 none, 1 +90, 2 180, 3 -90) that undo both.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V coarse_rotate(D d, const LanePlan &p, V &x, V &y, V &z) {
  using T = hn::TFromD<D>;
  const V zero = hn::Zero(d);
  const auto sum_negative = hn::Lt(hn::Add(x, y), zero);
  const auto difference_negative = hn::Lt(hn::Sub(x, y), zero);
  // The combinations x < 0 with both non-negative and x >= 0 with both
  // negative cannot occur with exact sums.
  const auto lower = hn::AndNot(difference_negative, sum_negative);  // turned by +90
  const auto upper = hn::AndNot(sum_negative, difference_negative);  // turned by -90
  const auto left = hn::And(sum_negative, difference_negative);      // turned by 180
  const V neg_x = hn::Sub(zero, x), neg_y = hn::Sub(zero, y);
  const V new_x = hn::IfThenElse(lower, neg_y, hn::IfThenElse(upper, y, hn::IfThenElse(left, neg_x, x)));
  const V new_y = hn::IfThenElse(lower, x, hn::IfThenElse(upper, neg_x, hn::IfThenElse(left, neg_y, y)));
  x = new_x;
  y = new_y;
  V needs = hn::IfThenElseZero(lower, hn::Set(d, T{3}));
  needs = hn::IfThenElse(upper, hn::Set(d, T{1}), needs);
  needs = hn::IfThenElse(left, hn::Set(d, T{2}), needs);

  const V t = hn::Set(d, static_cast<T>(p.t)), m = hn::Set(d, static_cast<T>(p.m));
  const V o = hn::Set(d, static_cast<T>(p.o)), l = hn::Set(d, static_cast<T>(p.l));
  const auto z_negative = hn::Lt(z, zero);
  const auto u_negative = hn::Lt(hn::IfThenElse(z_negative, hn::Sub(z, o), hn::Add(z, o)), zero);
  const auto v_negative = hn::Lt(hn::IfThenElse(z_negative, hn::Sub(z, l), hn::Add(z, l)), zero);
  const auto subtract_pi = hn::AndNot(z_negative, hn::Not(u_negative));
  const auto subtract_half_pi = hn::AndNot(z_negative, hn::AndNot(v_negative, u_negative));
  const auto add_pi = hn::And(z_negative, u_negative);
  const auto add_half_pi = hn::And(z_negative, hn::AndNot(u_negative, v_negative));
  V new_z = hn::IfThenElse(subtract_pi, hn::Add(z, t), z);
  new_z = hn::IfThenElse(subtract_half_pi, hn::Add(z, m), new_z);
  new_z = hn::IfThenElse(add_pi, hn::Sub(z, t), new_z);
  new_z = hn::IfThenElse(add_half_pi, hn::Sub(z, m), new_z);
  z = new_z;
  V phase_needs = hn::IfThenElseZero(hn::Or(subtract_pi, add_pi), hn::Set(d, T{2}));
  phase_needs = hn::IfThenElse(subtract_half_pi, hn::Set(d, T{1}), phase_needs);
  phase_needs = hn::IfThenElse(add_half_pi, hn::Set(d, T{3}), phase_needs);
  return hn::And(hn::Add(needs, phase_needs), hn::Set(d, T{3}));
}

// Undoes the coarse rotation: rotation mode turns the result vector,
// vectoring mode corrects the phase.
template <bool kVectoring, class D, class V = hn::Vec<D>>
HWY_INLINE void post_correct(D d, const LanePlan &p, V post, V &x, V &y, V &z) {
  using T = hn::TFromD<D>;
  const V zero = hn::Zero(d);
  const auto plus_90 = hn::Eq(post, hn::Set(d, T{1}));
  const auto half = hn::Eq(post, hn::Set(d, T{2}));
  const auto minus_90 = hn::Eq(post, hn::Set(d, T{3}));
  if constexpr (kVectoring) {
    const V t = hn::Set(d, static_cast<T>(p.t)), m = hn::Set(d, static_cast<T>(p.m));
    const V half_turned = hn::IfThenElse(hn::Lt(z, zero), hn::Sub(z, t), hn::Add(z, t));
    V new_z = hn::IfThenElse(half, half_turned, z);
    new_z = hn::IfThenElse(plus_90, hn::Sub(z, m), new_z);
    z = hn::IfThenElse(minus_90, hn::Add(z, m), new_z);
  } else {
    const V neg_x = hn::Sub(zero, x), neg_y = hn::Sub(zero, y);
    const V new_x = hn::IfThenElse(plus_90, neg_y, hn::IfThenElse(minus_90, y, hn::IfThenElse(half, neg_x, x)));
    const V new_y = hn::IfThenElse(plus_90, x, hn::IfThenElse(minus_90, neg_x, hn::IfThenElse(half, neg_y, y)));
    x = new_x;
    y = new_y;
  }
}

// Loaded registers to the end of the post-correction, in place, in lanes of
// D's type (the loaded words, or (S, 0) for sin_cos and sinh_cosh).
template <bool kVectoring, bool kHyperbolic, class D>
void rotate_registers(D d, const LanePlan &p, hn::TFromD<D> *HWY_RESTRICT xs, hn::TFromD<D> *HWY_RESTRICT ys,
                      hn::TFromD<D> *HWY_RESTRICT zs, std::size_t n) {
  using T = hn::TFromD<D>;
  using V = hn::Vec<D>;
  const std::size_t lanes = hn::Lanes(d);
  const int bits = static_cast<int>(8 * sizeof(T));
  const int up = bits - static_cast<int>(p.width);
  const V half = hn::Set(d, static_cast<T>(int64_t{1} << (p.width - 1)));
  const V mask = hn::Set(d, static_cast<T>((int64_t{1} << p.width) - 1));
  for (std::size_t k = 0; k < n; k += lanes) {
    V x = p.vector_in ? hn::LoadU(d, xs + k) : hn::Set(d, static_cast<T>(p.scale));
    V y = p.vector_in ? hn::LoadU(d, ys + k) : hn::Zero(d);
    V z = p.phase_in ? hn::LoadU(d, zs + k) : hn::Zero(d);
    V post = hn::Zero(d);
    if (p.coarse) post = coarse_rotate(d, p, x, y, z);
    for (unsigned i = 0; i < p.iterations; ++i) {
      // A shift by the lane width or more is not defined; beyond bits - 1
      // every register shifts to its sign alone (0 or -1) anyway.
      const int s = p.shift[i] < bits ? p.shift[i] : bits - 1;
      // Direction: rotation drives z to zero, vectoring drives y to zero;
      // q = 0 for sigma = +1, all ones for sigma = -1.
      const V q = kVectoring ? hn::Not(hn::BroadcastSignBit(y)) : hn::BroadcastSignBit(z);
      const V dx = signed_by(hn::ShiftRightSame(x, s), q);
      const V dy = signed_by(hn::ShiftRightSame(y, s), q);
      const V da = signed_by(hn::Set(d, static_cast<T>(p.angle[i])), q);
      x = wrap(kHyperbolic ? hn::Add(x, dy) : hn::Sub(x, dy), up, half, mask);
      y = wrap(hn::Add(y, dx), up, half, mask);
      z = wrap(hn::Sub(z, da), up, half, mask);
    }
    if (p.coarse) post_correct<kVectoring>(d, p, post, x, y, z);
    hn::StoreU(x, d, xs + k);
    hn::StoreU(y, d, ys + k);
    hn::StoreU(z, d, zs + k);
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
    const hn::Repartition<int32_t, DI> d32;
    const auto factor = hn::BitCast(d32, hn::Set(di, p.scale));
    return hn::ShiftRightSame(hn::MulEven(hn::BitCast(d32, v), factor), fraction_bits);
  }
#endif
  HWY_ALIGN int64_t lanes[hn::MaxLanes(DI())];
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

HWY_INLINE VI load_wide(const int64_t *from) { return hn::LoadU(DI(), from); }
HWY_INLINE VI load_wide(const int32_t *from) { return hn::PromoteTo(DI(), hn::LoadU(hn::Rebind<int32_t, DI>(), from)); }

// Gain compensation and output rounding on 64-bit lanes; the output words
// stay below 2^53 in magnitude, so their conversion to doubles is exact.
template <class T>
void write_outputs(const LanePlan &p, const T *HWY_RESTRICT xs, const T *HWY_RESTRICT ys, const T *HWY_RESTRICT zs,
                   std::size_t n, double *HWY_RESTRICT out_a, double *HWY_RESTRICT out_b) {
  const DI di;
  const DF df;
  for (std::size_t k = 0; k < n; k += hn::Lanes(di)) {
    VI x = load_wide(xs + k);
    VI other = load_wide(p.vectoring ? zs + k : ys + k);
    if (p.compensate) {
      x = compensate(p, x);
      if (!p.vectoring) other = compensate(p, other);
    }
    hn::StoreU(hn::ConvertTo(df, round_output(p, x)), df, out_a + k);
    hn::StoreU(hn::ConvertTo(df, round_output(p, other)), df, out_b + k);
  }
}

template <class D>
void rotate_registers(D d, const LanePlan &p, hn::TFromD<D> *xs, hn::TFromD<D> *ys, hn::TFromD<D> *zs,
                      std::size_t n) {
  if (p.vectoring) {
    if (p.hyperbolic)
      rotate_registers<true, true>(d, p, xs, ys, zs, n);
    else
      rotate_registers<true, false>(d, p, xs, ys, zs, n);
  } else {
    if (p.hyperbolic)
      rotate_registers<false, true>(d, p, xs, ys, zs, n);
    else
      rotate_registers<false, false>(d, p, xs, ys, zs, n);
  }
}

// One chunk in lanes of D's type, if its words fit their bound.
template <class D>
bool run_chunk(D d, const LanePlan &p, const double *cart, const double *phase, std::size_t n, double bound,
               double *out_a, double *out_b) {
  using T = hn::TFromD<D>;
  HWY_ALIGN T x[kBuffer];
  HWY_ALIGN T y[kBuffer];
  HWY_ALIGN T z[kBuffer];
  const std::size_t multiple = hn::Lanes(d);
  if (p.vector_in && !load_words<true>(p, cart, n, bound, multiple, x, y)) return false;
  if (p.phase_in && !load_words<false>(p, phase, n, bound, multiple, z, static_cast<T *>(nullptr))) return false;
  rotate_registers(d, p, x, y, z, n);
  write_outputs(p, x, y, z, n, out_a, out_b);
  return true;
}

bool RunLaneChunk(const LanePlan &p, const double *cart, const double *phase, std::size_t n, double *out_a,
                  double *out_b) {
  if (p.width <= kNarrowWidth && run_chunk(DN(), p, cart, phase, n, kNarrowInputBound, out_a, out_b)) return true;
  return run_chunk(DI(), p, cart, phase, n, kWideInputBound, out_a, out_b);
}

// ---- integer words in and out ----

// load_words for n integer words (below 2^53 in magnitude, so each is its
// double exactly): the same alignment, bound and zero fill.
template <class T>
bool load_integer_words(const LanePlan &p, const int64_t *HWY_RESTRICT in, std::size_t n, double bound,
                        std::size_t multiple, T *HWY_RESTRICT a) {
  const DF df;
  const std::size_t lanes = hn::Lanes(df);
  auto fits = hn::FirstN(df, lanes);
  std::size_t k = 0;
  for (; k + lanes <= n; k += lanes)
    store_lanes(align_lanes(p, hn::ConvertTo(df, hn::LoadU(DI(), in + k)), bound, fits), a + k);
  if (!hn::AllTrue(df, fits)) return false;
  for (; k < n; ++k) {
    double aligned = 0.0;
    if (!align_word(p, static_cast<double>(in[k]), bound, aligned)) return false;
    a[k] = static_cast<T>(aligned);
  }
  for (; k % multiple != 0; ++k) a[k] = 0;
  return true;
}

// write_outputs to integer words: n of them exactly (the caller's arrays
// have no padding); out_a may be null (the vectoring functions' magnitude,
// which atan and atanh do not return).
template <class T>
void write_integer_outputs(const LanePlan &p, const T *HWY_RESTRICT xs, const T *HWY_RESTRICT ys,
                           const T *HWY_RESTRICT zs, std::size_t n, int64_t *HWY_RESTRICT out_a,
                           int64_t *HWY_RESTRICT out_b) {
  const DI di;
  const std::size_t lanes = hn::Lanes(di);
  for (std::size_t k = 0; k < n; k += lanes) {
    VI x = load_wide(xs + k);
    VI other = load_wide(p.vectoring ? zs + k : ys + k);
    if (p.compensate) {
      if (out_a) x = compensate(p, x);
      if (!p.vectoring) other = compensate(p, other);
    }
    if (k + lanes <= n) {
      if (out_a) hn::StoreU(round_output(p, x), di, out_a + k);
      hn::StoreU(round_output(p, other), di, out_b + k);
      continue;
    }
    HWY_ALIGN int64_t tail[2][hn::MaxLanes(DI())];  // the last vector is partial: no store past n
    hn::Store(round_output(p, x), di, tail[0]);
    hn::Store(round_output(p, other), di, tail[1]);
    for (std::size_t j = k; j < n; ++j) {
      if (out_a) out_a[j] = tail[0][j - k];
      out_b[j] = tail[1][j - k];
    }
  }
}

template <class D>
bool run_word_chunk(D d, const LanePlan &p, const int64_t *x, const int64_t *y, const int64_t *z, std::size_t n,
                    double bound, int64_t *out_a, int64_t *out_b) {
  using T = hn::TFromD<D>;
  HWY_ALIGN T xs[kBuffer];
  HWY_ALIGN T ys[kBuffer];
  HWY_ALIGN T zs[kBuffer];
  const std::size_t multiple = hn::Lanes(d);
  if (p.vector_in && !(load_integer_words(p, x, n, bound, multiple, xs) &&
                       load_integer_words(p, y, n, bound, multiple, ys)))
    return false;
  if (p.phase_in && !load_integer_words(p, z, n, bound, multiple, zs)) return false;
  rotate_registers(d, p, xs, ys, zs, n);
  write_integer_outputs(p, xs, ys, zs, n, out_a, out_b);
  return true;
}

bool RunLaneWords(const LanePlan &p, const int64_t *x, const int64_t *y, const int64_t *z, std::size_t count,
                  int64_t *out_a, int64_t *out_b) {
  for (std::size_t k = 0; k < count; k += kLaneChunk) {
    const std::size_t n = count - k < kLaneChunk ? count - k : kLaneChunk;
    const int64_t *cx = p.vector_in ? x + k : nullptr, *cy = p.vector_in ? y + k : nullptr;
    const int64_t *cz = p.phase_in ? z + k : nullptr;
    int64_t *a = out_a ? out_a + k : nullptr;
    if (p.width <= kNarrowWidth && run_word_chunk(DN(), p, cx, cy, cz, n, kNarrowInputBound, a, out_b + k)) continue;
    if (!run_word_chunk(DI(), p, cx, cy, cz, n, kWideInputBound, a, out_b + k)) return false;
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
HWY_EXPORT(RunLaneWords);
HWY_EXPORT(TargetName);

bool run_lane_chunk(const LanePlan &plan, const double *cart, const double *phase, std::size_t n, double *out_a,
                    double *out_b) {
  return HWY_DYNAMIC_DISPATCH(RunLaneChunk)(plan, cart, phase, n, out_a, out_b);
}

bool run_lane_words(const LanePlan &plan, const int64_t *x, const int64_t *y, const int64_t *z, std::size_t count,
                    int64_t *out_a, int64_t *out_b) {
  return HWY_DYNAMIC_DISPATCH(RunLaneWords)(plan, x, y, z, count, out_a, out_b);
}

const char *lane_target_name() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

}  // namespace cordic
#endif  // HWY_ONCE
