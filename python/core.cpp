// zelcores._core: the two models for Python. The pure-Python package
// (python/zelcores/) checks shapes and types and turns the results into
// objects; this module owns everything that touches samples: configuration
// through the shared readable names (common/settings.h), conversion of the
// caller's arrays in one pass, and the transforms themselves with the GIL
// released, over a pool of workers with one model object each.
#include "models.h"
#include "parallel.h"
#include "settings.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

using Settings = std::vector<std::pair<std::string, zel::SettingValue>>;

// Workers for `threads` (0: one per core). The core count is read once: the
// system query costs more than a short transform.
unsigned workers_for(unsigned threads) {
  static const unsigned cores = zel::worker_count(0, std::numeric_limits<std::size_t>::max());
  return threads == 0 ? cores : threads;
}

// A Python value as a setting: bool, integer or text. Anything else (a float
// width, None) is refused here, in the words the shared names use.
zel::SettingValue to_setting(const std::string &key, py::handle value) {
  if (py::isinstance<py::bool_>(value) || py::str(py::type::of(value).attr("__name__")).cast<std::string>() == "bool_")
    return value.cast<bool>();
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (PyIndex_Check(value.ptr())) {
    if (PyObject *index = PyNumber_Index(value.ptr())) {
      py::int_ i = py::reinterpret_steal<py::int_>(index);
      int overflow = 0;
      const long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
      if (!overflow && !(v == -1 && PyErr_Occurred())) return static_cast<std::int64_t>(v);
    }
    PyErr_Clear();
  }
  throw zel::SettingError(key, "\"" + key + "\": expected an integer, true/false or a text, got " +
                                   py::repr(value).cast<std::string>());
}

Settings to_settings(const py::iterable &pairs) {
  Settings out;
  for (py::handle item : pairs) {
    auto pair = item.cast<py::tuple>();
    auto key = pair[0].cast<std::string>();
    out.emplace_back(key, to_setting(key, pair[1]));
  }
  return out;
}

py::object to_python(const zel::SettingValue &v) {
  if (const auto *b = std::get_if<bool>(&v)) return py::bool_(*b);
  if (const auto *i = std::get_if<std::int64_t>(&v)) return py::int_(*i);
  return py::str(std::get<std::string>(v));
}

py::dict to_dict(const Settings &settings) {
  py::dict d;
  for (const auto &[k, v] : settings) d[py::str(k)] = to_python(v);
  return d;
}

py::dict to_dict(const std::vector<std::pair<std::string, std::int64_t>> &fields) {
  py::dict d;
  for (const auto &[k, v] : fields) d[py::str(k)] = v;
  return d;
}

// ---- FFT ----

// How run() reads the frames it is given (all C-contiguous, frames first).
enum class FftInput { real = 0, complex = 1, real_words = 2, complex_words = 3 };

class FftCore {
 public:
  explicit FftCore(const py::iterable &settings) {
    generics_ = zel::fft_generics_from(to_settings(settings));
    try {
      model_ = std::make_unique<zel::FftModel>(generics_);
    } catch (const zel::ModelError &e) {
      throw py::value_error(e.what());
    }
  }

  py::dict generics() const { return to_dict(zel::fft_raw(generics_)); }
  py::dict settings() const { return to_dict(zel::fft_readable(generics_)); }
  std::int32_t points(std::int32_t nfft) const { return model_->points(nfft); }

