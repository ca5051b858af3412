// Vector data paths of the engines (see fft_simd.h). This file is compiled
// once per instruction set Highway targets (foreach_target), and the public
// functions at the end call the best one the CPU has.
//
// Every operation is an exact integer operation on 64-bit lanes: adds,
// shifts, compares, selects and multiplies whose results are known to fit.
// Wrapping into a register of w bits is a left shift by 64 - w followed by
// an arithmetic right shift, as in the scalar registers.
#include <algorithm>
#include <cmath>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fft_simd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "fft_simd.h"

#ifndef ZELFFT_SIMD_TAILS
#define ZELFFT_SIMD_TAILS
namespace zelfft::simd {
// The sample passes one element at a time, for what is left after the last
// whole vector (and for vectors of one lane).
inline SampleScan ScanTail(const double *x, int i, int n, double s, SampleScan so_far) {
  for (; i < n; ++i) {
    so_far.in_range &= x[i] >= -1.0 && x[i] < 1.0;
    so_far.on_grid &= std::floor(s * x[i]) == s * x[i];
  }
  return so_far;
}
inline int64_t FloorWord(double x, double scale, int width) {
  const double y = x * scale;
  int64_t t = static_cast<int64_t>(y);
  if (static_cast<double>(t) > y) --t;
  return raw::wrap(t, width);
}
inline int64_t LoadTail(const double *re, const double *im, int a, int n, double scale, int width,
                        const int32_t *from, RawComplex *memory, int64_t largest) {
  for (; a < n; ++a) {
    const int s = from != nullptr ? from[a] : a;
    const RawComplex w{FloorWord(re[s], scale, width), FloorWord(im[s], scale, width)};
    memory[a] = w;
    largest = std::max({largest, w.re ^ (w.re >> 63), w.im ^ (w.im >> 63)});
  }
  return largest;
}
inline void UnloadTail(const RawComplex *memory, const int32_t *from, int i, int n, double scale, double *re,
                       double *im) {
  for (; i < n; ++i) {
    const RawComplex &w = memory[from != nullptr ? from[i] : i];
    re[i] = static_cast<double>(w.re) * scale;
    im[i] = static_cast<double>(w.im) * scale;
  }
}
// Interleaved pairs (x[2a] real, x[2a+1] imaginary) have the layout of the
// memory words, so both directions are one flat pass over 2n parts.
inline int64_t LoadFlatTail(const double *x, int j, int parts, double scale, int width, int64_t *flat,
                            int64_t largest) {
  for (; j < parts; ++j) {
    flat[j] = FloorWord(x[j], scale, width);
    largest = std::max(largest, flat[j] ^ (flat[j] >> 63));
  }
  return largest;
}
// The same for parts not yet checked: *plain is cleared (and the part's word
// left 0) unless x * scale is a whole number in [-scale, scale) with none of
// the bits `off_grid` set.
inline int64_t LoadFlatTailChecked(const double *x, int j, int parts, double scale, int width, int64_t *flat,
                                   int64_t largest, int64_t off_grid, bool *plain) {
  for (; j < parts; ++j) {
    const double y = x[j] * scale;
    if (!(y >= -scale && y < scale && std::floor(y) == y && (static_cast<int64_t>(y) & off_grid) == 0)) {
      *plain = false;
      flat[j] = 0;
      continue;
    }
    flat[j] = FloorWord(x[j], scale, width);
    largest = std::max(largest, flat[j] ^ (flat[j] >> 63));
  }
  return largest;
}
inline void UnloadPairsTail(const RawComplex *memory, const int32_t *from, int i, int n, double scale, double *x) {
  for (; i < n; ++i) {
    const RawComplex &w = memory[from != nullptr ? from[i] : i];
    x[2 * i] = static_cast<double>(w.re) * scale;
    x[2 * i + 1] = static_cast<double>(w.im) * scale;
  }
}
}  // namespace zelfft::simd
#endif

HWY_BEFORE_NAMESPACE();
namespace zelfft::simd::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR
// Vectors of one lane hold no whole word: the scalar engines run instead.
bool Radix2Stage(RawComplex *, int, int, const LaneTwiddles *, size_t, const BurstPath *, int, StageResult *) {
  return false;
}
bool Radix4Stage(RawComplex *, int, int, const int32_t *, const LaneTwiddles *, const size_t (*)[3],
                 const BurstPath *, int, bool, StageResult *) {
  return false;
}
bool PipelineStage(RawComplex *, int, int, int, const LaneTwiddles *, const size_t (*)[4], const PipelinePath *,
                   int, StageResult *) {
  return false;
}
bool Radix4FirstStaged(RawComplex *, const RawComplex *, int, const int32_t *, const BurstPath *, int, bool,
                       StageResult *) {
  return false;
}
SampleScan ScanSamples(const double *x, int n, double s) { return ScanTail(x, 0, n, s, {true, true}); }
bool PlainSingleBlock(const double *, const double *, int, double *) { return false; }
int FinishSingles(double *, double *, int n, int, int32_t *pending, int *chunk) {
  for (int i = 0; i < n; ++i) pending[i] = i;
  *chunk = 1;
  return n;
}
int64_t SingleWords(const double *, const double *, int, int, int, double, int, RawComplex *) { return -1; }
int64_t LoadWords(const double *re, const double *im, int n, double scale, int width, const int32_t *from,
                  RawComplex *memory) {
  return LoadTail(re, im, 0, n, scale, width, from, memory, 0);
}
void UnloadWords(const RawComplex *memory, const int32_t *from, int n, double scale, double *re, double *im) {
  UnloadTail(memory, from, 0, n, scale, re, im);
}
int64_t LoadPairs(const double *x, int n, double scale, int width, RawComplex *memory, int64_t off_grid,
                  bool *plain) {
  if (plain != nullptr) return LoadFlatTailChecked(x, 0, 2 * n, scale, width, &memory->re, 0, off_grid, plain);
  return LoadFlatTail(x, 0, 2 * n, scale, width, &memory->re, 0);
}
void UnloadPairs(const RawComplex *memory, const int32_t *from, int n, double scale, double *x) {
  UnloadPairsTail(memory, from, 0, n, scale, x);
}
#else

// Low 64 bits of a 64 x 64 product: exact when the product fits.
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
HWY_INLINE hn::Vec512<int64_t> MulLow(hn::Vec512<int64_t> a, hn::Vec512<int64_t> b) { return a * b; }
#endif
template <class V>
HWY_INLINE V MulLow(V a, V b) {
  const hn::DFromV<V> d;
  const hn::RebindToUnsigned<decltype(d)> du;
  const hn::Repartition<uint32_t, decltype(d)> d32;
  const auto au = hn::BitCast(du, a);
  const auto bu = hn::BitCast(du, b);
  const auto lo = hn::MulEven(hn::BitCast(d32, au), hn::BitCast(d32, bu));
  const auto cross = hn::Add(hn::MulEven(hn::BitCast(d32, hn::ShiftRight<32>(au)), hn::BitCast(d32, bu)),
                             hn::MulEven(hn::BitCast(d32, au), hn::BitCast(d32, hn::ShiftRight<32>(bu))));
  return hn::BitCast(d, hn::Add(lo, hn::ShiftLeft<32>(cross)));
}

template <Products kP, class V>
HWY_INLINE V Mul(V a, V b) {
  if constexpr (kP == Products::kSmall) {
    // Both factors are sign-extended 32-bit values: their low halves.
    const hn::DFromV<V> d;
    const hn::Repartition<int32_t, decltype(d)> d32;
    return hn::MulEven(hn::BitCast(d32, a), hn::BitCast(d32, b));
  } else {
    return MulLow(a, b);
  }
}

