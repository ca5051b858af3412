#include "fft_base.h"

#include <algorithm>

namespace zelfft {

FFT::FFT()
    : input_width(0),
      internal_input_width(0),
      output_width(0),
      internal_output_width(0),
      twiddle_width(0),
      nfft_max(0),
      has_rounding(0),
      has_scaling(0),
      has_bfp(0),
      arch(0),
      bfp_class(0),
      class_probe(0.0, 8, 7, zel::Signed, zel::Truncate, zel::Wrap),
      total_shift(0),
      direction(1),
      overflow(0),
      odd_nfft(0),
      r4_address_mask(0),
      length(64),
      nfft(0),
      r4_length(64),
      r4_stages(0),
      scaling_word(0),
      butterfly_index(0),
      stage_index(0) {}

FFT::~FFT() = default;

int FFT::bit_sum(int index) const {
  // Two positions per pass and one more for an odd count, as the hardware's
  // adder tree does; only the sum matters.
  int sum = 0;
  int i = 0;
  for (; i + 1 < nfft; i += 2) sum += ((index >> i) & 1) + ((index >> (i + 1)) & 1);
  if (i < nfft) sum += (index >> i) & 1;
  return sum;
}

int FFT::digit_sum(int index) const {
  // The top position of an odd-length transform is a full two-bit field; for
  // an index below N it holds at most 1.
  const int digits = r4_stages + odd_nfft;
  int sum = 0;
  for (int t = 0; t < digits; ++t) sum += (index >> (2 * t)) & 3;
  return sum;
}

namespace {

// Bit i of v moves to bit 31 - i.
uint32_t reverse_bits(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

// The low `bits` bits of index in reverse order.
int reverse_low_bits(int index, int bits) {
  if (bits <= 0) return 0;
  return static_cast<int>(reverse_bits(static_cast<uint32_t>(index)) >> (32 - bits));
}

// The low `digits` base-4 digits of index in reverse order: the bits
// reversed, then each digit's two bits put back in their order.
int reverse_low_digits(int index, int digits) {
  if (digits <= 0) return 0;
  uint32_t v = reverse_bits(static_cast<uint32_t>(index));
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  return static_cast<int>(v >> (32 - 2 * digits));
}

}  // namespace

int FFT::digit_reverse(int index) const {
  // For an odd nfft bit 0 goes on top, above the reversed digits of the rest.
  if (odd_nfft == 1) return ((index & 1) << (2 * r4_stages)) | reverse_low_digits(index >> 1, r4_stages);
  return reverse_low_digits(index, r4_stages);
}

int FFT::bit_reverse(int index) const { return reverse_low_bits(index, nfft); }

int FFT::bit_reverse_short(int index) const { return reverse_low_bits(index, nfft - 1); }

int FFT::sign_headroom(const ZelFix &value) {
  const int w = value.width();
  const int sign = value.getBit(w - 1);
  int headroom = 0;
  for (int pos = w - 2; pos >= w - 4; --pos) {
    if (value.getBit(pos) != sign) break;  // getBit reads positions below 0 as 0
    ++headroom;
  }
  return headroom;
}

int FFT::sign_headroom(const ZelComplex &value) {
  return std::min(sign_headroom(value.real()), sign_headroom(value.imag()));
}

int FFT::short_sign_headroom(int64_t pattern, int width) {
  const int64_t sign = pattern < 0 ? 1 : 0;
  int headroom = 0;
  for (int pos = width - 2; pos >= width - 4; --pos) {
    const int64_t bit = pos < 0 ? 0 : (pattern >> pos) & 1;
    if (bit != sign) break;
    ++headroom;
  }
  return headroom;
}

int FFT::growth_class(const ZelFix &value, const double *thresholds, int count) {
  class_probe = value;
  const double v = class_probe.toDouble();
  for (int i = 0; i < count; ++i) {
    if (-thresholds[i] <= v && v < thresholds[i]) return i;
  }
  return count;
}

int FFT::growth_class(const ZelComplex &value, const double *thresholds, int count) {
  return std::max(growth_class(value.real(), thresholds, count), growth_class(value.imag(), thresholds, count));
}

bool FFT::within_unit(const ZelFix &value) {
  // In [-1, 1) exactly when the pattern is its own sign extension from bit
  // `point` up.
  const int top = value.width() - 1;
  const int sign = value.getBit(top);
  for (int i = value.point(); i < top; ++i) {
    if (value.getBit(i) != sign) return false;
  }
  return true;
}

}  // namespace zelfft
