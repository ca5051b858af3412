// ZelNum: arbitrary-width integers with quantisation and overflow modes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "zel_num_rules.h"

namespace zel {

using detail::bitAt;
using detail::isNeg;
using detail::isZero;
using detail::shl;
using detail::shr;
using detail::divideMagnitudes;

namespace {

// The shared constants: signed 16-bit zero and one, Truncate, Wrap. They are
// constant-initialised (no code runs for them at load time) and never change.
struct SharedConstant : ZelNum {
  constexpr explicit SharedConstant(uint32_t v) : ZelNum() {
    width_ = 16;
    sign_ = Signed;
    topBits_ = 16;
    inline_[0] = v;
  }
};
constinit const SharedConstant kZero(0);
constinit const SharedConstant kOne(1);

int bitLength(uint64_t m) {
  // Halving the interval 0..64 (the text's 0..32 for the 32-bit magnitudes used here).
  int lo = 0, hi = 64;
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if ((m >> mid) != 0 && mid < 64) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

}  // namespace

// ---- storage -------------------------------------------------------------------

void ZelNumAccess::setWidth(ZelNum& n, long width) {
  int wc = wordsFor(width);
  if (wc > n.capacity_) {
    uint32_t* fresh = new uint32_t[size_t(wc)];
    std::memcpy(fresh, n.words_, sizeof(uint32_t) * size_t(n.wordCount_));
    std::memset(fresh + n.wordCount_, 0, sizeof(uint32_t) * size_t(wc - n.wordCount_));
    if (n.words_ != n.inline_) delete[] n.words_;
    n.words_ = fresh;
    n.capacity_ = wc;
  } else if (wc > n.wordCount_) {
    std::memset(n.words_ + n.wordCount_, 0, sizeof(uint32_t) * size_t(wc - n.wordCount_));
  }
  n.width_ = int32_t(width);
  n.wordCount_ = wc;
  n.topBits_ = topBitsFor(int(width));
}

int ZelNumAccess::checkSign(int s, int keep) {
  if (s == 0) return keep;
  if (s != Unsigned && s != Signed) throw BadException();
  return s;
}
int ZelNumAccess::checkQuantization(int q, int keep) {
  if (q == 0) return keep;
  if (q < Truncate || q > ConvergentSafe) throw BadException();
  return q;
}
int ZelNumAccess::checkOverflow(int o, int keep) {
  if (o == 0) return keep;
  if (o < Wrap || o > Error) throw BadException();
  return o;
}

void ZelNum::fillWords(uint32_t v) {
  for (int i = 0; i < wordCount_; ++i) words_[i] = v;
  maskTop();
}

void ZelNum::saturate(int d) {
  if (d > 0) {
    fillWords(0xFFFFu);
    if (sign_ == Signed) words_[wordCount_ - 1] >>= 1;
  } else {
    fillWords(0);
    if (d < 0 && sign_ == Signed) words_[wordCount_ - 1] = signMask(topBits_);
  }
}

// ---- construction ----------------------------------------------------------------

ZelNum::ZelNum(int v, int width, int sign, int quantization, int overflow) : words_(inline_) {
  sign_ = ZelNumAccess::checkSign(sign, Unsigned);
  quantization_ = ZelNumAccess::checkQuantization(quantization, Truncate);
  overflow_ = ZelNumAccess::checkOverflow(overflow, Wrap);
  ZelNumAccess::setWidth(*this, width);
  // Bits above 31 repeat bit 31 (v sign-extended).
  for (int i = 0; i < wordCount_; ++i) {
    words_[i] = i < 2 ? (uint32_t(v) >> (16 * i)) & 0xFFFFu : (v < 0 ? 0xFFFFu : 0u);
  }
  maskTop();
}

ZelNum::ZelNum(double x, int width, int sign, int quantization, int overflow) : words_(inline_) {
  sign_ = ZelNumAccess::checkSign(sign, Unsigned);
  quantization_ = ZelNumAccess::checkQuantization(quantization, Truncate);
  overflow_ = ZelNumAccess::checkOverflow(overflow, Wrap);
  ZelNumAccess::setWidth(*this, width);
  *this = x;
}

ZelNum::ZelNum(const ZelNum& other)
    : width_(other.width_),
      sign_(other.sign_),
      quantization_(other.quantization_),
      overflow_(other.overflow_),
      wordCount_(other.wordCount_),
      topBits_(other.topBits_),
      flags_(other.flags_),
      words_(inline_) {
  if (wordCount_ > kInlineWords) {
    words_ = new uint32_t[size_t(wordCount_)];
    capacity_ = wordCount_;
  }
  std::memcpy(words_, other.words_, sizeof(uint32_t) * size_t(wordCount_));
}

ZelNum::ZelNum(ZelNum&& other) noexcept
    : width_(other.width_),
      sign_(other.sign_),
      quantization_(other.quantization_),
      overflow_(other.overflow_),
      wordCount_(other.wordCount_),
      topBits_(other.topBits_),
      flags_(other.flags_),
      words_(inline_) {
  if (other.words_ != other.inline_) {
    words_ = other.words_;
    capacity_ = other.capacity_;
    other.words_ = other.inline_;
    other.capacity_ = kInlineWords;
    // The moved-from object becomes a valid default value.
    other.width_ = 0;
    other.sign_ = Unsigned;
    other.wordCount_ = 1;
    other.topBits_ = 0;
    other.inline_[0] = 0;
  } else {
    std::memcpy(inline_, other.inline_, sizeof(uint32_t) * size_t(wordCount_));
  }
}

ZelNum::ZelNum(const ZelNum& other, int width, int sign, int quantization, int overflow) : ZelNum(other) {
  resize(width, sign, quantization, overflow);
}

int ZelNum::minimalWidth(int v, int sign) {
  uint64_t magnitude = v < 0 ? uint64_t(-int64_t(v)) : uint64_t(v);
  int k = bitLength(magnitude);
  if (v >= 0) return k + (sign == Signed ? 1 : 0);
  return k + 1;
}

int ZelNum::minimalWidth(double x, int sign) {
  if (!std::isfinite(x)) return 1;
  int e = 0;
  double m = std::frexp(x, &e);
  if (e < 1) return 1;
  if (x >= 0) return e + (sign == Signed ? 1 : 0);
  return m == -0.5 ? e : e + 1;
}

ZelNum ZelNum::fromInt(int v, int sign, int quantization, int overflow) {
  return ZelNum(v, minimalWidth(v, ZelNumAccess::checkSign(sign, Unsigned)), sign, quantization, overflow);
}

ZelNum ZelNum::fromDouble(double x, int sign, int quantization, int overflow) {
  return ZelNum(x, minimalWidth(x, ZelNumAccess::checkSign(sign, Unsigned)), sign, quantization, overflow);
}

ZelNum ZelNum::fromBits(std::string_view bits, int sign) {
  ZelNum n(0, int(std::min<size_t>(bits.size(), size_t(kMaxWidth) + 1)), sign, Truncate, Wrap);
  int w = n.width_;
  for (int i = 0; i < w; ++i) {
    if (bits[size_t(w - 1 - i)] != '0') n.words_[i / 16] |= 1u << (i % 16);
  }
  return n;
}

const ZelNum& ZelNum::zero() { return kZero; }
const ZelNum& ZelNum::one() { return kOne; }

// ---- bits ------------------------------------------------------------------------

int ZelNum::getBit(int i) const {
  if (i < 0) return 0;
  if (i >= width_) i = width_ - 1;
  if (i < 0) return 0;
  return int((words_[i / 16] >> (i % 16)) & 1u);
}

void ZelNum::setBit(int i, int b) {
  if (i < 0 || i >= width_) throw ZelNumException::IllegalIntArg("index", i);
  if (b != 0 && b != 1) throw ZelNumException::IllegalIntArg("val", b);
  uint32_t mask = 1u << (i % 16);
  words_[i / 16] = b ? (words_[i / 16] | mask) : (words_[i / 16] & ~mask);
}

bool ZelNum::isNegative() const { return sign_ == Signed && width_ > 0 && getBit(width_ - 1) != 0; }

bool ZelNum::isZero() const {
  for (int i = 0; i < wordCount_; ++i) {
    if (words_[i] != 0) return false;
  }
  return true;
}

// ---- width and sign changes --------------------------------------------------------

void ZelNum::resize(int width, int sign, int quantization, int overflow) {
  int newSign = ZelNumAccess::checkSign(sign, sign_);
  quantization_ = ZelNumAccess::checkQuantization(quantization, quantization_);
  overflow_ = ZelNumAccess::checkOverflow(overflow, overflow_);
  ZelNumAccess::wordsFor(width);  // validate before anything changes
  int oldWidth = width_, oldSign = sign_;
  if (width == oldWidth && newSign == oldSign) return;
  withInt(std::max(width, oldWidth), [&](auto zero) {
    using T = decltype(zero);
    T v = ZelNumAccess::load<T>(*this);
    v = ZelNumAccess::resolve(v, oldWidth, oldSign, width, newSign, overflow_);
    ZelNumAccess::setWidth(*this, width);
    sign_ = newSign;
    ZelNumAccess::store(*this, v);
  });
}

void ZelNum::retype(int sign, int quantization, int overflow) { resize(width_, sign, quantization, overflow); }

// ---- assignment --------------------------------------------------------------------

ZelNum& ZelNum::operator=(const ZelNum& other) {
  if (this == &other) return *this;
  if (width_ == other.width_ && sign_ == other.sign_ && quantization_ == other.quantization_ &&
      overflow_ == other.overflow_) {
    std::memcpy(words_, other.words_, sizeof(uint32_t) * size_t(wordCount_));
    return *this;
  }
  withInt(std::max(width_, other.width_), [&](auto zero) {
    using T = decltype(zero);
    T v = ZelNumAccess::load<T>(other);
    v = ZelNumAccess::resolve(v, other.width_, other.sign_, width_, sign_, overflow_);
    ZelNumAccess::store(*this, v);
  });
  return *this;
}

ZelNum& ZelNum::operator=(double x) {
  using Ex = ZelNumException::Overflow;
  flags_ &= ~1u;
  if (std::isnan(x)) {
    // Not a value at all: the pattern is cleared and the miss is flagged.
    fillWords(0);
    flags_ |= 1u;
    return *this;
  }
  const bool negative = x < 0;
  if (std::isinf(x)) {
    flags_ |= 1u;
    if (overflow_ == Saturate) saturate(negative ? -1 : 1);
    else if (overflow_ == Error) throw Ex("ZelNum-assign-from-double saturated", 0);
    else fillWords(0);
    return *this;
  }
  int e = 0;
  const double m = std::frexp(x, &e);
  const int ePrime = e + (sign_ == Signed ? 1 : 0);
  if (sign_ == Signed && m == -0.5 && e == width_) {
    saturate(-1);  // exactly the smallest value
    return *this;
  }
  if (ePrime > width_) {
    flags_ |= 1u;
    if (overflow_ == Saturate) {
      saturate(x > 0 ? 1 : -1);
      return *this;
    }
    if (overflow_ == Error) throw Ex("ZelNum-assign-from-double saturated", 0);
  }
  if (negative && sign_ == Unsigned) {
    if (overflow_ == Saturate) {
      fillWords(0);
      return *this;
    }
    if (overflow_ == Error) throw Ex("ZelNum-assign-from-double, negative to unsigned", 0);
  }
  const double magnitude = std::fabs(x);
  const double integral = std::floor(magnitude);
  const double fraction = magnitude - integral;
  bool roundUp = false, stepDown = false;
  if (quantization_ == Round) {
    roundUp = fraction >= 0.5;
  } else if (quantization_ == Convergent || quantization_ == ConvergentSafe) {
    roundUp = fraction > 0.5 || (fraction == 0.5 && std::fmod(integral, 2.0) == 1.0);
  } else {
    stepDown = negative && fraction > 0;  // truncation is the floor
  }
  // Digits of the integer part from the bottom: exact, since only powers of two divide.
  double rest = integral;
  for (int i = 0; i < wordCount_; ++i) {
    const double base = i == wordCount_ - 1 ? std::ldexp(1.0, topBits_) : 65536.0;
    const double q = rest / base;
    const double whole = std::floor(q);
    words_[i] = uint32_t((q - whole) * base);
    rest = whole;
  }
  if (negative) {
    negate();
    if (roundUp || stepDown) *this = ZelNum(*this - one());
  } else if (roundUp) {
    *this = ZelNum(*this + one());
  }
  return *this;
}

ZelNum& ZelNum::operator=(int v) {
  if (v == 0) {
    fillWords(0);
    return *this;
  }
  return *this = double(v);
}

// ---- arithmetic ------------------------------------------------------------------

namespace {

struct ResultFormat {
  long width;
  int sign;
};

ZelNum makeResult(ResultFormat f, int quantization) {
  ZelNumAccess::wordsFor(f.width);
  return ZelNum(0, int(f.width), f.sign, quantization, Error);
}

}  // namespace

ZelNum operator+(const ZelNum& a, const ZelNum& b) {
  bool anySigned = a.sign() == Signed || b.sign() == Signed;
  ResultFormat f{long(std::max(a.width(), b.width())) + 1 + (anySigned ? 1 : 0), anySigned ? Signed : Unsigned};
  ZelNum r = makeResult(f, std::max(a.quantization(), b.quantization()));
  withInt(f.width, [&](auto zero) {
    using T = decltype(zero);
    ZelNumAccess::store(r, T(ZelNumAccess::load<T>(a) + ZelNumAccess::load<T>(b)));
  });
  return r;
}

ZelNum operator-(const ZelNum& a, const ZelNum& b) {
  ResultFormat f{long(std::max(a.width(), b.width())) + 2, Signed};
  ZelNum r = makeResult(f, std::max(a.quantization(), b.quantization()));
  withInt(f.width, [&](auto zero) {
    using T = decltype(zero);
    ZelNumAccess::store(r, T(ZelNumAccess::load<T>(a) - ZelNumAccess::load<T>(b)));
  });
  return r;
}

ZelNum operator*(const ZelNum& a, const ZelNum& b) {
  // Two unsigned operands give an unsigned product: a Signed container of
  // the same width would read products with the top bit set as negative.
  bool anySigned = a.sign() == Signed || b.sign() == Signed;
  ResultFormat f{long(a.width()) + b.width() + (anySigned ? 1 : 0), anySigned ? Signed : Unsigned};
  ZelNum r = makeResult(f, std::max(a.quantization(), b.quantization()));
  withInt(f.width, [&](auto zero) {
    using T = decltype(zero);
    ZelNumAccess::store(r, T(ZelNumAccess::load<T>(a) * ZelNumAccess::load<T>(b)));
  });
  return r;
}

ZelNum& ZelNum::operator+=(const ZelNum& other) { return *this = ZelNum(*this + other); }
ZelNum& ZelNum::operator-=(const ZelNum& other) { return *this = ZelNum(*this - other); }
ZelNum& ZelNum::operator*=(const ZelNum& other) { return *this = ZelNum(*this * other); }

ZelNum& ZelNum::operator/=(const ZelNum& other) {
  if (other.isZero()) throw ZelNumException::IllegalIntArg("a", 0);
  Wide a = ZelNumAccess::load<Wide>(*this);
  Wide b = ZelNumAccess::load<Wide>(other);
  Wide q, r;
  divideMagnitudes(a.negative() ? -a : a, b.negative() ? -b : b, q, r);
  bool negativeQuotient = a.negative() != b.negative();
  if (negativeQuotient && sign_ == Unsigned && !q.zero()) {
    // A non-negative unsigned dividend over a negative divisor: the quotient
    // is negated back into the unsigned container.
    if (overflow_ == Saturate) {
      fillWords(0);
      return *this;
    }
    if (overflow_ == Error) throw ZelNumException::Overflow("negating unsigned ZelNum", 0);
  }
  if (negativeQuotient) q = -q;
  q = ZelNumAccess::resolve(q, long(width_) + 2, Signed, width_, sign_, overflow_);
  ZelNumAccess::store(*this, q);
  return *this;
}

ZelNum& ZelNum::operator%=(const ZelNum& other) {
  if (other.isZero()) throw ZelNumException::IllegalIntArg("a", 0);
  Wide a = ZelNumAccess::load<Wide>(*this);
  Wide b = ZelNumAccess::load<Wide>(other);
  if (b.negative()) b = -b;
  Wide q, r;
  divideMagnitudes(a.negative() ? -a : a, b, q, r);
  // The remainder lies in [0, |b|): a negative dividend leaves |b| - r.
  if (a.negative() && !r.zero()) r = b - r;
  r = ZelNumAccess::resolve(r, long(std::max(width_, other.width_)) + 2, Signed, width_, sign_, overflow_);
  ZelNumAccess::store(*this, r);
  return *this;
}

void ZelNumAccess::incrementWith(ZelNum& n, const char* text) {
  const bool wasNegative = n.isNegative();
  uint32_t carry = 1;
  const int top = n.wordCount_ - 1;
  for (int i = 0; i < top && carry != 0; ++i) {
    uint32_t w = n.words_[i] + carry;
    n.words_[i] = w & 0xFFFFu;
    carry = w >> 16;
  }
  uint32_t t = n.words_[top] + carry;
  const bool carryOut = (t >> n.topBits_) != 0;
  n.words_[top] = t & ZelNum::lowMask(n.topBits_);
  if (n.overflow_ == Wrap) return;
  const bool overflowed = n.sign_ == Signed ? (!wasNegative && n.isNegative()) : carryOut;
  if (!overflowed) return;
  if (n.overflow_ == Saturate) n.saturate(1);
  else throw ZelNumException::Overflow(text, 0);
}

void ZelNumAccess::decrementWith(ZelNum& n, const char* text) {
  const bool wasNegative = n.isNegative();
  uint32_t borrow = 1;
  const int top = n.wordCount_ - 1;
  for (int i = 0; i < top && borrow != 0; ++i) {
    uint32_t w = n.words_[i] - borrow;
    n.words_[i] = w & 0xFFFFu;
    borrow = (w >> 31) & 1u;
  }
  int32_t t = int32_t(n.words_[top]) - int32_t(borrow);
  const bool borrowOut = t < 0;
  n.words_[top] = uint32_t(t) & ZelNum::lowMask(n.topBits_);
  if (n.overflow_ == Wrap) return;
  const bool overflowed = n.sign_ == Signed ? (wasNegative && !n.isNegative()) : borrowOut;
  if (!overflowed) return;
  if (n.overflow_ == Saturate) n.saturate(-1);
  else throw ZelNumException::Overflow(text, 0);
}

void ZelNum::increment() { ZelNumAccess::incrementWith(*this, "Overflow on incr"); }
void ZelNum::decrement() { ZelNumAccess::decrementWith(*this, "Overflow on decr"); }

void ZelNum::negate() {
  if (sign_ == Signed || overflow_ == Wrap) {
    for (int i = 0; i < wordCount_; ++i) words_[i] ^= 0xFFFFu;
    maskTop();
    increment();
    return;
  }
  if (isZero()) return;
  if (overflow_ == Saturate) fillWords(0);
  else throw ZelNumException::Overflow("negating unsigned ZelNum", 0);
}

// ---- shifts ----------------------------------------------------------------------

void ZelNum::shiftLeft(int n) {
  if (n < 0) {
    shiftRight(n == INT32_MIN ? INT32_MAX : -n);
    return;
  }
  if (n == 0) return;
  const int w = width_;
  if (n >= w) {
    if (w == 0) return;
    if (overflow_ == Wrap) {
      fillWords(0);
      return;
    }
    if (isZero()) return;
    const bool negative = isNegative();
    if (overflow_ == Saturate) {
      saturate(negative ? -1 : 1);
      return;
    }
    if (overflow_ == Error) throw ZelNumException::Overflow("during left shift", negative ? -1 : 1);
    throw BadException();
  }
  withInt(w, [&](auto zero) {
    using T = decltype(zero);
    T v = ZelNumAccess::load<T>(*this);
    if (overflow_ != Wrap) {
      // The bits that leave at the top (and, when signed, the one that lands
      // on the sign) must all repeat the sign.
      T rest = sign_ == Signed ? shr(v, w - 1 - n) : shr(v, w - n);
      const bool over = !(detail::isZero(rest) || (sign_ == Signed && rest == T(-1)));
      if (over) {
        const bool negative = isNeg(v);
        if (overflow_ == Saturate) {
          saturate(negative ? -1 : 1);
          return;
        }
        throw ZelNumException::Overflow("during left shift", negative ? -1 : 1);
      }
    }
    ZelNumAccess::store(*this, shl(v, n));
  });
}

void ZelNum::shiftRight(int n) {
  if (n < 0) {
    shiftLeft(n == INT32_MIN ? INT32_MAX : -n);
    return;
  }
  if (n == 0) return;
  const int w = width_;
  if (n >= w) {
    // Every bit leaves.
    if (w == 0) return;
    if (quantization_ == Convergent || quantization_ == ConvergentSafe) {
      fillWords(0);
      return;
    }
    if (!isNegative()) {
      const bool one = quantization_ == Round && n == w && getBit(w - 1);
      fillWords(0);
      if (one) words_[0] = 1;
      return;
    }
    if (quantization_ == Truncate) fillWords(0xFFFFu);
    else if (n >= 2) fillWords(0);
    return;
  }
  withInt(long(w) + 2, [&](auto zero) {
    using T = decltype(zero);
    T v = ZelNumAccess::load<T>(*this);
    const bool up = ZelNumAccess::roundsUp(v, n, quantization_);
    v = shr(v, n);
    if (up) v = ZelNumAccess::resolve(T(v + T(1)), long(w) + 2, Signed, w, sign_, overflow_);
    ZelNumAccess::store(*this, v);
  });
}

// ---- comparison ------------------------------------------------------------------

int ZelNum::compare(const ZelNum& a, const ZelNum& b) {
  return withInt(std::max(a.width_, b.width_), [&](auto zero) {
    using T = decltype(zero);
    T x = ZelNumAccess::load<T>(a), y = ZelNumAccess::load<T>(b);
    return x < y ? -1 : (y < x ? 1 : 0);
  });
}

// ---- same-container operations ------------------------------------------------------

void ZelNum::add(ZelNum& r, const ZelNum& p, const ZelNum& q) {
  if (p.sign_ != q.sign_ || p.width_ != q.width_ || r.sign_ != p.sign_ || r.width_ != p.width_) {
    throw ZelNumException::IllegalIntArg("ZelNum::add(p, q) must havethe same type and width", 0);
  }
  uint32_t carry = 0;
  for (int i = 0; i < r.wordCount_; ++i) {
    uint32_t s = p.words_[i] + q.words_[i] + carry;
    r.words_[i] = s & 0xFFFFu;
    carry = s >> 16;
  }
  r.maskTop();
}

void ZelNum::sub(ZelNum& r, const ZelNum& p, const ZelNum& q) {
  if (p.sign_ != q.sign_ || p.width_ != q.width_ || r.sign_ != p.sign_ || r.width_ != p.width_) {
    throw ZelNumException::IllegalIntArg("ZelNum::sub(p, q) must havethe same type and width", 0);
  }
  uint32_t borrow = 0;
  for (int i = 0; i < r.wordCount_; ++i) {
    uint32_t d = p.words_[i] - q.words_[i] - borrow;
    r.words_[i] = d & 0xFFFFu;
    borrow = (d >> 16) & 1u;
  }
  r.maskTop();
}

void ZelNum::unsigned_mult(ZelNum& r, const ZelNum& p, const ZelNum& q) {
  if (r.width_ != p.width_ + q.width_) {
    throw ZelNumException::IllegalIntArg(
        "ZelNum::unsigned_mult(p, q) yields result in container of wrong width", 0);
  }
  // Schoolbook product of the raw 16-bit digits, formed apart so that r may
  // be one of the operands.
  uint32_t local[2 * kInlineWords + 1] = {};
  std::vector<uint32_t> heap;
  uint32_t* acc = local;
  const int n = p.wordCount_ + q.wordCount_;
  if (n > int(sizeof(local) / sizeof(local[0]))) {
    heap.assign(size_t(n), 0u);
    acc = heap.data();
  }
  for (int i = 0; i < p.wordCount_; ++i) {
    uint32_t carry = 0;
    for (int j = 0; j < q.wordCount_; ++j) {
      uint32_t t = p.words_[i] * q.words_[j] + acc[i + j] + carry;
      acc[i + j] = t & 0xFFFFu;
      carry = t >> 16;
    }
    acc[i + q.wordCount_] += carry;
  }
  for (int i = 0; i < r.wordCount_; ++i) r.words_[i] = i < n ? acc[i] : 0u;
  r.maskTop();
}

namespace {

template <class Op>
void bitwise(ZelNum& r, const ZelNum& p, const ZelNum& q, const char* pqText, const char* rText, Op op) {
  if (p.width() != q.width()) throw ZelNumException::IllegalIntArg(pqText, 0);
  if (r.width() != p.width()) throw ZelNumException::IllegalIntArg(rText, 0);
  uint32_t* rw = ZelNumAccess::words(r);
  const uint32_t* pw = ZelNumAccess::words(p);
  const uint32_t* qw = ZelNumAccess::words(q);
  for (int i = 0; i < r.wordCount(); ++i) rw[i] = op(pw[i], qw[i]) & 0xFFFFu;
  ZelNumAccess::maskTop(r);
}

}  // namespace

void ZelNum::bitAnd(ZelNum& r, const ZelNum& p, const ZelNum& q) {
  bitwise(r, p, q, "ZelNum::bitAnd(p, q) q and q must have the same width",
          "ZelNum::bitAnd(p, q) resultmust have the same width", [](uint32_t x, uint32_t y) { return x & y; });
}
void ZelNum::bitOr(ZelNum& r, const ZelNum& p, const ZelNum& q) {
  bitwise(r, p, q, "ZelNum::bitOr(p, q) q and q must have the same width",
          "ZelNum::bitOr(p, q) resultmust have the same width", [](uint32_t x, uint32_t y) { return x | y; });
}
void ZelNum::bitXor(ZelNum& r, const ZelNum& p, const ZelNum& q) {
  bitwise(r, p, q, "ZelNum::bitXor(p, q) q and q must have the same width",
          "ZelNum::bitXor(p, q) resultmust have the same width", [](uint32_t x, uint32_t y) { return x ^ y; });
}
void ZelNum::bitNot(ZelNum& r, const ZelNum& p) {
  if (r.width_ != p.width_) throw ZelNumException::IllegalIntArg("ZelNum::bitNot(p) resultmust have the same width", 0);
  for (int i = 0; i < r.wordCount_; ++i) r.words_[i] = ~p.words_[i] & 0xFFFFu;
  r.maskTop();
}

int ZelNum::unsigned_comp(const ZelNum& p, const ZelNum& q) {
  if (p.width_ != q.width_ || p.sign_ != q.sign_) {
    throw ZelNumException::IllegalIntArg("ZelNum::unsigned_comp(p) must have the same width and type", 0);
  }
  for (int i = p.wordCount_ - 1; i >= 0; --i) {
    if (p.words_[i] != q.words_[i]) return int(p.words_[i]) - int(q.words_[i]);
  }
  return 0;
}

// ---- conversion and text -------------------------------------------------------------

double ZelNumAccess::patternToDouble(const ZelNum& n, long point) {
  // Words are read as if sign-extended without end, so a binary point above
  // the top word (or below word 0) needs no special case.
  const int top = n.wordCount_ - 1;
  const bool negative = n.isNegative();
  auto word = [&](long i) -> uint32_t {
    if (i < 0) return 0;
    if (i < top) return n.words_[i];
    if (i == top) return negative ? (n.words_[top] | (0xFFFFu & ~ZelNum::lowMask(n.topBits_))) : n.words_[top];
    return negative ? 0xFFFFu : 0u;
  };
  const long q = point >= 0 ? point / 16 : 0;
  const long r = point >= 0 ? point % 16 : point;
  // Integer part: from the top word (sign-extended) down to the word that holds the point.
  const long start = std::max<long>(top, q);
  double integral = negative ? double(int32_t(word(start)) - 65536) : double(word(start));
  for (long i = start - 1; i >= q; --i) integral = integral * 65536.0 + double(word(i));
  // Fraction part: from word 0 upward.
  double fraction = 0.0;
  for (long i = 0; i < q; ++i) fraction = (fraction + double(word(i))) * (1.0 / 65536.0);
  const int scale = int(std::clamp<long>(-r, -2000, 2000));
  return std::ldexp(integral, scale) + std::ldexp(fraction, scale);
}

double ZelNum::toDouble() const { return ZelNumAccess::patternToDouble(*this, 0); }

std::string ZelNum::typeName() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, sign_ == Signed ? "Num_%d" : "UNum_%d", width_);
  return buf;
}

std::string ZelNum::bitString() const {
  std::string s;
  s.reserve(size_t(width_));
  for (int i = width_ - 1; i >= 0; --i) s.push_back(getBit(i) ? '1' : '0');
  return s;
}

}  // namespace zel
