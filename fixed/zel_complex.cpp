// ZelComplex: the complex registers and full-precision operations of the FFT data path.
#include "zel_complex.h"

#include "zel_fix_rules.h"

namespace zel {

using Access = ZelNumAccess;
using FixAccess = ZelFixAccess;

namespace {

enum class Op { Sum, Difference, Product };

bool sameFormat(const ZelFix& x, const ZelFix& y) {
  return x.width() == y.width() && x.point() == y.point() && x.sign() == y.sign();
}

// The fast paths below compute both parts directly in the result format; they
// apply when each operand's imaginary part has the format of its real part
// (always so for the engines' registers). Otherwise the imaginary results go
// through the real parts' format exactly as the general rule says.
bool partsAgree(const ZelComplex& a, const ZelComplex& b) {
  return sameFormat(a.real(), a.imag()) && sameFormat(b.real(), b.imag());
}

ExactFormat resultFormat(Op op, const ZelFix& a, const ZelFix& b) {
  switch (op) {
    case Op::Sum: return FixAccess::sumFormat(a, b);
    case Op::Difference: return FixAccess::differenceFormat(a, b);
    default: return FixAccess::complexProductFormat(a, b);
  }
}

// Exact values of both result parts at the result point f.point.
template <class T>
void exactParts(Op op, const ZelComplex& a, const ZelComplex& b, const ExactFormat& f, T& re, T& im) {
  if (op == Op::Product) {
    const T ar = Access::load<T>(a.real()), ai = Access::load<T>(a.imag());
    const T br = Access::load<T>(b.real()), bi = Access::load<T>(b.imag());
    re = T(ar * br - ai * bi);
    im = T(ar * bi + ai * br);
    return;
  }
  const T ar = FixAccess::aligned<T>(a.real(), f.point), ai = FixAccess::aligned<T>(a.imag(), f.point);
  const T br = FixAccess::aligned<T>(b.real(), f.point), bi = FixAccess::aligned<T>(b.imag(), f.point);
  if (op == Op::Sum) {
    re = T(ar + br);
    im = T(ai + bi);
  } else {
    re = T(ar - br);
    im = T(ai - bi);
  }
}

struct PartInfo {
  double reShadow, imShadow;
  bool reNumber, reDefined, reKnown;
  bool imNumber, imDefined, imKnown;
};

PartInfo partInfo(Op op, const ZelComplex& a, const ZelComplex& b) {
  const ZelFix &ar = a.real(), &ai = a.imag(), &br = b.real(), &bi = b.imag();
  PartInfo p{};
  switch (op) {
    case Op::Sum:
      p.reShadow = ar.shadow() + br.shadow();
      p.imShadow = ai.shadow() + bi.shadow();
      break;
    case Op::Difference:
      p.reShadow = ar.shadow() - br.shadow();
      p.imShadow = ai.shadow() - bi.shadow();
      break;
    case Op::Product:
      p.reShadow = ar.shadow() * br.shadow() - ai.shadow() * bi.shadow();
      p.imShadow = ar.shadow() * bi.shadow() + ai.shadow() * br.shadow();
      break;
  }
  if (op == Op::Product) {
    // Each part combines all four operand parts.
    const bool n = ar.isNumber() && ai.isNumber() && br.isNumber() && bi.isNumber();
    const bool d = ar.isDefined() && ai.isDefined() && br.isDefined() && bi.isDefined();
    const bool k = ar.isKnown() && ai.isKnown() && br.isKnown() && bi.isKnown();
    p.reNumber = p.imNumber = n;
    p.reDefined = p.imDefined = d;
    p.reKnown = p.imKnown = k;
  } else {
    p.reNumber = ar.isNumber() && br.isNumber();
    p.reDefined = ar.isDefined() && br.isDefined();
    p.reKnown = ar.isKnown() && br.isKnown();
    p.imNumber = ai.isNumber() && bi.isNumber();
    p.imDefined = ai.isDefined() && bi.isDefined();
    p.imKnown = ai.isKnown() && bi.isKnown();
  }
  return p;
}

void applyInfo(ZelComplex& r, const PartInfo& p) {
  FixAccess::setShadow(r.real(), p.reShadow);
  FixAccess::copyFlags(r.real(), p.reNumber, p.reDefined, p.reKnown);
  FixAccess::setShadow(r.imag(), p.imShadow);
  FixAccess::copyFlags(r.imag(), p.imNumber, p.imDefined, p.imKnown);
}

// The general rule, part by part through full-precision ZelFix values.
ZelComplex generalResult(Op op, const ZelComplex& a, const ZelComplex& b, const ExactFormat& f) {
  ZelComplex r(int(f.width), int(f.point), f.sign, Truncate, Wrap);
  switch (op) {
    case Op::Sum:
      r.real() = a.real() + b.real();
      r.imag() = a.imag() + b.imag();
      break;
    case Op::Difference:
      r.real() = a.real() - b.real();
      r.imag() = a.imag() - b.imag();
      break;
    case Op::Product: {
      const ZelFix p1 = a.imag() * b.imag();
      const ZelFix p2 = a.real() * b.real();
      r.real() = p2 - p1;
      const ZelFix p3 = a.imag() * b.real();
      const ZelFix p4 = a.real() * b.imag();
      r.imag() = p4 + p3;
      break;
    }
  }
  return r;
}

ZelComplex fullPrecision(Op op, const ZelComplex& a, const ZelComplex& b) {
  const ExactFormat f = resultFormat(op, a.real(), b.real());
  FixAccess::checkWidth(f.width);
  if (!partsAgree(a, b)) return generalResult(op, a, b, f);
  ZelComplex r;
  FixAccess::shapeResult(r.real(), f);
  FixAccess::shapeResult(r.imag(), f);
  withInt(f.width, [&](auto zero) {
    using T = decltype(zero);
    T re, im;
    exactParts(op, a, b, f, re, im);
    Access::store(r.real(), re);
    Access::store(r.imag(), im);
  });
  applyInfo(r, partInfo(op, a, b));
  return r;
}

void intoTarget(Op op, ZelComplex& r, const ZelComplex& a, const ZelComplex& b) {
  const ExactFormat f = resultFormat(op, a.real(), b.real());
  FixAccess::checkWidth(f.width);
  if (!partsAgree(a, b)) {
    r = fullPrecision(op, a, b);
    return;
  }
  const PartInfo info = partInfo(op, a, b);
  const long bits = std::max<long>(f.width, std::max(r.real().width(), r.imag().width()));
  withInt(bits, [&](auto zero) {
    using T = decltype(zero);
    T re, im;
    exactParts(op, a, b, f, re, im);  // before r is written: r may be a or b
    FixAccess::convertValue(r.real(), re, f.width, f.point, f.sign, r.real().quantization());
    FixAccess::convertValue(r.imag(), im, f.width, f.point, f.sign, r.imag().quantization());
  });
  applyInfo(r, info);
}

}  // namespace

ZelComplex::ZelComplex(int width, int point, int sign, int quantization, int overflow)
    : re_(0, width, point, sign, quantization, overflow), im_(0, width, point, sign, quantization, overflow) {}

ZelComplex& ZelComplex::operator=(const ZelComplex& other) {
  if (this == &other) return *this;
  re_ = other.re_;
  im_ = other.im_;
  return *this;
}

void ZelComplex::adoptFormat(const ZelFix& templ) {
  re_.adoptFormat(templ);
  im_.adoptFormat(templ);
}

void ZelComplex::setFormat(int width, int point, int sign, int quantization, int overflow) {
  re_.setFormat(width, point, sign, quantization, overflow);
  im_.setFormat(width, point, sign, quantization, overflow);
}

void ZelComplex::set(double re, double im) {
  re_ = re;
  im_ = im;
}

ZelComplex& ZelComplex::operator>>=(int s) {
  re_ >>= s;
  im_ >>= s;
  return *this;
}

ZelComplex& ZelComplex::operator<<=(int s) {
  re_ <<= s;
  im_ <<= s;
  return *this;
}

void ZelComplex::sumInto(ZelComplex& r, const ZelComplex& a, const ZelComplex& b) { intoTarget(Op::Sum, r, a, b); }
void ZelComplex::differenceInto(ZelComplex& r, const ZelComplex& a, const ZelComplex& b) {
  intoTarget(Op::Difference, r, a, b);
}
void ZelComplex::productInto(ZelComplex& r, const ZelComplex& a, const ZelComplex& b) {
  intoTarget(Op::Product, r, a, b);
}

ZelComplex operator+(const ZelComplex& a, const ZelComplex& b) { return fullPrecision(Op::Sum, a, b); }
ZelComplex operator-(const ZelComplex& a, const ZelComplex& b) { return fullPrecision(Op::Difference, a, b); }
ZelComplex operator*(const ZelComplex& a, const ZelComplex& b) { return fullPrecision(Op::Product, a, b); }

std::string ZelComplex::toString() const {
  std::string s(1, '(');
  s.append(re_.valueText(10)).append(", ").append(im_.valueText(10)).push_back(')');
  return s;
}

std::ostream& operator<<(std::ostream& os, const ZelComplex& c) { return os << c.toString(); }

}  // namespace zel
