// DPI-C shim of the CORDIC model: a SystemVerilog test bench creates a model
// from a settings text, runs blocks of samples as integer words (longint) or
// as integer-valued reals, and gets the model's own message text back for
// $error. Declared in solvine_dpi.sv.
#include "dpi_support.h"
#include "models.h"

#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

using zel::dpi::OpenArray;
using zel::dpi::set_message;

constexpr const char *kArgNames[5] = {"in0", "in1", "in2", "out0", "out1"};

// The argument checks and the model call shared by both element types;
// outputs are written only when the whole block succeeded.
template <typename T>
int run_block(void *handle, int samples, const svOpenArrayHandle *ins, const svOpenArrayHandle *outs,
              const char **message) {
  set_message(message, "");
  try {
    auto *model = static_cast<zel::CordicModel *>(handle);
    if (!model) {
      set_message(message, "solvine_dpi: no model (its creation failed or the handle is null)");
      return 1;
    }
    const zel::CordicSignature &sig = zel::cordic_signature(model->function());
    std::vector<OpenArray<T>> in, out;
    for (std::size_t i = 0; i < sig.inputs.size(); ++i) in.emplace_back(ins[i]);
    for (std::size_t i = 0; i < sig.outputs.size(); ++i) out.emplace_back(outs[i]);
    if (samples < 0) {
      set_message(message, "solvine_dpi: the sample count " + std::to_string(samples) + " is negative");
      return 1;
    }
    const auto count = static_cast<std::size_t>(samples);
    auto short_array = [&](const char *arg, std::string_view role, std::size_t size) {
      set_message(message, "solvine_dpi: " + std::string(arg) + " (" + std::string(role) + ") has " +
                               std::to_string(size) + " elements, fewer than the " + std::to_string(count) +
                               " samples");
      return 1;
    };
    for (std::size_t i = 0; i < in.size(); ++i)
      if (in[i].size() < count) return short_array(kArgNames[i], sig.inputs[i], in[i].size());
    for (std::size_t i = 0; i < out.size(); ++i)
      if (out[i].size() < count) return short_array(kArgNames[3 + i], sig.outputs[i], out[i].size());

    std::vector<std::vector<double>> in_data(in.size(), std::vector<double>(count));
    std::vector<std::vector<double>> out_data(out.size(), std::vector<double>(count));
    for (std::size_t i = 0; i < in.size(); ++i)
      for (std::size_t k = 0; k < count; ++k) {
        const T w = in[i][k];
        if constexpr (std::is_integral_v<T>) {
          if (w > zel::dpi::kMaxExactWord || w < -zel::dpi::kMaxExactWord) {
            set_message(message, "solvine_dpi: " + std::string(kArgNames[i]) + "[" + std::to_string(k) +
                                     "] = " + std::to_string(w) + " is wider than any word of the core");
            return 1;
          }
        }
        in_data[i][k] = static_cast<double>(w);
      }
    std::vector<const double *> in_ptr;
    std::vector<double *> out_ptr;
    for (auto &v : in_data) in_ptr.push_back(v.data());
    for (auto &v : out_data) out_ptr.push_back(v.data());
    model->run(in_ptr.data(), out_ptr.data(), count);
    for (std::size_t i = 0; i < out.size(); ++i)
      for (std::size_t k = 0; k < count; ++k) out[i][k] = static_cast<T>(out_data[i][k]);
    return 0;
  } catch (const std::bad_alloc &) {
    set_message(message, "solvine_dpi: out of memory");
  } catch (const std::exception &e) {
    set_message(message, e.what());
  }
  return 1;
}

}  // namespace

ZEL_DPI_EXPORT int solvine_dpi_create(const char *settings, void **model, const char **message) {
  if (model) *model = nullptr;
  set_message(message, "");
  if (!model) {
    set_message(message, "solvine_dpi_create: no place for the model handle");
    return 1;
  }
  try {
    const auto pairs = zel::dpi::parse_settings(settings ? settings : "");
    *model = new zel::CordicModel(zel::cordic_settings_from(pairs));
    return 0;
  } catch (const std::bad_alloc &) {
    set_message(message, "solvine_dpi_create: out of memory");
  } catch (const std::exception &e) {
    set_message(message, e.what());
  }
  return 1;
}

ZEL_DPI_EXPORT void solvine_dpi_destroy(void *model) { delete static_cast<zel::CordicModel *>(model); }

ZEL_DPI_EXPORT int solvine_dpi_function(void *model) {
  return model ? static_cast<int>(static_cast<zel::CordicModel *>(model)->function()) : -1;
}

ZEL_DPI_EXPORT int solvine_dpi_run(void *model, int count, const svOpenArrayHandle in0, const svOpenArrayHandle in1,
                    const svOpenArrayHandle in2, const svOpenArrayHandle out0, const svOpenArrayHandle out1,
                    const char **message) {
  const svOpenArrayHandle ins[3] = {in0, in1, in2}, outs[2] = {out0, out1};
  return run_block<long long>(model, count, ins, outs, message);
}

ZEL_DPI_EXPORT int solvine_dpi_run_real(void *model, int count, const svOpenArrayHandle in0, const svOpenArrayHandle in1,
                         const svOpenArrayHandle in2, const svOpenArrayHandle out0, const svOpenArrayHandle out1,
                         const char **message) {
  const svOpenArrayHandle ins[3] = {in0, in1, in2}, outs[2] = {out0, out1};
  return run_block<double>(model, count, ins, outs, message);
}