// Into a register of 64 - up bits.
template <class V>
HWY_INLINE V Wrap(V v, int up) {
  return hn::ShiftRightSame(hn::ShiftLeftSame(v, up), up);
}

// The register arithmetic of one configuration, as lane constants.
template <class D>
struct Lanes64 {
  using V = hn::Vec<D>;
  D d;
  V zero;
  V one;
  HWY_INLINE Lanes64() : zero(hn::Zero(D())), one(hn::Set(D(), 1)) {}

  // Store of v, which has `drop` (>= 1) more fraction bits than the register
  // of `width` bits: floored, or rounded half to even without ever rounding
  // the largest positive pattern up into the sign (ConvergentSafe); wraps.
  struct Quantiser {
    int drop;
    int up;
    bool convergent;
    V remainder_mask;
    V half;
    V largest;
  };
  Quantiser quantiser(int drop, int width, bool convergent) const {
    return {drop,
            64 - width,
            convergent,
            hn::Set(d, (int64_t{1} << drop) - 1),
            hn::Set(d, int64_t{1} << (drop - 1)),
            hn::Set(d, (int64_t{1} << (width - 1)) - 1)};
  }
  HWY_INLINE V quantise(const Quantiser &q, V v) const {
    const V kept = hn::ShiftRightSame(v, q.drop);
    const V wrapped = Wrap(kept, q.up);
    if (!q.convergent) return wrapped;
    // Up when the remainder exceeds half, or equals it and kept is odd.
    const auto up = hn::Gt(hn::Add(hn::And(v, q.remainder_mask), hn::And(kept, one)), q.half);
    const auto round = hn::AndNot(hn::Eq(wrapped, q.largest), up);
    // Below the largest pattern, one more stays within the register.
    return hn::IfThenElse(round, hn::Add(wrapped, one), wrapped);
  }

  // Outside [-1, 1) at `point` fraction bits.
  struct Unit {
    V top;     // 2^point - 1
    V bottom;  // -2^point
  };
  Unit unit(int point) const { return {hn::Set(d, (int64_t{1} << point) - 1), hn::Set(d, -(int64_t{1} << point))}; }
  HWY_INLINE auto outside(const Unit &u, V v) const { return hn::Or(hn::Gt(v, u.top), hn::Lt(v, u.bottom)); }

  // v ^ (v >> 63): |v| for v >= 0, |v| - 1 below.
  HWY_INLINE V fold(V v) const { return hn::Xor(v, hn::ShiftRight<63>(v)); }

  // {re, im} -> {im, re}
  HWY_INLINE V swap_parts(V v) const { return hn::Reverse2(d, v); }
  // -j * {re, im} = {im, -re}
  HWY_INLINE V times_minus_j(V v) const {
    const V s = swap_parts(v);
    return hn::OddEven(hn::Neg(s), s);
  }
};

template <class D>
HWY_INLINE hn::Vec<D> Load(D d, const RawComplex *p) {
  return hn::LoadU(d, &p->re);
}
template <class D>
HWY_INLINE void Store(D d, hn::Vec<D> v, RawComplex *p) {
  hn::StoreU(v, d, &p->re);
}

// (x * w + round_constant) floored by `drop` bits, exact modulo 2^64.
//
// When the sum of products needs more than 64 bits, the data factor (at
// most 53 bits) is split as x = h * 2^26 + l, 0 <= l < 2^26; with twiddle
// parts of at most 2^33 the high sums H = h * w stay below 2^60 and the low
// sums L = l * w + c below 2^61. Then x * w + c = U * 2^26 + (L mod 2^26)
// with U = H + (L >> 26), and the floored quotient is U >> (drop - 26), or
// U * 2^(26 - drop) + ((L mod 2^26) >> drop) for a smaller drop.
template <Products kP, class V>
HWY_INLINE V FlooredProduct(V x, V wa, V wb, V round_constant, int drop, const hn::DFromV<V> d) {
  if constexpr (kP == Products::kWide) {
    const V h = hn::ShiftRight<26>(x);
    const V l = hn::And(x, hn::Set(d, (int64_t{1} << 26) - 1));
    const V high = hn::Add(MulLow(h, wa), MulLow(hn::Reverse2(d, h), wb));
    const V low = hn::Add(hn::Add(MulLow(l, wa), MulLow(hn::Reverse2(d, l), wb)), round_constant);
    const V u = hn::Add(high, hn::ShiftRight<26>(low));
    if (drop >= 26) return hn::ShiftRightSame(u, drop - 26);
    const V rest = hn::And(low, hn::Set(d, (int64_t{1} << 26) - 1));
    return hn::Add(hn::ShiftLeftSame(u, 26 - drop), hn::ShiftRightSame(rest, drop));
  } else {
    const V p = hn::Add(Mul<kP>(x, wa), Mul<kP>(hn::Reverse2(d, x), wb));
    return hn::ShiftRightSame(hn::Add(p, round_constant), drop);
  }
}

// x * w rounded: (x * w + round_constant) floored by `drop` bits, wrapped.
template <Products kP, class V>
HWY_INLINE V TwiddleProduct(V x, V wa, V wb, V round_constant, int drop, int up, const hn::DFromV<V> d) {
  return Wrap(FlooredProduct<kP>(x, wa, wb, round_constant, drop, d), up);
}

// The same where the rounded product cannot wrap. So it is in the burst
// engines: a data word part is at most 2^(Bo-1) in magnitude and a twiddle
// at most 1 + 2^-(TW-1) in modulus, so each part of x * w stays below
// 1.42 * 2^(Bo-1) units of 2^-(Bo-1), that is below 1.43 * 2^(Bo+2) at the
// working point: inside the Bo+4 bits of the twiddled register.
template <Products kP, class V>
HWY_INLINE V BurstProduct(V x, V wa, V wb, V round_constant, int drop, const hn::DFromV<V> d) {
  return FlooredProduct<kP>(x, wa, wb, round_constant, drop, d);
}

// The largest and smallest value met, lane by lane: a stage's overflow test
// and the growth class of its outputs need nothing else.
template <class V>
struct Extremes {
  V high;
  V low;
  HWY_INLINE void add(V v) {
    high = hn::Max(high, v);
    low = hn::Min(low, v);
  }
  // Whether some value lay outside [-2^point, 2^point).
  bool outside(int point) const {
    const hn::DFromV<V> d;
    return hn::GetLane(hn::MaxOfLanes(d, high)) >= (int64_t{1} << point) ||
           hn::GetLane(hn::MinOfLanes(d, low)) < -(int64_t{1} << point);
  }
  // The largest v ^ (v >> 63): at the largest or at the smallest value.
  int64_t largest_fold() const {
    const hn::DFromV<V> d;
    const int64_t h = hn::GetLane(hn::MaxOfLanes(d, high));
    const int64_t l = hn::GetLane(hn::MinOfLanes(d, low));
    return std::max({int64_t{0}, h ^ (h >> 63), l ^ (l >> 63)});
  }
};

// ---------------------------------------------------------------------------
// Radix-2 burst butterflies.

