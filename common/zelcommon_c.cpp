#include "zelcommon_c.h"

#include "models.h"
#include "settings.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

void put(char *buffer, std::size_t size, const std::string &text) {
  if (!buffer || size == 0) return;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

zel::SettingValue value_of(const zel_setting &s) {
  switch (s.kind) {
    case ZEL_VALUE_BOOL:
      return s.integer != 0;
    case ZEL_VALUE_INT:
      return std::int64_t{s.integer};
    case ZEL_VALUE_TEXT:
      return std::string(s.text ? s.text : "");
  }
  throw zel::SettingError(s.key ? s.key : "", "setting \"" + std::string(s.key ? s.key : "") +
                                                  "\": unknown value kind " + std::to_string(s.kind));
}

bool settings_ok(const zel_setting *settings, std::size_t count, char *err, std::size_t err_size) {
  if (count == 0 || settings) {
    for (std::size_t i = 0; i < count; ++i)
      if (!settings[i].key || (settings[i].kind == ZEL_VALUE_TEXT && !settings[i].text)) {
        put(err, err_size, "setting " + std::to_string(i + 1) + " has no key or no text");
        return false;
      }
    return true;
  }
  put(err, err_size, "null settings list");
  return false;
}

zel::CordicSettings cordic_settings(const zel_setting *settings, std::size_t count) {
  zel::CordicSettings c;
  for (std::size_t i = 0; i < count; ++i) c.set(settings[i].key, value_of(settings[i]));
  return c;
}

// The common failures of every call, as status and message.
int failure(char *err, std::size_t err_size) {
  try {
    throw;
  } catch (const zel::SettingError &e) {
    put(err, err_size, e.what());
    return ZEL_ERR_SETTING;
  } catch (const zel::ModelError &e) {
    put(err, err_size, e.what());
    return ZEL_ERR_CONFIG;
  } catch (const std::bad_alloc &) {
    put(err, err_size, "out of memory");
    return ZEL_ERR_MEMORY;
  } catch (const std::exception &e) {
    put(err, err_size, e.what());
    return ZEL_ERR_MEMORY;  // threads that cannot start, lengths beyond a vector's reach: resources
  }
}

}  // namespace

extern "C" int zel_fft_run(const zel_setting *settings, size_t setting_count, const zel_fft_batch *batch,
                           unsigned threads, size_t *failed_frame, int *code, char *warnings,
                           size_t warnings_size, char *err, size_t err_size) {
  put(warnings, warnings_size, "");
  put(err, err_size, "");
  if (!settings_ok(settings, setting_count, err, err_size)) return ZEL_ERR_ARGUMENT;
  if (!batch || !failed_frame || !code || batch->n < 0) {
    put(err, err_size, "null batch or result pointer, or a negative frame length");
    return ZEL_ERR_ARGUMENT;
  }
  try {
    korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
    for (std::size_t i = 0; i < setting_count; ++i) zel::set_fft_setting(g, settings[i].key, value_of(settings[i]));
    zel::FftBatch b;
    b.frames = batch->frames;
    b.n = batch->n;
    b.re = batch->re;
    b.im = batch->im;
    b.schedule = batch->schedule;
    b.schedule_size = batch->schedule_size;
    b.schedule_per_frame = batch->schedule_per_frame != 0;
    b.nfft = batch->nfft;
    b.forward = batch->forward != 0;
    b.out_re = batch->out_re;
    b.out_im = batch->out_im;
    b.block_exp = batch->block_exp;
    b.overflow = batch->overflow;
    // The model checks the sample pointers of every frame; a null base with
    // frames of samples would be offset into nonsense first.
    if (b.frames > 0 && b.n > 0 && (!b.re || !b.im || !b.out_re || !b.out_im)) {
      put(err, err_size, "null sample array");
      return ZEL_ERR_ARGUMENT;
    }
    const std::vector<zel::FftFrameResult> results = zel::run_fft_batch(g, b, threads);

    std::size_t failed = results.size();
    for (std::size_t f = 0; f < results.size(); ++f)
      if (results[f].code != 0) {
        failed = f;
        break;
      }
    std::vector<const std::string *> seen;
    std::string lines;
    for (std::size_t f = 0; f < results.size() && f <= failed; ++f)
      for (const std::string &w : results[f].warnings) {
        if (std::any_of(seen.begin(), seen.end(), [&](const std::string *s) { return *s == w; })) continue;
        seen.push_back(&w);
        if (warnings && lines.size() + w.size() + 1 < warnings_size) lines += w + '\n';
      }
    put(warnings, warnings_size, lines);
    if (failed == results.size()) return ZEL_OK;
    *failed_frame = failed;
    *code = results[failed].code;
    put(err, err_size, results[failed].error);
    return ZEL_ERR_FRAME;
  } catch (...) {
    return failure(err, err_size);
  }
}

extern "C" int zel_cordic_function(const zel_setting *settings, size_t setting_count, uint32_t *function, char *err,
                                   size_t err_size) {
  put(err, err_size, "");
  if (!settings_ok(settings, setting_count, err, err_size)) return ZEL_ERR_ARGUMENT;
  if (!function) {
    put(err, err_size, "null function pointer");
    return ZEL_ERR_ARGUMENT;
  }
  try {
    const zel::CordicModel model(cordic_settings(settings, setting_count));
    *function = model.function();
    return ZEL_OK;
  } catch (...) {
    return failure(err, err_size);
  }
}

extern "C" const char *zel_cordic_function_name(uint32_t function) {
  const std::string_view name = zel::cordic_function_name(function);
  return name.empty() ? nullptr : name.data();  // the names are literals, NUL-terminated
}

extern "C" size_t zel_cordic_input_count(uint32_t function) { return zel::cordic_signature(function).inputs.size(); }

extern "C" size_t zel_cordic_output_count(uint32_t function) {
  return zel::cordic_signature(function).outputs.size();
}

extern "C" const char *zel_cordic_input_name(uint32_t function, size_t index) {
  const auto &names = zel::cordic_signature(function).inputs;
  return index < names.size() ? names[index].data() : nullptr;
}

extern "C" const char *zel_cordic_output_name(uint32_t function, size_t index) {
  const auto &names = zel::cordic_signature(function).outputs;
  return index < names.size() ? names[index].data() : nullptr;
}

extern "C" int zel_cordic_run(const zel_setting *settings, size_t setting_count, const double *const *inputs,
                              double *const *outputs, size_t count, unsigned threads, char *err, size_t err_size) {
  put(err, err_size, "");
  if (!settings_ok(settings, setting_count, err, err_size)) return ZEL_ERR_ARGUMENT;
  try {
    const zel::CordicSettings c = cordic_settings(settings, setting_count);
    const zel::CordicSignature &sig = zel::cordic_signature(c.config().CordicFunction);
    if (!sig.inputs.empty() && count > 0) {
      bool missing = !inputs || !outputs;
      for (std::size_t i = 0; !missing && i < sig.inputs.size(); ++i) missing = !inputs[i];
      for (std::size_t i = 0; !missing && i < sig.outputs.size(); ++i) missing = !outputs[i];
      if (missing) {
        put(err, err_size, "null sample array");
        return ZEL_ERR_ARGUMENT;
      }
    }
    // A refused record is a configuration error even for an empty block.
    const zel::CordicModel check(c);
    try {
      zel::run_cordic_block(c, inputs, outputs, count, threads);
    } catch (const zel::ModelError &e) {
      put(err, err_size, e.what());
      return ZEL_ERR_DATA;
    }
    return ZEL_OK;
  } catch (...) {
    return failure(err, err_size);
  }
}
