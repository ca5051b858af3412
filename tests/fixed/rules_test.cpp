// The rules of the number layer that are easy to get wrong, each pinned by a
// small group of hand-computed cases: tie rules, the safe convergent rounding,
// overflow modes on narrowing / assignment / shifts, the most negative value,
// width 0, word boundaries, the width limit and the exact exception texts.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "zel_complex.h"
#include "zel_fix.h"
#include "zel_num.h"

using namespace zel;

namespace {

ZelNum num(int v, int width, int sign, int q = Truncate, int o = Wrap) { return ZelNum(v, width, sign, q, o); }

int value(const ZelNum& n) { return int(n.toDouble()); }

// Text and value of the Overflow thrown by f ("" when nothing is thrown).
std::string overflowText(const std::function<void()>& f, int* value = nullptr) {
  try {
    f();
  } catch (const ZelNumException::Overflow& e) {
    if (value) *value = e.value();
    return e.text();
  }
  return "";
}

std::string illegalText(const std::function<void()>& f, int* value = nullptr) {
  try {
    f();
  } catch (const ZelNumException::IllegalIntArg& e) {
    if (value) *value = e.value();
    return e.text();
  }
  return "";
}

ZelFix fix(double x, int width, int point, int sign = Signed, int q = Truncate, int o = Wrap) {
  return ZelFix(x, width, point, sign, q, o);
}

}  // namespace

TEST(ZelNumLayout, WordsAndTopBitsAtWordBoundaries) {
  EXPECT_EQ(ZelNum().wordCount(), 1);
  EXPECT_EQ(ZelNum().topBits(), 0);
  EXPECT_EQ(num(0, 16, Signed).wordCount(), 1);
  EXPECT_EQ(num(0, 16, Signed).topBits(), 16);
  ZelNum w17 = num(-1, 17, Signed);
  EXPECT_EQ(w17.wordCount(), 2);
  EXPECT_EQ(w17.topBits(), 1);
  EXPECT_EQ(w17.word(0), 0xFFFFu);
  EXPECT_EQ(w17.word(1), 1u);  // masked to the width, not sign-extended above it
  EXPECT_EQ(value(w17), -1);
  ZelNum w32 = num(-2, 32, Signed);
  EXPECT_EQ(w32.word(1), 0xFFFFu);
  EXPECT_EQ(w32.word(0), 0xFFFEu);
}

TEST(ZelNumLayout, WidthLimitAndWidthZero) {
  EXPECT_NO_THROW(num(0, 4096, Signed));
  EXPECT_THROW(num(0, 4097, Signed), ZelNumException::tooManyBits);
  ZelNum big = num(-1, 4096, Signed);
  EXPECT_EQ(big.wordCount(), 256);
  EXPECT_TRUE(big.isNegative());
  ZelNum a = num(-1, 4096, Signed), b = num(1, 4096, Signed);
  EXPECT_THROW(a + b, ZelNumException::tooManyBits);  // the sum would need 4098 bits

  ZelNum zero = num(5, 0, Signed, Truncate, Error);
  EXPECT_TRUE(zero.isZero());
  EXPECT_FALSE(zero.isNegative());
  EXPECT_EQ(zero.getBit(0), 0);
  EXPECT_EQ(zero.getBit(5), 0);
  EXPECT_EQ(value(zero), 0);
  zero.shiftLeft(3);
  zero.shiftRight(3);
  EXPECT_TRUE(zero.isZero());
  EXPECT_EQ(ZelFix().typeName(), "UFix_0_0v");
}

TEST(ZelNumResize, WideningAndNarrowing) {
  ZelNum m1 = num(-1, 4, Signed);
  m1.resize(20);
  EXPECT_EQ(m1.bitString(), std::string(20, '1'));
  ZelNum u15 = num(15, 4, Unsigned);
  u15.resize(20);
  EXPECT_EQ(value(u15), 15);

  ZelNum seven = num(7, 4, Signed, Truncate, Saturate);
  seven.resize(3);
  EXPECT_EQ(value(seven), 3);
  ZelNum sevenWrap = num(7, 4, Signed);
  sevenWrap.resize(3);
  EXPECT_EQ(value(sevenWrap), -1);
  ZelNum minus4 = num(-4, 4, Signed, Truncate, Error);
  EXPECT_NO_THROW(minus4.resize(3));
  EXPECT_EQ(value(minus4), -4);
  ZelNum sevenErr = num(7, 4, Signed, Truncate, Error);
  EXPECT_EQ(overflowText([&] { sevenErr.resize(3); }), "on decreasing resize");
  // 0 and -1 fit in one signed bit: no spurious overflow.
  ZelNum z = num(0, 4, Signed, Truncate, Error), m = num(-1, 4, Signed, Truncate, Error);
  EXPECT_NO_THROW(z.resize(1));
  EXPECT_NO_THROW(m.resize(1));
  EXPECT_EQ(value(m), -1);
}