template <Products kP, class D>
void Radix2Lanes(D d, RawComplex *mem, int length, int span, const RawComplex *wa, const RawComplex *wb,
                 const BurstPath &p, int shift, StageResult &r) {
  using V = hn::Vec<D>;
  const Lanes64<D> k;
  const int step = static_cast<int>(hn::Lanes(d) / 2);
  const V c = hn::Set(d, p.round_constant);
  // x0 + t and x0 - t need at most Bo+4 bits (the sums register has Bo+5)
  // and eight times that at most Bo+7 (the scaled register has Bo+8): no
  // register before the output can wrap. The scaled value is the sum times
  // 2^(3 - shift) exactly, so the output (6 bits dropped) is the sum with
  // shift + 3 bits dropped, and the scaled value leaves [-1, 1) exactly
  // when the sum leaves [-2^(Bo+2+shift), 2^(Bo+2+shift)).
  const auto q = k.quantiser(shift + 3, p.word_width, p.convergent);
  Extremes<V> sums{k.zero, k.zero}, outputs{k.zero, k.zero};
  for (int base = 0; base < length; base += 2 * span) {
    for (int j = 0; j < span; j += step) {
      RawComplex *p0 = mem + base + j;
      RawComplex *p1 = p0 + span;
      const V t = BurstProduct<kP>(Load(d, p1), Load(d, wa + j), Load(d, wb + j), c, p.drop, d);
      const V x0 = hn::ShiftLeft<3>(Load(d, p0));
      const V y0 = hn::Add(x0, t);
      const V y1 = hn::Sub(x0, t);
      sums.add(y0);
      sums.add(y1);
      const V o0 = k.quantise(q, y0);
      const V o1 = k.quantise(q, y1);
      if (p.measure) {
        outputs.add(o0);
        outputs.add(o1);
      }
      Store(d, o0, p0);
      Store(d, o1, p1);
    }
  }
  r.overflow = r.overflow || sums.outside(p.word_width + 2 + shift);
  r.largest = std::max(r.largest, outputs.largest_fold());
}

// ---------------------------------------------------------------------------
// Radix-4 burst butterflies.

// The registers between the products and the outputs cannot wrap either:
// with |x0| <= 2^(Bo-1) and each |t| below 1.43 * 2^(Bo+2), the first-level
// sums stay below 2^(Bo+4) (their register has Bo+6 bits) and the
// second-level sums below 2^(Bo+5), eight times that below 2^(Bo+8) (their
// register has Bo+9 bits).
// One radix-4 butterfly from its four terms at the product scale (x0 already
// eight times its word): the second-level sums, their extremes measured, then
// quantised to the output word, in output order 0..3.
template <class K, class Q, class V>
HWY_INLINE void Radix4Outputs(const K &k, const Q &q, bool measure, V x0, V t1, V t2, V t3, Extremes<V> &sums,
                              Extremes<V> &outputs, V (&o)[4]) {
  const V s0 = hn::Add(x0, t2);
  const V s2 = hn::Sub(x0, t2);
  const V s1 = hn::Add(t1, t3);
  const V s3 = k.times_minus_j(hn::Sub(t1, t3));
  o[0] = hn::Add(s0, s1);
  o[1] = hn::Add(s2, s3);
  o[2] = hn::Sub(s0, s1);
  o[3] = hn::Sub(s2, s3);
  for (V &v : o) {
    sums.add(v);
    v = k.quantise(q, v);
    if (measure) outputs.add(v);
  }
}

template <Products kP, class D>
void Radix4Lanes(D d, RawComplex *mem, int length, int span, const int32_t *starts, const LaneTwiddles &tw,
                 const size_t (&first)[3], const BurstPath &p, int shift, bool swap13, StageResult &r) {
  using V = hn::Vec<D>;
  const Lanes64<D> k;
  const int step = static_cast<int>(hn::Lanes(d) / 2);
  const V c = hn::Set(d, p.round_constant);
  const int bo = p.word_width;
  // As for radix 2, the output drops shift + 3 bits of the second-level sum.
  const auto q = k.quantiser(shift + 3, bo, p.convergent);
  const RawComplex *wa1 = tw.a.data() + first[0], *wb1 = tw.b.data() + first[0];
  const RawComplex *wa2 = tw.a.data() + first[1], *wb2 = tw.b.data() + first[1];
  const RawComplex *wa3 = tw.a.data() + first[2], *wb3 = tw.b.data() + first[2];
  Extremes<V> sums{k.zero, k.zero}, outputs{k.zero, k.zero};

  const auto butterfly = [&](RawComplex *a, int low) HWY_ATTR {
    RawComplex *a1 = a + span, *a2 = a1 + span, *a3 = a2 + span;
    const V t1 = BurstProduct<kP>(Load(d, a1), Load(d, wa1 + low), Load(d, wb1 + low), c, p.drop, d);
    const V t2 = BurstProduct<kP>(Load(d, a2), Load(d, wa2 + low), Load(d, wb2 + low), c, p.drop, d);
    const V t3 = BurstProduct<kP>(Load(d, a3), Load(d, wa3 + low), Load(d, wb3 + low), c, p.drop, d);
    const V x0 = hn::ShiftLeft<3>(Load(d, a));
    V o[4];
    Radix4Outputs(k, q, p.measure, x0, t1, t2, t3, sums, outputs, o);
    Store(d, o[0], a);
    Store(d, swap13 ? o[3] : o[1], a1);
    Store(d, o[2], a2);
    Store(d, swap13 ? o[1] : o[3], a3);
  };

  if (starts != nullptr) {
    for (int b = 0; b < length / 4; ++b) butterfly(mem + starts[b], 0);
  } else {
    for (int high = 0; high < length; high += 4 * span) {
      for (int low = 0; low < span; low += step) butterfly(mem + high + low, low);
    }
  }
  r.overflow = r.overflow || sums.outside(bo + 2 + shift);
  r.largest = std::max(r.largest, outputs.largest_fold());
}

// Stage 0 of the radix-4 engine: its butterflies are the quads of words
// 4m .. 4m+3 (in any order: each reads and writes its own), and its twiddles
// are all 1, whose rounded product is exactly 8x. LoadInterleaved4 on a run
// of quads gives per quad the pairs (x0, x2) and (x1, x3), real and
// imaginary parts apart; the butterfly is formed across each pair.
template <class D>
void Radix4FirstLanes(D d, RawComplex *mem, int length, const BurstPath &p, int shift, bool swap13,
                      StageResult &r) {
  using V = hn::Vec<D>;
  const Lanes64<D> k;
  const int bo = p.word_width;
  const auto q = k.quantiser(shift + 3, bo, p.convergent);
  Extremes<V> sums{k.zero, k.zero}, outputs{k.zero, k.zero};
  // {a, b} -> {8a + 8b, 8a - 8b} within each pair (no register wraps, as in
  // the other stages).
  const auto sum_difference = [&](V v) HWY_ATTR {
    const V u = hn::ShiftLeft<3>(v);
    const V odd = hn::DupOdd(u);
    return hn::Add(hn::DupEven(u), hn::OddEven(hn::Neg(odd), odd));
  };
  const auto finish = [&](V v) HWY_ATTR {
    sums.add(v);
    v = k.quantise(q, v);
    if (p.measure) outputs.add(v);
    return v;
  };
  const size_t words = 2 * hn::Lanes(d);  // per group of four vectors
  int64_t *base = &mem->re;
  for (size_t w = 0; w < static_cast<size_t>(length); w += words) {
    int64_t *at = base + 2 * w;
    V v0, v1, v2, v3;
    hn::LoadInterleaved4(d, at, v0, v1, v2, v3);
    const V p0 = sum_difference(v0);  // {s0, s2} real
    const V p1 = sum_difference(v1);  // {s0, s2} imaginary
    const V p2 = sum_difference(v2);  // {s1, t1 - t3} real
    const V p3 = sum_difference(v3);  // {s1, t1 - t3} imaginary
    // {s1, s3} with s3 = -j (t1 - t3).
    const V q_re = hn::OddEven(p3, p2);
    const V q_im = hn::OddEven(hn::Neg(p2), p3);
    V re01 = finish(hn::Add(p0, q_re));  // {o0, o1}
    V re23 = finish(hn::Sub(p0, q_re));  // {o2, o3}
    V im01 = finish(hn::Add(p1, q_im));
    V im23 = finish(hn::Sub(p1, q_im));
    if (swap13) {
      const V r01 = hn::OddEven(re23, re01), r23 = hn::OddEven(re01, re23);
      const V i01 = hn::OddEven(im23, im01), i23 = hn::OddEven(im01, im23);
      re01 = r01, re23 = r23, im01 = i01, im23 = i23;
    }
    hn::StoreInterleaved4(hn::OddEven(hn::DupEven(re23), re01), hn::OddEven(hn::DupEven(im23), im01),
                          hn::OddEven(re23, hn::DupOdd(re01)), hn::OddEven(im23, hn::DupOdd(im01)), d, at);
  }
  r.overflow = r.overflow || sums.outside(bo + 2 + shift);
  r.largest = std::max(r.largest, outputs.largest_fold());
}

