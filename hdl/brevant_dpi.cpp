// DPI-C shim of the FFT model: a SystemVerilog test bench creates a model
// from a settings text and runs frames of samples, as reals in [-1, 1) or as
// the integer words of the core's input and output ports, getting back the
// block exponent, the overflow flag and the library's own lines (the error
// line for $error, the warnings for $warning) instead of text on standard
// error. Declared in brevant_dpi.sv.
#include "dpi_support.h"
#include "models.h"

#include <bit>
#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

using zel::dpi::OpenArray;
using zel::dpi::set_message;

// Return code of the arguments the shim itself refuses (the library's own
// codes are 1..23, and -1 when memory runs out).
constexpr int kShimError = -2;

int shim_error(const char **message, const std::string &text) {
  set_message(message, "brevant_dpi: " + text);
  return kShimError;
}

constexpr long long kMaxPattern = 0xffffffffLL;

double from_pattern(long long w) { return std::bit_cast<float>(static_cast<std::uint32_t>(w)); }
long long to_pattern(double v) { return std::bit_cast<std::uint32_t>(static_cast<float>(v)); }

std::string join(const std::vector<std::string> &lines) {
  std::string s;
  for (const auto &l : lines) s += (s.empty() ? "" : "\n") + l;
  return s;
}

// Frame arguments shared by both sample types. Fixed-point words are scaled
// by 2^(C_INPUT_WIDTH - 1) in and out: an input word of W bits is
// w / 2^(W-1), and results keep that weight of their last place whatever the
// core's output width. The words of a floating-point core are the IEEE
// single-precision bit patterns of its ports (0 .. 2^32 - 1; a negative
// longint is read as its low 32 bits).
template <typename T>
int run_frame(void *handle, int samples, svOpenArrayHandle re_h, svOpenArrayHandle im_h, int stages,
              svOpenArrayHandle sch_h, int nfft,
              int forward, svOpenArrayHandle out_re_h, svOpenArrayHandle out_im_h, int *block_exp, int *overflow,
              const char **message) {
  set_message(message, "");
  if (block_exp) *block_exp = 0;
  if (overflow) *overflow = 0;
  try {
    auto *model = static_cast<zel::FftModel *>(handle);
    if (!model) return shim_error(message, "no model (its creation failed or the handle is null)");
    const OpenArray<T> re(re_h), im(im_h), out_re(out_re_h), out_im(out_im_h);
    const OpenArray<int> sch(sch_h);
    if (samples < 0) return shim_error(message, "the sample count " + std::to_string(samples) + " is negative");
    if (stages < 0) return shim_error(message, "the stage count " + std::to_string(stages) + " is negative");
    const auto n = static_cast<std::size_t>(samples);
    for (const auto &[name, size] : {std::pair{"re", re.size()}, std::pair{"im", im.size()},
                                     std::pair{"out_re", out_re.size()}, std::pair{"out_im", out_im.size()}})
      if (size < n)
        return shim_error(message, std::string(name) + " has " + std::to_string(size) + " elements, fewer than the " +
                                       std::to_string(n) + " samples of the frame");
    if (sch.size() < static_cast<std::size_t>(stages))
      return shim_error(message, "schedule has " + std::to_string(sch.size()) + " elements, fewer than the " +
                                     std::to_string(stages) + " stages");

    constexpr bool words = std::is_integral_v<T>;
    const auto &g = model->generics();
    const bool float_words = words && g.C_USE_FLT_PT;
    const double scale = std::ldexp(1.0, g.C_INPUT_WIDTH - 1);
    std::vector<double> in_re(n), in_im(n), res_re(n), res_im(n);
    for (std::size_t k = 0; k < n; ++k) {
      if constexpr (words) {
        for (const auto &[name, w] : {std::pair{"re", re[k]}, std::pair{"im", im[k]}})
          if (float_words ? (w > kMaxPattern || w < -kMaxPattern / 2 - 1)
                          : (w > zel::dpi::kMaxExactWord || w < -zel::dpi::kMaxExactWord))
            return shim_error(message, std::string(name) + "[" + std::to_string(k) + "] = " + std::to_string(w) +
                                           " is wider than any word of the core");
        in_re[k] = float_words ? from_pattern(re[k]) : static_cast<double>(re[k]) / scale;
        in_im[k] = float_words ? from_pattern(im[k]) : static_cast<double>(im[k]) / scale;
      } else {
        in_re[k] = re[k];
        in_im[k] = im[k];
      }
    }
    std::vector<std::int32_t> schedule(static_cast<std::size_t>(stages));
    for (std::size_t i = 0; i < schedule.size(); ++i) schedule[i] = sch[i];

    const zel::FftFrameResult r =
        model->run(in_re.data(), in_im.data(), static_cast<std::int32_t>(n), schedule.data(),
                   static_cast<std::int32_t>(schedule.size()), nfft, forward != 0, res_re.data(), res_im.data());
    if (r.code != 0) {
      set_message(message, r.error);
      return r.code;
    }
    for (std::size_t k = 0; k < n; ++k) {
      if constexpr (words) {
        out_re[k] = float_words ? to_pattern(res_re[k]) : static_cast<T>(res_re[k] * scale);
        out_im[k] = float_words ? to_pattern(res_im[k]) : static_cast<T>(res_im[k] * scale);
      } else {
        out_re[k] = res_re[k];
        out_im[k] = res_im[k];
      }
    }
    if (block_exp) *block_exp = r.block_exp;
    if (overflow) *overflow = r.overflow;
    set_message(message, join(r.warnings));
    return 0;
  } catch (const std::bad_alloc &) {
    set_message(message, "brevant_dpi: out of memory");
    return -1;
  } catch (const std::exception &e) {
    return shim_error(message, e.what());
  }
}

}  // namespace