TEST(ZelNumResize, RetypeBetweenSigns) {
  ZelNum sat = num(-1, 4, Signed, Truncate, Saturate);
  sat.retype(Unsigned);
  EXPECT_EQ(value(sat), 0);
  ZelNum wrap = num(-1, 4, Signed);
  wrap.retype(Unsigned);
  EXPECT_EQ(wrap.bitString(), "1111");
  EXPECT_EQ(value(wrap), 15);
  ZelNum err = num(-1, 4, Signed, Truncate, Error);
  int v = 9;
  EXPECT_EQ(overflowText([&] { err.retype(Unsigned); }, &v), "negative value retyped to unsigned");
  EXPECT_EQ(v, 0);

  ZelNum u = num(12, 4, Unsigned, Truncate, Saturate);
  u.retype(Signed);
  EXPECT_EQ(value(u), 7);
  ZelNum ue = num(12, 4, Unsigned, Truncate, Error);
  EXPECT_EQ(overflowText([&] { ue.retype(Signed); }, &v), "on unsigned to signed");
  EXPECT_EQ(v, 1);
}

TEST(ZelNumShift, RightShiftTieRules) {
  auto shifted = [](int v, int n, int q, int width = 8, int sign = Signed) {
    ZelNum x = num(v, width, sign, q);
    x.shiftRight(n);
    return value(x);
  };
  EXPECT_EQ(shifted(5, 1, Round), 3);
  EXPECT_EQ(shifted(-5, 1, Round), -3);
  EXPECT_EQ(shifted(-3, 1, Round), -2);
  EXPECT_EQ(shifted(6, 2, Round), 2);
  EXPECT_EQ(shifted(5, 1, Convergent), 2);
  EXPECT_EQ(shifted(7, 1, Convergent), 4);
  EXPECT_EQ(shifted(-5, 1, Convergent), -2);
  EXPECT_EQ(shifted(3, 2, Convergent), 1);
  EXPECT_EQ(shifted(5, 1, ConvergentSafe), 2);
  EXPECT_EQ(shifted(-1, 5, Truncate), -1);
  EXPECT_EQ(shifted(1, 1, Truncate), 0);
  EXPECT_EQ(shifted(-5, 1, Truncate), -3);
  // Every bit leaving: the unsigned 12 of 4 bits is 0.75.
  EXPECT_EQ(shifted(12, 4, Round, 4, Unsigned), 1);
  EXPECT_EQ(shifted(12, 4, Convergent, 4, Unsigned), 0);
  EXPECT_EQ(shifted(-8, 4, Truncate, 4), -1);
  EXPECT_EQ(shifted(-8, 9, Round, 4), 0);
  EXPECT_EQ(shifted(-1, 1, Round, 1), -1);
  // A negative count shifts the other way.
  EXPECT_EQ(shifted(3, -2, Truncate), 12);
}

TEST(ZelNumShift, LeftShiftOverflowModes) {
  auto shifted = [](int v, int n, int o) {
    ZelNum x = num(v, 4, Signed, Truncate, o);
    x.shiftLeft(n);
    return value(x);
  };
  EXPECT_EQ(shifted(4, 1, Saturate), 7);  // bit 2 would reach the sign
  EXPECT_EQ(shifted(4, 1, Wrap), -8);
  EXPECT_EQ(shifted(3, 1, Saturate), 6);
  EXPECT_EQ(shifted(1, 3, Saturate), 7);
  EXPECT_EQ(shifted(-1, 3, Error), -8);
  EXPECT_EQ(shifted(-3, 2, Saturate), -8);
  EXPECT_EQ(shifted(5, 9, Wrap), 0);
  EXPECT_EQ(shifted(-5, 9, Saturate), -8);
  EXPECT_EQ(shifted(0, 9, Error), 0);
  int v = 0;
  EXPECT_EQ(overflowText([&] { shifted(4, 1, Error); }, &v), "during left shift");
  EXPECT_EQ(v, 1);
  EXPECT_EQ(overflowText([&] { shifted(-5, 1, Error); }, &v), "during left shift");
  EXPECT_EQ(v, -1);
  EXPECT_EQ(overflowText([&] { shifted(-5, 4, Error); }, &v), "during left shift");
  EXPECT_EQ(v, -1);
  ZelNum u = num(9, 4, Unsigned, Truncate, Saturate);
  u.shiftLeft(1);
  EXPECT_EQ(value(u), 15);
}

