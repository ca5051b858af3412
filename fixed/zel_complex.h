// ZelComplex: the (real, imaginary) pair of ZelFix on which the FFT data path
// computes. Every data word, twiddle factor and butterfly register is one.
// The format of a full-precision result is derived from the REAL parts of the
// operands and given to both parts of the result.
//
// Note: copy assignment CONVERTS each part into the target's own format
// (storing into a register applies its quantisation and overflow rules).
#pragma once

#include <ostream>
#include <string>

#include "zel_fix.h"

namespace zel {

class ZelComplex {
 public:
  // Both parts default ZelFix (width 0, Unsigned, value 0).
  ZelComplex() = default;
  // Parts copied with their formats.
  ZelComplex(const ZelFix& re, const ZelFix& im) : re_(re), im_(im) {}
  // Both parts in format (W, P, S, Q, O), value 0.
  ZelComplex(int width, int point, int sign, int quantization, int overflow);
  ZelComplex(const ZelComplex& other) = default;
  ZelComplex(ZelComplex&& other) noexcept = default;
  // Destroys the imaginary part, then the real part (reverse member order).
  ~ZelComplex() = default;

  ZelFix& real() { return re_; }
  const ZelFix& real() const { return re_; }
  ZelFix& imag() { return im_; }
  const ZelFix& imag() const { return im_; }

  // Each part converted into this object's own part format and modes.
  ZelComplex& operator=(const ZelComplex& other);
  // Both parts adopt the template's format (values re-quantised into it).
  void adoptFormat(const ZelFix& templ);
  // Both parts set to format (W, P, S, Q, O) (values re-quantised into it).
  void setFormat(int width, int point, int sign, int quantization, int overflow);
  // Assigns doubles to the parts (each rounded by its own format).
  void set(double re, double im);

  // Scaling shift: each part shifted right by s within its own format,
  // rounding by its quantisation mode; shadows divided by 2^s.
  ZelComplex& operator>>=(int s);
  ZelComplex& operator<<=(int s);

  // Operations into a register r with exactly the result of r = a + b, a - b,
  // a * b, but without building the full-precision temporary.
  static void sumInto(ZelComplex& r, const ZelComplex& a, const ZelComplex& b);
  static void differenceInto(ZelComplex& r, const ZelComplex& a, const ZelComplex& b);
  static void productInto(ZelComplex& r, const ZelComplex& a, const ZelComplex& b);

  // "(" real value text ", " imaginary value text ")".
  std::string toString() const;

 private:
  ZelFix re_;
  ZelFix im_;
};

// Full-precision complex sum / difference: the ZelFix formats of the real parts
// (Truncate, Wrap), both parts of the result in that format.
ZelComplex operator+(const ZelComplex& a, const ZelComplex& b);
ZelComplex operator-(const ZelComplex& a, const ZelComplex& b);
// Full-precision complex product: (Wa + Wb + 2, Pa + Pb), Signed, Truncate, Wrap;
// real = a.re*b.re - a.im*b.im, imaginary = a.re*b.im + a.im*b.re (never wraps).
ZelComplex operator*(const ZelComplex& a, const ZelComplex& b);

std::ostream& operator<<(std::ostream& os, const ZelComplex& c);

}  // namespace zel
