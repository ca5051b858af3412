// ZelFix: a ZelNum whose pattern is read with a binary point (value =
// pattern / 2^point). Its format is (width, point, sign, quantization,
// overflow). Assignment converts a value into the target's own format,
// rounding at the bottom by the target's quantisation mode and treating
// excess at the top by its overflow mode, as the hardware registers do.
// Arithmetic results are full precision: their format grows so nothing is lost.
//
// Note: copy assignment CONVERTS into the target's format (a register keeps
// its format); copy construction copies the format.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "zel_num.h"

namespace zel {

class ZelFix : public ZelNum {
 public:
  // Number of cached temporaries of the pool.
  static constexpr int kPoolSlots = 8;

  // ---- construction -------------------------------------------------------
  // Width 0, point 0, Unsigned, Truncate, Wrap, value 0, shadow 0.0.
  ZelFix() noexcept = default;
  // Value v in format (W, P, S, Q, O): for P < 0 v is first shifted right by -P,
  // for P > 0 the pattern is shifted left by P under O. shadow = v.
  ZelFix(int v, int width, int point, int sign, int quantization, int overflow);
  // x * 2^P assigned (rounding by Q, overflow by O) into format (W, P, S, Q, O). shadow = x.
  ZelFix(double x, int width, int point, int sign, int quantization, int overflow);
  // Pattern, width, sign and modes of n; point 0; shadow = the value of n.
  explicit ZelFix(const ZelNum& n);
  // Copy (format, pattern, shadow, flags); the pool starts empty.
  ZelFix(const ZelFix& other);
  ZelFix(ZelFix&& other) noexcept;
  // Copy, then set format (W, P, S, Q, O).
  ZelFix(const ZelFix& other, int width, int point, int sign, int quantization, int overflow);
  ~ZelFix() {
    if (pool_ != nullptr) destroyPool();
  }

  // Width = P + minimal width of v for S; pattern v shifted left by P; shadow = v.
  static ZelFix fromInt(int v, int point, int sign, int quantization = Truncate, int overflow = Wrap);
  // Width = minimal width of x * 2^P, then as the double constructor.
  static ZelFix fromDouble(double x, int point, int sign, int quantization = Truncate,
                           int overflow = Wrap);
  // Point = the fraction bits x needs to be exact (0 for NaN), then as fromDouble.
  static ZelFix fromDoubleExact(double x, int sign, int quantization = Truncate, int overflow = Wrap);
  // Boolean: width 1, point 0, Unsigned, Truncate, Wrap; nanFree and isBool set.
  static ZelFix fromBool(bool b);
  // Pattern from a text of '0'/'1' (last character is bit 0); point P; shadow = its value.
  static ZelFix fromBits(std::string_view bits, int point, int sign);

  // ---- format and flags ---------------------------------------------------
  int point() const { return point_; }
  // Unquantised value this number stands for; informational, never read back.
  double shadow() const { return shadow_; }
  bool isNumber() const { return isNumber_; }
  bool isDefined() const { return isDefined_; }
  bool isKnown() const { return isKnown_; }
  bool nanFree() const { return nanFree_; }
  bool isBool() const { return isBool_; }
  // With nanFree a NaN makes the value unknown ("*X*") instead of not a number.
  void setNanFree(bool on) { nanFree_ = on; }

  // Re-quantises the value into (W, P, S, Q, O): rounds (by Q) in the wider
  // container first, then narrows (by O). 0 for S, Q or O keeps the present one.
  void setFormat(int width, int point, int sign, int quantization, int overflow);
  // Set format with the template's (W, P, S, Q, O); takes over Boolean and nanFree.
  void adoptFormat(const ZelFix& templ);
  // Requires width 1, point 0, Unsigned (else UnimplementedSpec); NaN becomes 0.
  void makeBoolean();

  // ---- assignment ---------------------------------------------------------
  // Converts the source into this format with this object's modes; copies
  // shadow, isNumber, isDefined, isKnown. Self-assignment does nothing.
  ZelFix& operator=(const ZelFix& other);
  // NaN: not a number (unknown with nanFree), pattern 0. Otherwise x * 2^point
  // assigned with this object's modes; shadow = x; flags set.
  ZelFix& operator=(double x);
  // 0 clears the pattern (shadow 0.0, flags set); any other value as a double.
  ZelFix& operator=(int v);
  // Pattern 1 or 0, shadow 1.0 or 0.0, flags set.
  ZelFix& operator=(bool b);