TEST(ZelNumAssign, DoubleTiesAndLimits) {
  auto assigned = [](double x, int q, int o = Wrap, int width = 8, int sign = Signed) {
    ZelNum n = num(0, width, sign, q, o);
    n = x;
    return n;
  };
  EXPECT_EQ(value(assigned(2.5, Convergent)), 2);
  EXPECT_EQ(value(assigned(3.5, Convergent)), 4);
  EXPECT_EQ(value(assigned(-2.5, Convergent)), -2);
  EXPECT_EQ(value(assigned(-3.5, ConvergentSafe)), -4);
  EXPECT_EQ(value(assigned(2.5, Round)), 3);
  EXPECT_EQ(value(assigned(-2.5, Round)), -3);
  EXPECT_EQ(value(assigned(-2.4, Round)), -2);
  EXPECT_EQ(value(assigned(-2.5, Truncate)), -3);
  EXPECT_EQ(value(assigned(2.9, Truncate)), 2);

  ZelNum min = assigned(-128.0, Truncate, Error);
  EXPECT_EQ(value(min), -128);
  EXPECT_FALSE(min.overflowed());
  ZelNum sat = assigned(128.0, Truncate, Saturate);
  EXPECT_EQ(value(sat), 127);
  EXPECT_TRUE(sat.overflowed());
  EXPECT_EQ(value(assigned(-129.0, Truncate, Saturate)), -128);
  EXPECT_EQ(value(assigned(300.0, Truncate, Wrap)), 44);
  EXPECT_TRUE(assigned(300.0, Truncate, Wrap).overflowed());
  EXPECT_EQ(overflowText([&] { assigned(128.0, Truncate, Error); }), "ZelNum-assign-from-double saturated");
  EXPECT_EQ(value(assigned(-0.5, Round, Saturate, 4, Unsigned)), 0);
  EXPECT_EQ(overflowText([&] { assigned(-1.0, Truncate, Error, 4, Unsigned); }),
            "ZelNum-assign-from-double, negative to unsigned");
  // The round-up past the largest value follows the overflow mode, without the flag.
  ZelNum up = assigned(127.5, Round, Saturate);
  EXPECT_EQ(value(up), 127);
  EXPECT_FALSE(up.overflowed());
  EXPECT_EQ(value(assigned(127.5, Round, Wrap)), -128);
  EXPECT_EQ(overflowText([&] { assigned(127.5, Round, Error); }), "on decreasing resize");
}

TEST(ZelNumArithmetic, ResultFormatsAndMostNegative) {
  ZelNum a = num(-128, 8, Signed), b = num(-128, 8, Signed);
  ZelNum s = a + b, d = a - b, p = a * b;
  EXPECT_EQ(s.width(), 10);
  EXPECT_EQ(d.width(), 10);
  EXPECT_EQ(p.width(), 17);
  EXPECT_EQ(s.overflow(), Error);
  EXPECT_EQ(value(s), -256);
  EXPECT_EQ(value(p), 16384);
  ZelNum u = num(255, 8, Unsigned), v = num(255, 8, Unsigned);
  EXPECT_EQ((u + v).width(), 9);
  EXPECT_EQ((u + v).sign(), Unsigned);
  EXPECT_EQ((u - v).sign(), Signed);
  EXPECT_EQ(value(u * v), 65025);  // an unsigned product stays unsigned

  ZelNum sat = num(-128, 8, Signed, Truncate, Saturate);
  sat.negate();
  EXPECT_EQ(value(sat), 127);
  ZelNum wrap = num(-128, 8, Signed);
  wrap.negate();
  EXPECT_EQ(value(wrap), -128);
  ZelNum err = num(-128, 8, Signed, Truncate, Error);
  EXPECT_EQ(overflowText([&] { err.negate(); }), "Overflow on incr");
  ZelNum un = num(3, 4, Unsigned, Truncate, Error);
  EXPECT_EQ(overflowText([&] { un.negate(); }), "negating unsigned ZelNum");
  ZelNum top = num(127, 8, Signed, Truncate, Error);
  EXPECT_EQ(overflowText([&] { top.increment(); }), "Overflow on incr");
  ZelNum bottom = num(0, 4, Unsigned, Truncate, Saturate);
  bottom.decrement();
  EXPECT_EQ(value(bottom), 0);
  ZelNum bottomErr = num(-8, 4, Signed, Truncate, Error);
  EXPECT_EQ(overflowText([&] { bottomErr.decrement(); }), "Overflow on decr");

  ZelNum q = num(-7, 8, Signed);
  q /= num(2, 4, Signed);
  EXPECT_EQ(value(q), -3);  // towards zero
  ZelNum r = num(-7, 8, Signed);
  r %= num(3, 4, Signed);
  EXPECT_EQ(value(r), 2);
  ZelNum minDiv = num(-128, 8, Signed, Truncate, Error);
  EXPECT_NO_THROW(minDiv /= num(2, 4, Signed));
  EXPECT_EQ(value(minDiv), -64);
  int v0 = 5;
  EXPECT_EQ(illegalText([&] { q /= num(0, 4, Signed); }, &v0), "a");
  EXPECT_EQ(v0, 0);
  EXPECT_EQ(illegalText([&] { q %= num(0, 4, Signed); }), "a");
}

