// The two models as C++ objects for the layers: the library's messages are
// collected and handed back (as exceptions or per-frame results) instead of
// reaching standard error, and batches of frames or blocks of samples run
// over threads with one model object per worker. Results are the words of the
// C interface, whatever the number of threads.
#pragma once

#include "brevant.h"
#include "settings.h"
#include "solvine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zel {

// A failure reported by a model, with the library's own text: the FFT's
// "ERROR:zelfft_v9_0:..." line (without its line feed) and status code, or
// the CORDIC callback message ("<name> ERROR: <text>", or the configuration
// check's text).
class ModelError : public std::runtime_error {
 public:
  explicit ModelError(const std::string &message, int code = 0) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// ---- FFT ----

struct FftFrameResult {
  int code = 0;                       // 0; 1..23 the failed check; -1 out of memory
  std::int32_t block_exp = 0;
  std::int32_t overflow = 0;
  std::vector<std::string> warnings;  // "WARNING:zelfft_v9_0:..." lines, without line feeds
  std::string error;                  // the error line, without line feed; empty on success
};

class FftModel {
 public:
  // Throws ModelError with the library's line when the record is refused,
  // std::bad_alloc when memory runs out.
  explicit FftModel(const korvane_ip_zelfft_v9_0_generics &generics);
  ~FftModel();
  FftModel(FftModel &&other) noexcept;
  FftModel &operator=(FftModel &&other) noexcept;
  FftModel(const FftModel &) = delete;
  FftModel &operator=(const FftModel &) = delete;

  const korvane_ip_zelfft_v9_0_generics &generics() const { return generics_; }

  // Points of a transform: 2^nfft with a run-time length, else (or for nfft
  // -1) 2^C_NFFT_MAX.
  std::int32_t points(std::int32_t nfft) const;

  // One transform of n samples with the library's checks; the outputs (room
  // for n values each) are written only on success. nfft -1 asks for the
  // frame's own length (log2 n) on a run-time-length core and for C_NFFT_MAX
  // otherwise; any other value goes to the model as it is (a value other
  // than C_NFFT_MAX on a fixed-length core draws the library's warning).
  // The inputs are never written, although the C interface replaces
  // subnormal single-precision samples by +0.0 in place: a floating-point
  // core gets a copy of a frame that holds one (the result and its warning
  // are the same), every other frame is passed without copying.
  FftFrameResult run(const double *re, const double *im, std::int32_t n, const std::int32_t *schedule,
                     std::int32_t schedule_size, std::int32_t nfft, bool forward, double *out_re,
                     double *out_im);

  // run for a frame held as interleaved pairs (x[2i] real, x[2i+1]
  // imaginary; X[2k], X[2k+1] the results, written only on success), read
  // in place. A fixed-point core takes the frames whose parts all lie in
  // [-1, 1) on its input grid; for any other frame (or core) nothing is done
  // and nothing is returned: the caller then passes it to run as two arrays.
  std::optional<FftFrameResult> run_pairs(const double *x, std::int32_t n, const std::int32_t *schedule,
                                          std::int32_t schedule_size, std::int32_t nfft, bool forward, double *X);

 private:
  std::int32_t resolved_nfft(std::int32_t nfft, std::int32_t n) const;
  FftFrameResult finish(int code, const korvane_ip_zelfft_v9_0_outputs &out);

  korvane_ip_zelfft_v9_0_generics generics_;
  korvane_ip_zelfft_v9_0_state *state_ = nullptr;
  // The library's lines of one call; kept empty between calls, so that a
  // call without messages does not pay for building a stream.
  std::ostringstream messages_;
};

// Frames stored one after another (frame f at offset f * n).
struct FftBatch {
  std::size_t frames = 0;
  std::int32_t n = 0;
  const double *re = nullptr;
  const double *im = nullptr;
  const std::int32_t *schedule = nullptr;  // schedule_size values, or frames * schedule_size
  std::int32_t schedule_size = 0;
  bool schedule_per_frame = false;
  std::int32_t nfft = -1;  // as FftModel::run
  bool forward = true;
  double *out_re = nullptr;
  double *out_im = nullptr;
  std::int32_t *block_exp = nullptr;  // one per frame
  std::int32_t *overflow = nullptr;   // one per frame
};

// Runs every frame with one model per worker (threads 0: one per core) and
// returns each frame's result; a failed frame leaves its outputs untouched
// and the others still run. A refused record throws ModelError. The inputs
// are never written (see FftModel::run).
std::vector<FftFrameResult> run_fft_batch(const korvane_ip_zelfft_v9_0_generics &generics, const FftBatch &batch,
                                          unsigned threads);

// ---- CORDIC ----

class CordicModel {
 public:
  // Throws ModelError with the configuration check's text when refused.
  explicit CordicModel(const CordicSettings &settings);
  ~CordicModel();
  CordicModel(const CordicModel &) = delete;
  CordicModel &operator=(const CordicModel &) = delete;

  std::uint32_t function() const { return function_; }

  // Runs count samples of the configured function. inputs and outputs hold
  // one array of count words per argument, in the order of
  // cordic_signature(function()). Throws ModelError with the model's message
  // when an input word cannot be read; the samples before it are written,
  // and the outputs of the samples after it keep their values (unless
  // `keep_unreached` is false: then they are undefined, for callers that
  // drop the outputs of a failed block, and a copy is saved).
  void run(const double *const *inputs, double *const *outputs, std::size_t count, bool keep_unreached = true);

  // The arguments of one call as the library holds them: Cartesian pairs
  // interleaved (x, y), count of them; reals count each. The ones the
  // function does not take are null.
  struct Views {
    const double *mag_in = nullptr, *phase_in = nullptr, *cart_in = nullptr;
    double *mag_out = nullptr, *phase_out = nullptr, *cart_out = nullptr;
  };
  // One call on the caller's storage, for callers that convert words on the
  // way in and out and keep pairs interleaved. Throws ModelError as run; the
  // outputs of a failed call are undefined beyond the failing sample.
  void run_views(const Views &views, std::size_t count);

 private:
  static void on_message(void *self, int error, const char *text);

  zelip_cordic_v6_0_model *model_ = nullptr;
  std::uint32_t function_ = 0;
  std::string message_;
  std::vector<zelip_complex> cart_in_, cart_out_;
  const zelip_array_ops *real_ops_ = nullptr;
  const zelip_array_ops *complex_ops_ = nullptr;
};

// A block of samples split over threads (threads 0: one per core), one model
// per worker. Throws as CordicModel::run; the message is that of the first
// failing sample.
void run_cordic_block(const CordicSettings &settings, const double *const *inputs, double *const *outputs,
                      std::size_t count, unsigned threads);

}  // namespace zel
