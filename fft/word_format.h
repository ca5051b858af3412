// WordFormat: the format of an engine's data memory words, and the two
// conversions simulate needs at the memory's edge.
//
// The engines keep each memory word as the two's-complement patterns of its
// real and imaginary parts (RawComplex), value = pattern / 2^point, in a
// signed format of `width` bits with truncation and wrap. Storing a sample
// must give exactly the pattern that assigning the double to a ZelFix word
// of that format gives: x * 2^point floored to an integer and cut to the
// word's width (the low bits of the two's-complement number survive). A NaN,
// an infinity and a value whose scaled form leaves the double range leave
// pattern 0, as the ZelFix assignment does. Reading back is pattern / 2^point,
// exact for the words of these engines (at most 53 bits).
#pragma once

#include "fixed_registers.h"

#include <cstdint>

namespace zelfft {

class WordFormat {
 public:
  // A signed word of `width` (2 .. 53) bits with `point` (1 .. 1000) fraction bits.
  WordFormat(int width, int point);

  int width() const { return width_; }
  int point() const { return point_; }

  // The pattern a ZelFix word of this format (truncation, wrap) holds after
  // the assignment of x.
  int64_t pattern(double x) const {
    const double y = x * up_;
    if (!(y > -0x1p62 && y < 0x1p62)) return pattern_beyond(y);  // also NaN
    // Truncation floors; the conversion to an integer rounds toward zero.
    int64_t t = static_cast<int64_t>(y);
    if (static_cast<double>(t) > y) --t;
    return raw::wrap(t, width_);
  }
  RawComplex pattern(double re, double im) const { return {pattern(re), pattern(im)}; }

  // The value of a pattern, as the ZelFix word reads it (exact).
  double value(int64_t pattern) const { return static_cast<double>(pattern) * down_; }

 private:
  // The pattern of a scaled value y that is no 62-bit integer: NaN,
  // infinities and whole numbers of 2^62 and more.
  int64_t pattern_beyond(double y) const;

  int width_;
  int point_;
  double up_;    // 2^point: scaling by it is exact, as the assignment's ldexp is
  double down_;  // 2^-point
};

}  // namespace zelfft