TEST(ZelNumMisuse, ExceptionTexts) {
  ZelNum a = num(1, 8, Signed), b = num(1, 9, Signed), c = num(0, 8, Unsigned);
  int v = 0;
  EXPECT_EQ(illegalText([&] { a.setBit(8, 1); }, &v), "index");
  EXPECT_EQ(v, 8);
  EXPECT_EQ(illegalText([&] { a.setBit(1, 2); }, &v), "val");
  EXPECT_EQ(v, 2);
  EXPECT_EQ(illegalText([&] { ZelNum::add(a, a, b); }), "ZelNum::add(p, q) must havethe same type and width");
  EXPECT_EQ(illegalText([&] { ZelNum::sub(a, a, c); }), "ZelNum::sub(p, q) must havethe same type and width");
  EXPECT_EQ(illegalText([&] { ZelNum::unsigned_mult(a, a, a); }),
            "ZelNum::unsigned_mult(p, q) yields result in container of wrong width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitAnd(a, a, b); }), "ZelNum::bitAnd(p, q) q and q must have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitAnd(b, a, a); }), "ZelNum::bitAnd(p, q) resultmust have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitOr(a, a, b); }), "ZelNum::bitOr(p, q) q and q must have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitOr(b, a, a); }), "ZelNum::bitOr(p, q) resultmust have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitXor(a, a, b); }), "ZelNum::bitXor(p, q) q and q must have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitXor(b, a, a); }), "ZelNum::bitXor(p, q) resultmust have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::bitNot(b, a); }), "ZelNum::bitNot(p) resultmust have the same width");
  EXPECT_EQ(illegalText([&] { ZelNum::unsigned_comp(a, c); }),
            "ZelNum::unsigned_comp(p) must have the same width and type");

  ZelFix boolean = ZelFix::fromBool(true);
  EXPECT_THROW(boolean.setFormat(2, 0, Unsigned, 0, 0), ZelNumException::UnimplementedSpec);
  ZelFix wide = fix(0.5, 8, 4);
  EXPECT_THROW(wide.makeBoolean(), ZelNumException::UnimplementedSpec);
}

TEST(ZelNumMisc, SameContainerOperationsAndConstants) {
  ZelNum r = num(0, 8, Unsigned);
  ZelNum::add(r, num(200, 8, Unsigned), num(100, 8, Unsigned));
  EXPECT_EQ(value(r), 44);
  ZelNum::sub(r, num(1, 8, Unsigned), num(2, 8, Unsigned));
  EXPECT_EQ(value(r), 255);
  ZelNum p = num(0, 34, Unsigned);
  ZelNum::unsigned_mult(p, num(-1, 17, Signed), num(-1, 17, Signed));  // raw patterns
  EXPECT_EQ(p.toDouble(), double((1LL << 17) - 1) * double((1LL << 17) - 1));
  EXPECT_LT(ZelNum::unsigned_comp(num(0x12345, 20, Unsigned), num(0x13345, 20, Unsigned)), 0);
  EXPECT_EQ(ZelNum::unsigned_comp(num(-1, 20, Signed), num(-1, 20, Signed)), 0);

  EXPECT_EQ(ZelNum::zero().width(), 16);
  EXPECT_EQ(ZelNum::zero().sign(), Signed);
  EXPECT_EQ(value(ZelNum::one()), 1);
  EXPECT_EQ(ZelNum::fromInt(-4, Signed).width(), 4);
  EXPECT_EQ(ZelNum::fromInt(-1, Signed).width(), 2);
  EXPECT_EQ(ZelNum::fromInt(5, Unsigned).width(), 3);
  EXPECT_EQ(ZelNum::fromDouble(-4.0, Signed).width(), 3);
  EXPECT_EQ(ZelNum::fromDouble(-5.0, Signed).width(), 4);
  EXPECT_EQ(ZelNum::fromDouble(0.25, Signed).width(), 1);
  EXPECT_EQ(ZelNum::fromBits("1x01", Unsigned).bitString(), "1101");
  EXPECT_EQ(num(3, 8, Signed).typeName(), "Num_8");
  EXPECT_EQ(num(3, 8, Unsigned).typeName(), "UNum_8");
}