  // Runs frames x n samples. Returns (X complex128 (frames, n), block_exp,
  // overflow (int32 per frame), warnings [(frame, line)], error (frame,
  // code, line) of the first failing frame or None).
  py::tuple run(const py::array &data, int kind, const std::optional<py::array_t<std::int32_t>> &schedule,
                std::int32_t nfft, bool forward, unsigned threads) {
    const auto input = static_cast<FftInput>(kind);
    const bool words = input == FftInput::real_words || input == FftInput::complex_words;
    const py::ssize_t want_ndim = input == FftInput::complex_words ? 3 : 2;
    if (data.ndim() != want_ndim || !(data.flags() & py::array::c_style) ||
        (input == FftInput::complex_words && data.shape(2) != 2))
      throw py::value_error("internal: frames arrive as a C-contiguous (frames, n) array");
    if ((input == FftInput::real && !py::isinstance<py::array_t<double>>(data)) ||
        (input == FftInput::complex && !py::isinstance<py::array_t<std::complex<double>>>(data)) ||
        (words && !py::isinstance<py::array_t<std::int64_t>>(data)))
      throw py::value_error("internal: frame dtype does not match its kind");
    const auto frames = static_cast<std::size_t>(data.shape(0));
    const auto n64 = data.shape(1);
    if (n64 > std::numeric_limits<std::int32_t>::max())
      throw py::value_error("a frame of " + std::to_string(n64) + " samples is longer than any transform");
    const auto n = static_cast<std::size_t>(n64);

    const std::int32_t *sch = nullptr;
    std::int32_t sch_size = 0;
    bool sch_per_frame = false;
    if (schedule) {
      const auto &s = *schedule;
      if (!(s.flags() & py::array::c_style) || s.ndim() < 1 || s.ndim() > 2)
        throw py::value_error("internal: schedule must be a C-contiguous 1-D or 2-D int32 array");
      sch_per_frame = s.ndim() == 2;
      if (sch_per_frame && static_cast<std::size_t>(s.shape(0)) != frames)
        throw py::value_error("internal: one schedule row per frame");
      sch_size = static_cast<std::int32_t>(s.shape(s.ndim() - 1));
      sch = s.data();
    }

    // Word inputs: every word must be one the input port can carry.
    const int width = generics_.C_INPUT_WIDTH;
    const double unit = std::ldexp(1.0, -(width - 1));
    if (words) {
      const auto *w = static_cast<const std::int64_t *>(data.data());
      const std::int64_t lo = -(std::int64_t{1} << (width - 1)), hi = (std::int64_t{1} << (width - 1)) - 1;
      const std::size_t total = static_cast<std::size_t>(data.size());
      for (std::size_t i = 0; i < total; ++i)
        if (w[i] < lo || w[i] > hi) {
          std::string where;
          if (input == FftInput::complex_words) {
            const std::size_t s = i / 2;
            where = "sample " + std::to_string(s % n) + (i % 2 ? " (imaginary part)" : " (real part)");
            if (frames > 1) where = "frame " + std::to_string(s / n) + ", " + where;
          } else {
            where = "sample " + std::to_string(i % n);
            if (frames > 1) where = "frame " + std::to_string(i / n) + ", " + where;
          }
          throw py::value_error("input word " + std::to_string(w[i]) + " at " + where + " is outside the " +
                                std::to_string(width) + "-bit range " + std::to_string(lo) + " to " +
                                std::to_string(hi));
        }
    }

    py::array_t<std::complex<double>> out({static_cast<py::ssize_t>(frames), static_cast<py::ssize_t>(n)});
    py::array_t<std::int32_t> block_exp(static_cast<py::ssize_t>(frames));
    py::array_t<std::int32_t> overflow(static_cast<py::ssize_t>(frames));
    std::vector<zel::FftFrameResult> results(frames);

    const void *src = data.data();
    auto *dst = out.mutable_data();
    auto *be = block_exp.mutable_data();
    auto *ov = overflow.mutable_data();
    for (std::size_t f = 0; f < frames; ++f) be[f] = ov[f] = 0;

    {
      py::gil_scoped_release release;
      // The object's own model serves the first worker unless another
      // Python thread is using it right now; other workers build their own.
      std::unique_lock<std::mutex> own(mutex_, std::try_to_lock);
      std::atomic<bool> own_taken{!own.owns_lock()};
      // A worker's model and its four frame buffers (samples in, results
      // out); the object's own model keeps its buffers between calls.
      struct Worker {
        zel::FftModel *model = nullptr;
        std::unique_ptr<zel::FftModel> owned;
        std::vector<double> owned_buffers;
        double *buffers = nullptr;
      };
      zel::parallel_ranges(
          frames, workers_for(threads),
          [&] {
            Worker w;
            if (!own_taken.exchange(true)) {
              w.model = model_.get();
              if (buffers_.size() < 4 * n) buffers_.resize(4 * n);
              w.buffers = buffers_.data();
            } else {
              w.owned = std::make_unique<zel::FftModel>(generics_);
              w.model = w.owned.get();
              w.owned_buffers.resize(4 * n);
              w.buffers = w.owned_buffers.data();
            }
            return w;
          },
          [&](Worker &w, std::size_t first, std::size_t last) {
            double *re = w.buffers, *im = re + n, *out_re = im + n, *out_im = out_re + n;
            for (std::size_t f = first; f < last; ++f) {
              load(input, src, f, n, unit, re, im);
              const std::int32_t *fs = sch && sch_per_frame ? sch + f * sch_size : sch;
              zel::FftFrameResult r = w.model->run(re, im, static_cast<std::int32_t>(n), fs, sch_size, nfft, forward,
                                                   out_re, out_im);
              if (r.code == 0) {
                std::complex<double> *o = dst + f * n;
                for (std::size_t k = 0; k < n; ++k) o[k] = {out_re[k], out_im[k]};
                be[f] = r.block_exp;
                ov[f] = r.overflow;
              }
              results[f] = std::move(r);
            }
          });
    }

    py::list warnings;
    py::object error = py::none();
    for (std::size_t f = 0; f < frames; ++f) {
      for (const auto &line : results[f].warnings) warnings.append(py::make_tuple(f, line));
      if (results[f].code != 0) {
        error = py::make_tuple(f, results[f].code, results[f].error);
        break;
      }
    }
    return py::make_tuple(out, block_exp, overflow, warnings, error);
  }

