// ZelNum: a two's-complement or unsigned integer of 0 to 4096 bits that also
// carries the rules it follows when a value does not fit: a quantisation mode
// (bits shifted out at the bottom) and an overflow mode (bits lost at the top).
//
// Word layout (observable through word()): 16 value bits per 32-bit word,
// least significant word first; bits 16..31 of every word are zero, and in
// the top word only the low topBits() bits may be set (the pattern is masked
// to the width, never sign-extended above it). A signed value is the pattern
// read as a width-bit two's-complement number.
//
// Values of up to 8 words (128 bits) live inline in the object, so narrow
// values never touch the heap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zel_num_exception.h"

namespace zel {

// Sign codes. As an argument 0 (Keep) means: leave the present sign.
inline constexpr int Keep = 0;
inline constexpr int Unsigned = 1;
inline constexpr int Signed = 2;

// Quantisation modes (0 as an argument keeps the present mode).
inline constexpr int Truncate = 1;        // floor
inline constexpr int Round = 2;           // ties away from zero
inline constexpr int Convergent = 3;      // ties to even
inline constexpr int ConvergentSafe = 4;  // ties to even, never rounds up into the sign on conversion

// Overflow modes (0 as an argument keeps the present mode).
inline constexpr int Wrap = 1;      // keep the low bits
inline constexpr int Saturate = 2;  // clamp to the largest or smallest value
inline constexpr int Error = 3;     // throw ZelNumException::Overflow

// Largest width a value may have (256 words of 16 bits).
inline constexpr int kMaxWidth = 4096;

class ZelNum {
 public:
  // Words held inside the object before the heap is used (128 bits).
  static constexpr int kInlineWords = 8;

  // ---- construction -------------------------------------------------------
  // Width 0, Unsigned, Truncate, Wrap, one word holding 0.
  constexpr ZelNum() noexcept : words_(inline_) {}
  // Pattern = the low `width` bits of v (sign-extended v above bit 31).
  ZelNum(int v, int width, int sign, int quantization = Truncate, int overflow = Wrap);
  // Empty value of the format, then assignment from the double x.
  ZelNum(double x, int width, int sign, int quantization = Truncate, int overflow = Wrap);
  // Copy, then width change (resize) with the given arguments.
  ZelNum(const ZelNum& other, int width, int sign, int quantization, int overflow);
  // Same format and bits.
  ZelNum(const ZelNum& other);
  ZelNum(ZelNum&& other) noexcept;
  ~ZelNum() {
    if (words_ != inline_) delete[] words_;
  }

  // Minimal width of v for the sign (-4 takes 4 bits, -1 takes 2), then as the int constructor.
  static ZelNum fromInt(int v, int sign, int quantization = Truncate, int overflow = Wrap);
  // Minimal width of x for the sign (-4.0 takes 3 bits), then assignment from x.
  static ZelNum fromDouble(double x, int sign, int quantization = Truncate, int overflow = Wrap);
  // Width = length of the text; the last character is bit 0; any character but '0' is a 1.
  // Modes Truncate, Wrap.
  static ZelNum fromBits(std::string_view bits, int sign);
  // Minimal widths used by the constructors above.
  static int minimalWidth(int v, int sign);
  static int minimalWidth(double x, int sign);

  // The two shared constants: signed 16-bit, Truncate, Wrap, built at load time.
  static const ZelNum& zero();
  static const ZelNum& one();

  // ---- format and bits ----------------------------------------------------
  int width() const { return width_; }
  int sign() const { return sign_; }
  int quantization() const { return quantization_; }
  int overflow() const { return overflow_; }
  int wordCount() const { return wordCount_; }
  int topBits() const { return topBits_; }
  // Word i of the pattern (16 value bits); 0 <= i < wordCount().
  uint32_t word(int i) const { return words_[i]; }
  // Flags word; bit 0 is `overflowed`.
  uint32_t flags() const { return flags_; }
  // Set when the last assignment from a double or fixed-point conversion did not fit.
  bool overflowed() const { return (flags_ & 1u) != 0; }

  // 0 for i < 0; bit i for i < width; the top bit for i >= width.
  int getBit(int i) const;
  // Requires 0 <= i < width ("index") and b in {0, 1} ("val"), else IllegalIntArg.
  void setBit(int i, int b);
  // False for Unsigned and width 0, else the top bit.
  bool isNegative() const;
  // True when every bit is 0.
  bool isZero() const;

  // Width and sign change with the overflow rules (0 keeps sign and modes).
  void resize(int width, int sign = Keep, int quantization = Keep, int overflow = Keep);
  // Resize to the present width.
  void retype(int sign, int quantization = Keep, int overflow = Keep);

  // ---- assignment ---------------------------------------------------------
  // The value converted into this object's own format (its modes decide overflow).
  ZelNum& operator=(const ZelNum& other);
  // Assignment from a double in integer units, rounding by the quantisation mode.
  ZelNum& operator=(double x);
  // 0 clears all words; any other value is assigned as its double.
  ZelNum& operator=(int v);

