// Arbitrary-length two's-complement integer for the wide (> 126-bit) paths.
#include "zel_wide.h"

namespace zel::detail {

void Wide::trim() {
  // A top limb that is pure sign extension of the limb below it is redundant.
  while (limbs_.size() > 1) {
    uint32_t top = limbs_.back();
    uint32_t below = limbs_[limbs_.size() - 2];
    bool belowNeg = (below >> 31) != 0;
    if ((top == 0 && !belowNeg) || (top == ~0u && belowNeg)) {
      limbs_.pop_back();
    } else {
      break;
    }
  }
}

Wide Wide::pow2(long e) {
  Wide w;
  size_t k = size_t(e >> 5);
  w.limbs_.assign(k + 2, 0u);  // one spare limb keeps the value non-negative
  w.limbs_[k] = 1u << (e & 31);
  w.trim();
  return w;
}

bool Wide::anyBelow(long n) const {
  if (n <= 0) return false;
  size_t full = size_t(n >> 5);
  for (size_t k = 0; k < full; ++k) {
    if (limb(k) != 0) return true;
  }
  int rest = int(n & 31);
  return rest != 0 && (limb(full) & ((1u << rest) - 1)) != 0;
}

Wide& Wide::operator+=(const Wide& b) {
  size_t n = std::max(limbs_.size(), b.limbs_.size()) + 1;
  std::vector<uint32_t> r(n);
  uint64_t carry = 0;
  for (size_t k = 0; k < n; ++k) {
    uint64_t s = uint64_t(limb(k)) + b.limb(k) + carry;
    r[k] = uint32_t(s);
    carry = s >> 32;
  }
  limbs_ = std::move(r);
  trim();
  return *this;
}

Wide& Wide::operator-=(const Wide& b) {
  size_t n = std::max(limbs_.size(), b.limbs_.size()) + 1;
  std::vector<uint32_t> r(n);
  uint64_t borrow = 0;
  for (size_t k = 0; k < n; ++k) {
    uint64_t d = uint64_t(limb(k)) - b.limb(k) - borrow;
    r[k] = uint32_t(d);
    borrow = (d >> 32) & 1u;
  }
  limbs_ = std::move(r);
  trim();
  return *this;
}

Wide Wide::operator-() const {
  Wide z;
  z -= *this;
  return z;
}

Wide Wide::shr(long n) const {
  if (n <= 0) return n == 0 ? *this : shl(-n);
  size_t whole = size_t(n >> 5);
  int rest = int(n & 31);
  if (whole >= limbs_.size()) return Wide(negative() ? -1 : 0);
  size_t m = limbs_.size() - whole;
  std::vector<uint32_t> r(m);
  for (size_t k = 0; k < m; ++k) {
    uint64_t pair = (uint64_t(limb(k + whole + 1)) << 32) | limb(k + whole);
    r[k] = uint32_t(pair >> rest);
  }
  return fromLimbs(std::move(r));
}

Wide Wide::shl(long n) const {
  if (n <= 0) return n == 0 ? *this : shr(-n);
  size_t whole = size_t(n >> 5);
  int rest = int(n & 31);
  size_t m = limbs_.size() + whole + 1;
  std::vector<uint32_t> r(m, 0u);
  for (size_t k = whole; k < m; ++k) {
    size_t src = k - whole;
    uint64_t lo = src >= 1 ? limb(src - 1) : 0u;
    uint64_t pair = (uint64_t(limb(src)) << 32) | lo;
    r[k] = uint32_t((pair << rest) >> 32);
  }
  return fromLimbs(std::move(r));
}

std::vector<uint32_t> Wide::magnitude() const {
  Wide m = negative() ? -*this : *this;
  std::vector<uint32_t> r = m.limbs_;
  while (r.size() > 1 && r.back() == 0) r.pop_back();
  return r;
}

Wide operator*(const Wide& a, const Wide& b) {
  std::vector<uint32_t> ma = a.magnitude();
  std::vector<uint32_t> mb = b.magnitude();
  std::vector<uint32_t> r(ma.size() + mb.size() + 1, 0u);
  for (size_t i = 0; i < ma.size(); ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < mb.size(); ++j) {
      uint64_t t = uint64_t(ma[i]) * mb[j] + r[i + j] + carry;
      r[i + j] = uint32_t(t);
      carry = t >> 32;
    }
    size_t k = i + mb.size();
    while (carry != 0) {
      uint64_t t = uint64_t(r[k]) + carry;
      r[k++] = uint32_t(t);
      carry = t >> 32;
    }
  }
  Wide p = Wide::fromLimbs(std::move(r));  // top limb 0: non-negative
  return a.negative() != b.negative() ? -p : p;
}

int compare(const Wide& a, const Wide& b) {
  if (a.negative() != b.negative()) return a.negative() ? -1 : 1;
  size_t n = std::max(a.limbs_.size(), b.limbs_.size());
  for (size_t k = n; k-- > 0;) {
    uint32_t x = a.limb(k), y = b.limb(k);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

void divideMagnitudes(const Wide& a, const Wide& b, Wide& q, Wide& r) {
  q = Wide();
  r = Wide();
  long top = long(a.limbCount()) * 32;
  while (top > 0 && !a.bit(top - 1)) --top;
  for (long i = top - 1; i >= 0; --i) {
    r = r.shl(1);
    if (a.bit(i)) r += Wide(1);
    q = q.shl(1);
    if (r >= b) {
      r -= b;
      q += Wide(1);
    }
  }
}

}  // namespace zel::detail
