// ZelFix: fixed-point values with quantisation and overflow modes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "zel_fix_rules.h"

namespace zel {

using detail::isNeg;
using detail::isZero;
using detail::shl;
using detail::shr;
using detail::divideMagnitudes;
using Access = ZelNumAccess;
using FixAccess = ZelFixAccess;

struct ZelFix::Pool {
  std::unique_ptr<ZelFix> slot[kPoolSlots];
};

namespace {

// Shift counts beyond the width all behave alike; keep them inside int.
int clampShift(long n, int width) { return int(std::clamp<long>(n, -(long(width) + 2), long(width) + 2)); }

}  // namespace

// ---- construction ------------------------------------------------------------------

ZelFix::ZelFix(int v, int width, int point, int sign, int quantization, int overflow)
    : ZelNum(point < 0 ? (point <= -32 ? (v < 0 ? -1 : 0) : (v >> -point)) : v, width, sign, quantization,
             overflow),
      point_(point),
      shadow_(double(v)) {
  if (point > 0) shiftLeft(point);
}

ZelFix::ZelFix(double x, int width, int point, int sign, int quantization, int overflow) : ZelNum() {
  sign_ = Access::checkSign(sign, Unsigned);
  quantization_ = Access::checkQuantization(quantization, Truncate);
  overflow_ = Access::checkOverflow(overflow, Wrap);
  Access::setWidth(*this, width);
  point_ = point;
  *this = x;
  shadow_ = x;  // also for a NaN, whose assignment leaves the shadow alone
}

ZelFix::ZelFix(const ZelNum& n) : ZelNum(n), point_(0), shadow_(n.toDouble()) {}

ZelFix::ZelFix(const ZelFix& other)
    : ZelNum(other),
      point_(other.point_),
      shadow_(other.shadow_),
      isNumber_(other.isNumber_),
      isDefined_(other.isDefined_),
      isKnown_(other.isKnown_),
      nanFree_(other.nanFree_),
      isBool_(other.isBool_) {}

ZelFix::ZelFix(ZelFix&& other) noexcept
    : ZelNum(std::move(other)),
      point_(other.point_),
      shadow_(other.shadow_),
      isNumber_(other.isNumber_),
      isDefined_(other.isDefined_),
      isKnown_(other.isKnown_),
      nanFree_(other.nanFree_),
      isBool_(other.isBool_),
      pool_(other.pool_) {
  other.pool_ = nullptr;
}

ZelFix::ZelFix(const ZelFix& other, int width, int point, int sign, int quantization, int overflow)
    : ZelFix(other) {
  setFormat(width, point, sign, quantization, overflow);
}

void ZelFix::destroyPool() noexcept {
  delete pool_;
  pool_ = nullptr;
}

ZelFix ZelFix::fromInt(int v, int point, int sign, int quantization, int overflow) {
  const int s = Access::checkSign(sign, Unsigned);
  const long width = std::max<long>(0, long(point) + minimalWidth(v, s));
  return ZelFix(v, int(std::min<long>(width, kMaxWidth + 1)), point, s, quantization, overflow);
}

ZelFix ZelFix::fromDouble(double x, int point, int sign, int quantization, int overflow) {
  const int s = Access::checkSign(sign, Unsigned);
  return ZelFix(x, minimalWidth(std::ldexp(x, point), s), point, s, quantization, overflow);
}

ZelFix ZelFix::fromDoubleExact(double x, int sign, int quantization, int overflow) {
  int point = 0;
  if (std::isfinite(x) && x != 0) {
    int e = 0;
    const double m = std::frexp(x, &e);
    // m * 2^53 is an integer; its trailing zero bits are the fraction bits m does not need.
    uint64_t mantissa = uint64_t(std::fabs(std::ldexp(m, 53)));
    int i = 53;
    while (i > 0 && (mantissa & 1u) == 0) {
      mantissa >>= 1;
      --i;
    }
    point = std::max(0, i - e);
  }
  return fromDouble(x, point, sign, quantization, overflow);
}

ZelFix ZelFix::fromBool(bool b) {
  ZelFix r;
  Access::setWidth(r, 1);
  r.words_[0] = b ? 1u : 0u;
  r.shadow_ = b ? 1.0 : 0.0;
  r.nanFree_ = true;
  r.isBool_ = true;
  return r;
}

ZelFix ZelFix::fromBits(std::string_view bits, int point, int sign) {
  ZelFix r(ZelNum::fromBits(bits, sign));
  r.point_ = point;
  r.shadow_ = Access::patternToDouble(r, point);
  return r;
}

// ---- format ------------------------------------------------------------------------

void ZelFix::setFormat(int width, int point, int sign, int quantization, int overflow) {
  if (isBool_) {
    if (width == 1 && point == 0) return;
    throw ZelNumException::UnimplementedSpec();
  }
  const int s = Access::checkSign(sign, sign_);
  const int q = Access::checkQuantization(quantization, quantization_);
  const int o = Access::checkOverflow(overflow, overflow_);
  Access::wordsFor(width);
  quantization_ = q;
  overflow_ = o;
  // Round in the wider container first, narrow afterwards.
  if (width > width_) resize(width);
  if (sign_ == Signed && s == Unsigned && point >= point_) retype(Unsigned);
  const long shift = long(point) - point_;
  if (shift > 0) shiftLeft(clampShift(shift, width_));
  else if (shift < 0) shiftRight(clampShift(-shift, width_));
  point_ = point;
  if (sign_ == Signed && s == Unsigned) retype(Unsigned);
  if (width < width_) resize(width);
  if (sign_ == Unsigned && s == Signed) retype(Signed);
}

void ZelFix::adoptFormat(const ZelFix& templ) {
  setFormat(templ.width_, templ.point_, templ.sign_, templ.quantization_, templ.overflow_);
  if (templ.isBool_ && templ.width_ == 1 && templ.point_ == 0 && templ.sign_ == Unsigned) makeBoolean();
  if (templ.nanFree_) {
    nanFree_ = true;
    if (!isNumber_) {
      isNumber_ = true;
      isKnown_ = false;
    }
  }
}

void ZelFix::makeBoolean() {
  if (width_ != 1 || point_ != 0 || sign_ != Unsigned) throw ZelNumException::UnimplementedSpec();
  if (!isNumber_) {
    fillWords(0);
    isNumber_ = true;
  }
  isBool_ = true;
  nanFree_ = true;
}

// ---- assignment --------------------------------------------------------------------

void ZelFixAccess::convertPattern(ZelFix& t, const ZelFix& s, int quantization) {
  if (t.width_ == s.width_ && t.point_ == s.point_ && t.sign_ == s.sign_) {
    // Same format: nothing to round and nothing can overflow.
    std::memcpy(t.words_, s.words_, sizeof(uint32_t) * size_t(t.wordCount_));
    t.flags_ &= ~1u;
    return;
  }
  withInt(std::max(t.width_, s.width_), [&](auto zero) {
    using T = decltype(zero);
    convertValue(t, Access::load<T>(s), s.width_, s.point_, s.sign_, quantization);
  });
}

ZelFix& ZelFix::operator=(const ZelFix& other) {
  if (this == &other) return *this;
  FixAccess::convertPattern(*this, other, quantization_);
  shadow_ = other.shadow_;
  isNumber_ = other.isNumber_;
  isDefined_ = other.isDefined_;
  isKnown_ = other.isKnown_;
  return *this;
}

ZelFix& ZelFix::operator=(double x) {
  if (std::isnan(x)) {
    if (!nanFree_) isNumber_ = false;
    isDefined_ = false;
    isKnown_ = false;
    fillWords(0);
    return *this;
  }
  bool done = false;
  if (width_ >= 54 && std::isfinite(x) && x != 0) {
    int e = 0;
    std::frexp(x, &e);
    if (long(point_) + e >= 1024) {
      // x * 2^point would leave the double range: assign 54 significant bits, then shift.
      ZelNum::operator=(std::ldexp(x, 54 - e));
      shiftLeft(clampShift(long(e) - 54 + point_, width_));
      done = true;
    }
  }
  if (!done) ZelNum::operator=(std::ldexp(x, int(std::clamp<long>(point_, -100000, 100000))));
  shadow_ = x;
  isNumber_ = isDefined_ = isKnown_ = true;
  return *this;
}

ZelFix& ZelFix::operator=(int v) {
  if (v != 0) return *this = double(v);
  fillWords(0);
  shadow_ = 0.0;
  isNumber_ = isDefined_ = isKnown_ = true;
  return *this;
}

ZelFix& ZelFix::operator=(bool b) {
  fillWords(0);
  words_[0] = b ? 1u : 0u;
  maskTop();
  shadow_ = b ? 1.0 : 0.0;
  isNumber_ = isDefined_ = isKnown_ = true;
  return *this;
}

// ---- full-precision arithmetic ---------------------------------------------------------

namespace {

// A full-precision result: the left operand copied into the result format,
// so it keeps a's overflowed flag and nanFree; a Boolean left operand accepts
// no format but (1, 0).
ZelFix shapedResult(const ZelFix& a, const ZelFix& b, const ExactFormat& f) {
  if (a.isBool() && !(f.width == 1 && f.point == 0)) throw ZelNumException::UnimplementedSpec();
  FixAccess::checkWidth(f.width);
  ZelFix r;
  FixAccess::shapeResult(r, f);
  Access::setFlags(r, a.flags());
  r.setNanFree(a.nanFree());
  FixAccess::andFlags(r, a, b);
  return r;
}

enum class Op { Sum, Difference, Product };

template <class T>
T exactValue(Op op, const ZelFix& a, const ZelFix& b, const ExactFormat& f) {
  if (op == Op::Product) return T(Access::load<T>(a) * Access::load<T>(b));
  const T x = FixAccess::aligned<T>(a, f.point);
  const T y = FixAccess::aligned<T>(b, f.point);
  return op == Op::Sum ? T(x + y) : T(x - y);
}

ExactFormat formatOf(Op op, const ZelFix& a, const ZelFix& b) {
  switch (op) {
    case Op::Sum: return FixAccess::sumFormat(a, b);
    case Op::Difference: return FixAccess::differenceFormat(a, b);
    default: return FixAccess::productFormat(a, b);
  }
}

double shadowOf(Op op, const ZelFix& a, const ZelFix& b) {
  switch (op) {
    case Op::Sum: return a.shadow() + b.shadow();
    case Op::Difference: return a.shadow() - b.shadow();
    default: return a.shadow() * b.shadow();
  }
}

ZelFix fullPrecision(Op op, const ZelFix& a, const ZelFix& b) {
  const ExactFormat f = formatOf(op, a, b);
  ZelFix r = shapedResult(a, b, f);
  FixAccess::setShadow(r, shadowOf(op, a, b));
  withInt(f.width, [&](auto zero) {
    using T = decltype(zero);
    Access::store(r, exactValue<T>(op, a, b, f));
  });
  return r;
}

// r := a op b converted into r's own format and modes. The result is formed
// in a container of the exact format; the product multiplies magnitudes in
// Wa + Wb bits, which hold every product, so its container has no extra sign
// bit. When r itself has the container's format with Truncate and Wrap, the
// result is formed in r and no conversion follows: r's overflowed flag stays.
void intoTarget(Op op, ZelFix& r, const ZelFix& a, const ZelFix& b) {
  ExactFormat f = formatOf(op, a, b);
  if (op == Op::Product && f.sign == Signed) --f.width;
  FixAccess::checkWidth(f.width);
  const double shadow = shadowOf(op, a, b);
  const bool number = a.isNumber() && b.isNumber();
  const bool defined = a.isDefined() && b.isDefined();
  const bool known = a.isKnown() && b.isKnown();
  const bool formedInTarget = r.width() == f.width && r.point() == f.point && r.sign() == f.sign &&
                              r.quantization() == Truncate && r.overflow() == Wrap;
  const uint32_t flags = r.flags();
  // The product is formed with one spare bit (its sign when both are negative).
  withInt(std::max<long>(f.width + (op == Op::Product ? 1 : 0), r.width()), [&](auto zero) {
    using T = decltype(zero);
    FixAccess::convertValue(r, exactValue<T>(op, a, b, f), f.width, f.point, f.sign, r.quantization());
  });
  if (formedInTarget) Access::setFlags(r, flags);
  FixAccess::setShadow(r, shadow);
  FixAccess::copyFlags(r, number, defined, known);
}

// a := a op b: the exact result floored to a's resolution, then assigned into
// a's width and sign under a's overflow mode (the integer assignment rules).
void inPlace(Op op, ZelFix& a, const ZelFix& b) {
  const ExactFormat f = formatOf(op, a, b);
  FixAccess::checkWidth(op == Op::Product ? f.width - (f.sign == Signed ? 1 : 0) : f.width);
  const double shadow = shadowOf(op, a, b);
  // Bring the result to a's point: a right shift (floor) or, for a product
  // with a negative point on b, an exact left shift (capped: beyond every
  // width the outcome no longer changes).
  const long down = f.point - a.point();
  const long up = std::min<long>(std::max<long>(0, -down), 2 * kMaxWidth + 8);
  withInt(f.width + up, [&](auto zero) {
    using T = decltype(zero);
    T v = exactValue<T>(op, a, b, f);
    v = down >= 0 ? shr(v, down) : shl(v, up);
    v = Access::resolve(v, f.width + up + 1, f.sign, a.width(), a.sign(), a.overflow());
    Access::store(a, v);
  });
  FixAccess::setShadow(a, shadow);
  FixAccess::andFlags(a, a, b);
}

}  // namespace

ZelFix operator+(const ZelFix& a, const ZelFix& b) { return fullPrecision(Op::Sum, a, b); }
ZelFix operator-(const ZelFix& a, const ZelFix& b) { return fullPrecision(Op::Difference, a, b); }
ZelFix operator*(const ZelFix& a, const ZelFix& b) { return fullPrecision(Op::Product, a, b); }

ZelFix operator-(const ZelFix& a) {
  if (a.isBool()) throw ZelNumException::UnimplementedSpec();
  const ExactFormat f{long(a.width()) + 1, a.point(), Signed};
  FixAccess::checkWidth(f.width);
  ZelFix r = a;
  FixAccess::shapeResult(r, f);
  withInt(f.width, [&](auto zero) {
    using T = decltype(zero);
    Access::store(r, T(-Access::load<T>(a)));
  });
  FixAccess::setShadow(r, -a.shadow());
  return r;
}

void ZelFix::sumInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { intoTarget(Op::Sum, r, a, b); }
void ZelFix::differenceInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { intoTarget(Op::Difference, r, a, b); }
void ZelFix::productInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { intoTarget(Op::Product, r, a, b); }

ZelFix& ZelFix::operator+=(const ZelFix& other) {
  inPlace(Op::Sum, *this, other);
  return *this;
}
ZelFix& ZelFix::operator-=(const ZelFix& other) {
  inPlace(Op::Difference, *this, other);
  return *this;
}
ZelFix& ZelFix::operator*=(const ZelFix& other) {
  inPlace(Op::Product, *this, other);
  return *this;
}

namespace {


// Patterns of a and b aligned at the larger point.
void alignBoth(const ZelFix& a, const ZelFix& b, Wide& x, Wide& y, long& point) {
  point = std::max(a.point(), b.point());
  FixAccess::checkWidth(std::max(a.width() + point - a.point(), b.width() + point - b.point()));
  x = FixAccess::aligned<Wide>(a, point);
  y = FixAccess::aligned<Wide>(b, point);
}

}  // namespace

ZelFix& ZelFix::operator/=(const ZelFix& other) {
  if (other.ZelNum::isZero()) throw ZelNumException::IllegalIntArg("a", 0);
  Wide x, y, q, rem;
  long point = 0;
  alignBoth(*this, other, x, y, point);
  divideMagnitudes(x.negative() ? -x : x, y.negative() ? -y : y, q, rem);
  const bool negativeQuotient = x.negative() != y.negative();
  if (negativeQuotient && sign_ == Unsigned && !q.zero()) {
    if (overflow_ == Saturate) {
      fillWords(0);
      return *this;
    }
    if (overflow_ == Error) throw ZelNumException::Overflow("negating unsigned ZelNum", 0);
  }
  if (negativeQuotient) q = -q;
  // The integer quotient as a value of this format.
  q = point_ >= 0 ? q.shl(std::min<long>(point_, 2 * kMaxWidth + 8)) : q.shr(-long(point_));
  q = Access::resolve(q, long(kMaxWidth) * 3, Signed, width_, sign_, overflow_);
  Access::store(*this, q);
  shadow_ = shadow_ / other.shadow_;
  FixAccess::andFlags(*this, *this, other);
  return *this;
}

ZelFix& ZelFix::operator%=(const ZelFix& other) {
  if (other.ZelNum::isZero()) throw ZelNumException::IllegalIntArg("a", 0);
  Wide x, y, q, rem;
  long point = 0;
  alignBoth(*this, other, x, y, point);
  if (y.negative()) y = -y;
  divideMagnitudes(x.negative() ? -x : x, y, q, rem);
  if (x.negative() && !rem.zero()) rem = y - rem;
  rem = rem.shr(point - point_);
  rem = Access::resolve(rem, long(kMaxWidth) * 3, Signed, width_, sign_, overflow_);
  Access::store(*this, rem);
  shadow_ = std::fmod(shadow_, other.shadow_);
  FixAccess::andFlags(*this, *this, other);
  return *this;
}

void ZelFix::negate() {
  ZelFix n = -(*this);
  *this = n;
}

ZelFix& ZelFix::operator>>=(int n) {
  shiftRight(n);
  shadow_ = FixAccess::scaled(shadow_, -n);
  return *this;
}

ZelFix& ZelFix::operator<<=(int n) {
  shiftLeft(n);
  shadow_ = FixAccess::scaled(shadow_, n);
  return *this;
}

ZelFix ZelFix::shiftRightExact(int n) const {
  if (n < 0) return shiftLeftExact(n == INT32_MIN ? INT32_MAX : -n);
  ZelFix r(*this);
  r.resize(int(std::min<long>(long(width_) + n, kMaxWidth + 1)));  // sign extension keeps the value
  r.point_ = point_ + n;
  r.shadow_ = std::ldexp(shadow_, -n);
  return r;
}

ZelFix ZelFix::shiftLeftExact(int n) const {
  if (n < 0) return shiftRightExact(n == INT32_MIN ? INT32_MAX : -n);
  ZelFix r(*this);
  if (n == 0) return r;
  r.resize(int(std::min<long>(long(width_) + n, kMaxWidth + 1)));
  withInt(r.width_, [&](auto zero) {
    using T = decltype(zero);
    Access::store(r, shl(Access::load<T>(r), n));
  });
  r.shadow_ = std::ldexp(shadow_, n);
  return r;
}

// ---- comparison and conversion ---------------------------------------------------------

int ZelFix::compareValues(const ZelFix& a, const ZelFix& b) {
  const long d = long(a.point_) - b.point_;
  if (d > 2L * kMaxWidth + 4 || d < -(2L * kMaxWidth + 4)) {
    // Points so far apart that magnitudes never overlap: signs decide.
    const int sa = a.ZelNum::isZero() ? 0 : (a.isNegative() ? -1 : 1);
    const int sb = b.ZelNum::isZero() ? 0 : (b.isNegative() ? -1 : 1);
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    const bool aLarger = a.point_ < b.point_;
    return (sa > 0) == aLarger ? 1 : -1;
  }
  const long point = std::max(a.point_, b.point_);
  const long bits = std::max(a.width_ + point - a.point_, b.width_ + point - b.point_) + 1;
  return withInt(bits, [&](auto zero) {
    using T = decltype(zero);
    const T x = FixAccess::aligned<T>(a, point), y = FixAccess::aligned<T>(b, point);
    return x < y ? -1 : (y < x ? 1 : 0);
  });
}

double ZelFix::toDouble() const {
  if (!isNumber_ || !isKnown_) return std::nan("");
  if (width_ <= 53 && point_ > -900 && point_ < 900) {
    return std::ldexp(double(Access::load<int64_t>(*this)), -point_);  // exact
  }
  return Access::patternToDouble(*this, point_);
}

// ---- operations into a target: bitwise -----------------------------------------------------

namespace {

enum class BitOp { And, Or, Xor, Nand, Nor, Xnor };

void bitwiseInto(BitOp op, ZelFix& r, const ZelFix& a, const ZelFix& b) {
  if (a.isBool() && b.isBool()) {
    const bool x = a.getBit(0) != 0, y = b.getBit(0) != 0;
    bool v = false;
    switch (op) {
      case BitOp::And: v = x && y; break;
      case BitOp::Or: v = x || y; break;
      case BitOp::Xor: v = x != y; break;
      case BitOp::Nand: v = !(x && y); break;
      case BitOp::Nor: v = !(x || y); break;
      case BitOp::Xnor: v = x == y; break;
    }
    ZelFix& res = r.temp(2, 1, 0, Unsigned, Truncate, Wrap);
    res = v;
    res.makeBoolean();
    FixAccess::copyFlags(res, true, true, a.isKnown() && b.isKnown());
    r = res;
    return;
  }
  const long point = std::max(a.point(), b.point());
  const long width = std::max(FixAccess::integerBits(a), FixAccess::integerBits(b)) + point;
  const int sign = FixAccess::anySigned(a, b) ? Signed : Unsigned;
  FixAccess::checkWidth(width);
  const int w = int(width), p = int(point);
  ZelFix& x = r.temp(0, w, p, sign, Truncate, Wrap);
  x = a;
  ZelFix& y = r.temp(1, w, p, sign, Truncate, Wrap);
  y = b;
  const bool inPlace = r.width() == w && r.point() == p && r.sign() == sign && r.quantization() == Truncate &&
                       r.overflow() == Wrap;
  ZelFix& res = inPlace ? r : r.temp(2, w, p, sign, Truncate, Wrap);
  switch (op) {
    case BitOp::And: case BitOp::Nand: ZelNum::bitAnd(res, x, y); break;
    case BitOp::Or: case BitOp::Nor: ZelNum::bitOr(res, x, y); break;
    case BitOp::Xor: case BitOp::Xnor: ZelNum::bitXor(res, x, y); break;
  }
  if (op == BitOp::Nand || op == BitOp::Nor || op == BitOp::Xnor) ZelNum::bitNot(res, res);
  FixAccess::copyFlags(res, true, true, true);
  FixAccess::setShadow(res, res.toDouble());
  FixAccess::andFlags(res, a, b);
  if (!inPlace) r = res;
}

}  // namespace

void ZelFix::andInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { bitwiseInto(BitOp::And, r, a, b); }
void ZelFix::orInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { bitwiseInto(BitOp::Or, r, a, b); }
void ZelFix::xorInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { bitwiseInto(BitOp::Xor, r, a, b); }
void ZelFix::nandInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { bitwiseInto(BitOp::Nand, r, a, b); }
void ZelFix::norInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { bitwiseInto(BitOp::Nor, r, a, b); }
void ZelFix::xnorInto(ZelFix& r, const ZelFix& a, const ZelFix& b) { bitwiseInto(BitOp::Xnor, r, a, b); }

void ZelFix::notInto(ZelFix& r, const ZelFix& a) {
  if (a.isBool()) {
    ZelFix& res = r.temp(2, 1, 0, Unsigned, Truncate, Wrap);
    res = a.getBit(0) == 0;
    res.makeBoolean();
    FixAccess::copyFlags(res, true, true, a.isKnown());
    r = res;
    return;
  }
  const bool inPlace = r.width() == a.width() && r.point() == a.point() && r.sign() == a.sign() &&
                       r.quantization() == Truncate && r.overflow() == Wrap;
  ZelFix& res = inPlace ? r : r.temp(2, a.width(), a.point(), a.sign(), Truncate, Wrap);
  ZelNum::bitNot(res, a);
  FixAccess::copyFlags(res, true, true, true);
  FixAccess::setShadow(res, res.toDouble());
  FixAccess::copyFlags(res, a.isNumber(), a.isDefined(), a.isKnown());
  if (!inPlace) r = res;
}

// ---- pool ----------------------------------------------------------------------------------

ZelFix& ZelFix::temp(int k, int width, int point, int sign, int quantization, int overflow) {
  if (k < 0 || k >= kPoolSlots) k = 0;
  try {
    if (!pool_) pool_ = new Pool();
    std::unique_ptr<ZelFix>& slot = pool_->slot[k];
    if (slot && slot->width_ == width) {
      slot->point_ = point;
      slot->sign_ = Access::checkSign(sign, slot->sign_);
      slot->quantization_ = Access::checkQuantization(quantization, slot->quantization_);
      slot->overflow_ = Access::checkOverflow(overflow, slot->overflow_);
      return *slot;
    }
    slot.reset();
    slot = std::make_unique<ZelFix>(0, width, point, sign, quantization, overflow);
    return *slot;
  } catch (const std::bad_alloc&) {
    throw BadAllocation();
  }
}

// ---- text ----------------------------------------------------------------------------------

std::string ZelFix::typeName() const {
  if (isBool_ && width_ == 1 && point_ == 0 && sign_ == Unsigned) return "Bool";
  char buf[64];
  std::snprintf(buf, sizeof buf, sign_ == Signed ? "Fix_%d_%d%s" : "UFix_%d_%d%s", width_, point_,
                nanFree_ ? "" : "v");
  return buf;
}

std::string ZelFix::toString() const {
  std::string s = sign_ == Unsigned ? "Unsigned " : "";
  s += "ZelFix[" + std::to_string(width_) + "," + std::to_string(point_) + "] '";
  const bool unknown = !isNumber_ || !isKnown_;
  const long dotBefore = long(width_) - point_;  // bits before the binary point
  for (int i = 0; i < width_; ++i) {
    if (i == dotBefore) s += '.';
    s += unknown ? 'X' : (getBit(width_ - 1 - i) ? '1' : '0');
  }
  if (dotBefore == width_) s += '.';  // point 0: the binary point follows the last bit
  s += "'";
  return s;
}

namespace {

// Divides the magnitude limbs by a small divisor in place; returns the remainder.
uint32_t divideSmall(std::vector<uint32_t>& limbs, uint32_t divisor) {
  uint64_t rest = 0;
  for (size_t k = limbs.size(); k-- > 0;) {
    uint64_t cur = (rest << 32) | limbs[k];
    limbs[k] = uint32_t(cur / divisor);
    rest = cur % divisor;
  }
  while (limbs.size() > 1 && limbs.back() == 0) limbs.pop_back();
  return uint32_t(rest);
}

}  // namespace

std::string ZelFix::valueText(int base, int fractionDigits) const {
  if (!isNumber_) return "NaN";
  if (!isKnown_) return "*X*";
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  base = std::clamp(base, 2, 32);
  Wide v = Access::load<Wide>(*this);
  const bool negative = v.negative();
  if (negative) v = -v;
  const long point = point_;
  Wide integral = point >= 0 ? v.shr(point) : v.shl(-point);
  Wide fraction = point > 0 ? v - integral.shl(point) : Wide();
  std::string intText;
  std::vector<uint32_t> limbs = integral.magnitude();
  do {
    intText.push_back(kDigits[divideSmall(limbs, uint32_t(base))]);
  } while (!(limbs.size() == 1 && limbs[0] == 0));
  std::reverse(intText.begin(), intText.end());
  const int digits = fractionDigits >= 0
                         ? fractionDigits
                         : (point > 0 ? int(std::ceil(double(point) * std::log(2.0) / std::log(double(base)))) : 0);
  std::string text = (negative ? "-" : "") + intText;
  if (digits > 0) {
    text += '.';
    const Wide radix(base);
    for (int i = 0; i < digits; ++i) {
      fraction = fraction * radix;
      const Wide digit = point > 0 ? fraction.shr(point) : Wide();
      text += kDigits[digit.limb(0) % 32];
      if (point > 0) fraction -= digit.shl(point);
    }
  }
  if (base != 10) text += "<base" + std::to_string(base) + ">";
  return text;
}

std::ostream& operator<<(std::ostream& os, const ZelFix& v) { return os << v.toString(); }

}  // namespace zel