TEST(ZelFixFormat, SetFormatRoundsBeforeNarrowing) {
  auto repointed = [](double x, int q) {
    ZelFix f = fix(x, 8, 4, Signed, q);
    f.setFormat(8, 1, Signed, q, Wrap);
    return f.toDouble();
  };
  EXPECT_EQ(repointed(0.75, Truncate), 0.5);
  EXPECT_EQ(repointed(0.75, Round), 1.0);
  EXPECT_EQ(repointed(0.75, Convergent), 1.0);
  EXPECT_EQ(repointed(0.25, Round), 0.5);
  EXPECT_EQ(repointed(0.25, Convergent), 0.0);
  EXPECT_EQ(repointed(-0.75, Truncate), -1.0);
  EXPECT_EQ(repointed(-0.75, Round), -1.0);
  EXPECT_EQ(repointed(-0.75, Convergent), -1.0);
  // Re-pointing rounds ConvergentSafe like Convergent, up to the top, then wraps.
  ZelFix top = fix(0.9375, 8, 4);
  top.setFormat(4, 3, Signed, ConvergentSafe, Wrap);
  EXPECT_EQ(top.toDouble(), -1.0);
}

TEST(ZelFixAssign, TiesAtPointZero) {
  auto stored = [](double x, int q) {
    ZelFix src = fix(x, 8, 4);
    ZelFix dst = fix(0, 8, 0, Signed, q);
    dst = src;
    return dst.toDouble();
  };
  EXPECT_EQ(stored(2.5, Convergent), 2.0);
  EXPECT_EQ(stored(3.5, Convergent), 4.0);
  EXPECT_EQ(stored(-2.5, Convergent), -2.0);
  EXPECT_EQ(stored(2.5, Round), 3.0);
  EXPECT_EQ(stored(-2.5, Round), -3.0);
  EXPECT_EQ(stored(-2.5, Truncate), -3.0);
  EXPECT_EQ(stored(-2.5, ConvergentSafe), -2.0);
}

TEST(ZelFixAssign, ConvergentSafeNeverRoundsIntoTheSign) {
  auto stored = [](double x, int q, int o) {
    ZelFix src = fix(x, 8, 4);
    ZelFix dst = fix(0, 4, 3, Signed, q, o);
    dst = src;
    return dst;
  };
  EXPECT_EQ(stored(0.9375, Convergent, Wrap).toDouble(), -1.0);
  EXPECT_EQ(stored(0.9375, ConvergentSafe, Wrap).toDouble(), 0.875);
  EXPECT_EQ(stored(0.9375, Convergent, Saturate).toDouble(), 0.875);
  EXPECT_FALSE(stored(0.9375, Convergent, Saturate).overflowed());
  EXPECT_EQ(overflowText([&] { stored(0.9375, Convergent, Error); }), "Overflow on incr");
  EXPECT_EQ(stored(0.9375, Truncate, Wrap).toDouble(), 0.875);
  EXPECT_EQ(stored(0.8125, ConvergentSafe, Wrap).toDouble(), 0.75);
  EXPECT_EQ(stored(0.8125, Truncate, Wrap).toDouble(), 0.75);
  EXPECT_EQ(stored(-0.9375, ConvergentSafe, Wrap).toDouble(), -1.0);  // -7.5 ulp: the even neighbour is -8
  // With more integer bits in the target the round-up is made (no wrap possible).
  ZelFix wideTarget = fix(0, 5, 3, Signed, ConvergentSafe);
  wideTarget = fix(0.9375, 8, 4);
  EXPECT_EQ(wideTarget.toDouble(), 1.0);
}

TEST(ZelFixAssign, OverflowOnConversion) {
  auto stored = [](double x, int o, int sign = Signed) {
    ZelFix dst = fix(0, 4, 3, sign, Truncate, o);
    dst = fix(x, 8, 4);
    return dst;
  };
  ZelFix sat = stored(1.5, Saturate);
  EXPECT_EQ(sat.toDouble(), 0.875);
  EXPECT_TRUE(sat.overflowed());
  ZelFix wrap = stored(1.5, Wrap);
  EXPECT_EQ(wrap.toDouble(), -0.5);
  EXPECT_FALSE(wrap.overflowed());
  int v = 0;
  EXPECT_EQ(overflowText([&] { stored(1.5, Error); }, &v), "during convert");
  EXPECT_EQ(v, 1);
  EXPECT_EQ(overflowText([&] { stored(-1.5, Error); }, &v), "during convert");
  EXPECT_EQ(v, -1);
  EXPECT_EQ(stored(-1.5, Saturate).toDouble(), -1.0);
  EXPECT_EQ(stored(-0.5, Saturate, Unsigned).toDouble(), 0.0);
  EXPECT_TRUE(stored(-0.5, Saturate, Unsigned).overflowed());
  // Assignment from a double under Saturate.
  ZelFix d = fix(0, 4, 3, Signed, Truncate, Saturate);
  d = 3.0;
  EXPECT_EQ(d.toDouble(), 0.875);
  d = -3.0;
  EXPECT_EQ(d.toDouble(), -1.0);
}