  // ---- arithmetic ---------------------------------------------------------
  // The exact result (floored to this resolution) assigned back into this format.
  ZelFix& operator+=(const ZelFix& other);
  ZelFix& operator-=(const ZelFix& other);
  ZelFix& operator*=(const ZelFix& other);
  // Points aligned, then the integer quotient / remainder; not used by the FFT.
  ZelFix& operator/=(const ZelFix& other);
  ZelFix& operator%=(const ZelFix& other);
  // -a assigned back into this format (the smallest value follows the overflow mode).
  void negate();
  // Shift within the format (right rounds by the quantisation mode, left follows
  // the overflow mode); shadow scaled by 2^-n / 2^n.
  ZelFix& operator>>=(int n);
  ZelFix& operator<<=(int n);
  // Exact value / 2^n: width W + n, point P + n (n < 0 shifts left exactly).
  ZelFix shiftRightExact(int n) const;
  // Exact value * 2^n: width W + n, same point (n < 1 shifts right exactly).
  ZelFix shiftLeftExact(int n) const;

  // Three-way comparison of the values; the caller checks NaN / unknown.
  static int compareValues(const ZelFix& a, const ZelFix& b);
  // False when either value is not a number or not known.
  bool comparable(const ZelFix& other) const {
    return isNumber_ && isKnown_ && other.isNumber_ && other.isKnown_;
  }

  // NaN when not a number or not known; otherwise pattern / 2^point.
  double toDouble() const;

  // ---- operations into a target r (r keeps its format; no allocation in steady state)
  // r = a + b, a - b, a * b: the exact result converted into r's format and modes.
  static void sumInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void differenceInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void productInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  // Bitwise operations in the common format of a and b (logical on two Booleans).
  static void andInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void orInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void xorInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void nandInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void norInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void xnorInto(ZelFix& r, const ZelFix& a, const ZelFix& b);
  static void notInto(ZelFix& r, const ZelFix& a);

  // Pool slot k (k >= 8 is slot 0) in format (W, P, S, Q, O): the cached temporary
  // when it has width W (pattern untouched), else a new value 0 of that format.
  ZelFix& temp(int k, int width, int point, int sign, int quantization, int overflow);

  // ---- text ---------------------------------------------------------------
  // "Bool", or "Fix_%d_%d%s" / "UFix_%d_%d%s" with suffix "v" unless nanFree.
  std::string typeName() const;
  // "Unsigned " (Unsigned only) "ZelFix[W,P] 'bits'" with '.' after W - P bits; X for NaN/unknown.
  std::string toString() const;
  // Value in base 2..32 (clamped); "NaN" / "*X*"; fractionDigits -1 = ceil(point * ln2 / ln base).
  std::string valueText(int base = 10, int fractionDigits = -1) const;

 private:
  struct Pool;
  void destroyPool() noexcept;
  friend struct ZelFixAccess;
  friend class ZelComplex;

  int32_t point_ = 0;
  double shadow_ = 0.0;
  bool isNumber_ = true;
  bool isDefined_ = true;
  bool isKnown_ = true;
  bool nanFree_ = false;
  bool isBool_ = false;
  Pool* pool_ = nullptr;  // owned; made on the first temp() request
};

// Full-precision results (Truncate, Wrap):
// a + b: max(Ia, Ib) + 1 + max(Pa, Pb) bits (+1 when Signed), point max(Pa, Pb).
ZelFix operator+(const ZelFix& a, const ZelFix& b);
// a - b: max(Ia, Ib) + 2 + max(Pa, Pb) bits, point max(Pa, Pb), Signed.
ZelFix operator-(const ZelFix& a, const ZelFix& b);
// a * b: Wa + Wb bits (+1 when Signed), point Pa + Pb.
ZelFix operator*(const ZelFix& a, const ZelFix& b);
// -a: Wa + 1 bits, point Pa, Signed.
ZelFix operator-(const ZelFix& a);

// Value comparisons; every one (also !=) is false when either side is NaN or unknown.
inline bool operator==(const ZelFix& a, const ZelFix& b) { return a.comparable(b) && ZelFix::compareValues(a, b) == 0; }
inline bool operator!=(const ZelFix& a, const ZelFix& b) { return a.comparable(b) && ZelFix::compareValues(a, b) != 0; }
inline bool operator<(const ZelFix& a, const ZelFix& b) { return a.comparable(b) && ZelFix::compareValues(a, b) < 0; }
inline bool operator>(const ZelFix& a, const ZelFix& b) { return a.comparable(b) && ZelFix::compareValues(a, b) > 0; }
inline bool operator<=(const ZelFix& a, const ZelFix& b) { return a.comparable(b) && ZelFix::compareValues(a, b) <= 0; }
inline bool operator>=(const ZelFix& a, const ZelFix& b) { return a.comparable(b) && ZelFix::compareValues(a, b) >= 0; }

// Prints toString().
std::ostream& operator<<(std::ostream& os, const ZelFix& v);

}  // namespace zel
