// The single-precision data interface: block exponent, denormal and inf/NaN
// handling, input scaling and the result pass, against hand-derived values.
#include "fft_float_interface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

namespace {

using namespace zelfft;

uint64_t bits_of(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

FloatBlock prepare(std::vector<double> re, std::vector<double> im, std::string *log = nullptr) {
  std::ostringstream err;
  FloatBlock b = prepare_float_block(re.data(), im.data(), static_cast<int>(re.size()), err);
  if (log) *log = err.str();
  return b;
}

const char *kRealDenormal =
    "WARNING:zelfft_v9_0:simulate called with a denormalized real data value, this value will be set to zero\n";
const char *kImagDenormal =
    "WARNING:zelfft_v9_0:simulate called with a denormalized imag data value, this value will be set to zero\n";
const char *kRealInvalid =
    "WARNING:zelfft_v9_0:simulate called with real data values set to inf or NaN, output will be invalidated\n";
const char *kImagInvalid =
    "WARNING:zelfft_v9_0:simulate called with imag data values set to inf or NaN, output will be invalidated\n";

TEST(FloatInputExponent, PutsTheBlockMaximumInHalfToOne) {
  EXPECT_EQ(prepare({0.75, -0.1}, {0.0, 0.5}).input_exponent, 0);
  EXPECT_EQ(prepare({0.1, -3.0}, {0.0, 0.5}).input_exponent, 2);
  EXPECT_EQ(prepare({0.25, 0.0}, {-0.125, 0.0}).input_exponent, -1);
  EXPECT_EQ(prepare({0.0, 0.0}, {0.0, -0.0}).input_exponent, 0);
  EXPECT_EQ(prepare({0.5}, {0.0}).input_exponent, 0);
  EXPECT_EQ(prepare({0.0}, {-1.0}).input_exponent, 1);
  EXPECT_EQ(prepare({1e30}, {1e-30}).input_exponent, 100);   // 2^99 < 1e30 < 2^100
  EXPECT_EQ(prepare({1e-30}, {0.0}).input_exponent, -99);    // 2^-100 < 1e-30 < 2^-99
  // The maximum is taken after rounding to single precision: 1 - 2^-30 is 1.0 there.
  EXPECT_EQ(prepare({1.0 - std::ldexp(1.0, -30)}, {0.0}).input_exponent, 1);
}

TEST(FloatInputPass, SubnormalsBecomePositiveZeroInTheCallersArrays) {
  std::vector<double> re = {0.5, -1e-40, 0.25}, im = {1e-41, 0.0, 1e-46};
  std::ostringstream err;
  FloatBlock b = prepare_float_block(re.data(), im.data(), 3, err);
  EXPECT_EQ(err.str(), std::string(kImagDenormal) + kRealDenormal);
  EXPECT_EQ(bits_of(re[1]), bits_of(+0.0));
  EXPECT_EQ(bits_of(im[0]), bits_of(+0.0));
  EXPECT_EQ(im[2], 1e-46);  // rounds to zero in single precision: not subnormal, kept
  EXPECT_FALSE(b.invalid_data);
  EXPECT_EQ(b.input_exponent, 0);
}

TEST(FloatInputPass, InfinitiesAndNaNsInvalidateTheBlockWithOneWarningEach) {
  std::string log;
  FloatBlock b = prepare({0.5, std::numeric_limits<double>::quiet_NaN()}, {0.0, 0.0}, &log);
  EXPECT_TRUE(b.invalid_data);
  EXPECT_EQ(log, kRealInvalid);
  EXPECT_EQ(b.input_exponent, 0);  // a NaN never becomes the maximum

  b = prepare({1e-40, 0.0}, {-INFINITY, 3.5e38}, &log);
  EXPECT_TRUE(b.invalid_data);
  // Per sample: denormal warnings first, then inf/NaN warnings.
  EXPECT_EQ(log, std::string(kRealDenormal) + kImagInvalid + kImagInvalid);
  EXPECT_EQ(b.input_exponent, kInfiniteBlockExponent);
}

TEST(FloatRangeCheck, OnlyDoublesThatRoundToTheLargestSingleAreRefused) {
  EXPECT_FALSE(outside_single_range(kSingleMax));
  EXPECT_FALSE(outside_single_range(-kSingleMax));
  EXPECT_TRUE(outside_single_range(3.4028235e38));
  EXPECT_TRUE(outside_single_range(-3.4028235e38));
  EXPECT_FALSE(outside_single_range(3.5e38));  // an infinity in single precision
  EXPECT_FALSE(outside_single_range(1e39));
  EXPECT_FALSE(outside_single_range(INFINITY));
  EXPECT_FALSE(outside_single_range(std::numeric_limits<double>::quiet_NaN()));
  // The midpoint between the largest single and 2^128 rounds to even: infinity.
  EXPECT_TRUE(std::isinf(to_single(0x1.ffffffp127)));
  EXPECT_EQ(to_single(std::nextafter(0x1.ffffffp127, 0.0)), static_cast<float>(kSingleMax));
}

TEST(FloatInputScaling, DividesInSinglePrecisionAndRoundsTiesToEven) {
  EXPECT_EQ(scale_float_input(0.75, 0, 28), 0.75);
  EXPECT_EQ(scale_float_input(3.0, 2, 28), 0.75);
  // 0.1 is first rounded to single precision, then to 28 bits.
  EXPECT_EQ(scale_float_input(0.1, 0, 28), std::ldexp(std::nearbyint(std::ldexp(double(0.1f), 27)), -27));
  // Halfway between two 28-bit steps (exact in single precision below 2^-4):
  // ties go to the even step.
  const double base = std::ldexp(1.0, -5);
  EXPECT_EQ(scale_float_input(base + std::ldexp(1.0, -28), 0, 28), base);
  EXPECT_EQ(scale_float_input(base + 3 * std::ldexp(1.0, -28), 0, 28), base + std::ldexp(1.0, -26));
  EXPECT_EQ(scale_float_input(-base - 3 * std::ldexp(1.0, -28), 0, 28), -base - std::ldexp(1.0, -26));
  // Wide dynamic range: the scaling runs in steps that never overflow a float.
  EXPECT_EQ(scale_float_input(1e-30, -99, 29), std::ldexp(std::nearbyint(std::ldexp(double(1e-30f), 99 + 28)), -28));
  EXPECT_EQ(scale_float_input(-1e30, 100, 29),
            std::ldexp(std::nearbyint(std::ldexp(double(-1e30f), -100 + 28)), -28));
  // Not limited: a sample that rounds up to 1.0 stays 1.0.
  EXPECT_EQ(scale_float_input(1.0 - std::ldexp(1.0, -29), 0, 27), 1.0);
  // An infinite block maximum multiplies by zero.
  EXPECT_EQ(scale_float_input(0.5, kInfiniteBlockExponent, 27), 0.0);
  EXPECT_TRUE(std::isnan(scale_float_input(INFINITY, kInfiniteBlockExponent, 27)));
}

TEST(FloatResultPass, RoundsTo24BitsRestoresScaleAndFlagsOverflow) {
  FloatBlock block;
  const double third = 1.0 / 3.0;
  std::vector<double> re = {third, -third, 1.0 - std::ldexp(1.0, -30), 0.0, -1.0};
  std::vector<double> im = {0.5 + std::ldexp(1.0, -25), 0.5 + 3 * std::ldexp(1.0, -25), -0.0, 0.25, 0.75};
  int overflow = 0;
  finish_float_block(re.data(), im.data(), 5, block, 3, &overflow);
  EXPECT_EQ(re[0], 8.0 * static_cast<double>(static_cast<float>(third)));
  EXPECT_EQ(re[1], -8.0 * static_cast<double>(static_cast<float>(third)));
  EXPECT_EQ(re[2], 8.0);
  EXPECT_EQ(re[3], 0.0);
  EXPECT_EQ(re[4], -8.0);
  EXPECT_EQ(im[0], 4.0);                                   // tie goes to even
  EXPECT_EQ(im[1], 8.0 * (0.5 + std::ldexp(1.0, -23)));   // tie goes to even, upwards
  EXPECT_EQ(bits_of(im[2]), bits_of(-0.0));
  EXPECT_EQ(overflow, 0);

  // After the 24-bit rounding a result beyond the single range is at least
  // 2^128, so it becomes an infinity; the largest single itself passes.
  re = {0.75, -0.5, 0.25};
  im = {0.0, 1.0 - std::ldexp(1.0, -24), 0.0};
  finish_float_block(re.data(), im.data(), 3, block, 128, &overflow);
  EXPECT_EQ(overflow, 0);
  EXPECT_EQ(im[1], kSingleMax);
  finish_float_block(re.data(), im.data(), 3, block, 1, &overflow);
  EXPECT_EQ(overflow, 1);
  EXPECT_EQ(re[0], INFINITY);
  EXPECT_EQ(re[1], -INFINITY);
  EXPECT_EQ(re[2], std::ldexp(1.0, 127));
  EXPECT_EQ(im[1], INFINITY);
}

TEST(FloatResultPass, AnInvalidBlockGivesTheInvalidationNaNEverywhere) {
  FloatBlock block;
  block.invalid_data = true;
  std::vector<double> re = {0.5, std::numeric_limits<double>::quiet_NaN()}, im = {0.0, -0.25};
  int overflow = 0;
  finish_float_block(re.data(), im.data(), 2, block, 0, &overflow);
  for (double v : {re[0], re[1], im[0], im[1]}) EXPECT_EQ(bits_of(v), 0x7FFFFFFFE0000000ull);
  EXPECT_EQ(overflow, 0);
}

}  // namespace