 private:
  // One frame of the caller's data as the two double arrays the model takes.
  // Parts are copied, never computed, so infinities, NaNs and negative zeros
  // arrive exactly; words are scaled by a power of two, which is exact.
  static void load(FftInput input, const void *src, std::size_t f, std::size_t n, double unit, double *re,
                   double *im) {
    switch (input) {
      case FftInput::real: {
        const double *x = static_cast<const double *>(src) + f * n;
        for (std::size_t k = 0; k < n; ++k) re[k] = x[k], im[k] = 0.0;
        break;
      }
      case FftInput::complex: {
        const auto *x = static_cast<const std::complex<double> *>(src) + f * n;
        for (std::size_t k = 0; k < n; ++k) re[k] = x[k].real(), im[k] = x[k].imag();
        break;
      }
      case FftInput::real_words: {
        const auto *x = static_cast<const std::int64_t *>(src) + f * n;
        for (std::size_t k = 0; k < n; ++k) re[k] = static_cast<double>(x[k]) * unit, im[k] = 0.0;
        break;
      }
      case FftInput::complex_words: {
        const auto *x = static_cast<const std::int64_t *>(src) + f * n * 2;
        for (std::size_t k = 0; k < n; ++k)
          re[k] = static_cast<double>(x[2 * k]) * unit, im[k] = static_cast<double>(x[2 * k + 1]) * unit;
        break;
      }
    }
  }

  korvane_ip_zelfft_v9_0_generics generics_;
  std::unique_ptr<zel::FftModel> model_;
  std::vector<double> buffers_;  // the own model's frame buffers, used under mutex_
  std::mutex mutex_;
};

// ---- CORDIC ----

class CordicCore {
 public:
  explicit CordicCore(const py::iterable &settings) : settings_(zel::cordic_settings_from(to_settings(settings))) {
    try {
      model_ = std::make_unique<zel::CordicModel>(settings_);
    } catch (const zel::ModelError &e) {
      throw py::value_error(e.what());
    }
  }

  py::dict config() const { return to_dict(zel::cordic_raw(settings_.config())); }
  py::dict settings() const { return to_dict(zel::cordic_readable(settings_.config())); }

