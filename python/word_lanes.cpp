// Compiled once per instruction set (Highway's foreach_target). Both
// directions go through the bits of 2^52 + 2^51: for an integer w with
// |w| < 2^51 the double 2^52 + 2^51 + w holds w in its low mantissa bits, so
// adding or subtracting that constant on one side and its bit pattern on the
// other converts exactly with plain integer and floating-point adds.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "word_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "word_lanes.h"

#include <bit>

HWY_BEFORE_NAMESPACE();
namespace zelpy {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

constexpr double kMagic = 6755399441055744.0;  // 2^52 + 2^51
constexpr std::uint64_t kMagicBits = 0x4338000000000000;

// The range check is one shift: w is in [lo, lo + 2^width) exactly when
// (w - lo), taken unsigned, has no bit at or above `width`.
std::uint64_t WordsToDoubles(const std::int64_t *HWY_RESTRICT src, double *HWY_RESTRICT dst, std::size_t len,
                             std::int64_t lo, int width) {
  const hn::ScalableTag<std::uint64_t> du;
  const hn::Rebind<double, decltype(du)> dd;
  const std::size_t lanes = hn::Lanes(du);
  const auto vlo = hn::Set(du, static_cast<std::uint64_t>(lo));
  const auto vbits = hn::Set(du, kMagicBits);
  const auto vmagic = hn::Set(dd, kMagic);
  auto outside = hn::Zero(du);
  const auto *s = reinterpret_cast<const std::uint64_t *>(src);
  std::size_t k = 0;
  for (; k + lanes <= len; k += lanes) {
    const auto u = hn::LoadU(du, s + k);
    outside = hn::Or(outside, hn::ShiftRightSame(hn::Sub(u, vlo), width));
    hn::StoreU(hn::Sub(hn::BitCast(dd, hn::Add(u, vbits)), vmagic), dd, dst + k);
  }
  std::uint64_t rest = 0;
  for (; k < len; ++k) {
    const std::uint64_t u = s[k];
    rest |= (u - static_cast<std::uint64_t>(lo)) >> width;
    dst[k] = std::bit_cast<double>(u + kMagicBits) - kMagic;
  }
  return rest | hn::GetLane(hn::SumOfLanes(du, outside));
}

void DoublesToWords(const double *HWY_RESTRICT src, std::int64_t *HWY_RESTRICT dst, std::size_t len, bool stream) {
  const hn::ScalableTag<std::int64_t> di;
  const hn::Rebind<double, decltype(di)> dd;
  const std::size_t lanes = hn::Lanes(di);
  const auto vbits = hn::Set(di, static_cast<std::int64_t>(kMagicBits));
  const auto vmagic = hn::Set(dd, kMagic);
  auto one = [&](std::size_t k) {
    dst[k] = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(src[k] + kMagic) - kMagicBits);
  };
  std::size_t k = 0;
  if (stream) {
    // Streaming stores need whole aligned vectors.
    for (; k < len && reinterpret_cast<std::uintptr_t>(dst + k) % (lanes * sizeof(std::int64_t)) != 0; ++k) one(k);
    for (; k + lanes <= len; k += lanes)
      hn::Stream(hn::Sub(hn::BitCast(di, hn::Add(hn::LoadU(dd, src + k), vmagic)), vbits), di, dst + k);
  } else {
    for (; k + lanes <= len; k += lanes)
      hn::StoreU(hn::Sub(hn::BitCast(di, hn::Add(hn::LoadU(dd, src + k), vmagic)), vbits), di, dst + k);
  }
  for (; k < len; ++k) one(k);
}