  // ---- arithmetic ---------------------------------------------------------
  // Full-precision result assigned back into this object's own format.
  ZelNum& operator+=(const ZelNum& other);
  ZelNum& operator-=(const ZelNum& other);
  ZelNum& operator*=(const ZelNum& other);
  // Quotient truncated towards zero; divisor 0 throws IllegalIntArg("a", 0).
  ZelNum& operator/=(const ZelNum& other);
  // Remainder in [0, |divisor|); divisor 0 throws IllegalIntArg("a", 0).
  ZelNum& operator%=(const ZelNum& other);
  // Two's-complement negation in place, with the overflow rules.
  void negate();
  // +1 / -1 in place with the overflow rules ("Overflow on incr" / "Overflow on decr").
  void increment();
  void decrement();
  ZelNum& operator++() { increment(); return *this; }
  ZelNum& operator--() { decrement(); return *this; }
  // Shift within the width; negative n shifts the other way; left shifts follow the
  // overflow mode, right shifts round by the quantisation mode.
  void shiftLeft(int n);
  void shiftRight(int n);
  ZelNum& operator<<=(int n) { shiftLeft(n); return *this; }
  ZelNum& operator>>=(int n) { shiftRight(n); return *this; }

  // Three-way comparison of the values (negative, zero, positive).
  static int compare(const ZelNum& a, const ZelNum& b);

  // ---- same-container operations (never widen, wrap silently) --------------
  // r = p + q mod 2^width; p, q, r of equal sign and width.
  static void add(ZelNum& r, const ZelNum& p, const ZelNum& q);
  // r = p - q mod 2^width; p, q, r of equal sign and width.
  static void sub(ZelNum& r, const ZelNum& p, const ZelNum& q);
  // r = p * q of the raw patterns; r.width == p.width + q.width.
  static void unsigned_mult(ZelNum& r, const ZelNum& p, const ZelNum& q);
  // Bitwise operations on equal widths.
  static void bitAnd(ZelNum& r, const ZelNum& p, const ZelNum& q);
  static void bitOr(ZelNum& r, const ZelNum& p, const ZelNum& q);
  static void bitXor(ZelNum& r, const ZelNum& p, const ZelNum& q);
  static void bitNot(ZelNum& r, const ZelNum& p);
  // Raw pattern comparison from the top word down: difference of the first differing words.
  static int unsigned_comp(const ZelNum& p, const ZelNum& q);

  // ---- conversion and text ------------------------------------------------
  // The value as a double (exact up to 53 significant bits).
  double toDouble() const;
  // "Num_%d" for Signed, "UNum_%d" for Unsigned.
  std::string typeName() const;
  // The width bits, most significant first, as '0' and '1'.
  std::string bitString() const;

 protected:
  // Changes width (and word count) keeping the low words; new words are zero.
  void setWidthRaw(int width);
  // Masks the top word to topBits.
  void maskTop() { words_[wordCount_ - 1] &= lowMask(topBits_); }
  // Sets every word to v (used by saturation and clearing).
  void fillWords(uint32_t v);
  // Largest (d > 0), smallest (d < 0) or zero (d == 0) value of the present format.
  void saturate(int d);
  static constexpr uint32_t lowMask(int k) { return k >= 16 ? 0xFFFFu : ((1u << k) - 1u); }
  static constexpr uint32_t signMask(int k) { return k <= 0 ? 0u : (1u << (k - 1)); }

  // Format fields, in the documented order.
  int32_t width_ = 0;
  int32_t sign_ = Unsigned;
  int32_t quantization_ = Truncate;
  int32_t overflow_ = Wrap;
  int32_t wordCount_ = 1;
  int32_t topBits_ = 0;
  uint32_t flags_ = 0;
  int32_t capacity_ = kInlineWords;  // words available at words_
  uint32_t* words_;
  uint32_t inline_[kInlineWords] = {};

  friend struct ZelNumAccess;
};

// Full-precision sum: width = larger + 1 (+1 when either is Signed), overflow Error.
ZelNum operator+(const ZelNum& a, const ZelNum& b);
// Full-precision difference: width = larger + 2, always Signed, overflow Error.
ZelNum operator-(const ZelNum& a, const ZelNum& b);
// Full-precision product: width = sum of widths (+1 when either is Signed), overflow Error.
ZelNum operator*(const ZelNum& a, const ZelNum& b);

inline bool operator==(const ZelNum& a, const ZelNum& b) { return ZelNum::compare(a, b) == 0; }
inline bool operator!=(const ZelNum& a, const ZelNum& b) { return ZelNum::compare(a, b) != 0; }
inline bool operator<(const ZelNum& a, const ZelNum& b) { return ZelNum::compare(a, b) < 0; }
inline bool operator>(const ZelNum& a, const ZelNum& b) { return ZelNum::compare(a, b) > 0; }
inline bool operator<=(const ZelNum& a, const ZelNum& b) { return ZelNum::compare(a, b) <= 0; }
inline bool operator>=(const ZelNum& a, const ZelNum& b) { return ZelNum::compare(a, b) >= 0; }

}  // namespace zel
