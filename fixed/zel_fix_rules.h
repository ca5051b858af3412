// Internal: the value-level rules of ZelFix (conversion into a target format
// and the formats of full-precision results), shared by zel_fix.cpp and
// zel_complex.cpp.
#pragma once

#include <algorithm>
#include <cmath>

#include "zel_fix.h"
#include "zel_num_rules.h"

namespace zel {

// A full-precision result format (width, point, sign); modes are Truncate, Wrap.
struct ExactFormat {
  long width;
  long point;
  int sign;
};

struct ZelFixAccess {
  static long integerBits(const ZelFix& a) { return long(a.width()) - a.point(); }
  static bool anySigned(const ZelFix& a, const ZelFix& b) { return a.sign() == Signed || b.sign() == Signed; }

  static ExactFormat sumFormat(const ZelFix& a, const ZelFix& b) {
    const long p = std::max(a.point(), b.point());
    const bool s = anySigned(a, b);
    return {std::max(integerBits(a), integerBits(b)) + 1 + (s ? 1 : 0) + p, p, s ? Signed : Unsigned};
  }
  static ExactFormat differenceFormat(const ZelFix& a, const ZelFix& b) {
    const long p = std::max(a.point(), b.point());
    return {std::max(integerBits(a), integerBits(b)) + 2 + p, p, Signed};
  }
  static ExactFormat productFormat(const ZelFix& a, const ZelFix& b) {
    const bool s = anySigned(a, b);
    return {long(a.width()) + b.width() + (s ? 1 : 0), long(a.point()) + b.point(), s ? Signed : Unsigned};
  }
  static ExactFormat complexProductFormat(const ZelFix& a, const ZelFix& b) {
    return {long(a.width()) + b.width() + 2, long(a.point()) + b.point(), Signed};
  }
  // x * 2^n, exact (a multiplication by a power of two rounds like ldexp).
  static double scaled(double x, int n) {
    if (n > -60 && n < 60) return n >= 0 ? x * double(uint64_t(1) << n) : x / double(uint64_t(1) << -n);
    return std::ldexp(x, n);
  }
  static void checkWidth(long w) { ZelNumAccess::wordsFor(w); }

  // Value of a at `point` fraction bits (point >= a.point: exact).
  template <class T> static T aligned(const ZelFix& a, long point) {
    return detail::shl(ZelNumAccess::load<T>(a), point - a.point());
  }

  // Makes r a value 0 of format f with Truncate and Wrap (flags and shadow reset).
  static void shapeResult(ZelFix& r, const ExactFormat& f) {
    ZelNumAccess::reshape(r, f.width);
    ZelNumAccess::setSign(r, f.sign);
    ZelNumAccess::setModes(r, Truncate, Wrap);
    r.point_ = int32_t(f.point);
  }
  static void setShadow(ZelFix& r, double shadow) { r.shadow_ = shadow; }
  // isNumber, isDefined and isKnown of r := the AND of a's and b's.
  static void andFlags(ZelFix& r, const ZelFix& a, const ZelFix& b) {
    r.isNumber_ = a.isNumber_ && b.isNumber_;
    r.isDefined_ = a.isDefined_ && b.isDefined_;
    r.isKnown_ = a.isKnown_ && b.isKnown_;
  }
  static void copyFlags(ZelFix& r, bool number, bool defined, bool known) {
    r.isNumber_ = number;
    r.isDefined_ = defined;
    r.isKnown_ = known;
  }

  // Conversion of a source value v, held in format (ws, ps, ss), into t's own
  // format: the bits aligned at the binary point (floor), the round-up by
  // `quantization` as an increment under t's overflow mode, then the overflow
  // test on the source alone (saturate, throw or wrap).
  template <class T>
  static void convertValue(ZelFix& t, const T& v, long ws, long ps, int ss, int quantization) {
    using namespace detail;
    const long wt = t.width();
    const long pt = t.point();
    const long d = ps - pt;
    T kept;
    if (d <= 0) kept = (-d >= wt) ? T(0) : shl(v, -d);
    else kept = shr(v, d);
    bool up = false;
    if (d >= 1 && quantization != Truncate) {
      up = ZelNumAccess::roundsUp(v, d, quantization == ConvergentSafe ? Convergent : quantization);
      // ConvergentSafe: no round-up from the largest positive pattern 0111..1
      // when the target has no more integer bits than the source.
      if (up && quantization == ConvergentSafe && wt >= 1 && wt - pt <= ws - ps) {
        T next = kept + T(1);
        if (bitAt(next, wt - 1) && !anyBelow(next, wt - 1)) up = false;
      }
    }
    ZelNumAccess::store(t, kept);
    if (up) ZelNumAccess::incrementWith(t, "Overflow on incr");
    ZelNumAccess::setFlags(t, t.flags() & ~1u);
    if (t.overflow() == Wrap) return;
    const long it = wt - pt;
    bool fits;
    if (t.sign() == Signed) {
      const long e = it - 1 + ps;  // the range [-2^e, 2^e) in source units
      fits = e >= ws ? true : (e < 0 ? isZero(v) : (v >= -pow2<T>(e) && v < pow2<T>(e)));
    } else {
      const long e = it + ps;  // the range [0, 2^e)
      fits = !isNeg(v) && (e >= ws ? true : (e < 0 ? isZero(v) : v < pow2<T>(e)));
    }
    if (fits) return;
    ZelNumAccess::setFlags(t, t.flags() | 1u);
    const bool negative = isNeg(v);
    if (t.overflow() == Error) throw ZelNumException::Overflow("during convert", negative ? -1 : 1);
    ZelNumAccess::saturate(t, (ss == Signed && negative) ? -1 : 1);
  }

  // t := s converted (pattern only; flags and shadow are the caller's).
  static void convertPattern(ZelFix& t, const ZelFix& s, int quantization);
};

}  // namespace zel
