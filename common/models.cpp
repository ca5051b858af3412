#include "models.h"

#include "brevant_stream.h"
#include "parallel.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <new>
#include <optional>
#include <sstream>
#include <utility>

namespace zel {

namespace {

// Splits collected lines into warnings and the error line.
void sort_lines(const std::string &text, FftFrameResult &result) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.rfind("WARNING:", 0) == 0) {
      result.warnings.push_back(std::move(line));
    } else if (!line.empty()) {
      result.error = std::move(line);
    }
    start = end + 1;
  }
}

// A sample the floating-point core takes as a subnormal single: its nearest
// single is subnormal. Values at or beyond the single's smallest normal
// magnitude never are (the range check keeps the conversion defined).
bool single_subnormal(double x) {
  return std::fabs(x) < FLT_MIN && std::fpclassify(static_cast<float>(x)) == FP_SUBNORMAL;
}

bool any_single_subnormal(const double *x, std::int32_t n) {
  bool any = false;
  for (std::int32_t i = 0; i < n; ++i) any |= single_subnormal(x[i]);
  return any;
}

std::string first_line(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

// ---- FFT ----

FftModel::FftModel(const korvane_ip_zelfft_v9_0_generics &generics) : generics_(generics) {
  std::ostringstream messages;
  state_ = brevant::create_state(generics, messages);
  if (!state_) {
    if (messages.str().empty()) throw std::bad_alloc();
    throw ModelError(first_line(messages.str()));
  }
}

FftModel::~FftModel() { korvane_ip_zelfft_v9_0_destroy_state(state_); }

FftModel::FftModel(FftModel &&other) noexcept
    : generics_(other.generics_), state_(std::exchange(other.state_, nullptr)), messages_(std::move(other.messages_)) {}

FftModel &FftModel::operator=(FftModel &&other) noexcept {
  if (this != &other) {
    korvane_ip_zelfft_v9_0_destroy_state(state_);
    generics_ = other.generics_;
    state_ = std::exchange(other.state_, nullptr);
    messages_ = std::move(other.messages_);
  }
  return *this;
}

std::int32_t FftModel::points(std::int32_t nfft) const {
  const std::int32_t log2n = generics_.C_HAS_NFFT == 1 && nfft >= 0 ? nfft : generics_.C_NFFT_MAX;
  return log2n >= 0 && log2n < 31 ? std::int32_t{1} << log2n : 0;
}

FftFrameResult FftModel::run(const double *re, const double *im, std::int32_t n, const std::int32_t *schedule,
                             std::int32_t schedule_size, std::int32_t nfft, bool forward, double *out_re,
                             double *out_im) {
  nfft = resolved_nfft(nfft, n);
  // The library reads the samples and the schedule, with one exception: a
  // floating-point core replaces subnormal samples by +0.0 in the arrays it
  // is given. Such a frame goes to it as a copy, so the caller's (const)
  // data are never written; every other frame goes as it is, without a copy.
  std::vector<double> copy;
  if (generics_.C_USE_FLT_PT == 1 && re && im && n > 0 &&
      (any_single_subnormal(re, n) || any_single_subnormal(im, n))) {
    const auto count = static_cast<std::size_t>(n);
    copy.reserve(2 * count);
    copy.insert(copy.end(), re, re + count);
    copy.insert(copy.end(), im, im + count);
    re = copy.data();
    im = copy.data() + count;
  }
  korvane_ip_zelfft_v9_0_inputs in;
  in.nfft = nfft;
  in.xn_re = const_cast<double *>(re);  // not written: see above
  in.xn_re_size = n;
  in.xn_im = const_cast<double *>(im);
  in.xn_im_size = n;
  in.scaling_sch = const_cast<std::int32_t *>(schedule);  // only read
  in.scaling_sch_size = schedule_size;
  in.direction = forward ? 1 : 0;
  korvane_ip_zelfft_v9_0_outputs out{out_re, n, out_im, n, 0, 0};
  return finish(brevant::bitacc_simulate(state_, in, &out, messages_), out);
}

std::optional<FftFrameResult> FftModel::run_pairs(const double *x, std::int32_t n, const std::int32_t *schedule,
                                                  std::int32_t schedule_size, std::int32_t nfft, bool forward,
                                                  double *X) {
  korvane_ip_zelfft_v9_0_inputs rest{};
  rest.nfft = resolved_nfft(nfft, n);
  rest.scaling_sch = const_cast<std::int32_t *>(schedule);  // only read
  rest.scaling_sch_size = schedule_size;
  rest.direction = forward ? 1 : 0;
  korvane_ip_zelfft_v9_0_outputs out{};
  const int code = brevant::bitacc_simulate_pairs(state_, x, n, rest, X, &out, messages_);
  if (code == brevant::kPairsDeclined) return std::nullopt;
  return finish(code, out);
}

std::int32_t FftModel::resolved_nfft(std::int32_t nfft, std::int32_t n) const {
  if (nfft >= 0) return nfft;
  // The length the frame has (run-time length) or the core's own.
  if (generics_.C_HAS_NFFT == 1 && n > 0 && (n & (n - 1)) == 0) return std::countr_zero(static_cast<unsigned>(n));
  return generics_.C_NFFT_MAX;
}

FftFrameResult FftModel::finish(int code, const korvane_ip_zelfft_v9_0_outputs &out) {
  // Messages are rare (warnings, refused calls): the object's stream is
  // emptied only after a call that wrote to it.
  FftFrameResult result;
  result.code = code;
  if (messages_.tellp() > 0) {
    sort_lines(messages_.str(), result);
    messages_.str(std::string());
    messages_.clear();
  }
  if (result.code == -1) throw std::bad_alloc();
  if (result.code == 0) {
    result.block_exp = out.block_exp;
    result.overflow = out.overflow;
  }
  return result;
}

std::vector<FftFrameResult> run_fft_batch(const korvane_ip_zelfft_v9_0_generics &generics, const FftBatch &batch,
                                          unsigned threads) {
  std::vector<FftFrameResult> results(batch.frames);
  const auto n = static_cast<std::size_t>(batch.n);
  parallel_ranges(
      batch.frames, threads, [&] { return FftModel(generics); },
      [&](FftModel &model, std::size_t first, std::size_t last) {
        for (std::size_t f = first; f < last; ++f) {
          const std::int32_t *schedule =
              batch.schedule && batch.schedule_per_frame ? batch.schedule + f * batch.schedule_size : batch.schedule;
          FftFrameResult r = model.run(batch.re + f * n, batch.im + f * n, batch.n, schedule, batch.schedule_size,
                                       batch.nfft, batch.forward, batch.out_re + f * n, batch.out_im + f * n);
          if (r.code == 0) {
            if (batch.block_exp) batch.block_exp[f] = r.block_exp;
            if (batch.overflow) batch.overflow[f] = r.overflow;
          }
          results[f] = std::move(r);
        }
      });
  return results;
}

// ---- CORDIC ----

void CordicModel::on_message(void *self, int /*error*/, const char *text) {
  // The model only sends errors; the first one of a call is the one reported.
  auto *model = static_cast<CordicModel *>(self);
  if (model->message_.empty() && text) model->message_ = text;
}

CordicModel::CordicModel(const CordicSettings &settings) : function_(settings.config().CordicFunction) {
  model_ = zelip_cordic_v6_0_create(&settings.config(), &CordicModel::on_message, this);
  if (!model_) {
    if (message_.empty()) throw std::bad_alloc();
    throw ModelError(message_);
  }
  // The library's element tables, for views on the caller's storage.
  zelip_array_real *r = zelip_cordic_v6_0_zelip_array_real_create();
  zelip_array_complex *c = zelip_cordic_v6_0_zelip_array_complex_create();
  if (r) real_ops_ = r->ops;
  if (c) complex_ops_ = c->ops;
  zelip_cordic_v6_0_zelip_array_real_destroy(r);
  zelip_cordic_v6_0_zelip_array_complex_destroy(c);
  if (!real_ops_ || !complex_ops_) {
    zelip_cordic_v6_0_destroy(model_);
    throw std::bad_alloc();
  }
}

CordicModel::~CordicModel() { zelip_cordic_v6_0_destroy(model_); }

void CordicModel::run_views(const Views &v, std::size_t count) {
  std::size_t dim = count;
  auto real_view = [&](const double *data) {
    return zelip_array_real{const_cast<double *>(data), count, count, &dim, 1, 1, 1, real_ops_};
  };
  auto complex_view = [&](const double *pairs) {
    return zelip_array_complex{reinterpret_cast<zelip_complex *>(const_cast<double *>(pairs)), count, count, &dim, 1,
                               1, 1, complex_ops_};
  };
  zelip_array_real magin{}, phasein{}, magout{}, phaseout{};
  zelip_array_complex cartin{}, cartout{};
  if (v.mag_in) magin = real_view(v.mag_in);
  if (v.phase_in) phasein = real_view(v.phase_in);
  if (v.cart_in) cartin = complex_view(v.cart_in);
  if (v.mag_out) magout = real_view(v.mag_out);
  if (v.phase_out) phaseout = real_view(v.phase_out);
  if (v.cart_out) cartout = complex_view(v.cart_out);
  message_.clear();
  const zelip_status status = zelip_cordic_v6_0_data_do(
      model_, function_, v.mag_in ? &magin : nullptr, v.phase_in ? &phasein : nullptr, v.cart_in ? &cartin : nullptr,
      v.mag_out ? &magout : nullptr, v.phase_out ? &phaseout : nullptr, v.cart_out ? &cartout : nullptr, count);
  if (status != 0) throw ModelError(message_.empty() ? std::string("CORDIC processing failed") : message_);
}

void CordicModel::run(const double *const *inputs, double *const *outputs, std::size_t count, bool keep_unreached) {
  // Blocks of a bounded size keep the interleaved complex copies small.
  constexpr std::size_t kChunk = 4096;
  const std::uint32_t f = function_;
  const bool cart_in = f == 0 || f == 1 || f == 3 || f == 5;
  const bool cart_out = f == 0 || f == 2 || f == 4;
  for (std::size_t done = 0; done < count;) {
    const std::size_t len = std::min(kChunk, count - done);
    Views v;
    if (cart_in) {
      cart_in_.resize(len);
      for (std::size_t k = 0; k < len; ++k) cart_in_[k] = {inputs[0][done + k], inputs[1][done + k]};
      v.cart_in = &cart_in_[0].re;
    }
    if (f == 0) v.phase_in = inputs[2] + done;
    if (f == 2 || f == 4) v.phase_in = inputs[0] + done;
    if (f == 6) v.mag_in = inputs[0] + done;
    if (cart_out) {
      // Seeded with the caller's words, so samples the model does not reach
      // (after a failing one) come back unchanged.
      cart_out_.resize(len);
      if (keep_unreached)
        for (std::size_t k = 0; k < len; ++k) cart_out_[k] = {outputs[0][done + k], outputs[1][done + k]};
      v.cart_out = &cart_out_[0].re;
    }
    if (f == 1) v.mag_out = outputs[0] + done, v.phase_out = outputs[1] + done;
    if (f == 3 || f == 5) v.phase_out = outputs[0] + done;
    if (f == 6) v.mag_out = outputs[0] + done;

    std::optional<ModelError> failed;
    try {
      run_views(v, len);
    } catch (const ModelError &e) {
      failed = e;
    }
    if (cart_out) {
      // The samples before a failing one are written: hand them on.
      for (std::size_t k = 0; k < len; ++k) {
        outputs[0][done + k] = cart_out_[k].re;
        outputs[1][done + k] = cart_out_[k].im;
      }
    }
    if (failed) throw *failed;
    done += len;
  }
}

void run_cordic_block(const CordicSettings &settings, const double *const *inputs, double *const *outputs,
                      std::size_t count, unsigned threads) {
  // Slices below a few thousand samples are not worth a thread.
  constexpr std::size_t kMinSlice = 2048;
  const std::size_t most = std::max<std::size_t>(1, count / kMinSlice);
  const unsigned workers = worker_count(threads, most);
  parallel_ranges(
      count, workers, [&] { return std::make_unique<CordicModel>(settings); },
      [&](std::unique_ptr<CordicModel> &model, std::size_t first, std::size_t last) {
        const CordicSignature &sig = cordic_signature(model->function());
        std::vector<const double *> in(sig.inputs.size());
        std::vector<double *> out(sig.outputs.size());
        for (std::size_t i = 0; i < in.size(); ++i) in[i] = inputs[i] + first;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = outputs[i] + first;
        model->run(in.data(), out.data(), last - first);
      });
}

}  // namespace zel