  // Runs the configured function on equally long 1-D int64 word arrays (in
  // the order of its signature). Returns (outputs as int64 arrays, error
  // text or None); on an error the samples before the failing one are set.
  py::tuple run(const std::vector<py::array_t<std::int64_t>> &inputs, unsigned threads) {
    const zel::CordicSignature &sig = zel::cordic_signature(settings_.config().CordicFunction);
    if (inputs.size() != sig.inputs.size()) throw py::value_error("internal: wrong number of CORDIC inputs");
    const std::size_t count = inputs.empty() ? 0 : static_cast<std::size_t>(inputs[0].size());
    std::vector<std::vector<double>> in(inputs.size(), std::vector<double>(count));
    for (std::size_t a = 0; a < inputs.size(); ++a) {
      if (inputs[a].ndim() != 1 || static_cast<std::size_t>(inputs[a].size()) != count ||
          !(inputs[a].flags() & py::array::c_style))
        throw py::value_error("internal: CORDIC inputs must be C-contiguous 1-D arrays of one length");
      const std::int64_t *w = inputs[a].data();
      for (std::size_t k = 0; k < count; ++k) in[a][k] = static_cast<double>(w[k]);
    }
    // The outputs are computed as doubles in the int64 arrays handed back and
    // turned into integers in place: one allocation, one pass.
    std::vector<py::array_t<std::int64_t>> out;
    std::vector<const double *> in_p;
    std::vector<double *> out_p;
    for (auto &v : in) in_p.push_back(v.data());
    for (std::size_t a = 0; a < sig.outputs.size(); ++a) {
      out.emplace_back(static_cast<py::ssize_t>(count));
      auto *d = reinterpret_cast<double *>(out.back().mutable_data());
      std::fill(d, d + count, 0.0);
      out_p.push_back(d);
    }

    std::string error;
    {
      py::gil_scoped_release release;
      try {
        // Short blocks run on the object's own model; long ones are split
        // over workers, each with a model of its own.
        std::unique_lock<std::mutex> own(mutex_, std::try_to_lock);
        if (own.owns_lock() && (threads == 1 || count < 4096)) {
          model_->run(in_p.data(), out_p.data(), count);
        } else {
          if (own.owns_lock()) own.unlock();
          zel::run_cordic_block(settings_, in_p.data(), out_p.data(), count, workers_for(threads));
        }
      } catch (const zel::ModelError &e) {
        error = e.what();
      }
      for (double *d : out_p) {
        auto *bytes = reinterpret_cast<unsigned char *>(d);
        for (std::size_t k = 0; k < count; ++k) {
          double v;
          std::memcpy(&v, bytes + k * 8, 8);
          const auto w = static_cast<std::int64_t>(v);
          std::memcpy(bytes + k * 8, &w, 8);
        }
      }
    }

    py::list results;
    for (auto &a : out) results.append(a);
    return py::make_tuple(results, error.empty() ? py::object(py::none()) : py::object(py::str(error)));
  }

 private:
  zel::CordicSettings settings_;
  std::unique_ptr<zel::CordicModel> model_;
  std::mutex mutex_;
};

std::vector<std::string> names(const std::vector<std::string_view> &v) { return {v.begin(), v.end()}; }

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Extension module of zelcores; use the zelcores package instead.";

  // A setting the record cannot hold is a ValueError carrying the shared text.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const zel::SettingError &e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  py::class_<FftCore>(m, "FftCore")
      .def(py::init<const py::iterable &>(), py::arg("settings"))
      .def_property_readonly("generics", &FftCore::generics)
      .def_property_readonly("settings", &FftCore::settings)
      .def("points", &FftCore::points, py::arg("nfft"))
      .def("run", &FftCore::run, py::arg("data"), py::arg("kind"), py::arg("schedule"), py::arg("nfft"),
           py::arg("forward"), py::arg("threads"));

  py::class_<CordicCore>(m, "CordicCore")
      .def(py::init<const py::iterable &>(), py::arg("settings"))
      .def_property_readonly("config", &CordicCore::config)
      .def_property_readonly("settings", &CordicCore::settings)
      .def("run", &CordicCore::run, py::arg("inputs"), py::arg("threads"));

  m.def("fft_setting_keys", [] { return names(zel::fft_setting_keys()); });
  m.def("fft_field_names", [] { return names(zel::fft_field_names()); });
  m.def("cordic_setting_keys", [] { return names(zel::cordic_setting_keys()); });
  m.def("cordic_field_names", [] { return names(zel::cordic_field_names()); });
  m.def(
      "cordic_signature",
      [](std::uint32_t function) {
        const auto &s = zel::cordic_signature(function);
        return py::make_tuple(names(s.inputs), names(s.outputs));
      },
      py::arg("function"));
  m.def("hardware_threads", [] { return workers_for(0); });
}