// The same stage reading its operands in sample order: the butterfly of q
// takes words q + j * N/4, so a vector of consecutive q holds operand j of
// consecutive butterflies, and its results are turned into whole
// butterflies (pairs of 128-bit blocks swapped) on the way out. Vectors of
// one or two words.
template <class D>
void Radix4FirstStagedLanes(D d, RawComplex *mem, const RawComplex *staged, int length, const int32_t *dest,
                            const BurstPath &p, int shift, bool swap13, StageResult &r) {
  using V = hn::Vec<D>;
  const Lanes64<D> k;
  const size_t words = hn::Lanes(d) / 2;
  const auto q = k.quantiser(shift + 3, p.word_width, p.convergent);
  Extremes<V> sums{k.zero, k.zero}, outputs{k.zero, k.zero};
  const int quarter = length / 4;
  for (int b = 0; b < quarter; b += static_cast<int>(words)) {
    const RawComplex *x = staged + b;
    // Twiddles of 1: each rounded product is 8x exactly (no register wraps,
    // as in the other stages).
    const V x0 = hn::ShiftLeft<3>(Load(d, x));
    const V t1 = hn::ShiftLeft<3>(Load(d, x + quarter));
    const V t2 = hn::ShiftLeft<3>(Load(d, x + 2 * quarter));
    const V t3 = hn::ShiftLeft<3>(Load(d, x + 3 * quarter));
    V o[4];
    Radix4Outputs(k, q, p.measure, x0, t1, t2, t3, sums, outputs, o);
    if (swap13) std::swap(o[1], o[3]);
    if (words == 1) {
      RawComplex *out = mem + dest[b];
      for (int j = 0; j < 4; ++j) Store(d, o[j], out + j);
    } else {
      RawComplex *out0 = mem + dest[b];
      RawComplex *out1 = mem + dest[b + 1];
      Store(d, hn::ConcatLowerLower(d, o[1], o[0]), out0);
      Store(d, hn::ConcatLowerLower(d, o[3], o[2]), out0 + 2);
      Store(d, hn::ConcatUpperUpper(d, o[1], o[0]), out1);
      Store(d, hn::ConcatUpperUpper(d, o[3], o[2]), out1 + 2);
    }
  }
  r.overflow = r.overflow || sums.outside(p.word_width + 2 + shift);
  r.largest = std::max(r.largest, outputs.largest_fold());
}