TEST(ZelFixArithmetic, FullPrecisionFormats) {
  ZelFix a = fix(-1.0, 16, 15), b = fix(-1.0, 16, 15);
  ZelFix s = a + b, d = a - b, p = a * b, n = -a;
  EXPECT_EQ(s.width(), 18);
  EXPECT_EQ(s.point(), 15);
  EXPECT_EQ(d.width(), 18);
  EXPECT_EQ(d.point(), 15);
  EXPECT_EQ(p.width(), 33);
  EXPECT_EQ(p.point(), 30);
  EXPECT_EQ(p.toDouble(), 1.0);
  EXPECT_EQ(n.width(), 17);
  EXPECT_EQ(n.toDouble(), 1.0);
  EXPECT_EQ(s.typeName(), "Fix_18_15v");
  EXPECT_EQ(p.shadow(), 1.0);

  ZelFix x = fix(0.75, 8, 4), y = fix(0.125, 6, 5);
  ZelFix xy = x + y;
  EXPECT_EQ(xy.point(), 5);
  EXPECT_EQ(xy.width(), 4 + 1 + 1 + 5);
  EXPECT_EQ(xy.toDouble(), 0.875);
  // In place: the exact result floored at the left operand's resolution.
  ZelFix acc = fix(0.5, 8, 2, Signed, Round);
  acc += fix(0.125 + 0.0625, 8, 5);
  EXPECT_EQ(acc.toDouble(), 0.5);
  acc *= fix(-0.5, 8, 4);
  EXPECT_EQ(acc.toDouble(), -0.25);
  ZelFix smallest = fix(-1.0, 8, 7, Signed, Truncate, Saturate);
  smallest.negate();
  EXPECT_EQ(smallest.toDouble(), 127.0 / 128);
  EXPECT_TRUE(smallest.overflowed());
}

TEST(ZelFixArithmetic, ShiftsAndExactShifts) {
  ZelFix three = ZelFix(3, 8, 0, Signed, ConvergentSafe, Wrap);
  three >>= 1;
  EXPECT_EQ(three.toDouble(), 2.0);
  EXPECT_EQ(three.shadow(), 1.5);
  ZelFix threeT = ZelFix(3, 8, 0, Signed, Truncate, Wrap);
  threeT >>= 1;
  EXPECT_EQ(threeT.toDouble(), 1.0);
  ZelFix minus3 = ZelFix(-3, 8, 0, Signed, ConvergentSafe, Wrap);
  minus3 >>= 1;
  EXPECT_EQ(minus3.toDouble(), -2.0);
  ZelFix minus3T = ZelFix(-3, 8, 0, Signed, Truncate, Wrap);
  minus3T >>= 1;
  EXPECT_EQ(minus3T.toDouble(), -2.0);

  ZelFix v = fix(-0.75, 8, 4);
  ZelFix r = v.shiftRightExact(3);
  EXPECT_EQ(r.width(), 11);
  EXPECT_EQ(r.point(), 7);
  EXPECT_EQ(r.toDouble(), -0.75 / 8);
  ZelFix l = v.shiftLeftExact(3);
  EXPECT_EQ(l.width(), 11);
  EXPECT_EQ(l.point(), 4);
  EXPECT_EQ(l.toDouble(), -6.0);
}