std::uint64_t WordsToPairs(const std::int64_t *HWY_RESTRICT x, const std::int64_t *HWY_RESTRICT y,
                           double *HWY_RESTRICT pairs, std::size_t count, std::int64_t lo, int width) {
  const hn::ScalableTag<std::uint64_t> du;
  const hn::Rebind<double, decltype(du)> dd;
  const std::size_t lanes = hn::Lanes(du);
  const auto vlo = hn::Set(du, static_cast<std::uint64_t>(lo));
  const auto vbits = hn::Set(du, kMagicBits);
  const auto vmagic = hn::Set(dd, kMagic);
  auto outside = hn::Zero(du);
  const auto *sx = reinterpret_cast<const std::uint64_t *>(x);
  const auto *sy = reinterpret_cast<const std::uint64_t *>(y);
  std::size_t k = 0;
  for (; k + lanes <= count; k += lanes) {
    const auto ux = hn::LoadU(du, sx + k), uy = hn::LoadU(du, sy + k);
    outside = hn::Or(outside, hn::Or(hn::ShiftRightSame(hn::Sub(ux, vlo), width),
                                     hn::ShiftRightSame(hn::Sub(uy, vlo), width)));
    hn::StoreInterleaved2(hn::Sub(hn::BitCast(dd, hn::Add(ux, vbits)), vmagic),
                          hn::Sub(hn::BitCast(dd, hn::Add(uy, vbits)), vmagic), dd, pairs + 2 * k);
  }
  std::uint64_t rest = 0;
  for (; k < count; ++k) {
    rest |= ((sx[k] - static_cast<std::uint64_t>(lo)) >> width) | ((sy[k] - static_cast<std::uint64_t>(lo)) >> width);
    pairs[2 * k] = std::bit_cast<double>(sx[k] + kMagicBits) - kMagic;
    pairs[2 * k + 1] = std::bit_cast<double>(sy[k] + kMagicBits) - kMagic;
  }
  return rest | hn::GetLane(hn::SumOfLanes(du, outside));
}

void PairsToWords(const double *HWY_RESTRICT pairs, std::int64_t *HWY_RESTRICT x, std::int64_t *HWY_RESTRICT y,
                  std::size_t count, bool stream) {
  const hn::ScalableTag<std::int64_t> di;
  const hn::Rebind<double, decltype(di)> dd;
  const std::size_t lanes = hn::Lanes(di);
  const auto vbits = hn::Set(di, static_cast<std::int64_t>(kMagicBits));
  const auto vmagic = hn::Set(dd, kMagic);
  auto one = [&](std::size_t k) {
    x[k] = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(pairs[2 * k] + kMagic) - kMagicBits);
    y[k] = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(pairs[2 * k + 1] + kMagic) - kMagicBits);
  };
  const std::size_t align = lanes * sizeof(std::int64_t);
  std::size_t k = 0;
  // Streaming stores need whole aligned vectors in both arrays.
  if (stream && reinterpret_cast<std::uintptr_t>(x) % align == reinterpret_cast<std::uintptr_t>(y) % align) {
    for (; k < count && reinterpret_cast<std::uintptr_t>(x + k) % align != 0; ++k) one(k);
    for (; k + lanes <= count; k += lanes) {
      hn::Vec<decltype(dd)> re, im;
      hn::LoadInterleaved2(dd, pairs + 2 * k, re, im);
      hn::Stream(hn::Sub(hn::BitCast(di, hn::Add(re, vmagic)), vbits), di, x + k);
      hn::Stream(hn::Sub(hn::BitCast(di, hn::Add(im, vmagic)), vbits), di, y + k);
    }
  } else {
    for (; k + lanes <= count; k += lanes) {
      hn::Vec<decltype(dd)> re, im;
      hn::LoadInterleaved2(dd, pairs + 2 * k, re, im);
      hn::StoreU(hn::Sub(hn::BitCast(di, hn::Add(re, vmagic)), vbits), di, x + k);
      hn::StoreU(hn::Sub(hn::BitCast(di, hn::Add(im, vmagic)), vbits), di, y + k);
    }
  }
  for (; k < count; ++k) one(k);
}

}  // namespace HWY_NAMESPACE
}  // namespace zelpy
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace zelpy {

HWY_EXPORT(WordsToDoubles);
HWY_EXPORT(DoublesToWords);
HWY_EXPORT(WordsToPairs);
HWY_EXPORT(PairsToWords);

std::uint64_t words_to_pairs(const std::int64_t *x, const std::int64_t *y, double *pairs, std::size_t count,
                             std::int64_t lo, int width) {
  return HWY_DYNAMIC_DISPATCH(WordsToPairs)(x, y, pairs, count, lo, width);
}

void pairs_to_words(const double *pairs, std::int64_t *x, std::int64_t *y, std::size_t count, bool stream) {
  HWY_DYNAMIC_DISPATCH(PairsToWords)(pairs, x, y, count, stream);
}

std::uint64_t words_to_doubles(const std::int64_t *src, double *dst, std::size_t len, std::int64_t lo, int width) {
  return HWY_DYNAMIC_DISPATCH(WordsToDoubles)(src, dst, len, lo, width);
}

void doubles_to_words(const double *src, std::int64_t *dst, std::size_t len, bool stream) {
  HWY_DYNAMIC_DISPATCH(DoublesToWords)(src, dst, len, stream);
}

void stream_fence() {
#if HWY_ARCH_X86
  _mm_sfence();
#endif
}

}  // namespace zelpy
#endif  // HWY_ONCE
