// Internal: the value-level rules of ZelNum, written once over the integer
// types of zel_wide.h, and the storage helpers shared by the fixed/*.cpp files.
#pragma once

#include "zel_num.h"
#include "zel_wide.h"

namespace zel {

using detail::i128;
using detail::Wide;

// Widest values that still take the native int64_t / __int128 paths (two
// spare bits keep sums and sign tests free of overflow).
inline constexpr long kNative64Bits = 62;
inline constexpr long kNative128Bits = 126;

// Runs f with a zero of the narrowest integer type that holds `bits` bits.
template <class F>
inline decltype(auto) withInt(long bits, F&& f) {
  if (bits <= kNative64Bits) return f(int64_t(0));
  if (bits <= kNative128Bits) return f(i128(0));
  return f(Wide());
}

struct ZelNumAccess {
  // Word count for a width; throws tooManyBits above 4096 bits and
  // BadException for a negative width.
  static int wordsFor(long width) {
    if (width < 0) throw BadException();
    int wc = width < 1 ? 1 : int((width - 1) / 16 + 1);
    if (wc > 256) throw ZelNumException::tooManyBits();
    return wc;
  }
  static int topBitsFor(int width) { return width == 0 ? 0 : (width % 16 == 0 ? 16 : width % 16); }

  // Changes the width keeping the low words; words added above are zero.
  static void setWidth(ZelNum& n, long width);
  // As setWidth, for callers that then store every word: an inline value
  // changes its width without touching the words.
  static void reshape(ZelNum& n, long width) {
    if (width >= 0 && width <= 16 * ZelNum::kInlineWords && n.words_ == n.inline_) {
      n.width_ = int32_t(width);
      n.wordCount_ = width < 1 ? 1 : int32_t((width - 1) / 16 + 1);
      n.topBits_ = topBitsFor(int(width));
      return;
    }
    setWidth(n, width);
  }
  // Validated codes: sign 1..2, quantisation 1..4, overflow 1..3; 0 = keep.
  static int checkSign(int s, int keep);
  static int checkQuantization(int q, int keep);
  static int checkOverflow(int o, int keep);

  static uint32_t* words(ZelNum& n) { return n.words_; }
  static const uint32_t* words(const ZelNum& n) { return n.words_; }
  static void setSign(ZelNum& n, int s) { n.sign_ = s; }
  static void setModes(ZelNum& n, int q, int o) {
    n.quantization_ = q;
    n.overflow_ = o;
  }
  static void setFlags(ZelNum& n, uint32_t f) { n.flags_ = f; }
  static void saturate(ZelNum& n, int d) { n.saturate(d); }
  static void fill(ZelNum& n, uint32_t v) { n.fillWords(v); }
  static void maskTop(ZelNum& n) { n.maskTop(); }
  // +1 / -1 on the pattern with the overflow rules; `text` names the overflow.
  static void incrementWith(ZelNum& n, const char* text);
  static void decrementWith(ZelNum& n, const char* text);
  // Pattern / 2^point in double arithmetic, integer and fraction words apart.
  static double patternToDouble(const ZelNum& n, long point);

  // ---- values ---------------------------------------------------------------
  // The value of the pattern (sign-extended when Signed).
  template <class T> static T load(const ZelNum& n);
  // Pattern := v modulo 2^width.
  template <class T> static void store(ZelNum& n, const T& v);

  template <class T> static T maxOf(int w, int s) {
    if (s == Signed) return w == 0 ? T(0) : detail::pow2<T>(w - 1) - T(1);
    return detail::pow2<T>(w) - T(1);
  }
  template <class T> static T minOf(int w, int s) {
    if (s == Signed && w > 0) return -detail::pow2<T>(w - 1);
    return T(0);
  }
  // Does v fit in a `w`-bit value of sign s?
  template <class T> static bool fits(const T& v, int w, int s) {
    if (detail::isZero(v)) return true;
    if (s == Signed) {
      if (w == 0) return false;
      T h = detail::pow2<T>(w - 1);
      return v >= -h && v < h;
    }
    return !detail::isNeg(v) && v < detail::pow2<T>(w);
  }