TEST(ZelFixFlags, NanUnknownAndText) {
  ZelFix v = fix(0.5, 8, 4);
  v = std::nan("");
  EXPECT_FALSE(v.isNumber());
  EXPECT_TRUE(std::isnan(v.toDouble()));
  EXPECT_EQ(v.valueText(), "NaN");
  EXPECT_EQ(v.toString(), "ZelFix[8,4] 'XXXX.XXXX'");
  EXPECT_TRUE(v.ZelNum::isZero());
  ZelFix other = fix(0.0, 8, 4);
  EXPECT_FALSE(v == other);
  EXPECT_FALSE(v != other);
  EXPECT_FALSE(v < other);
  EXPECT_FALSE(v >= other);

  ZelFix made = fix(std::nan(""), 8, 4);  // made from a NaN: the shadow is still the value it was made from
  EXPECT_FALSE(made.isNumber() || made.isDefined() || made.isKnown());
  EXPECT_TRUE(std::isnan(made.shadow()));

  ZelFix free = fix(0.5, 16, 15);
  free.setNanFree(true);
  EXPECT_EQ(free.typeName(), "Fix_16_15");
  free = std::nan("");
  EXPECT_TRUE(free.isNumber());
  EXPECT_FALSE(free.isKnown());
  EXPECT_EQ(free.valueText(), "*X*");
  EXPECT_FALSE(free == free);

  EXPECT_EQ(ZelFix::fromBool(true).typeName(), "Bool");
  EXPECT_EQ(fix(1.5, 8, 4).toString(), "ZelFix[8,4] '0001.1000'");
  EXPECT_EQ(fix(1.5, 8, 4, Unsigned).toString(), "Unsigned ZelFix[8,4] '0001.1000'");
  // The point goes after the first width - point bits: last for point 0, first for point = width.
  EXPECT_EQ(fix(3.0, 4, 0).toString(), "ZelFix[4,0] '0011.'");
  EXPECT_EQ(fix(0.5, 4, 4, Unsigned).toString(), "Unsigned ZelFix[4,4] '.1000'");
  EXPECT_EQ(fix(0.125, 4, 5, Unsigned).toString(), "Unsigned ZelFix[4,5] '0100'");
  EXPECT_EQ(fix(-1.25, 8, 4).valueText(10), "-1.25");
  EXPECT_EQ(fix(-1.25, 8, 4).valueText(2), "-1.0100<base2>");
  EXPECT_EQ(fix(10.5, 8, 1).valueText(16, 2), "A.80<base16>");
  EXPECT_EQ(ZelFix::fromDoubleExact(0.375, Signed).point(), 3);
  EXPECT_EQ(ZelFix::fromDoubleExact(0.375, Signed).width(), 3);
  EXPECT_EQ(ZelFix::fromInt(5, 3, Signed).width(), 7);
  EXPECT_EQ(ZelFix::fromInt(5, 3, Signed).toDouble(), 5.0);
}

TEST(ZelFixTargets, IntoTargetAndBitwise) {
  ZelFix r = fix(0, 6, 3, Signed, Convergent, Saturate);
  ZelFix::sumInto(r, fix(0.4375, 8, 4), fix(0.25, 8, 4));  // 0.6875 -> tie 0.625 / 0.75: even is 0.75
  EXPECT_EQ(r.toDouble(), 0.75);
  ZelFix::productInto(r, fix(-1.0, 8, 7), fix(-1.0, 8, 7));
  EXPECT_EQ(r.toDouble(), 1.0);
  ZelFix::productInto(r, fix(3.5, 8, 4), fix(3.5, 8, 4));
  EXPECT_EQ(r.toDouble(), 3.875);  // saturated
  EXPECT_TRUE(r.overflowed());
  ZelFix::differenceInto(r, r, fix(0.875, 8, 4));  // the target may be an operand
  EXPECT_EQ(r.toDouble(), 3.0);

  ZelFix bits = fix(0, 8, 4, Unsigned);
  ZelFix::andInto(bits, fix(0.75, 8, 4, Unsigned), fix(0.5 + 0.0625, 8, 4, Unsigned));
  EXPECT_EQ(bits.toDouble(), 0.5);
  ZelFix::xorInto(bits, fix(0.75, 8, 4, Unsigned), fix(0.5 + 0.0625, 8, 4, Unsigned));
  EXPECT_EQ(bits.toDouble(), 0.3125);
  ZelFix::norInto(bits, fix(0, 8, 4, Unsigned), fix(0, 8, 4, Unsigned));
  EXPECT_EQ(bits.toDouble(), 255.0 / 16);
  ZelFix flag = ZelFix::fromBool(false);
  ZelFix::orInto(flag, ZelFix::fromBool(true), ZelFix::fromBool(false));
  EXPECT_EQ(flag.toDouble(), 1.0);
  ZelFix::notInto(flag, ZelFix::fromBool(true));
  EXPECT_EQ(flag.toDouble(), 0.0);

  ZelFix owner;
  ZelFix& t = owner.temp(9, 12, 4, Signed, Truncate, Wrap);  // slot 9 is slot 0
  EXPECT_EQ(&t, &owner.temp(0, 12, 7, Unsigned, Round, Saturate));
  EXPECT_EQ(t.point(), 7);
  ZelFix& other = owner.temp(0, 13, 7, Unsigned, Round, Saturate);  // another width: a fresh value 0
  EXPECT_EQ(other.width(), 13);
  EXPECT_TRUE(other.ZelNum::isZero());
}

