// Randomised differential test of ZelNum / ZelFix / ZelComplex against an
// independent model of the same rules on GMP integers (exact values in units
// of the last place). Widths 0..200 cross the native 62- and 126-bit paths
// and the wide path; operands come from mpz_rrandomb (long runs of ones and
// zeros, which find carry and borrow faults) plus the special values.
// Seeds are fixed; ZEL_FIXED_SEED=<n> runs another seed; every failure
// prints the seed, the iteration and the operands.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "zel_complex.h"
#include "zel_fix.h"
#include "zel_num.h"

using namespace zel;

namespace {

// ---- random operands -------------------------------------------------------------

unsigned long baseSeed() {
  const char* env = std::getenv("ZEL_FIXED_SEED");
  return env ? std::strtoul(env, nullptr, 10) : 20240611ul;
}

class Rng {
 public:
  explicit Rng(unsigned long seed) {
    gmp_randinit_default(state_);
    gmp_randseed_ui(state_, seed);
  }
  ~Rng() { gmp_randclear(state_); }
  Rng(const Rng&) = delete;
  Rng& operator=(const Rng&) = delete;

  int below(int n) { return n <= 0 ? 0 : int(gmp_urandomm_ui(state_, (unsigned long)n)); }
  int range(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(int percent) { return below(100) < percent; }

  // A w-bit pattern read in sign s: runs of ones and zeros, or a special value.
  mpz_class value(int w, int s) {
    if (w == 0) return 0;
    const mpz_class span = mpz_class(1) << w;
    mpz_class v;
    switch (below(12)) {
      case 0: v = 0; break;
      case 1: v = span - 1; break;                     // all ones
      case 2: v = mpz_class(1) << (w - 1); break;      // top bit only
      case 3: v = (mpz_class(1) << (w - 1)) - 1; break;  // all but the top bit
      case 4: v = 1; break;
      default: mpz_rrandomb(v.get_mpz_t(), state_, (mp_bitcnt_t)w); break;
    }
    if (s == Signed && v >= (span >> 1)) v -= span;
    return v;
  }
  int width(int maxWidth = 200) {
    // Mostly narrow (the engines' range), sometimes up to maxWidth, near the native limits.
    switch (below(6)) {
      case 0: return range(0, 16);
      case 1: return range(55, 70);
      case 2: return range(120, 132);
      case 3: return range(1, maxWidth);
      default: return range(1, 48);
    }
  }
  int sign() { return chance(50) ? Signed : Unsigned; }
  int quantization() { return range(Truncate, ConvergentSafe); }
  int overflow() { return range(Wrap, Error); }

 private:
  gmp_randstate_t state_;
};

// ---- outcomes --------------------------------------------------------------------

// What an operation produced: a value in some format, or an exception.
struct Outcome {
  bool thrown = false;
  std::string text;
  int exValue = 0;
  mpz_class value;
  int width = 0;
  int point = 0;
  int sign = 0;
  bool flag = false;
  bool checkFlag = false;

