// zelvec fft RUN.toml: stimulus frames through the FFT model, written with
// the expected results, block exponents, overflow flags and a manifest.
#include "commands.h"
#include "models.h"
#include "parallel.h"
#include "settings.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace zelvec {

namespace {

constexpr std::size_t kMaxWords = std::size_t{1} << 26;  // per quantity (64 Mi words; about 4 GiB in all)

struct Tone {
  double bin = 0, amplitude = 0, phase = 0;  // phase in cycles
};

struct FftRun {
  korvane_ip_zelfft_v9_0_generics g{};
  std::size_t frames = 1;
  std::int32_t nfft = 0;
  std::size_t n = 0;
  bool forward = true;
  bool uses_schedule = false;
  bool per_frame = false;
  std::vector<std::int32_t> schedule;  // stages values, or frames * stages
  std::int32_t stages = 0;
  const toml::node *schedule_node = nullptr;
  json stimulus;                       // as recorded in the manifest
  Formats formats;
  std::string folder;
};

bool float_mode(const FftRun &r) { return r.g.C_USE_FLT_PT == 1; }

zel::WordSpec input_spec(const FftRun &r) {
  return float_mode(r) ? zel::WordSpec{32, false} : zel::WordSpec{r.g.C_INPUT_WIDTH, true};
}

zel::WordSpec output_spec(const FftRun &r) {
  if (float_mode(r)) return {32, false};
  return {r.g.C_INPUT_WIDTH + (r.g.C_NFFT_MAX + 1) * (1 - r.g.C_HAS_SCALING), true};
}

// A value in [-1, 1] as an input word: nearest grid point (ties to even),
// held to the word range; or the single-precision pattern in float mode.
struct Quantiser {
  bool float_data;
  double scale;
  std::int64_t lo, hi;
  std::size_t clipped = 0;
  std::int64_t operator()(double v) {
    if (float_data) return static_cast<std::int64_t>(std::bit_cast<std::uint32_t>(static_cast<float>(v)));
    double w = std::nearbyint(v * scale);
    if (w > static_cast<double>(hi)) ++clipped, w = static_cast<double>(hi);
    if (w < static_cast<double>(lo)) ++clipped, w = static_cast<double>(lo);
    return static_cast<std::int64_t>(w);
  }
};

// Uniform double in [0, 1) from 53 bits of the generator (the same on every
// platform, unlike the standard distributions).
double unit(std::mt19937_64 &rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

void read_stimulus_file(Section &s, const FftRun &r, std::vector<std::int64_t> &re, std::vector<std::int64_t> &im,
                        const std::string &run_dir) {
  const std::size_t count = r.frames * r.n;
  const zel::WordSpec wfmt = input_spec(r);
  auto path_of = [&](const std::string &p) { return (fs::path(run_dir) / p).lexically_normal().string(); };
  auto check = [&](const std::string &file, const std::vector<std::int64_t> &words) {
    if (words.size() != count)
      throw InputError(file + ": holds " + std::to_string(words.size()) + " words; the run needs " +
                       std::to_string(r.frames) + " frames x " + std::to_string(r.n) + " = " + std::to_string(count));
    for (std::size_t i = 0; i < words.size(); ++i)
      if (!zel::word_fits(words[i], wfmt))
        throw InputError(file + ": word " + std::to_string(i) + " (" + std::to_string(words[i]) + ") does not fit " +
                         std::to_string(wfmt.width) + (wfmt.is_signed ? "-bit signed" : "-bit unsigned") + " input words");
  };
  // One quantity from a file whose format its extension names.
  auto load = [&](const std::string &key, const std::string &quantity) {
    const auto p = s.text(key);
    if (!p) return std::vector<std::int64_t>(count, 0);
    const std::string file = path_of(*p);
    const std::string ext = fs::path(file).extension().string();
    std::vector<std::int64_t> words;
    if (ext == ".hex" || ext == ".mem" || ext == ".txt") {
      words = zel::read_hex_file(file, wfmt);
    } else if (ext == ".npy") {
      words = zel::read_npy_file(file).data;
    } else if (ext == ".csv") {
      const zel::CsvTable t = zel::read_csv_file(file);
      const auto *c = t.column(quantity);
      if (!c && t.names.size() == 1) c = &t.columns[0];
      if (!c) throw InputError(file + ": no column named \"" + quantity + "\"");
      words = *c;
    } else {
      s.fail(key, "expected a .hex, .mem, .npy or .csv file, found \"" + *p + "\"");
    }
    check(file, words);
    return words;
  };
  if (const auto p = s.text("packed")) {
    if (s.has("re") || s.has("im")) s.fail("packed", "give either packed or re/im files, not both");
    const std::string file = path_of(*p);
    zel::parse_hex_packed(zel::read_file(file), wfmt, file, re, im);
    check(file, re);
  } else {
    if (!s.has("re")) s.missing("re", "a stimulus file (re, and im or packed)");
    re = load("re", "re");
    im = load("im", "im");
  }
}

// Fills the stimulus words from the [stimulus] table.
void make_stimulus(Section &s, FftRun &r, std::vector<std::int64_t> &re, std::vector<std::int64_t> &im,
                   const std::string &run_dir, unsigned threads) {
  const auto type = s.word("type", {"impulse", "tones", "chirp", "noise", "random", "full_scale", "most_negative", "file"});
  if (!type) s.missing("type", "the kind of stimulus");
  json &rec = r.stimulus;
  rec["type"] = *type;
  const std::size_t count = r.frames * r.n;
  re.assign(count, 0);
  im.assign(count, 0);
  const zel::WordSpec wfmt = input_spec(r);
  Quantiser q{float_mode(r), std::ldexp(1.0, wfmt.width - 1), zel::word_min(wfmt), zel::word_max(wfmt)};
  const double N = static_cast<double>(r.n);
  const double two_pi = 2 * std::numbers::pi;

  if (*type == "impulse") {
    const auto pos = s.integer("position", 0, static_cast<std::int64_t>(r.n) - 1).value_or(0);
    const double a = s.number("amplitude", -1, 1).value_or(0.5);
    rec["position"] = pos;
    rec["amplitude"] = a;
    for (std::size_t f = 0; f < r.frames; ++f) re[f * r.n + static_cast<std::size_t>(pos)] = q(a);
  } else if (*type == "tones") {
    const toml::node *n = s.get("tones");
    if (!n) s.missing("tones", "a list of tones, e.g. [{ bin = 17, amplitude = 0.25 }]");
    const auto *list = n->as_array();
    if (!list || list->empty()) s.fail_at(*n, "tones", "expected a list of tones, e.g. [{ bin = 17, amplitude = 0.25 }]");
    std::vector<Tone> tones;
    rec["tones"] = json::array();
    for (std::size_t i = 0; i < list->size(); ++i) {
      const auto *t = (*list)[i].as_table();
      if (!t) s.fail_at((*list)[i], "tones", "expected a table { bin = ..., amplitude = ... }, found " + kind_of((*list)[i]));
      Section ts(*t, s.file(), "stimulus.tones[" + std::to_string(i) + "]");
      Tone tone;
      const auto bin = ts.number("bin", -N, N);
      if (!bin) ts.missing("bin", "the tone's frequency in bins (cycles per frame)");
      tone.bin = *bin;
      tone.amplitude = ts.number("amplitude", 0, 1).value_or(0.25);
      tone.phase = ts.number("phase", -1, 1).value_or(0);
      ts.finish();
      tones.push_back(tone);
      rec["tones"].push_back({{"bin", tone.bin}, {"amplitude", tone.amplitude}, {"phase", tone.phase}});
    }
    // Time runs on across frames; the phase is reduced to one cycle before
    // the cosine so that long runs keep their precision. Every sample is a
    // function of its index alone: frames on the run's threads.
    std::atomic<std::size_t> clipped{0};
    zel::parallel_ranges(
        r.frames, threads, [&] { return Quantiser{q.float_data, q.scale, q.lo, q.hi}; },
        [&](Quantiser &qf, std::size_t first, std::size_t last) {
          for (std::size_t f = first; f < last; ++f)
            for (std::size_t k = 0; k < r.n; ++k) {
              const double t = static_cast<double>(f * r.n + k);
              double vr = 0, vi = 0;
              for (const Tone &tone : tones) {
                // x - trunc(x) is exactly fmod(x, 1) (at a fraction of its
                // cost) but for the sign of a zero, which the sums drop.
                const double x = tone.bin * t / N + tone.phase, cycles = x - std::trunc(x);
                vr += tone.amplitude * std::cos(two_pi * cycles);
                vi += tone.amplitude * std::sin(two_pi * cycles);
              }
              re[f * r.n + k] = qf(vr);
              im[f * r.n + k] = qf(vi);
            }
          clipped += qf.clipped;
        });
    q.clipped += clipped.load();
  } else if (*type == "chirp") {
    const double a = s.number("amplitude", 0, 1).value_or(0.5);
    const double b0 = s.number("start_bin", -N, N).value_or(0);
    const double b1 = s.number("stop_bin", -N, N).value_or(N / 2);
    rec["amplitude"] = a;
    rec["start_bin"] = b0;
    rec["stop_bin"] = b1;
    // Linear sweep from b0 to b1 bins within each frame.
    for (std::size_t k = 0; k < r.n; ++k) {
      const double t = static_cast<double>(k);
      const double cycles = std::fmod((b0 * t + (b1 - b0) * t * t / (2 * N)) / N, 1.0);
      const std::int64_t wr = q(a * std::cos(two_pi * cycles)), wi = q(a * std::sin(two_pi * cycles));
      for (std::size_t f = 0; f < r.frames; ++f) re[f * r.n + k] = wr, im[f * r.n + k] = wi;
    }
  } else if (*type == "noise" || *type == "random") {
    const auto seed = s.integer("seed", 0, INT64_MAX).value_or(1);
    rec["seed"] = seed;
    std::mt19937_64 rng(static_cast<std::uint64_t>(seed));
    if (*type == "noise") {
      // Uniform white noise in [-a, a) on both parts.
      const double a = s.number("amplitude", 0, 1).value_or(0.5);
      rec["amplitude"] = a;
      for (std::size_t i = 0; i < count; ++i) {
        re[i] = q(a * (2 * unit(rng) - 1));
        im[i] = q(a * (2 * unit(rng) - 1));
      }
    } else if (float_mode(r)) {
      for (std::size_t i = 0; i < count; ++i) {
        re[i] = q(2 * unit(rng) - 1);
        im[i] = q(2 * unit(rng) - 1);
      }
    } else {
      // Every word of the input width equally likely, both extremes included.
      const std::uint64_t range = std::uint64_t{1} << wfmt.width;
      for (std::size_t i = 0; i < count; ++i) {
        re[i] = zel::word_min(wfmt) + static_cast<std::int64_t>(rng() % range);
        im[i] = zel::word_min(wfmt) + static_cast<std::int64_t>(rng() % range);
      }
    }
  } else if (*type == "full_scale" || *type == "most_negative") {
    const std::int64_t w = float_mode(r) ? q(*type == "full_scale" ? 1.0 : -1.0)
                                         : (*type == "full_scale" ? zel::word_max(wfmt) : zel::word_min(wfmt));
    re.assign(count, w);
    im.assign(count, w);
  } else {
    read_stimulus_file(s, r, re, im, run_dir);
    for (const char *key : {"re", "im", "packed"})
      if (s.has(key)) rec[key] = *s.table()[key].value<std::string>();
  }
  if (q.clipped) rec["clipped_samples"] = q.clipped;
  s.finish();
}

// The conservative schedule: enough right shift in every stage that no
// stage can overflow (a radix-4 stage grows by up to 2.3 bits, a radix-2
// stage by up to 1.3).
std::vector<std::int32_t> default_schedule(const FftRun &r) {
  std::vector<std::int32_t> s(static_cast<std::size_t>(r.stages), r.g.C_ARCH == 2 || r.g.C_ARCH == 4 ? 1 : 2);
  s[0] += 1;
  if (r.g.C_ARCH != 2 && r.g.C_ARCH != 4 && (r.nfft & 1)) s.back() = 1;
  return s;
}

void read_transform(Section &t, FftRun &r) {
  t.expect_keys({"nfft", "direction", "schedule"});
  if (const auto n = t.integer("nfft", 3, 16)) {
    if (r.g.C_HAS_NFFT != 1 && *n != r.g.C_NFFT_MAX)
      t.fail("nfft", "the transform length can differ from nfft_max (" + std::to_string(r.g.C_NFFT_MAX) +
                         ") only on a core with run_time_nfft = true");
    if (*n > r.g.C_NFFT_MAX)
      t.fail("nfft", "expected at most nfft_max (" + std::to_string(r.g.C_NFFT_MAX) + "), found " + std::to_string(*n));
    r.nfft = static_cast<std::int32_t>(*n);
  }
  r.forward = t.word("direction", {"forward", "inverse"}).value_or("forward") == "forward";
  r.n = std::size_t{1} << r.nfft;
  r.stages = r.g.C_ARCH == 2 || r.g.C_ARCH == 4 ? r.nfft : (r.nfft + 1) / 2;
  r.uses_schedule = r.g.C_HAS_SCALING == 1 && r.g.C_HAS_BFP == 0 && r.g.C_USE_FLT_PT == 0;
  r.schedule_node = t.get("schedule");
  if (!r.schedule_node) {
    if (r.uses_schedule) r.schedule = default_schedule(r);
    return;
  }
  const toml::node &node = *r.schedule_node;
  if (!r.uses_schedule)
    t.fail_at(node, "schedule", "this core takes no scaling schedule (it is used only with scaling = \"schedule\" on fixed-point data)");
  const auto *list = node.as_array();
  const std::string expected = "a list of " + std::to_string(r.stages) + " right shifts (0..3), or one such list per frame";
  if (!list || list->empty()) t.fail_at(node, "schedule", "expected " + expected);
  auto read_list = [&](const toml::array &a, const toml::node &where_node) {
    for (const auto &v : a) {
      const auto *i = v.as_integer();
      if (!i) t.fail_at(v, "schedule", "expected " + expected + ", found " + kind_of(v));
      if (i->get() < INT32_MIN || i->get() > INT32_MAX) t.fail_at(v, "schedule", "value out of range");
      r.schedule.push_back(static_cast<std::int32_t>(i->get()));
    }
    if (a.size() != static_cast<std::size_t>(r.stages))
      t.fail_at(where_node, "schedule", "expected " + std::to_string(r.stages) + " stage shifts for nfft " +
                                            std::to_string(r.nfft) + ", found " + std::to_string(a.size()));
  };
  if ((*list)[0].is_array()) {
    r.per_frame = true;
    if (list->size() != r.frames)
      t.fail_at(node, "schedule", "expected one list per frame (" + std::to_string(r.frames) + "), found " +
                                      std::to_string(list->size()));
    for (const auto &fr : *list) {
      if (!fr.is_array()) t.fail_at(fr, "schedule", "expected a list per frame, found " + kind_of(fr));
      read_list(*fr.as_array(), fr);
    }
  } else {
    read_list(*list, node);
  }
}

// DFT of one frame (iterative radix-2) in double precision, the reference
// for the SQNR figure: its own rounding stays some 300 dB below the signal,
// far under the noise of any core (34-bit words reach about 200 dB), so the
// figure is that of the core to all the digits it is given with. Products
// are written out: the library's complex product checks every result for
// infinities and NaNs, and took most of a long run. The twiddle factors of
// every stage are computed once per run.
class ReferenceFft {
 public:
  using Complex = std::complex<double>;

  ReferenceFft(std::size_t n, bool forward) : n_(n) {
    const long double sign = forward ? -1.0L : 1.0L;
    // Stage len (2, 4, ..., n) uses len / 2 factors, from index len / 2 - 1.
    for (std::size_t len = 2; len <= n; len <<= 1)
      for (std::size_t k = 0; k < len / 2; ++k) {
        const long double a = sign * 2 * std::numbers::pi_v<long double> * static_cast<long double>(k) /
                              static_cast<long double>(len);
        w_.emplace_back(static_cast<double>(std::cos(a)), static_cast<double>(std::sin(a)));
      }
  }

  void operator()(std::vector<Complex> &x) const {
    const std::size_t n = n_;
    for (std::size_t i = 1, j = 0; i < n; ++i) {
      std::size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
      const Complex *w = w_.data() + (len / 2 - 1);
      for (std::size_t k = 0; k < len / 2; ++k) {
        const double wr = w[k].real(), wi = w[k].imag();
        for (std::size_t i = 0; i < n; i += len) {
          const Complex u = x[i + k], b = x[i + k + len / 2];
          const Complex v(b.real() * wr - b.imag() * wi, b.real() * wi + b.imag() * wr);
          x[i + k] = u + v;
          x[i + k + len / 2] = u - v;
        }
      }
    }
  }

 private:
  std::size_t n_;
  std::vector<Complex> w_;
};

}  // namespace

int run_fft(const RunOptions &options) {
  const toml::table doc = parse_run_file(options.run_file);
  const std::string &file = options.run_file;
  const std::string run_dir = fs::path(file).parent_path().string();
  Section top(doc, file, "");
  top.expect_keys({"frames", "output", "formats", "packed", "core", "transform", "stimulus"});
  FftRun r;

  // Core configuration: readable names or raw record fields, applied in
  // order over the hardware defaults; the library judges the values.
  r.g = korvane_ip_zelfft_v9_0_get_default_generics();
  json core_given = json::object();
  std::optional<Section> core = top.section("core");
  if (core) {
    refuse_shared_fields(*core, zel::fft_setting_fields);
    for (const auto &[k, node] : core->table()) {
      const std::string key(k.str());
      core->get(key);
      const zel::SettingValue value = core->setting_value(key, node);
      try {
        zel::set_fft_setting(r.g, key, value);
      } catch (const zel::SettingError &e) {
        throw InputError(where(file, k, node) + ": core: " + e.what());
      }
      std::visit([&](const auto &v) { core_given[key] = v; }, value);
    }
  }
  try {
    zel::FftModel probe(r.g);
  } catch (const zel::ModelError &e) {
    throw InputError(where(file, core ? static_cast<const toml::node &>(core->table()) : doc) + ": core: " + e.what());
  }

  r.frames = static_cast<std::size_t>(top.integer("frames", 1, 10'000'000).value_or(1));
  r.nfft = r.g.C_NFFT_MAX;
  const toml::table no_transform;  // an absent [transform] reads as an empty one
  Section transform = top.section("transform").value_or(Section(no_transform, file, "transform"));
  read_transform(transform, r);
  if (r.frames * r.n > kMaxWords)
    top.fail("frames", "the run would hold " + std::to_string(r.frames * r.n) + " samples per quantity; at most " +
                           std::to_string(kMaxWords) + " fit one vector set");

  std::vector<std::int64_t> in_re, in_im;
  {
    auto s = top.section("stimulus");
    if (!s) top.missing("stimulus", "a [stimulus] table");
    make_stimulus(*s, r, in_re, in_im, run_dir, options.threads);
  }
  r.formats = read_formats(top, true);
  r.folder = output_folder(options, top, fs::path(file).stem().string() + "_vectors");
  top.finish();
  OutputSet set(r.folder);
  set.set_threads(options.threads);

  // Words to the model's doubles: w / 2^(W-1), or the single-precision value.
  const std::size_t count = r.frames * r.n;
  const zel::WordSpec ispec = input_spec(r), ospec = output_spec(r);
  const double in_scale = std::ldexp(1.0, -(ispec.width - 1));
  std::vector<double> xr(count), xi(count), yr(count), yi(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (float_mode(r)) {
      xr[i] = std::bit_cast<float>(static_cast<std::uint32_t>(in_re[i]));
      xi[i] = std::bit_cast<float>(static_cast<std::uint32_t>(in_im[i]));
    } else {
      xr[i] = static_cast<double>(in_re[i]) * in_scale;
      xi[i] = static_cast<double>(in_im[i]) * in_scale;
    }
  }

  // The stimulus files are written while the frames run.
  const std::string encoding = float_mode(r) ? "ieee754_binary32" : "twos_complement";
  const std::string in_order = "frame after frame; within a frame x[n] for n = 0 .. N-1 in time order";
  set.add_columns("input", "stimulus", {{"re", ispec, encoding, &in_re}, {"im", ispec, encoding, &in_im}}, r.n,
                  r.formats, in_order);
  set.start_writing();

  std::vector<std::int32_t> block_exp(r.frames, 0), overflow(r.frames, 0);
  std::set<std::string> warnings;  // the model's warning lines (floating-point inputs), distinct
  {
    Progress progress("zelvec fft: frames", r.frames);
    const std::size_t chunk = std::max<std::size_t>(256, r.frames / 100);
    for (std::size_t first = 0; first < r.frames; first += chunk) {
      const std::size_t frames = std::min(chunk, r.frames - first);
      zel::FftBatch b;
      b.frames = frames;
      b.n = static_cast<std::int32_t>(r.n);
      b.re = xr.data() + first * r.n;
      b.im = xi.data() + first * r.n;
      b.schedule_size = r.uses_schedule ? r.stages : 0;
      b.schedule = r.schedule.empty() ? nullptr
                                      : r.schedule.data() + (r.per_frame ? first * static_cast<std::size_t>(r.stages) : 0);
      b.schedule_per_frame = r.per_frame;
      b.nfft = r.nfft;
      b.forward = r.forward;
      b.out_re = yr.data() + first * r.n;
      b.out_im = yi.data() + first * r.n;
      b.block_exp = block_exp.data() + first;
      b.overflow = overflow.data() + first;
      const auto results = zel::run_fft_batch(r.g, b, options.threads);
      for (std::size_t f = 0; f < frames; ++f) {
        for (const auto &w : results[f].warnings)
          if (warnings.size() < 10) warnings.insert(w);
        if (results[f].code != 0) {
          const std::string at = r.schedule_node ? where(file, *r.schedule_node) + ": transform.schedule" : file;
          throw InputError(at + ": frame " + std::to_string(first + f) + ": " + results[f].error);
        }
      }
      progress.update(first + frames);
    }
  }

  // Results to words: X * 2^(W-1) on the output grid, or the single-precision pattern.
  std::vector<std::int64_t> out_re(count), out_im(count);
  const double out_scale = std::ldexp(1.0, ispec.width - 1);
  for (std::size_t i = 0; i < count; ++i) {
    if (float_mode(r)) {
      out_re[i] = std::bit_cast<std::uint32_t>(static_cast<float>(yr[i]));
      out_im[i] = std::bit_cast<std::uint32_t>(static_cast<float>(yi[i]));
    } else {
      out_re[i] = static_cast<std::int64_t>(yr[i] * out_scale);
      out_im[i] = static_cast<std::int64_t>(yi[i] * out_scale);
      if (static_cast<double>(out_re[i]) != yr[i] * out_scale || static_cast<double>(out_im[i]) != yi[i] * out_scale)
        throw std::logic_error("result " + std::to_string(i) + " is not on the " + std::to_string(ospec.width) +
                               "-bit output grid");
    }
  }

  // SQNR of the whole run against a DFT of the same input words,
  // the model's results taken back to their true scale.
  // Frames on the run's threads, each frame's sums in its own place, then
  // added in frame order: the same figure for any number of threads.
  long double signal = 0, noise = 0;
  {
    const ReferenceFft reference(r.n, r.forward);
    std::vector<long double> frame_signal(r.frames), frame_noise(r.frames);
    zel::parallel_ranges(
        r.frames, options.threads, [&] { return std::vector<ReferenceFft::Complex>(r.n); },
        [&](std::vector<ReferenceFft::Complex> &x, std::size_t first, std::size_t last) {
          for (std::size_t f = first; f < last; ++f) {
            for (std::size_t k = 0; k < r.n; ++k) x[k] = {xr[f * r.n + k], xi[f * r.n + k]};
            reference(x);
            int shift = 0;
            if (r.uses_schedule)
              for (std::int32_t s = 0; s < r.stages; ++s)
                shift += r.schedule[(r.per_frame ? f * static_cast<std::size_t>(r.stages) : 0) + static_cast<std::size_t>(s)];
            else if (r.g.C_HAS_BFP == 1 && !float_mode(r))
              shift = block_exp[f];
            const double scale = std::ldexp(1.0, shift);
            long double fs = 0, fn = 0;  // sums of many terms keep the extra digits
            for (std::size_t k = 0; k < r.n; ++k) {
              const double dr = x[k].real() - yr[f * r.n + k] * scale, di = x[k].imag() - yi[f * r.n + k] * scale;
              fs += std::norm(x[k]);
              fn += dr * dr + di * di;
            }
            frame_signal[f] = fs;
            frame_noise[f] = fn;
          }
        });
    for (std::size_t f = 0; f < r.frames; ++f) {
      signal += frame_signal[f];
      noise += frame_noise[f];
    }
  }
  // Infinite or NaN results (floating-point cores) leave it undefined.
  const double sqnr = !std::isfinite(static_cast<double>(noise)) || !std::isfinite(static_cast<double>(signal))
                          ? NAN
                          : noise > 0 ? static_cast<double>(10 * std::log10(signal / noise)) : INFINITY;

  // Files.
  const std::string out_order =
      "frame after frame; within a frame X[k] for k = 0 .. N-1 in natural frequency order (not bit-reversed)";
  set.add_columns("output", "expected", {{"re", ospec, encoding, &out_re}, {"im", ospec, encoding, &out_im}}, r.n,
                  r.formats, out_order);
  std::vector<std::int64_t> bexp(block_exp.begin(), block_exp.end()), ovf(overflow.begin(), overflow.end());
  set.add_columns("frame", "expected",
                  {{"block_exp", {8, true}, "twos_complement", &bexp}, {"overflow", {1, false}, "unsigned", &ovf}}, 0,
                  {r.formats.hex, r.formats.npy, r.formats.csv, false}, "one word per frame, frame 0 first", "frame");
  std::vector<std::int64_t> words;
  if (r.uses_schedule) {
    // The scaling word as the core takes it: stage 0 in bits 1..0.
    for (std::size_t f = 0; f < (r.per_frame ? r.frames : 1); ++f) {
      std::int64_t w = 0;
      for (std::int32_t s = r.stages; s-- > 0;)
        w = w * 4 + r.schedule[f * static_cast<std::size_t>(r.stages) + static_cast<std::size_t>(s)];
      words.push_back(w);
    }
    if (!r.per_frame) words.resize(r.frames, words[0]);
    set.add_columns("schedule", "stimulus", {{"word", {2 * r.stages, false}, "unsigned", &words}}, 0,
                    {r.formats.hex, r.formats.npy, r.formats.csv, false},
                    "one scaling word per frame, frame 0 first; stage s shifts right by bits 2s+1..2s", "frame");
  }

  json m;
  m["kind"] = "fft";
  m.update(versions("fft"));
  m["run_file"] = fs::path(file).filename().string();
  json cfg = json::object();
  for (const auto &[k, v] : zel::fft_readable(r.g)) std::visit([&](const auto &x) { cfg[k] = x; }, v);
  m["configuration"] = cfg;
  json raw = json::object();
  for (const auto &[k, v] : zel::fft_raw(r.g)) raw[k] = v;
  m["record"] = raw;
  m["configuration_given"] = core_given;
  json tr;
  tr["frames"] = r.frames;
  tr["nfft"] = r.nfft;
  tr["points"] = r.n;
  tr["direction"] = r.forward ? "forward" : "inverse";
  tr["input_width"] = ispec.width;
  tr["output_width"] = ospec.width;
  m["transform"] = tr;
  json sc;
  if (float_mode(r)) {
    sc["mode"] = "float";
    sc["meaning"] = "words are IEEE single-precision patterns of x[n] and X[k]; block_exp is 0";
  } else if (r.uses_schedule) {
    sc["mode"] = "schedule";
    if (r.per_frame) {
      json per = json::array();
      for (std::size_t f = 0; f < r.frames; ++f)
        per.push_back(std::vector<std::int32_t>(r.schedule.begin() + static_cast<std::ptrdiff_t>(f * r.stages),
                                                r.schedule.begin() + static_cast<std::ptrdiff_t>((f + 1) * r.stages)));
      sc["schedule_per_frame"] = per;
    } else {
      sc["schedule"] = r.schedule;
      int total = 0;
      for (auto v : r.schedule) total += v;
      sc["total_shift"] = total;
    }
    sc["schedule_given"] = r.schedule_node != nullptr;
    sc["meaning"] = "X[k] = output word / 2^" + std::to_string(ispec.width - 1) +
                    " x 2^(sum of the frame's schedule); each stage shifts right by its schedule entry, stage 0 first";
  } else if (r.g.C_HAS_BFP == 1) {
    sc["mode"] = "bfp";
    sc["meaning"] = "X[k] = output word / 2^" + std::to_string(ispec.width - 1) + " x 2^block_exp of its frame";
  } else {
    sc["mode"] = "none";
    sc["meaning"] = "X[k] = output word / 2^" + std::to_string(ispec.width - 1) + "; the output words carry " +
                    std::to_string(r.g.C_NFFT_MAX + 1) + " more integer bits than the input words (full growth)";
  }
  m["scaling"] = sc;
  m["stimulus"] = r.stimulus;
  json seeds = json::array();
  if (r.stimulus.contains("seed")) seeds.push_back(r.stimulus["seed"]);
  m["seeds"] = seeds;
  if (!warnings.empty()) m["model_warnings"] = warnings;
  m["sqnr_db"] = std::isfinite(sqnr) ? json(std::round(sqnr * 100) / 100) : std::isnan(sqnr) ? json(nullptr) : json("exact");
  const std::size_t files = set.file_count() + 1;
  set.commit(std::move(m));

  if (!options.quiet) {
    std::printf("fft: %zu frame%s of %zu points -> %s (%zu files)", r.frames, r.frames == 1 ? "" : "s", r.n,
                r.folder.c_str(), files);
    if (std::isfinite(sqnr)) std::printf("; SQNR %.1f dB", sqnr);
    else if (std::isnan(sqnr)) std::printf("; SQNR undefined (results not finite)");
    else std::printf("; results exact");
    std::printf(warnings.empty() ? "\n" : "; the model warned (see model_warnings in the manifest)\n");
  }
  return 0;
}

}  // namespace zelvec