TEST(ZelFixTargets, ResultFormedInTheTargetItself) {
  // A target that already has the exact result format with Truncate and Wrap
  // receives the result without a conversion, so its overflowed flag (here
  // left by a double that did not fit) is not touched.
  ZelFix sum = fix(0, 18, 15);
  sum = 100.0;
  ASSERT_TRUE(sum.overflowed());
  ZelFix::sumInto(sum, fix(0.5, 16, 15), fix(0.25, 16, 15));
  EXPECT_EQ(sum.toDouble(), 0.75);
  EXPECT_TRUE(sum.overflowed());
  ZelFix other = fix(0, 17, 15);  // another format: converted, flag cleared
  other = 100.0;
  ZelFix::differenceInto(other, fix(0.5, 16, 15), fix(0.25, 16, 15));
  EXPECT_FALSE(other.overflowed());

  // The product container is Wa + Wb wide (Pa + Pb point), with no extra sign bit.
  ZelFix product = fix(0, 32, 30);
  product = 100.0;
  ZelFix::productInto(product, fix(0.5, 16, 15), fix(-0.5, 16, 15));
  EXPECT_EQ(product.toDouble(), -0.25);
  EXPECT_TRUE(product.overflowed());
  // ... so two 2048-bit signed operands fit the 4096-bit limit.
  ZelFix wide(0, 4096, 0, Signed, Truncate, Wrap);
  EXPECT_NO_THROW(ZelFix::productInto(wide, ZelFix(-3, 2048, 0, Signed, Truncate, Wrap),
                                      ZelFix(5, 2048, 0, Signed, Truncate, Wrap)));
  EXPECT_EQ(wide.toDouble(), -15.0);
}

TEST(ZelComplexDatapath, FormatsOfResults) {
  ZelComplex a(16, 15, Signed, Truncate, Wrap), b(16, 15, Signed, Truncate, Wrap);
  a.set(-1.0, 0.0);
  b.set(-1.0, 0.0);
  ZelComplex p = a * b;
  EXPECT_EQ(p.real().width(), 34);
  EXPECT_EQ(p.real().point(), 30);
  EXPECT_EQ(p.imag().width(), 34);
  EXPECT_EQ(p.real().toDouble(), 1.0);
  EXPECT_EQ(p.imag().toDouble(), 0.0);
  ZelComplex c(18, 17, Signed, Truncate, Wrap);
  c.set(0.5, -0.25);
  ZelComplex s = a + c;
  EXPECT_EQ(s.real().width(), 20);
  EXPECT_EQ(s.real().point(), 17);
  EXPECT_EQ(s.imag().toDouble(), -0.25);
  ZelComplex d = a - c;
  EXPECT_EQ(d.real().width(), 20);
  EXPECT_EQ(d.real().toDouble(), -1.5);

  // Most negative times most negative, both parts.
  a.set(-1.0, -1.0);
  ZelComplex q = a * a;  // (-1 - j)^2 = 2j
  EXPECT_EQ(q.real().toDouble(), 0.0);
  EXPECT_EQ(q.imag().toDouble(), 2.0);
}

TEST(ZelComplexDatapath, StoringIntoRegisters) {
  auto stored = [](double re, int q, int o) {
    ZelComplex src(8, 4, Signed, Truncate, Wrap);
    src.set(re, -re);
    ZelComplex reg(4, 3, Signed, q, o);
    reg = src;
    return reg;
  };
  EXPECT_EQ(stored(0.9375, ConvergentSafe, Wrap).real().toDouble(), 0.875);
  EXPECT_EQ(stored(0.9375, Truncate, Wrap).real().toDouble(), 0.875);
  EXPECT_EQ(stored(0.8125, ConvergentSafe, Wrap).real().toDouble(), 0.75);
  EXPECT_EQ(stored(0.8125, Truncate, Wrap).real().toDouble(), 0.75);
  EXPECT_EQ(stored(1.5, Truncate, Wrap).real().toDouble(), -0.5);
  EXPECT_EQ(stored(1.5, Truncate, Wrap).imag().toDouble(), 0.5);
  ZelComplex sat = stored(1.5, Truncate, Saturate);
  EXPECT_EQ(sat.real().toDouble(), 0.875);
  EXPECT_TRUE(sat.real().overflowed());
  EXPECT_EQ(sat.imag().toDouble(), -1.0);

  // Scaling shifts within the register format.
  ZelComplex reg(8, 0, Signed, ConvergentSafe, Wrap);
  reg.set(3.0, -3.0);
  reg >>= 1;
  EXPECT_EQ(reg.real().toDouble(), 2.0);
  EXPECT_EQ(reg.imag().toDouble(), -2.0);
  ZelComplex regT(8, 0, Signed, Truncate, Wrap);
  regT.set(3.0, -3.0);
  regT >>= 1;
  EXPECT_EQ(regT.real().toDouble(), 1.0);
  EXPECT_EQ(regT.imag().toDouble(), -2.0);
}
