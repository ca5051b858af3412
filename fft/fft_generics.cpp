#include "fft_generics.h"

#include <iterator>

namespace zelfft {

korvane_ip_zelfft_v9_0_generics default_generics() {
  korvane_ip_zelfft_v9_0_generics g;
  g.C_NFFT_MAX = 10;
  g.C_ARCH = 1;
  g.C_HAS_NFFT = 0;
  g.C_USE_FLT_PT = 0;
  g.C_INPUT_WIDTH = 16;
  g.C_TWIDDLE_WIDTH = 16;
  g.C_HAS_SCALING = 1;
  g.C_HAS_BFP = 0;
  g.C_HAS_ROUNDING = 0;
  return g;
}

namespace {

constexpr const char *kRangePrefix = "ERROR:zelfft_v9_0:create_state called with invalid ";

struct RangeCheck {
  int32_t korvane_ip_zelfft_v9_0_generics::*field;
  const char *name;
  int32_t lo;
  int32_t hi;
};

// Order matters: the first failing generic is the one reported.
constexpr RangeCheck kRangeChecks[] = {
    {&korvane_ip_zelfft_v9_0_generics::C_NFFT_MAX, "C_NFFT_MAX", 3, 16},
    {&korvane_ip_zelfft_v9_0_generics::C_ARCH, "C_ARCH", 1, 4},
    {&korvane_ip_zelfft_v9_0_generics::C_HAS_NFFT, "C_HAS_NFFT", 0, 1},
    {&korvane_ip_zelfft_v9_0_generics::C_INPUT_WIDTH, "C_INPUT_WIDTH", 8, 34},
    {&korvane_ip_zelfft_v9_0_generics::C_TWIDDLE_WIDTH, "C_TWIDDLE_WIDTH", 8, 34},
    {&korvane_ip_zelfft_v9_0_generics::C_HAS_SCALING, "C_HAS_SCALING", 0, 1},
    {&korvane_ip_zelfft_v9_0_generics::C_HAS_BFP, "C_HAS_BFP", 0, 1},
    {&korvane_ip_zelfft_v9_0_generics::C_HAS_ROUNDING, "C_HAS_ROUNDING", 0, 1},
    {&korvane_ip_zelfft_v9_0_generics::C_USE_FLT_PT, "C_USE_FLT_PT", 0, 1},
};

struct ComboCheck {
  bool (*holds)(const korvane_ip_zelfft_v9_0_generics &);
  const char *message;
};

const ComboCheck kComboChecks[] = {
    {[](const korvane_ip_zelfft_v9_0_generics &g) { return g.C_NFFT_MAX < 6 && g.C_ARCH == 1; },
     "ERROR:zelfft_v9_0:create_state called with C_NFFT_MAX < 6 (transform length less than 2^6 = 64) "
     "and C_ARCH = 1 (Radix-4, Burst I/O architecture): this architecture has a minimum transform length "
     "of 64, so C_NFFT_MAX must be 6 or greater."},
    {[](const korvane_ip_zelfft_v9_0_generics &g) { return g.C_NFFT_MAX == 3 && g.C_HAS_NFFT == 1; },
     "ERROR:zelfft_v9_0:create_state called with C_NFFT_MAX = 3 (transform length of 2^3 = 8) and "
     "C_HAS_NFFT = 1 (run-time configurable transform length): the minimum transform length of 8 cannot "
     "be run-time configurable as it cannot be reduced."},
    {[](const korvane_ip_zelfft_v9_0_generics &g) {
       return g.C_NFFT_MAX == 6 && g.C_ARCH == 1 && g.C_HAS_NFFT == 1;
     },
     "ERROR:zelfft_v9_0:create_state called with C_NFFT_MAX = 6 (transform length of 2^6 = 64) and "
     "C_HAS_NFFT = 1 (run-time configurable transform length) and C_ARCH = 1 (Radix-4, Burst I/O "
     "architecture): the minimum transform length of 64 in this architecture cannot be run-time "
     "configurable as it cannot be reduced."},
    {[](const korvane_ip_zelfft_v9_0_generics &g) { return g.C_HAS_SCALING == 0 && g.C_HAS_BFP == 1; },
     "ERROR:zelfft_v9_0:create_state called with C_HAS_SCALING = 0 (unscaled) and C_HAS_BFP = 1 (block "
     "floating point scaling): these contradict and do not specify a valid scaling option."},
    {[](const korvane_ip_zelfft_v9_0_generics &g) { return g.C_USE_FLT_PT == 1 && g.C_INPUT_WIDTH != 32; },
     "ERROR:zelfft_v9_0:create_state called with C_USE_FLT_PT = 1 and C_INPUT_WIDTH != 32: only IEEE "
     "single-precision data of 32 bits is supported."},
};

}  // namespace

bool check_generics(const korvane_ip_zelfft_v9_0_generics &g, std::ostream &err) {
  for (const RangeCheck &c : kRangeChecks) {
    const int32_t v = g.*c.field;
    if (v < c.lo || v > c.hi) {
      err << kRangePrefix << c.name << " generic: must be in the range " << c.lo << " to " << c.hi
          << ": Value is " << static_cast<int>(v) << std::endl;
      return false;
    }
  }
  for (const ComboCheck &c : kComboChecks) {
    if (c.holds(g)) {
      err << c.message << std::endl;
      return false;
    }
  }
  return true;
}

FftSettings derive_settings(const korvane_ip_zelfft_v9_0_generics &g) {
  FftSettings s;
  s.input_width = g.C_INPUT_WIDTH;
  s.internal_input_width = g.C_INPUT_WIDTH;
  s.output_width = g.C_INPUT_WIDTH + (g.C_NFFT_MAX + 1) * (1 - g.C_HAS_SCALING);
  s.internal_output_width = s.output_width;
  s.twiddle_width = g.C_TWIDDLE_WIDTH;
  s.nfft_max = g.C_NFFT_MAX;
  s.has_rounding = g.C_HAS_ROUNDING;
  s.has_scaling = g.C_HAS_SCALING;
  s.has_bfp = g.C_HAS_BFP;
  s.arch = g.C_ARCH;
  s.use_flt_pt = g.C_USE_FLT_PT;

  if (g.C_USE_FLT_PT == 1) {
    // Floating-point data runs on a fixed-point mantissa path: the burst
    // cores as block floating point, the pipelined core unscaled with full
    // word growth. The output width seen by the host stays 32.
    s.output_width = g.C_INPUT_WIDTH;
    s.internal_input_width = g.C_ARCH == 1 ? 29 : (g.C_ARCH == 3 ? 27 : 28);
    s.internal_output_width =
        g.C_ARCH == 3 ? s.internal_input_width + g.C_NFFT_MAX + 1 : s.internal_input_width;
    s.has_rounding = 0;
    s.has_scaling = g.C_ARCH == 3 ? 0 : 1;
    s.has_bfp = g.C_ARCH == 3 ? 0 : 1;
  }
  return s;
}

}  // namespace zelfft