ZEL_DPI_EXPORT int brevant_dpi_create(const char *settings, void **model, const char **message) {
  if (model) *model = nullptr;
  set_message(message, "");
  if (!model) {
    set_message(message, "brevant_dpi_create: no place for the model handle");
    return 1;
  }
  try {
    const auto pairs = zel::dpi::parse_settings(settings ? settings : "");
    *model = new zel::FftModel(zel::fft_generics_from(pairs));
    return 0;
  } catch (const std::bad_alloc &) {
    set_message(message, "brevant_dpi_create: out of memory");
  } catch (const std::exception &e) {
    set_message(message, e.what());
  }
  return 1;
}

ZEL_DPI_EXPORT void brevant_dpi_destroy(void *model) { delete static_cast<zel::FftModel *>(model); }

ZEL_DPI_EXPORT int brevant_dpi_points(void *model, int nfft) {
  return model ? static_cast<zel::FftModel *>(model)->points(nfft) : 0;
}

ZEL_DPI_EXPORT int brevant_dpi_output_width(void *model) {
  if (!model) return 0;
  const auto &g = static_cast<zel::FftModel *>(model)->generics();
  if (g.C_USE_FLT_PT) return 32;
  return g.C_INPUT_WIDTH + (g.C_HAS_SCALING ? 0 : g.C_NFFT_MAX + 1);
}

ZEL_DPI_EXPORT int brevant_dpi_run(void *model, int n, const svOpenArrayHandle re, const svOpenArrayHandle im,
                                   int stages, const svOpenArrayHandle schedule, int nfft, int forward,
                                   const svOpenArrayHandle out_re, const svOpenArrayHandle out_im, int *block_exp,
                                   int *overflow, const char **message) {
  return run_frame<double>(model, n, re, im, stages, schedule, nfft, forward, out_re, out_im, block_exp, overflow, message);
}

ZEL_DPI_EXPORT int brevant_dpi_run_words(void *model, int n, const svOpenArrayHandle re,
                                         const svOpenArrayHandle im, int stages, const svOpenArrayHandle schedule,
                                         int nfft, int forward,
                                         const svOpenArrayHandle out_re, const svOpenArrayHandle out_im,
                                         int *block_exp, int *overflow, const char **message) {
  return run_frame<long long>(model, n, re, im, stages, schedule, nfft, forward, out_re, out_im, block_exp, overflow,
                              message);
}