  // The integer assignment rules: a value v held in a (srcW, srcS) container
  // becomes a (w, s) value under overflow mode o. Widening, then retype to
  // unsigned, narrowing, retype to signed, each with its own overflow text.
  // Returns the value to store (modulo 2^w); throws under Error.
  template <class T>
  static T resolve(T v, long srcW, int srcS, int w, int s, int o) {
    if (o == Wrap) return v;
    int cur = srcS;
    if (s == Unsigned && cur == Signed) {
      if (detail::isNeg(v)) {
        if (o != Saturate) throw ZelNumException::Overflow("negative value retyped to unsigned", 0);
        v = T(0);
      }
      cur = Unsigned;
    }
    if (w < srcW && !fits(v, w, cur)) {
      if (o != Saturate) throw ZelNumException::Overflow("on decreasing resize", 0);
      v = detail::isNeg(v) ? minOf<T>(w, cur) : maxOf<T>(w, cur);
    }
    if (s == Signed && cur == Unsigned && w > 0 && detail::bitAt(v, w - 1)) {
      if (o != Saturate) throw ZelNumException::Overflow("on unsigned to signed", 1);
      v = maxOf<T>(w, Signed);
    }
    return v;
  }

  // Rounding decision for dropping the low n >= 1 bits of v under mode q:
  // Round ties away from zero, Convergent(Safe) ties to even, Truncate floors.
  template <class T> static bool roundsUp(const T& v, long n, int q) {
    if (q == Truncate || !detail::bitAt(v, n - 1)) return false;
    bool sticky = detail::anyBelow(v, n - 1);
    if (q == Round) return !detail::isNeg(v) || sticky;
    return sticky || detail::bitAt(v, n) != 0;
  }
};

template <class T>
inline T ZelNumAccess::load(const ZelNum& n) {
  using U = typename detail::NativeInt<T>::U;
  if constexpr (sizeof(T) > sizeof(int64_t)) {
    if (n.width_ <= kNative64Bits) return T(load<int64_t>(n));  // cheaper 64-bit assembly
  }
  U u = 0;
  for (int i = n.wordCount_ - 1; i >= 0; --i) u = (u << 16) | n.words_[i];
  if (n.sign_ == Signed && n.width_ > 0 && ((u >> (n.width_ - 1)) & 1u)) u |= ~U(0) << n.width_;
  return T(u);
}

template <>
inline Wide ZelNumAccess::load<Wide>(const ZelNum& n) {
  std::vector<uint32_t> limbs(size_t(n.wordCount_ + 1) / 2 + 1, 0u);
  for (int i = 0; i < n.wordCount_; ++i) limbs[size_t(i / 2)] |= n.words_[i] << (16 * (i & 1));
  Wide v = Wide::fromLimbs(std::move(limbs));  // top limb 0: non-negative
  if (n.sign_ == Signed && n.width_ > 0 && ((n.words_[n.wordCount_ - 1] >> (n.topBits_ - 1)) & 1u)) {
    v -= Wide::pow2(n.width_);
  }
  return v;
}

template <class T>
inline void ZelNumAccess::store(ZelNum& n, const T& v) {
  using U = typename detail::NativeInt<T>::U;
  if constexpr (sizeof(T) > sizeof(int64_t)) {
    if (n.width_ <= 64) {
      store<int64_t>(n, int64_t(uint64_t(v)));  // only the low 64 bits are kept
      return;
    }
  }
  U u = U(v);
  for (int i = 0; i < n.wordCount_; ++i) n.words_[i] = uint32_t(u >> (16 * i)) & 0xFFFFu;
  n.maskTop();
}

template <>
inline void ZelNumAccess::store<Wide>(ZelNum& n, const Wide& v) {
  for (int i = 0; i < n.wordCount_; ++i) n.words_[i] = (v.limb(size_t(i / 2)) >> (16 * (i & 1))) & 0xFFFFu;
  n.maskTop();
}

}  // namespace zel