bool Radix4FirstStaged(RawComplex *memory, const RawComplex *staged, int length, const int32_t *dest,
                       const BurstPath *p, int shift, bool swap13, StageResult *r) {
  const hn::CappedTag<int64_t, 4> two_words;
  const hn::CappedTag<int64_t, 2> one_word;
  if (hn::Lanes(two_words) == 4) {
    Radix4FirstStagedLanes(two_words, memory, staged, length, dest, *p, shift, swap13, *r);
  } else if (hn::Lanes(one_word) == 2) {
    Radix4FirstStagedLanes(one_word, memory, staged, length, dest, *p, shift, swap13, *r);
  } else {
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Pipelined butterflies.

template <Products kP, class D>
void PipelineLanes(D d, RawComplex *mem, int length, int nfft, int s, const LaneTwiddles &tw,
                   const size_t (&first)[4], const PipelinePath &p, int shift, StageResult &r) {
  using V = hn::Vec<D>;
  const Lanes64<D> k;
  const int step = static_cast<int>(hn::Lanes(d) / 2);
  const int b = p.word_width;
  const int h = length >> (s + 1);
  const int group = 2 * h;
  const bool odd_stage = (s & 1) == 1;
  const bool last = s == nfft - 1;
  const bool twiddled = odd_stage && !last;
  const int rw_up = 64 - p.result_width;
  const int mem_up = 64 - (b + 1);
  const V c = hn::Set(d, p.round_constant);
  const int drop = b + p.twiddle_width - 2 - p.product_point;
  const int tw_up = 64 - p.twiddled_width;
  // The scaled registers, their overflow bounds and the output stores.
  const auto unit7 = k.unit(b + 7);
  const auto unit2 = k.unit(b + 2);
  const auto q8 = k.quantiser(8, p.result_width, p.convergent);
  const auto q_final = k.quantiser(p.final_drops_bit ? 2 : 3, p.result_width, p.convergent);
  const auto q_product = k.quantiser(p.product_point - (b - 1), p.result_width, p.convergent);
  auto overflow = hn::Lt(k.zero, k.zero);

  const auto finish = [&](V v, const RawComplex *wa, const RawComplex *wb) HWY_ATTR -> V {
    if (!odd_stage) {
      if (!(last && p.fixed_scaling)) return v;
      // The lone last stage of an odd length: (B+11, B+7).
      const V scaled = Wrap(hn::ShiftLeftSame(v, 8 - shift), 64 - (b + 11));
      overflow = hn::Or(overflow, k.outside(unit7, scaled));
      return k.quantise(q8, scaled);
    }
    if (last) {
      if (!p.fixed_scaling) return v;
      // The last stage of an even length: (B+5, B+2), then final_stage.
      const V scaled = Wrap(hn::ShiftLeftSame(v, 3 - shift), 64 - (b + 5));
      overflow = hn::Or(overflow, k.outside(unit2, scaled));
      if (p.final_drops_bit) return k.quantise(q_final, Wrap(hn::ShiftRight<1>(scaled), 64 - (b + 4)));
      return k.quantise(q_final, scaled);
    }
    const V t = TwiddleProduct<kP>(v, Load(d, wa), Load(d, wb), c, drop, tw_up, d);
    if (!p.fixed_scaling) return k.quantise(q_product, t);
    const V scaled = Wrap(hn::ShiftLeftSame(t, 3 - shift), 64 - (b + 11));
    overflow = hn::Or(overflow, k.outside(unit7, scaled));
    return k.quantise(q8, scaled);
  };

  const RawComplex *a = tw.a.data();
  const RawComplex *bt = tw.b.data();
  for (int g = 0; g < length / group; ++g) {
    const bool odd_group = (g & 1) == 1;
    const size_t upper = odd_group ? first[2] : first[0];
    const size_t lower = odd_group ? first[3] : first[1];
    const bool rotate = odd_stage && odd_group;
    for (int i = 0; i < h; i += step) {
      RawComplex *pu = mem + g * group + i;
      RawComplex *pl = pu + h;
      const V x0 = Load(d, pu);
      const V x1 = Load(d, pl);
      V r0, r1;
      if (!rotate) {
        r0 = Wrap(hn::Add(x0, x1), rw_up);
        r1 = Wrap(hn::Sub(x0, x1), rw_up);
      } else {
        // x0 - j*x1 and x0 + j*x1; the forward transform puts the first on top.
        const V mj = k.times_minus_j(x1);
        const V minus_j = Wrap(hn::Add(x0, mj), rw_up);
        const V plus_j = Wrap(hn::Sub(x0, mj), rw_up);
        r0 = p.forward ? minus_j : plus_j;
        r1 = p.forward ? plus_j : minus_j;
      }
      if (twiddled) {
        r0 = finish(r0, a + upper + i, bt + upper + i);
        r1 = finish(r1, a + lower + i, bt + lower + i);
      } else {
        r0 = finish(r0, nullptr, nullptr);
        r1 = finish(r1, nullptr, nullptr);
      }
      Store(d, Wrap(r0, mem_up), pu);
      Store(d, Wrap(r1, mem_up), pl);
    }
  }
  r.overflow = r.overflow || !hn::AllFalse(d, overflow);
}

// The last stage of the pipelined engine (span 1: butterflies on words 2g
// and 2g+1, no twiddles) with real and imaginary parts apart:
// LoadInterleaved4 on a run of words gives x0 and x1 of consecutive groups,
// lane by lane; the odd lanes are the odd groups.
template <class D>
void PipelineLastLanes(D d, RawComplex *mem, int length, int s, const PipelinePath &p, int shift, StageResult &r) {
  using V = hn::Vec<D>;
  const Lanes64<D> k;
  const int b = p.word_width;
  const bool odd_stage = (s & 1) == 1;
  const int rw_up = 64 - p.result_width;
  const int mem_up = 64 - (b + 1);
  const auto unit7 = k.unit(b + 7);
  const auto unit2 = k.unit(b + 2);
  const auto q8 = k.quantiser(8, p.result_width, p.convergent);
  const auto q_final = k.quantiser(p.final_drops_bit ? 2 : 3, p.result_width, p.convergent);
  auto overflow = hn::Lt(k.zero, k.zero);
  const auto finish = [&](V v) HWY_ATTR -> V {
    if (!p.fixed_scaling) return v;
    if (!odd_stage) {
      // The lone last stage of an odd length: (B+11, B+7).
      const V scaled = Wrap(hn::ShiftLeftSame(v, 8 - shift), 64 - (b + 11));
      overflow = hn::Or(overflow, k.outside(unit7, scaled));
      return k.quantise(q8, scaled);
    }
    // The last stage of an even length: (B+5, B+2), then final_stage.
    const V scaled = Wrap(hn::ShiftLeftSame(v, 3 - shift), 64 - (b + 5));
    overflow = hn::Or(overflow, k.outside(unit2, scaled));
    if (p.final_drops_bit) return k.quantise(q_final, Wrap(hn::ShiftRight<1>(scaled), 64 - (b + 4)));
    return k.quantise(q_final, scaled);
  };
  const size_t words = 2 * hn::Lanes(d);
  for (size_t w = 0; w < static_cast<size_t>(length); w += words) {
    int64_t *at = &mem[w].re;
    V a, bi, c, dd;  // x0 = a + j bi, x1 = c + j dd
    hn::LoadInterleaved4(d, at, a, bi, c, dd);
    V re0 = hn::Add(a, c), im0 = hn::Add(bi, dd), re1 = hn::Sub(a, c), im1 = hn::Sub(bi, dd);
    if (odd_stage) {
      // Odd groups: x0 - j*x1 = (a + d) + j(b - c) and x0 + j*x1 = (a - d) + j(b + c),
      // the first on top for a forward transform.
      V mre = hn::Add(a, dd), mim = hn::Sub(bi, c), pre = hn::Sub(a, dd), pim = hn::Add(bi, c);
      if (!p.forward) {
        std::swap(mre, pre);
        std::swap(mim, pim);
      }
      re0 = hn::OddEven(mre, re0);
      im0 = hn::OddEven(mim, im0);
      re1 = hn::OddEven(pre, re1);
      im1 = hn::OddEven(pim, im1);
    }
    re0 = Wrap(finish(Wrap(re0, rw_up)), mem_up);
    im0 = Wrap(finish(Wrap(im0, rw_up)), mem_up);
    re1 = Wrap(finish(Wrap(re1, rw_up)), mem_up);
    im1 = Wrap(finish(Wrap(im1, rw_up)), mem_up);
    hn::StoreInterleaved4(re0, im0, re1, im1, d, at);
  }
  r.overflow = r.overflow || !hn::AllFalse(d, overflow);
}

// ---------------------------------------------------------------------------
// Sample passes.

SampleScan ScanSamples(const double *x, int n, double s) {
  const hn::ScalableTag<double> d;
  const size_t lanes = hn::Lanes(d);
  const auto lo = hn::Set(d, -1.0);
  const auto hi = hn::Set(d, 1.0);
  const auto grid = hn::Set(d, s);
  auto outside = hn::Lt(hn::Zero(d), hn::Zero(d));
  auto off_grid = outside;
  size_t i = 0;
  for (; i + lanes <= static_cast<size_t>(n); i += lanes) {
    const auto v = hn::LoadU(d, x + i);
    outside = hn::Or(outside, hn::Not(hn::And(hn::Ge(v, lo), hn::Lt(v, hi))));
    const auto y = hn::Mul(v, grid);
    off_grid = hn::Or(off_grid, hn::Ne(hn::Floor(y), y));
  }
  return ScanTail(x, static_cast<int>(i), n, s, {hn::AllFalse(d, outside), hn::AllFalse(d, off_grid)});
}

int64_t LoadWords(const double *re, const double *im, int n, double scale, int width, const int32_t *from,
                  RawComplex *memory) {
  const hn::ScalableTag<int64_t> di;
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(di)> d32;
  const size_t lanes = hn::Lanes(di);
  const auto k = hn::Set(d, scale);
  const int up = 64 - width;
  const auto floor_word = [&](hn::Vec<decltype(d)> x) HWY_ATTR {
    // Truncation toward zero, one less where that rounded up.
    const auto y = hn::Mul(x, k);
    const auto t = hn::ConvertTo(di, y);
    const auto above = hn::RebindMask(di, hn::Gt(hn::ConvertTo(d, t), y));
    return Wrap(hn::IfThenElse(above, hn::Sub(t, hn::Set(di, 1)), t), up);
  };
  auto largest = hn::Zero(di);
  size_t a = 0;
  for (; a + lanes <= static_cast<size_t>(n); a += lanes) {
    hn::Vec<decltype(d)> xr, xi;
    if (from != nullptr) {
      const auto index = hn::PromoteTo(di, hn::LoadU(d32, from + a));
      xr = hn::GatherIndex(d, re, index);
      xi = hn::GatherIndex(d, im, index);
    } else {
      xr = hn::LoadU(d, re + a);
      xi = hn::LoadU(d, im + a);
    }
    const auto wr = floor_word(xr);
    const auto wi = floor_word(xi);
    largest = hn::Max(largest, hn::Max(hn::Xor(wr, hn::ShiftRight<63>(wr)), hn::Xor(wi, hn::ShiftRight<63>(wi))));
    hn::StoreInterleaved2(wr, wi, di, &memory[a].re);
  }
  return LoadTail(re, im, static_cast<int>(a), n, scale, width, from, memory,
                  hn::GetLane(hn::MaxOfLanes(di, largest)));
}

void UnloadWords(const RawComplex *memory, const int32_t *from, int n, double scale, double *re, double *im) {
  const hn::ScalableTag<int64_t> di;
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(di)> d32;
  const size_t lanes = hn::Lanes(di);
  const auto k = hn::Set(d, scale);
  size_t i = 0;
  for (; i + lanes <= static_cast<size_t>(n); i += lanes) {
    hn::Vec<decltype(di)> wr, wi;
    if (from != nullptr) {
      const auto index = hn::ShiftLeft<1>(hn::PromoteTo(di, hn::LoadU(d32, from + i)));
      wr = hn::GatherIndex(di, &memory->re, index);
      wi = hn::GatherIndex(di, &memory->re, hn::Add(index, hn::Set(di, 1)));
    } else {
      hn::LoadInterleaved2(di, &memory[i].re, wr, wi);
    }
    hn::StoreU(hn::Mul(hn::ConvertTo(d, wr), k), d, re + i);
    hn::StoreU(hn::Mul(hn::ConvertTo(d, wi), k), d, im + i);
  }
  UnloadTail(memory, from, static_cast<int>(i), n, scale, re, im);
}

// LoadWords and UnloadWords for interleaved pairs in sample order.
int64_t LoadPairsPlain(const double *x, int n, double scale, int width, RawComplex *memory) {
  const hn::ScalableTag<int64_t> di;
  const hn::ScalableTag<double> d;
  const size_t lanes = hn::Lanes(di);
  const auto k = hn::Set(d, scale);
  const int up = 64 - width;
  int64_t *flat = &memory->re;
  const size_t parts = 2 * static_cast<size_t>(n);
  auto largest = hn::Zero(di);
  size_t j = 0;
  for (; j + lanes <= parts; j += lanes) {
    const auto y = hn::Mul(hn::LoadU(d, x + j), k);
    const auto t = hn::ConvertTo(di, y);
    const auto above = hn::RebindMask(di, hn::Gt(hn::ConvertTo(d, t), y));
    const auto w = Wrap(hn::IfThenElse(above, hn::Sub(t, hn::Set(di, 1)), t), up);
    largest = hn::Max(largest, hn::Xor(w, hn::ShiftRight<63>(w)));
    hn::StoreU(w, di, flat + j);
  }
  return LoadFlatTail(x, static_cast<int>(j), static_cast<int>(parts), scale, width, flat,
                      hn::GetLane(hn::MaxOfLanes(di, largest)));
}

// The same for parts not yet checked, at hardly any extra cost: a frame is
// plain when every scaled part converts exactly (a whole number: no NaN, no
// fraction), the largest v ^ (v >> 63) is below the scale (in range), and no
// word has an off-grid bit set. Such words need neither the floor nor the
// wrap (the scale is at most the word's range), so neither is done; the words
// of any other frame are unspecified.
int64_t LoadPairsChecked(const double *x, int n, double scale, int width, RawComplex *memory, int64_t off_grid,
                         bool *plain) {
  const hn::ScalableTag<int64_t> di;
  const hn::ScalableTag<double> d;
  const size_t lanes = hn::Lanes(di);
  const auto k = hn::Set(d, scale);
  int64_t *flat = &memory->re;
  const size_t parts = 2 * static_cast<size_t>(n);
  auto largest = hn::Zero(di);
  auto bits = hn::Zero(di);
  auto exact = hn::FirstN(d, lanes);
  size_t j = 0;
  for (; j + lanes <= parts; j += lanes) {
    const auto y = hn::Mul(hn::LoadU(d, x + j), k);
#if HWY_ARCH_X86 && HWY_TARGET != HWY_EMU128 && HWY_TARGET != HWY_SCALAR
    // The x86 conversions give a defined word for NaN and any magnitude.
    const auto t = hn::ConvertTo(di, y);
#else
    // Elsewhere those conversions may be undefined: such lanes convert 0
    // (and fail the exactness test, which compares with y itself).
    const auto t = hn::ConvertTo(di, hn::IfThenElseZero(hn::Lt(hn::Abs(y), hn::Set(d, 0x1p62)), y));
#endif
    exact = hn::And(exact, hn::Eq(hn::ConvertTo(d, t), y));
    bits = hn::Or(bits, t);
    largest = hn::Max(largest, hn::Xor(t, hn::ShiftRight<63>(t)));
    hn::StoreU(t, di, flat + j);
  }
  HWY_ALIGN int64_t lane_bits[hn::MaxLanes(di)];
  hn::Store(bits, di, lane_bits);
  int64_t any_bits = 0;
  for (size_t i = 0; i < lanes; ++i) any_bits |= lane_bits[i];
  const int64_t most = hn::GetLane(hn::MaxOfLanes(di, largest));
  *plain = hn::AllTrue(d, exact) && most < static_cast<int64_t>(scale) && (any_bits & off_grid) == 0;
  return LoadFlatTailChecked(x, static_cast<int>(j), static_cast<int>(parts), scale, width, flat, most, off_grid,
                             plain);
}

int64_t LoadPairs(const double *x, int n, double scale, int width, RawComplex *memory, int64_t off_grid,
                  bool *plain) {
  if (plain != nullptr) return LoadPairsChecked(x, n, scale, width, memory, off_grid, plain);
  return LoadPairsPlain(x, n, scale, width, memory);
}

void UnloadPairs(const RawComplex *memory, const int32_t *from, int n, double scale, double *x) {
  const hn::ScalableTag<int64_t> di;
  const hn::ScalableTag<double> d;
  const hn::Rebind<int32_t, decltype(di)> d32;
  const size_t lanes = hn::Lanes(di);
  const auto k = hn::Set(d, scale);
  if (from == nullptr) {
    const int64_t *flat = &memory->re;
    const size_t parts = 2 * static_cast<size_t>(n);
    size_t j = 0;
    for (; j + lanes <= parts; j += lanes) hn::StoreU(hn::Mul(hn::ConvertTo(d, hn::LoadU(di, flat + j)), k), d, x + j);
    for (; j < parts; ++j) x[j] = static_cast<double>(flat[j]) * scale;
    return;
  }
  size_t i = 0;
  for (; i + lanes <= static_cast<size_t>(n); i += lanes) {
    const auto index = hn::ShiftLeft<1>(hn::PromoteTo(di, hn::LoadU(d32, from + i)));
    const auto wr = hn::GatherIndex(di, &memory->re, index);
    const auto wi = hn::GatherIndex(di, &memory->re, hn::Add(index, hn::Set(di, 1)));
    hn::StoreInterleaved2(hn::Mul(hn::ConvertTo(d, wr), k), hn::Mul(hn::ConvertTo(d, wi), k), d, x + 2 * i);
  }
  UnloadPairsTail(memory, from, static_cast<int>(i), n, scale, x);
}

// Single-precision blocks: the conversion to single (nearest, ties to even,
// as the hardware's; beyond the largest single it gives the largest or an
// infinity as to_single does), the exact product by a power of two and the
// rounding to `bits` bits are the same IEEE operations lane by lane.
bool PlainSingleBlock(const double *re, const double *im, int n, double *largest) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> df;
  const size_t lanes = hn::Lanes(d);
  const auto smallest_normal = hn::Set(d, 0x1p-126);
  const auto top = hn::Set(d, 3.4028234663852886e38);
  auto special = hn::Lt(hn::Zero(d), hn::Zero(d));
  auto high = hn::Zero(d);
  const auto scan = [&](const double *x) HWY_ATTR {
    size_t i = 0;
    for (; i + lanes <= static_cast<size_t>(n); i += lanes) {
      const auto v = hn::Abs(hn::LoadU(d, x + i));
      // Beyond the largest single (or a NaN, which fails the comparison):
      // the sample-by-sample pass. Otherwise the conversion is plain.
      const auto beyond = hn::Not(hn::Le(v, top));
      const auto a = hn::PromoteTo(d, hn::DemoteTo(df, hn::IfThenZeroElse(beyond, v)));
      special = hn::Or(special, hn::Or(beyond, hn::And(hn::Gt(a, hn::Zero(d)), hn::Lt(a, smallest_normal))));
      high = hn::Max(high, v);
    }
    return i;
  };
  const size_t done_re = scan(re);
  const size_t done_im = scan(im);
  if (!hn::AllFalse(d, special) || done_re != static_cast<size_t>(n) || done_im != static_cast<size_t>(n)) {
    return false;  // partial vectors are left to the sample-by-sample pass too
  }
  *largest = hn::GetLane(hn::MaxOfLanes(d, high));
  return true;
}

int64_t SingleWords(const double *re, const double *im, int n, int exponent, int bits, double word_scale, int width,
                    RawComplex *words) {
  const hn::ScalableTag<int64_t> di;
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> df;
  const size_t lanes = hn::Lanes(di);
  if (static_cast<size_t>(n) % lanes != 0) return -1;
  // Division by 2^exponent as the product with its reciprocal: both exact
  // roundings of the same quotient.
  const auto down = hn::Set(df, std::ldexp(1.0f, -exponent));
  const auto grid = hn::Set(d, std::ldexp(1.0, bits - 1));
  const auto k = hn::Set(d, word_scale);
  const int up = 64 - width;
  const auto word = [&](hn::Vec<decltype(d)> x) HWY_ATTR {
    const auto f = hn::Mul(hn::DemoteTo(df, x), down);
    const auto y = hn::Mul(hn::Round(hn::Mul(hn::PromoteTo(d, f), grid)), k);
    const auto t = hn::ConvertTo(di, y);
    const auto above = hn::RebindMask(di, hn::Gt(hn::ConvertTo(d, t), y));
    return Wrap(hn::IfThenElse(above, hn::Sub(t, hn::Set(di, 1)), t), up);
  };
  auto largest = hn::Zero(di);
  for (size_t a = 0; a < static_cast<size_t>(n); a += lanes) {
    const auto wr = word(hn::LoadU(d, re + a));
    const auto wi = word(hn::LoadU(d, im + a));
    largest = hn::Max(largest, hn::Max(hn::Xor(wr, hn::ShiftRight<63>(wr)), hn::Xor(wi, hn::ShiftRight<63>(wi))));
    hn::StoreInterleaved2(wr, wi, di, &words[a].re);
  }
  return hn::GetLane(hn::MaxOfLanes(di, largest));
}

// Rounding a result to 24 significant bits: for 2^k <= |v| < 1 (k >= -64)
// the significand is rounded at 2^(k-23), that is round(|v| * 2^(23-k)) *
// 2^(k-23); the factor is built from v's exponent field. Lanes whose
// significand field lies within 2^23 of 0 or 2^24 of 2^52 (within 2^-28 of
// a power of two) are left to the scalar pass, as are zeros.
int FinishSingles(double *re, double *im, int n, int t, int32_t *pending, int *chunk) {
  const hn::ScalableTag<double> d;
  const hn::RebindToSigned<decltype(d)> di;
  const size_t lanes = hn::Lanes(d);
  *chunk = static_cast<int>(lanes);
  if (static_cast<size_t>(n) % lanes != 0) {
    // Whole chunks only: everything to the scalar pass.
    for (int i = 0; i < n; ++i) pending[i] = i;
    *chunk = 1;
    return n;
  }
  const auto restore = hn::Set(d, std::ldexp(1.0, t));
  const auto one = hn::Set(d, 1.0);
  const auto tiny = hn::Set(d, 0x1p-64);
  const auto top = hn::Set(d, 3.4028234663852886e38);
  const auto field_mask = hn::Set(di, (int64_t{1} << 52) - 1);
  const auto field_low = hn::Set(di, int64_t{1} << 23);
  const auto field_high = hn::Set(di, (int64_t{1} << 52) - (int64_t{1} << 24));
  // 2^(23-k) has the exponent field 1023 + 23 - k = 2 * 1023 + 23 - E.
  const auto exponent_sum = hn::Set(di, 2 * 1023 + 23);
  int count = 0;
  const auto finish = [&](hn::Vec<decltype(d)> v, hn::Mask<decltype(d)> &undecided) HWY_ATTR {
    const auto a = hn::Abs(v);
    const auto bits = hn::BitCast(di, a);
    const auto field = hn::And(bits, field_mask);
    const auto biased = hn::ShiftRight<52>(bits);
    const auto scale = hn::BitCast(d, hn::ShiftLeft<52>(hn::Sub(exponent_sum, biased)));
    const auto rounded = hn::Div(hn::Round(hn::Mul(a, scale)), scale);
    auto r = hn::IfThenElse(hn::Lt(a, one), hn::IfThenElseZero(hn::Ge(a, tiny), rounded), a);
    r = hn::CopySign(r, v);
    const auto near_power =
        hn::RebindMask(d, hn::Or(hn::Not(hn::Gt(field, field_low)), hn::Not(hn::Lt(field, field_high))));
    const auto out = hn::Mul(r, restore);
    // Zeros, NaNs and the windows near powers of two; then results beyond
    // the single range.
    undecided = hn::Or(undecided, hn::Or(hn::Or(near_power, hn::Not(hn::Gt(a, hn::Zero(d)))),
                                         hn::Not(hn::Le(hn::Abs(out), top))));
    return out;
  };
  for (size_t i = 0; i < static_cast<size_t>(n); i += lanes) {
    auto undecided = hn::Lt(hn::Zero(d), hn::Zero(d));
    const auto yr = finish(hn::LoadU(d, re + i), undecided);
    const auto yi = finish(hn::LoadU(d, im + i), undecided);
    if (hn::AllFalse(d, undecided)) {
      hn::StoreU(yr, d, re + i);
      hn::StoreU(yi, d, im + i);
    } else {
      pending[count++] = static_cast<int32_t>(i);
    }
  }
  return count;
}

// ---------------------------------------------------------------------------
// Choice of vector: the widest whose words per vector divide the span, down
// to one word (two lanes) per vector.

template <class Body>
HWY_INLINE bool WithLanes(int span, const Body &body) {
  const hn::ScalableTag<int64_t> full;
  const hn::CappedTag<int64_t, 4> two_words;
  const hn::CappedTag<int64_t, 2> one_word;
  const auto fits = [span](size_t lanes) {
    return lanes >= 2 && lanes % 2 == 0 && span % static_cast<int>(lanes / 2) == 0;
  };
  if (fits(hn::Lanes(full))) {
    body(full);
  } else if (fits(hn::Lanes(two_words))) {
    body(two_words);
  } else if (hn::Lanes(one_word) == 2) {
    body(one_word);
  } else {
    return false;  // vectors of one lane: the scalar path
  }
  return true;
}

bool Radix2Stage(RawComplex *memory, int length, int span, const LaneTwiddles *tw, size_t first, const BurstPath *p,
                 int shift, StageResult *r) {
  const RawComplex *wa = tw->a.data() + first;
  const RawComplex *wb = tw->b.data() + first;
  return WithLanes(span, [&](auto d) HWY_ATTR {
    if (p->products == Products::kSmall) {
      Radix2Lanes<Products::kSmall>(d, memory, length, span, wa, wb, *p, shift, *r);
    } else if (p->products == Products::kNarrow) {
      Radix2Lanes<Products::kNarrow>(d, memory, length, span, wa, wb, *p, shift, *r);
    } else {
      Radix2Lanes<Products::kWide>(d, memory, length, span, wa, wb, *p, shift, *r);
    }
  });
}

bool Radix4Stage(RawComplex *memory, int length, int span, const int32_t *starts, const LaneTwiddles *tw,
                 const size_t (*first)[3], const BurstPath *p, int shift, bool swap13, StageResult *r) {
  if (starts != nullptr) {
    // Stage 0 by runs of quads: 2 * lanes words per step must divide the length.
    const hn::ScalableTag<int64_t> d;
    const size_t lanes = hn::Lanes(d);
    if (lanes >= 2 && lanes % 2 == 0 && static_cast<size_t>(length) % (2 * lanes) == 0) {
      Radix4FirstLanes(d, memory, length, *p, shift, swap13, *r);
      return true;
    }
  }
  if (p->products == Products::kScalar) return false;
  return WithLanes(starts != nullptr ? 1 : span, [&](auto d) HWY_ATTR {
    if (p->products == Products::kSmall) {
      Radix4Lanes<Products::kSmall>(d, memory, length, span, starts, *tw, *first, *p, shift, swap13, *r);
    } else if (p->products == Products::kNarrow) {
      Radix4Lanes<Products::kNarrow>(d, memory, length, span, starts, *tw, *first, *p, shift, swap13, *r);
    } else {
      Radix4Lanes<Products::kWide>(d, memory, length, span, starts, *tw, *first, *p, shift, swap13, *r);
    }
  });
}

bool PipelineStage(RawComplex *memory, int length, int nfft, int stage, const LaneTwiddles *tw,
                   const size_t (*first)[4], const PipelinePath *p, int shift, StageResult *r) {
  if (stage == nfft - 1) {
    const hn::ScalableTag<int64_t> d;
    const size_t lanes = hn::Lanes(d);
    if (lanes >= 2 && lanes % 2 == 0 && static_cast<size_t>(length) % (2 * lanes) == 0) {
      PipelineLastLanes(d, memory, length, stage, *p, shift, *r);
      return true;
    }
  }
  if (p->products == Products::kScalar) return false;
  return WithLanes(length >> (stage + 1), [&](auto d) HWY_ATTR {
    if (p->products == Products::kSmall) {
      PipelineLanes<Products::kSmall>(d, memory, length, nfft, stage, *tw, *first, *p, shift, *r);
    } else if (p->products == Products::kNarrow) {
      PipelineLanes<Products::kNarrow>(d, memory, length, nfft, stage, *tw, *first, *p, shift, *r);
    } else {
      PipelineLanes<Products::kWide>(d, memory, length, nfft, stage, *tw, *first, *p, shift, *r);
    }
  });
}

#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace zelfft::simd::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <hwy/targets.h>

namespace zelfft::simd {

HWY_EXPORT(Radix2Stage);
HWY_EXPORT(Radix4Stage);
HWY_EXPORT(PipelineStage);
HWY_EXPORT(Radix4FirstStaged);
HWY_EXPORT(ScanSamples);
HWY_EXPORT(PlainSingleBlock);
HWY_EXPORT(SingleWords);
HWY_EXPORT(FinishSingles);
HWY_EXPORT(LoadWords);
HWY_EXPORT(UnloadWords);
HWY_EXPORT(LoadPairs);
HWY_EXPORT(UnloadPairs);

SampleScan scan_samples(const double *x, int n, double s) { return HWY_DYNAMIC_DISPATCH(ScanSamples)(x, n, s); }

int64_t load_words(const double *re, const double *im, int n, double scale, int width, const int32_t *from,
                   RawComplex *memory) {
  return HWY_DYNAMIC_DISPATCH(LoadWords)(re, im, n, scale, width, from, memory);
}

bool plain_single_block(const double *re, const double *im, int n, double *largest) {
  return HWY_DYNAMIC_DISPATCH(PlainSingleBlock)(re, im, n, largest);
}

int64_t single_words(const double *re, const double *im, int n, int exponent, int bits, double word_scale, int width,
                     RawComplex *words) {
  return HWY_DYNAMIC_DISPATCH(SingleWords)(re, im, n, exponent, bits, word_scale, width, words);
}

int finish_singles(double *re, double *im, int n, int t, int32_t *pending, int *chunk) {
  return HWY_DYNAMIC_DISPATCH(FinishSingles)(re, im, n, t, pending, chunk);
}

void unload_words(const RawComplex *memory, const int32_t *from, int n, double scale, double *re, double *im) {
  HWY_DYNAMIC_DISPATCH(UnloadWords)(memory, from, n, scale, re, im);
}

int64_t load_pairs(const double *x, int n, double scale, int width, RawComplex *memory) {
  return HWY_DYNAMIC_DISPATCH(LoadPairs)(x, n, scale, width, memory, 0, nullptr);
}

int64_t load_pairs_checked(const double *x, int n, double scale, int width, RawComplex *memory, int64_t off_grid,
                           bool *plain) {
  return HWY_DYNAMIC_DISPATCH(LoadPairs)(x, n, scale, width, memory, off_grid, plain);
}

void unload_pairs(const RawComplex *memory, const int32_t *from, int n, double scale, double *x) {
  HWY_DYNAMIC_DISPATCH(UnloadPairs)(memory, from, n, scale, x);
}

Products products_for(int factor_width, int twiddle_width, int sum_bits) {
  if (factor_width <= 32 && twiddle_width <= 31) return Products::kSmall;
  if (sum_bits <= 64) return Products::kNarrow;
  if (factor_width <= 53 && twiddle_width <= 34) return Products::kWide;
  return Products::kScalar;
}

size_t LaneTwiddles::append(const RawComplex *table, size_t count, size_t stride) {
  const size_t offset = a.size();
  for (size_t k = 0; k < count; ++k) {
    const RawComplex &w = table[k * stride];
    a.push_back({w.re, w.re});
    b.push_back({-w.im, w.im});
  }
  return offset;
}

bool radix2_stage(RawComplex *memory, int length, int span, const LaneTwiddles &tw, size_t first,
                  const BurstPath &path, int shift, StageResult &result) {
  if (path.products == Products::kScalar) return false;
  return HWY_DYNAMIC_DISPATCH(Radix2Stage)(memory, length, span, &tw, first, &path, shift, &result);
}

bool radix4_stage(RawComplex *memory, int length, int span, const int32_t *starts, const LaneTwiddles &tw,
                  const size_t (&first)[3], const BurstPath &path, int shift, bool swap13, StageResult &result) {
  // Stage 0 multiplies by nothing but 1, so it runs in lanes at any width.
  if (path.products == Products::kScalar && starts == nullptr) return false;
  return HWY_DYNAMIC_DISPATCH(Radix4Stage)(memory, length, span, starts, &tw, &first, &path, shift, swap13,
                                           &result);
}

bool radix4_first_staged(RawComplex *memory, const RawComplex *staged, int length, const int32_t *dest,
                         const BurstPath &path, int shift, bool swap13, StageResult &result) {
  return HWY_DYNAMIC_DISPATCH(Radix4FirstStaged)(memory, staged, length, dest, &path, shift, swap13, &result);
}

bool pipeline_stage(RawComplex *memory, int length, int nfft, int stage, const LaneTwiddles &tw,
                    const size_t (&first)[4], const PipelinePath &path, int shift, StageResult &result) {
  // The last stage multiplies by no twiddle, so it runs in lanes at any width.
  if (path.products == Products::kScalar && stage != nfft - 1) return false;
  return HWY_DYNAMIC_DISPATCH(PipelineStage)(memory, length, nfft, stage, &tw, &first, &path, shift, &result);
}

std::vector<int64_t> available_targets() { return hwy::SupportedAndGeneratedTargets(); }

const char *target_name(int64_t target) { return hwy::TargetName(target); }

}  // namespace zelfft::simd
#endif