  static Outcome error(const std::string& t, int v) {
    Outcome o;
    o.thrown = true;
    o.text = t;
    o.exValue = v;
    return o;
  }
  std::string str() const {
    std::ostringstream s;
    if (thrown) s << "throw '" << text << "' " << exValue;
    else s << value.get_str() << " in (" << width << "," << point << "," << (sign == Signed ? "S" : "U") << ")"
           << (checkFlag ? (flag ? " overflowed" : " clear") : "");
    return s.str();
  }
};

bool same(const Outcome& a, const Outcome& b) {
  if (a.thrown || b.thrown) return a.thrown == b.thrown && a.text == b.text && a.exValue == b.exValue;
  if (a.value != b.value || a.width != b.width || a.point != b.point || a.sign != b.sign) return false;
  return !(a.checkFlag && b.checkFlag) || a.flag == b.flag;
}

// Reads a ZelNum's value from its words, checking the word invariants on the way.
mpz_class valueOf(const ZelNum& n) {
  mpz_class v = 0;
  for (int i = n.wordCount() - 1; i >= 0; --i) {
    EXPECT_LT(n.word(i), 0x10000u) << "bits 16..31 must stay clear";
    v = (v << 16) + n.word(i);
  }
  EXPECT_EQ(n.word(n.wordCount() - 1) >> n.topBits(), 0u) << "top word must be masked to the width";
  if (n.sign() == Signed && n.width() > 0 && mpz_tstbit(v.get_mpz_t(), (mp_bitcnt_t)(n.width() - 1))) {
    v -= mpz_class(1) << n.width();
  }
  return v;
}

Outcome outcomeOf(const ZelNum& n, bool withFlag = false) {
  Outcome o;
  o.value = valueOf(n);
  o.width = n.width();
  o.sign = n.sign();
  o.flag = n.overflowed();
  o.checkFlag = withFlag;
  return o;
}

Outcome outcomeOf(const ZelFix& f, bool withFlag = false) {
  Outcome o = outcomeOf(static_cast<const ZelNum&>(f), withFlag);
  o.point = f.point();
  return o;
}

template <class F>
Outcome capture(F&& f) {
  try {
    return f();
  } catch (const ZelNumException::Overflow& e) {
    return Outcome::error(e.text(), e.value());
  } catch (const ZelNumException::IllegalIntArg& e) {
    return Outcome::error(e.text(), e.value());
  } catch (const ZelNumException::tooManyBits&) {
    return Outcome::error("tooManyBits", 0);
  }
}

void setPattern(ZelNum& n, const mpz_class& v) {
  mpz_class m;
  mpz_fdiv_r_2exp(m.get_mpz_t(), v.get_mpz_t(), (mp_bitcnt_t)n.width());
  for (int i = 0; i < n.width(); ++i) n.setBit(i, mpz_tstbit(m.get_mpz_t(), (mp_bitcnt_t)i));
}

ZelNum makeNum(const mpz_class& v, int w, int s, int q, int o) {
  ZelNum n(0, w, s, q, o);
  setPattern(n, v);
  return n;
}

ZelFix makeFix(const mpz_class& v, int w, int p, int s, int q, int o) {
  ZelFix f(0, w, p, s, q, o);
  setPattern(f, v);
  return f;
}

// ---- the model -----------------------------------------------------------------------

mpz_class pow2(long e) { return mpz_class(1) << (unsigned long)e; }

mpz_class wrap(const mpz_class& v, int w, int s) {
  if (w == 0) return 0;
  mpz_class m;
  mpz_fdiv_r_2exp(m.get_mpz_t(), v.get_mpz_t(), (mp_bitcnt_t)w);
  if (s == Signed && m >= pow2(w - 1)) m -= pow2(w);
  return m;
}
mpz_class maxOf(int w, int s) { return s == Signed ? (w == 0 ? mpz_class(0) : pow2(w - 1) - 1) : pow2(w) - 1; }
mpz_class minOf(int w, int s) { return s == Signed && w > 0 ? mpz_class(-pow2(w - 1)) : mpz_class(0); }
bool fits(const mpz_class& v, int w, int s) {
  if (v == 0) return true;
  if (s == Signed) return w > 0 && v >= -pow2(w - 1) && v < pow2(w - 1);
  return v >= 0 && v < pow2(w);
}
mpz_class floorShift(const mpz_class& v, long n) {
  mpz_class r;
  mpz_fdiv_q_2exp(r.get_mpz_t(), v.get_mpz_t(), (mp_bitcnt_t)n);
  return r;
}
bool odd(const mpz_class& v) { return mpz_odd_p(v.get_mpz_t()) != 0; }

// Round-up decision when the low n >= 1 bits of v are dropped.
bool roundsUp(const mpz_class& v, long n, int q) {
  if (q == Truncate) return false;
  const mpz_class kept = floorShift(v, n);
  const mpz_class rest = v - (kept << (unsigned long)n);
  const mpz_class half = pow2(n - 1);
  if (q == Round) return v >= 0 ? rest >= half : rest > half;
  return rest > half || (rest == half && odd(kept));
}

// The integer assignment rules: v held in (srcW, srcS) into (w, s) under o.
Outcome resolveModel(mpz_class v, long srcW, int srcS, int w, int s, int o) {
  Outcome out;
  out.width = w;
  out.sign = s;
  if (o == Wrap) {
    out.value = wrap(v, w, s);
    return out;
  }
  int cur = srcS;
  if (s == Unsigned && cur == Signed) {
    if (v < 0) {
      if (o == Error) return Outcome::error("negative value retyped to unsigned", 0);
      v = 0;
    }
    cur = Unsigned;
  }
  if (w < srcW && !fits(v, w, cur)) {
    if (o == Error) return Outcome::error("on decreasing resize", 0);
    v = v < 0 ? minOf(w, cur) : maxOf(w, cur);
  }
  if (s == Signed && cur == Unsigned && w > 0 && v >= pow2(w - 1)) {
    if (o == Error) return Outcome::error("on unsigned to signed", 1);
    v = maxOf(w, Signed);
  }
  out.value = wrap(v, w, s);
  return out;
}

Outcome shiftRightModel(const mpz_class& v, int w, int s, int q, int o, int n) {
  Outcome out;
  out.width = w;
  out.sign = s;
  if (n < 0) return Outcome();  // not drawn
  if (n == 0 || w == 0) {
    out.value = v;
    return out;
  }
  if (n >= w) {
    if (q == Convergent || q == ConvergentSafe) out.value = 0;
    else if (v >= 0) out.value = (q == Round && n == w && v >= pow2(w - 1)) ? 1 : 0;
    else if (q == Truncate) out.value = -1;
    else out.value = n < 2 ? v : mpz_class(0);
    return out;
  }
  mpz_class r = floorShift(v, n) + (roundsUp(v, n, q) ? 1 : 0);
  (void)o;
  EXPECT_TRUE(fits(r, w, s)) << "a right shift cannot overflow";
  out.value = r;
  return out;
}

Outcome shiftLeftModel(const mpz_class& v, int w, int s, int o, int n) {
  Outcome out;
  out.width = w;
  out.sign = s;
  if (n == 0 || w == 0) {
    out.value = v;
    return out;
  }
  const mpz_class shifted = v << (unsigned long)n;
  if (o != Wrap && !fits(shifted, w, s) && v != 0) {
    if (o == Error) return Outcome::error("during left shift", v < 0 ? -1 : 1);
    out.value = v < 0 ? minOf(w, s) : maxOf(w, s);
    return out;
  }
  out.value = wrap(shifted, w, s);
  return out;
}

// Conversion of a source value v of format (ws, ps, ss) into a target format.
Outcome convertModel(const mpz_class& v, int ws, long ps, int ss, int wt, long pt, int st, int q, int o) {
  Outcome out;
  out.width = wt;
  out.point = int(pt);
  out.sign = st;
  out.checkFlag = true;
  const long d = ps - pt;
  mpz_class kept = d <= 0 ? mpz_class(v << (unsigned long)(-d)) : floorShift(v, d);
  bool up = d >= 1 && roundsUp(v, d, q == ConvergentSafe ? Convergent : q);
  if (up && q == ConvergentSafe && wt >= 1 && long(wt) - pt <= long(ws) - ps) {
    mpz_class low;
    mpz_fdiv_r_2exp(low.get_mpz_t(), kept.get_mpz_t(), (mp_bitcnt_t)wt);
    if (low == pow2(wt - 1) - 1) up = false;  // kept bits 0111..1: the largest positive
  }
  mpz_class t = wrap(kept, wt, st);
  if (up) {
    const bool over = wt == 0 ? st == Unsigned : t + 1 > maxOf(wt, st);
    if (over && o == Error) return Outcome::error("Overflow on incr", 0);
    t = (over && o == Saturate) ? maxOf(wt, st) : wrap(t + 1, wt, st);
  }
  out.value = t;
  if (o == Wrap) return out;
  // Overflow is decided on the source value alone: the target's range in source units.
  const long it = long(wt) - pt;
  bool inRange;
  if (st == Signed) {
    const long e = it - 1 + ps;
    inRange = e < 0 ? v == 0 : (v >= -pow2(e) && v < pow2(e));
  } else {
    const long e = it + ps;
    inRange = v >= 0 && (e < 0 ? v == 0 : v < pow2(e));
  }
  if (inRange) return out;
  if (o == Error) return Outcome::error("during convert", v < 0 ? -1 : 1);
  out.flag = true;
  out.value = (ss == Signed && v < 0) ? minOf(wt, st) : maxOf(wt, st);
  return out;
}

// The exact rational x = mantissa * 2^exponent of a finite double.
void exactDouble(double x, mpz_class& mantissa, long& exponent) {
  int e = 0;
  const double m = std::frexp(x, &e);
  mantissa = mpz_class(std::ldexp(m, 53));
  exponent = long(e) - 53;
}

Outcome assignDoubleModel(double x, int w, int s, int q, int o) {
  Outcome out;
  out.width = w;
  out.sign = s;
  out.checkFlag = true;
  int e = 0;
  const double m = std::frexp(x, &e);
  if (s == Signed && m == -0.5 && e == w) {
    out.value = minOf(w, s);
    return out;
  }
  if (e + (s == Signed ? 1 : 0) > w) {
    out.flag = true;
    if (o == Error) return Outcome::error("ZelNum-assign-from-double saturated", 0);
    if (o == Saturate) {
      out.value = x > 0 ? maxOf(w, s) : minOf(w, s);
      return out;
    }
  }
  if (x < 0 && s == Unsigned) {
    if (o == Error) return Outcome::error("ZelNum-assign-from-double, negative to unsigned", 0);
    if (o == Saturate) {
      out.value = 0;
      return out;
    }
  }
  mpz_class mant;
  long ex = 0;
  exactDouble(std::fabs(x), mant, ex);
  // |x| = mant * 2^ex: integer part and the comparison of the fraction with 1/2.
  mpz_class ip = ex >= 0 ? mpz_class(mant << (unsigned long)ex) : floorShift(mant, -ex);
  int fracVsHalf = -1;  // <0: below 1/2, 0: exactly, >0: above
  bool fracNonZero = false;
  if (ex < 0) {
    const mpz_class rest = mant - (ip << (unsigned long)(-ex));
    fracNonZero = rest != 0;
    fracVsHalf = cmp(rest, pow2(-ex - 1));
  }
  bool up = false, down = false;
  if (q == Round) up = fracVsHalf >= 0;
  else if (q == Convergent || q == ConvergentSafe) up = fracVsHalf > 0 || (fracVsHalf == 0 && odd(ip));
  else down = x < 0 && fracNonZero;
  if (x >= 0) {
    const mpz_class t = wrap(ip, w, s);
    if (!up) {
      out.value = t;
      return out;
    }
    Outcome r = resolveModel(t + 1, long(w) + 18, Signed, w, s, o);
    r.checkFlag = true;
    r.flag = out.flag;
    return r;
  }
  const mpz_class t = wrap(-ip, w, s);
  if (!(up || down)) {
    out.value = t;
    return out;
  }
  Outcome r = resolveModel(t - 1, long(w) + 18, Signed, w, s, o);
  r.checkFlag = true;
  r.flag = out.flag;
  return r;
}

struct FixModel {
  mpz_class v;
  int w, p, s, q, o;
};

FixModel randomFix(Rng& rng, int maxWidth = 200) {
  FixModel f;
  f.w = rng.width(maxWidth);
  f.s = rng.sign();
  f.p = rng.range(-6, f.w + 6);
  f.q = rng.quantization();
  f.o = rng.overflow();
  f.v = rng.value(f.w, f.s);
  return f;
}

ZelFix build(const FixModel& f) { return makeFix(f.v, f.w, f.p, f.s, f.q, f.o); }

std::string describe(const FixModel& f) {
  std::ostringstream s;
  s << f.v.get_str() << " in (" << f.w << "," << f.p << "," << (f.s == Signed ? "S" : "U") << ",q" << f.q << ",o"
    << f.o << ")";
  return s.str();
}

// Runs `iterations` random cases; `one` returns {model, implementation, description}.
struct Case {
  Outcome model, impl;
  std::string what;
};
void runCases(const char* name, int iterations, unsigned long salt, const std::function<Case(Rng&)>& one) {
  const unsigned long seed = baseSeed() + salt;
  Rng rng(seed);
  int failures = 0;
  for (int i = 0; i < iterations && failures < 5; ++i) {
    Case c = one(rng);
    if (!same(c.model, c.impl)) {
      ++failures;
      ADD_FAILURE() << name << " seed " << seed << " iteration " << i << ": " << c.what << "\n  model: " << c.model.str()
                    << "\n  impl:  " << c.impl.str();
    }
  }
}

}  // namespace

TEST(Differential, NumAssignmentAndResize) {
  runCases("assign", 20000, 1, [](Rng& rng) {
    const int ws = rng.width(), ss = rng.sign(), wt = rng.width(), st = rng.sign(), q = rng.quantization(),
              o = rng.overflow();
    const mpz_class v = rng.value(ws, ss);
    Case c;
    c.what = "assign " + v.get_str() + " (" + std::to_string(ws) + (ss == Signed ? "S" : "U") + ") into (" +
             std::to_string(wt) + (st == Signed ? "S" : "U") + ") o" + std::to_string(o);
    c.model = resolveModel(v, ws, ss, wt, st, o);
    c.impl = capture([&] {
      ZelNum t(0, wt, st, q, o);
      t = makeNum(v, ws, ss, Truncate, Wrap);
      return outcomeOf(t);
    });
    if (rng.chance(50)) {
      // resize keeps the object's own value and changes its format in place
      c.what = "resize " + c.what;
      c.model = wt == ws && st == ss ? resolveModel(v, ws, ss, ws, ss, Wrap) : resolveModel(v, ws, ss, wt, st, o);
      c.impl = capture([&] {
        ZelNum n = makeNum(v, ws, ss, q, Wrap);
        n.resize(wt, st, 0, o);
        return outcomeOf(n);
      });
    }
    return c;
  });
}

TEST(Differential, NumArithmetic) {
  runCases("arith", 20000, 2, [](Rng& rng) {
    const int wa = rng.width(), sa = rng.sign(), wb = rng.width(), sb = rng.sign(), oa = rng.overflow();
    const mpz_class a = rng.value(wa, sa), b = rng.value(wb, sb);
    const bool anySigned = sa == Signed || sb == Signed;
    const int op = rng.below(5);
    Case c;
    c.what = "op" + std::to_string(op) + " " + a.get_str() + " (" + std::to_string(wa) + (sa == Signed ? "S" : "U") +
             ",o" + std::to_string(oa) + ") " + b.get_str() + " (" + std::to_string(wb) + (sb == Signed ? "S" : "U") +
             ")";
    const ZelNum x = makeNum(a, wa, sa, Truncate, oa), y = makeNum(b, wb, sb, Truncate, Wrap);
    switch (op) {
      case 0: {  // new full-precision values
        const int kind = rng.below(3);
        mpz_class r = kind == 0 ? mpz_class(a + b) : kind == 1 ? mpz_class(a - b) : mpz_class(a * b);
        const int w = kind == 0 ? std::max(wa, wb) + 1 + anySigned : kind == 1 ? std::max(wa, wb) + 2 : wa + wb + anySigned;
        c.model.value = r;
        c.model.width = w;
        c.model.sign = kind == 1 || anySigned ? Signed : Unsigned;
        c.impl = capture([&] { return outcomeOf(kind == 0 ? x + y : kind == 1 ? x - y : x * y); });
        break;
      }
      case 1: {  // in place: assigned back into the left operand's format
        const int kind = rng.below(3);
        mpz_class r = kind == 0 ? mpz_class(a + b) : kind == 1 ? mpz_class(a - b) : mpz_class(a * b);
        const int srcS = kind == 1 || anySigned ? Signed : Unsigned;
        c.model = resolveModel(r, wa + wb + 2, srcS, wa, sa, oa);
        c.impl = capture([&] {
          ZelNum t = x;
          if (kind == 0) t += y;
          else if (kind == 1) t -= y;
          else t *= y;
          return outcomeOf(t);
        });
        break;
      }
      case 2: {  // division and remainder
        const bool div = rng.chance(50);
        if (b == 0) {
          c.model = Outcome::error("a", 0);
        } else if (div) {
          mpz_class q;
          mpz_tdiv_q(q.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
          if (a >= 0 && b < 0 && sa == Unsigned && q != 0 && oa != Wrap) {
            c.model = oa == Error ? Outcome::error("negating unsigned ZelNum", 0) : resolveModel(0, wa, sa, wa, sa, oa);
          } else {
            c.model = resolveModel(q, wa + 2, Signed, wa, sa, oa);
          }
        } else {
          mpz_class r, m = abs(b);
          mpz_fdiv_r(r.get_mpz_t(), a.get_mpz_t(), m.get_mpz_t());
          c.model = resolveModel(r, std::max(wa, wb) + 2, Signed, wa, sa, oa);
        }
        c.impl = capture([&] {
          ZelNum t = x;
          if (div) t /= y;
          else t %= y;
          return outcomeOf(t);
        });
        break;
      }
      case 3: {  // comparison
        const int expect = cmp(a, b);
        c.model.value = expect < 0 ? -1 : (expect > 0 ? 1 : 0);
        c.impl.value = ZelNum::compare(x, y);
        c.impl.value = c.impl.value < 0 ? -1 : (c.impl.value > 0 ? 1 : 0);
        break;
      }
      default: {  // negation, increment, decrement
        const int kind = rng.below(3);
        if (kind == 0) {
          if (sa == Signed || oa == Wrap) {
            const mpz_class r = -a;
            if (!fits(r, wa, sa) && oa != Wrap && !(wa == 0)) {
              c.model = oa == Error ? Outcome::error("Overflow on incr", 0) : resolveModel(maxOf(wa, sa), wa, sa, wa, sa, Wrap);
            } else {
              c.model = resolveModel(r, wa + 1, Signed, wa, sa, Wrap);
            }
          } else if (a == 0) {
            c.model = resolveModel(0, wa, sa, wa, sa, Wrap);
          } else {
            c.model = oa == Error ? Outcome::error("negating unsigned ZelNum", 0) : resolveModel(0, wa, sa, wa, sa, Wrap);
          }
        } else {
          const mpz_class r = kind == 1 ? mpz_class(a + 1) : mpz_class(a - 1);
          const bool over = wa == 0 ? sa == Unsigned : !fits(r, wa, sa);
          if (over && oa == Error) c.model = Outcome::error(kind == 1 ? "Overflow on incr" : "Overflow on decr", 0);
          else if (over && oa == Saturate) c.model = resolveModel(kind == 1 ? maxOf(wa, sa) : minOf(wa, sa), wa, sa, wa, sa, Wrap);
          else c.model = resolveModel(r, wa + 1, Signed, wa, sa, Wrap);
        }
        c.impl = capture([&] {
          ZelNum t = x;
          if (kind == 0) t.negate();
          else if (kind == 1) t.increment();
          else t.decrement();
          return outcomeOf(t);
        });
        break;
      }
    }
    return c;
  });
}

TEST(Differential, NumShifts) {
  runCases("shift", 20000, 3, [](Rng& rng) {
    const int w = rng.width(), s = rng.sign(), q = rng.quantization(), o = rng.overflow();
    const mpz_class v = rng.value(w, s);
    const int n = rng.chance(80) ? rng.range(0, w + 1) : rng.range(w, w + 70);
    const bool left = rng.chance(50);
    Case c;
    c.what = std::string(left ? "<< " : ">> ") + std::to_string(n) + " of " + v.get_str() + " (" + std::to_string(w) +
             (s == Signed ? "S" : "U") + ",q" + std::to_string(q) + ",o" + std::to_string(o) + ")";
    c.model = left ? shiftLeftModel(v, w, s, o, n) : shiftRightModel(v, w, s, q, o, n);
    c.impl = capture([&] {
      ZelNum t = makeNum(v, w, s, q, o);
      if (left) t.shiftLeft(n);
      else t.shiftRight(n);
      return outcomeOf(t);
    });
    return c;
  });
}

TEST(Differential, DoubleConversions) {
  runCases("double", 20000, 4, [](Rng& rng) {
    const int w = rng.width(120), s = rng.sign(), q = rng.quantization(), o = rng.overflow();
    // Doubles near the format's range, with fractions (ties included).
    const int e = rng.range(-3, w + 2);
    const int fracBits = rng.range(0, 4);
    double x = std::ldexp(double(rng.range(0, 1 << 20)) + double(rng.range(0, 16)) / 16.0, e - 20);
    x = std::ldexp(std::floor(std::ldexp(x, fracBits)), -fracBits);
    if (rng.chance(45)) x = -x;
    if (rng.chance(5)) x = -std::ldexp(1.0, w - 1);
    Case c;
    std::ostringstream what;
    what.precision(17);
    what << "double " << x << " into (" << w << (s == Signed ? "S" : "U") << ",q" << q << ",o" << o << ")";
    c.what = what.str();
    c.model = assignDoubleModel(x, w, s, q, o);
    c.impl = capture([&] {
      ZelNum t(0, w, s, q, o);
      t = x;
      return outcomeOf(t, true);
    });
    // Back to double: exact for at most 53 significant bits.
    if (!c.impl.thrown && same(c.model, c.impl) && w <= 53) {
      const ZelFix f = makeFix(c.model.value, w, rng.range(-4, w + 4), s, q, o);
      const double back = f.toDouble();
      const double expect = std::ldexp(c.model.value.get_d(), -f.point());
      if (back != expect) {
        c.impl.value += 1;  // reported as a mismatch
        c.what += " (to double of the result)";
      }
    }
    return c;
  });
}

TEST(Differential, FixConversionAndSetFormat) {
  runCases("convert", 30000, 5, [](Rng& rng) {
    const FixModel s = randomFix(rng), t = randomFix(rng);
    Case c;
    c.what = describe(s) + " into " + describe(t);
    c.model = convertModel(s.v, s.w, s.p, s.s, t.w, t.p, t.s, t.q, t.o);
    c.impl = capture([&] {
      ZelFix target = build(t);
      target = build(s);
      return outcomeOf(target, true);
    });
    return c;
  });
  runCases("set format", 20000, 6, [](Rng& rng) {
    const FixModel f = randomFix(rng);
    const int w = rng.chance(30) ? f.w : rng.width(), s = rng.sign(), q = rng.quantization(), o = rng.overflow();
    const int p = rng.chance(30) ? f.p : rng.range(-6, w + 6);
    Case c;
    c.what = describe(f) + " set to (" + std::to_string(w) + "," + std::to_string(p) + (s == Signed ? ",S" : ",U") +
             ",q" + std::to_string(q) + ",o" + std::to_string(o) + ")";
    // The model follows the re-quantisation steps on (value, width, sign).
    auto model = [&]() -> Outcome {
      mpz_class v = f.v;
      int cw = f.w, cs = f.s;
      auto toUnsigned = [&]() -> std::optional<Outcome> {
        if (v < 0) {
          if (o == Error) return Outcome::error("negative value retyped to unsigned", 0);
          v = o == Saturate ? mpz_class(0) : mpz_class(v + pow2(cw));
        }
        cs = Unsigned;
        return std::nullopt;
      };
      if (w > cw) cw = w;
      if (cs == Signed && s == Unsigned && p >= f.p) {
        if (auto e = toUnsigned()) return *e;
      }
      const long shift = long(p) - f.p;
      Outcome sh = shift >= 0 ? shiftLeftModel(v, cw, cs, o, int(shift)) : shiftRightModel(v, cw, cs, q, o, int(-shift));
      if (sh.thrown) return sh;
      v = sh.value;
      if (cs == Signed && s == Unsigned) {
        if (auto e = toUnsigned()) return *e;
      }
      if (w < cw) {
        Outcome n = resolveModel(v, cw, cs, w, cs, o);
        if (n.thrown) return n;
        v = n.value;
        cw = w;
      }
      if (cs == Unsigned && s == Signed) {
        Outcome n = resolveModel(v, cw, Unsigned, cw, Signed, o);
        if (n.thrown) return n;
        v = n.value;
        cs = Signed;
      }
      Outcome r;
      r.value = v;
      r.width = cw;
      r.point = p;
      r.sign = cs;
      return r;
    };
    c.model = model();
    c.impl = capture([&] {
      ZelFix x = build(f);
      x.setFormat(w, p, s, q, o);
      return outcomeOf(x);
    });
    return c;
  });
}

TEST(Differential, FixArithmeticAndComparison) {
  runCases("fix arith", 30000, 7, [](Rng& rng) {
    const FixModel a = randomFix(rng, 120), b = randomFix(rng, 120);
    const ZelFix x = build(a), y = build(b);
    const int kind = rng.below(3);
    const bool anySigned = a.s == Signed || b.s == Signed;
    const long ia = long(a.w) - a.p, ib = long(b.w) - b.p;
    // Exact result and its format.
    long w, p;
    int s;
    mpz_class r;
    if (kind == 2) {
      w = long(a.w) + b.w + anySigned;
      p = long(a.p) + b.p;
      s = anySigned ? Signed : Unsigned;
      r = a.v * b.v;
    } else {
      p = std::max(a.p, b.p);
      const mpz_class xa = a.v << (unsigned long)(p - a.p), yb = b.v << (unsigned long)(p - b.p);
      r = kind == 0 ? mpz_class(xa + yb) : mpz_class(xa - yb);
      w = std::max(ia, ib) + (kind == 0 ? 1 + anySigned : 2) + p;
      s = kind == 0 && !anySigned ? Unsigned : Signed;
    }
    const int mode = rng.below(4);
    Case c;
    c.what = "kind" + std::to_string(kind) + " mode" + std::to_string(mode) + " " + describe(a) + ", " + describe(b);
    if (mode == 0) {  // new full-precision value
      c.model.value = r;
      c.model.width = int(w);
      c.model.point = int(p);
      c.model.sign = s;
      c.impl = capture([&] { return outcomeOf(kind == 0 ? x + y : kind == 1 ? x - y : x * y); });
    } else if (mode == 1) {  // into a target of another format
      const FixModel t = randomFix(rng, 130);
      c.what += " into " + describe(t);
      c.model = convertModel(r, int(w), p, s, t.w, t.p, t.s, t.q, t.o);
      c.impl = capture([&] {
        ZelFix target = build(t);
        if (kind == 0) ZelFix::sumInto(target, x, y);
        else if (kind == 1) ZelFix::differenceInto(target, x, y);
        else ZelFix::productInto(target, x, y);
        return outcomeOf(target, true);
      });
    } else if (mode == 2) {  // in place, floored to the left operand's resolution
      const mpz_class atA = p >= a.p ? floorShift(r, p - a.p) : mpz_class(r << (unsigned long)(a.p - p));
      c.model = resolveModel(atA, w + 9000, s, a.w, a.s, a.o);
      c.model.point = a.p;
      c.impl = capture([&] {
        ZelFix t = x;
        if (kind == 0) t += y;
        else if (kind == 1) t -= y;
        else t *= y;
        return outcomeOf(t);
      });
    } else {  // comparison of the values
      const long cp = std::max(a.p, b.p);
      const int expect = cmp(mpz_class(a.v << (unsigned long)(cp - a.p)), mpz_class(b.v << (unsigned long)(cp - b.p)));
      c.model.value = (expect < 0 ? 1 : 0) + (expect == 0 ? 2 : 0) + (expect > 0 ? 4 : 0);
      c.impl.value = (x < y ? 1 : 0) + (x == y ? 2 : 0) + (x > y ? 4 : 0);
      const bool consistent = (x <= y) == (expect <= 0) && (x >= y) == (expect >= 0) && (x != y) == (expect != 0);
      if (!consistent) c.impl.value += 8;
    }
    return c;
  });
}

TEST(Differential, ComplexDatapath) {
  runCases("complex", 20000, 8, [](Rng& rng) {
    // Engine-like formats: signed, both parts alike; registers with any modes.
    const int wa = rng.range(2, 60), pa = rng.range(0, wa), wb = rng.range(2, 60), pb = rng.range(0, wb);
    const mpz_class ar = rng.value(wa, Signed), ai = rng.value(wa, Signed), br = rng.value(wb, Signed),
                    bi = rng.value(wb, Signed);
    ZelComplex a(makeFix(ar, wa, pa, Signed, Truncate, Wrap), makeFix(ai, wa, pa, Signed, Truncate, Wrap));
    ZelComplex b(makeFix(br, wb, pb, Signed, Truncate, Wrap), makeFix(bi, wb, pb, Signed, Truncate, Wrap));
    const int kind = rng.below(3);
    long w, p;
    mpz_class re, im;
    if (kind == 2) {
      w = wa + wb + 2;
      p = pa + pb;
      re = ar * br - ai * bi;
      im = ar * bi + ai * br;
    } else {
      p = std::max(pa, pb);
      w = std::max(wa - pa, wb - pb) + 2 + p;
      const unsigned long sa = (unsigned long)(p - pa), sb = (unsigned long)(p - pb);
      re = kind == 0 ? mpz_class((ar << sa) + (br << sb)) : mpz_class((ar << sa) - (br << sb));
      im = kind == 0 ? mpz_class((ai << sa) + (bi << sb)) : mpz_class((ai << sa) - (bi << sb));
    }
    const int rw = rng.range(1, 70), rp = rng.range(0, rw), q = rng.quantization(), o = rng.overflow();
    const bool into = rng.chance(50);
    Case c;
    c.what = "complex kind" + std::to_string(kind) + (into ? " into" : " assign") + " a=(" + ar.get_str() + "," +
             ai.get_str() + ")/(" + std::to_string(wa) + "," + std::to_string(pa) + ") b=(" + br.get_str() + "," +
             bi.get_str() + ")/(" + std::to_string(wb) + "," + std::to_string(pb) + ") reg (" + std::to_string(rw) + "," +
             std::to_string(rp) + ",q" + std::to_string(q) + ",o" + std::to_string(o) + ")";
    Outcome mre = convertModel(re, int(w), p, Signed, rw, rp, Signed, q, o);
    Outcome mim = convertModel(im, int(w), p, Signed, rw, rp, Signed, q, o);
    // Both parts in one outcome: the imaginary value scaled far above the real one.
    auto join = [](const Outcome& x, const Outcome& y) {
      if (x.thrown) return x;
      if (y.thrown) return y;
      Outcome j = x;
      j.value = x.value + (y.value << 512);
      j.flag = x.flag || y.flag;
      return j;
    };
    c.model = join(mre, mim);
    c.impl = capture([&] {
      ZelComplex reg(rw, rp, Signed, q, o);
      if (into) {
        if (kind == 0) ZelComplex::sumInto(reg, a, b);
        else if (kind == 1) ZelComplex::differenceInto(reg, a, b);
        else ZelComplex::productInto(reg, a, b);
      } else {
        reg = kind == 0 ? a + b : kind == 1 ? a - b : a * b;
      }
      return join(outcomeOf(reg.real(), true), outcomeOf(reg.imag(), true));
    });
    if (!c.model.thrown && !into) {
      // The full-precision result itself has the documented format.
      const ZelComplex full = kind == 0 ? a + b : kind == 1 ? a - b : a * b;
      if (full.real().width() != w || full.real().point() != p || valueOf(full.real()) != re ||
          valueOf(full.imag()) != im) {
        c.impl.value += 1;
        c.what += " (full-precision result)";
      }
    }
    return c;
  });
}

TEST(Differential, WideIdentities) {
  // Up to 4096 bits: a - b == a + (~b + 1) and (a * b) / b == a.
  Rng rng(baseSeed() + 9);
  for (int i = 0; i < 60; ++i) {
    const int w = rng.range(1, 2047);
    const mpz_class a = rng.value(w, Signed), b = rng.value(w, Signed);
    const ZelNum x = makeNum(a, w, Signed, Truncate, Wrap), y = makeNum(b, w, Signed, Truncate, Wrap);
    ZelNum notB(0, w, Signed, Truncate, Wrap);
    ZelNum::bitNot(notB, y);
    ZelNum viaComplement(0, w, Signed, Truncate, Wrap), diff(0, w, Signed, Truncate, Wrap);
    notB.increment();
    ZelNum::add(viaComplement, x, notB);
    ZelNum::sub(diff, x, y);
    ASSERT_EQ(valueOf(viaComplement), valueOf(diff)) << "seed " << baseSeed() + 9 << " width " << w;
    ASSERT_EQ(valueOf(diff), wrap(a - b, w, Signed));
    if (b != 0) {
      ZelNum p = x * y;
      p /= y;
      ASSERT_EQ(valueOf(p), a) << "seed " << baseSeed() + 9 << " width " << w;
    }
  }
}
