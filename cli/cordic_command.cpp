// zelvec cordic RUN.toml: input words of each port of the configured
// function through the CORDIC model, written with the expected output words
// and a manifest.
#include "commands.h"
#include "models.h"
#include "settings.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <random>

namespace fs = std::filesystem;

namespace zelvec {

namespace {

constexpr std::size_t kMaxSamples = std::size_t{1} << 26;

enum class Port { xy, phase, radicand };

struct PortInfo {
  std::string name;
  Port kind;
  zel::WordSpec wfmt;
  std::string meaning;
};

Port port_kind(std::string_view name, std::uint32_t function) {
  if (function == 6) return Port::radicand;
  if (name == "phase") return Port::phase;
  return Port::xy;
}

// Word format and meaning of a port: x and y words have 2 integer bits, phase
// words 3 (in radians or in units of pi); the square root's words follow the
// data format (unsigned for the fraction and integer formats).
PortInfo port_info(std::string_view name, std::uint32_t function, const zelip_cordic_v6_0_config &c, int width) {
  PortInfo p{std::string(name), port_kind(name, function), {width, true}, ""};
  const std::string frac = std::to_string(width - (p.kind == Port::phase ? 3 : 2));
  switch (p.kind) {
    case Port::xy:
      p.meaning = "value = word / 2^" + frac + " (2 integer bits, sign included)";
      break;
    case Port::phase:
      p.meaning = "angle = word / 2^" + frac + (c.PhaseFormat == 1 ? " x pi radians" : " radians") +
                  " (3 integer bits, sign included)";
      break;
    case Port::radicand:
      p.wfmt.is_signed = false;
      p.meaning = c.DataFormat == 2 ? "unsigned integer" : c.DataFormat == 1 ? "unsigned fraction" : "fraction";
      break;
  }
  return p;
}

// The word nearest to value x 2^frac, held to the word range.
std::int64_t to_word(double v, int frac, zel::WordSpec wfmt) {
  const double w = std::nearbyint(std::ldexp(v, frac));
  return static_cast<std::int64_t>(std::clamp(w, static_cast<double>(zel::word_min(wfmt)),
                                              static_cast<double>(zel::word_max(wfmt))));
}

double unit(std::mt19937_64 &rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

}  // namespace

int run_cordic(const RunOptions &options) {
  const toml::table doc = parse_run_file(options.run_file);
  const std::string &file = options.run_file;
  const std::string run_dir = fs::path(file).parent_path().string();
  Section top(doc, file, "");
  top.expect_keys({"samples", "output", "formats", "core", "stimulus"});

  zel::CordicSettings settings;
  json core_given = json::object();
  std::optional<Section> core = top.section("core");
  if (core) {
    refuse_shared_fields(*core, zel::cordic_setting_fields);
    for (const auto &[k, node] : core->table()) {
      const std::string key(k.str());
      core->get(key);
      const zel::SettingValue value = core->setting_value(key, node);
      try {
        settings.set(key, value);
      } catch (const zel::SettingError &e) {
        throw InputError(where(file, k, node) + ": core: " + e.what());
      }
      std::visit([&](const auto &v) { core_given[key] = v; }, value);
    }
  }
  try {
    zel::CordicModel probe(settings);
  } catch (const zel::ModelError &e) {
    throw InputError(where(file, core ? static_cast<const toml::node &>(core->table()) : doc) + ": core: " + e.what());
  }
  const zelip_cordic_v6_0_config &c = settings.config();
  const std::uint32_t function = c.CordicFunction;
  const zel::CordicSignature &sig = zel::cordic_signature(function);
  std::vector<PortInfo> ins, outs;
  for (auto n : sig.inputs) ins.push_back(port_info(n, function, c, static_cast<int>(c.InputWidth)));
  for (auto n : sig.outputs) outs.push_back(port_info(n, function, c, static_cast<int>(c.OutputWidth)));
  if (function == 6 && c.DataFormat == 0) ins[0].wfmt.is_signed = true;  // a non-negative signed fraction

  const auto samples = static_cast<std::size_t>(top.integer("samples", 1, static_cast<std::int64_t>(kMaxSamples)).value_or(1000));
  std::vector<std::vector<std::int64_t>> in_words(ins.size(), std::vector<std::int64_t>(samples));

  // Stimulus.
  json stim;
  {
    auto s = top.section("stimulus");
    if (!s) top.missing("stimulus", "a [stimulus] table");
    const auto type = s->word("type", {"sweep", "random", "words", "edges", "file"});
    if (!type) s->missing("type", "the kind of stimulus: \"sweep\", \"random\", \"words\", \"edges\" or \"file\"");
    stim["type"] = *type;
    if (*type == "sweep" || *type == "random") {
      // Points of the function's natural domain: an angle sweep for the
      // circular functions, a ratio sweep for atanh, radicands from 0 to the
      // largest word for the square root.
      const double m = s->number("magnitude", 0, 1).value_or(0.75);
      stim["magnitude"] = m;
      std::mt19937_64 rng;
      if (*type == "random") {
        const auto seed = s->integer("seed", 0, INT64_MAX).value_or(1);
        stim["seed"] = seed;
        rng.seed(static_cast<std::uint64_t>(seed));
      }
      const double pi_unit = c.PhaseFormat == 1 ? 1.0 : std::numbers::pi;  // pi in phase units
      const bool hyperbolic = function == 4 || function == 5;
      for (std::size_t i = 0; i < samples; ++i) {
        const double t = *type == "random" ? unit(rng) : static_cast<double>(i) / static_cast<double>(samples);
        const double angle = hyperbolic ? -1.0 + 2.0 * t : (-1.0 + 2.0 * t) * std::numbers::pi;  // radians
        for (std::size_t p = 0; p < ins.size(); ++p) {
          const PortInfo &port = ins[p];
          const int w = port.wfmt.width;
          std::int64_t word = 0;
          if (port.kind == Port::radicand) {
            word = static_cast<std::int64_t>(std::floor(t * static_cast<double>(zel::word_max(port.wfmt))));
          } else if (port.kind == Port::phase) {
            word = to_word(angle / std::numbers::pi * pi_unit, w - 3, port.wfmt);
          } else if (function == 5) {  // atanh: x = m, y = m x (-0.8 .. 0.8)
            word = to_word(port.name == "x" ? m : m * 0.8 * (-1.0 + 2.0 * t), w - 2, port.wfmt);
          } else if (function == 0) {  // rotate: the vector (m, 0) turned by the phase
            word = to_word(port.name == "x" ? m : 0.0, w - 2, port.wfmt);
          } else {  // translate, atan: points on a circle of radius m
            word = to_word(port.name == "x" ? m * std::cos(angle) : m * std::sin(angle), w - 2, port.wfmt);
          }
          in_words[p][i] = word;
        }
      }
    } else if (*type == "words") {
      const auto seed = s->integer("seed", 0, INT64_MAX).value_or(1);
      stim["seed"] = seed;
      std::mt19937_64 rng(static_cast<std::uint64_t>(seed));
      for (std::size_t i = 0; i < samples; ++i)
        for (std::size_t p = 0; p < ins.size(); ++p) {
          const zel::WordSpec sp = ins[p].wfmt;
          const auto range = static_cast<std::uint64_t>(zel::word_max(sp) - zel::word_min(sp)) + 1;
          in_words[p][i] = zel::word_min(sp) + static_cast<std::int64_t>(rng() % range);
        }
    } else if (*type == "edges") {
      // Every combination of the extreme words of each port, repeated.
      std::vector<std::vector<std::int64_t>> edges;
      for (const auto &port : ins) {
        const std::int64_t lo = zel::word_min(port.wfmt), hi = zel::word_max(port.wfmt);
        edges.push_back(port.wfmt.is_signed ? std::vector<std::int64_t>{lo, hi, 0, -1, 1, lo + 1, hi - 1}
                                            : std::vector<std::int64_t>{0, hi, 1, hi - 1});
      }
      for (std::size_t i = 0; i < samples; ++i) {
        std::size_t k = i;
        for (std::size_t p = 0; p < ins.size(); ++p) {
          in_words[p][i] = edges[p][k % edges[p].size()];
          k /= edges[p].size();
        }
      }
    } else {
      for (std::size_t p = 0; p < ins.size(); ++p) {
        const auto path = s->text(ins[p].name);
        if (!path) s->missing(ins[p].name, "the file of input port " + ins[p].name);
        stim[ins[p].name] = *path;
        const std::string f = (fs::path(run_dir) / *path).lexically_normal().string();
        const std::string ext = fs::path(f).extension().string();
        std::vector<std::int64_t> words;
        if (ext == ".hex" || ext == ".mem" || ext == ".txt") {
          words = zel::read_hex_file(f, ins[p].wfmt);
        } else if (ext == ".npy") {
          words = zel::read_npy_file(f).data;
        } else if (ext == ".csv") {
          const zel::CsvTable t = zel::read_csv_file(f);
          const auto *col = t.column(ins[p].name);
          if (!col && t.names.size() == 1) col = &t.columns[0];
          if (!col) throw InputError(f + ": no column named \"" + ins[p].name + "\"");
          words = *col;
        } else {
          s->fail(ins[p].name, "expected a .hex, .mem, .npy or .csv file, found \"" + *path + "\"");
        }
        if (words.size() != samples)
          throw InputError(f + ": holds " + std::to_string(words.size()) + " words; the run needs samples = " +
                           std::to_string(samples));
        for (std::size_t i = 0; i < words.size(); ++i)
          if (!zel::word_fits(words[i], ins[p].wfmt))
            throw InputError(f + ": word " + std::to_string(i) + " (" + std::to_string(words[i]) + ") does not fit " +
                             std::to_string(ins[p].wfmt.width) + (ins[p].wfmt.is_signed ? "-bit signed" : "-bit unsigned") +
                             " " + ins[p].name + " words");
        in_words[p] = std::move(words);
      }
    }
    s->finish();
  }
  const Formats formats = read_formats(top, false);
  const std::string folder = output_folder(options, top, fs::path(file).stem().string() + "_vectors");
  top.finish();
  OutputSet set(folder);
  set.set_threads(options.threads);

  // The stimulus files are written while the model runs.
  auto columns = [](const std::vector<PortInfo> &ports, const std::vector<std::vector<std::int64_t>> &words) {
    std::vector<Column> cols;
    for (std::size_t p = 0; p < ports.size(); ++p)
      cols.push_back({ports[p].name, ports[p].wfmt, ports[p].wfmt.is_signed ? "twos_complement" : "unsigned", &words[p]});
    return cols;
  };
  const std::string order = "sample after sample, sample 0 first";
  set.add_columns("input", "stimulus", columns(ins, in_words), 0, formats, order);
  set.start_writing();

  // Model run, in chunks for the progress line.
  std::vector<std::vector<double>> xin(ins.size(), std::vector<double>(samples)),
      yout(outs.size(), std::vector<double>(samples));
  for (std::size_t p = 0; p < ins.size(); ++p)
    for (std::size_t i = 0; i < samples; ++i) xin[p][i] = static_cast<double>(in_words[p][i]);
  {
    Progress progress("zelvec cordic: samples", samples);
    const std::size_t chunk = std::max<std::size_t>(1 << 16, samples / 100);
    std::vector<const double *> ip(ins.size());
    std::vector<double *> op(outs.size());
    for (std::size_t first = 0; first < samples; first += chunk) {
      const std::size_t n = std::min(chunk, samples - first);
      for (std::size_t p = 0; p < ins.size(); ++p) ip[p] = xin[p].data() + first;
      for (std::size_t p = 0; p < outs.size(); ++p) op[p] = yout[p].data() + first;
      try {
        zel::run_cordic_block(settings, ip.data(), op.data(), n, options.threads);
      } catch (const zel::ModelError &e) {
        throw InputError(file + ": samples " + std::to_string(first) + ".." + std::to_string(first + n - 1) + ": " +
                         e.what());
      }
      progress.update(first + n);
    }
  }
  std::vector<std::vector<std::int64_t>> out_words(outs.size(), std::vector<std::int64_t>(samples));
  for (std::size_t p = 0; p < outs.size(); ++p)
    for (std::size_t i = 0; i < samples; ++i) {
      out_words[p][i] = static_cast<std::int64_t>(yout[p][i]);
      if (static_cast<double>(out_words[p][i]) != yout[p][i] || !zel::word_fits(out_words[p][i], outs[p].wfmt))
        throw std::logic_error("output " + outs[p].name + " of sample " + std::to_string(i) + " is not a " +
                               std::to_string(outs[p].wfmt.width) + "-bit word");
    }

  set.add_columns("output", "expected", columns(outs, out_words), 0, formats, order);

  json m;
  m["kind"] = "cordic";
  m.update(versions("cordic"));
  m["run_file"] = fs::path(file).filename().string();
  json cfg = json::object();
  for (const auto &[k, v] : zel::cordic_readable(c)) std::visit([&](const auto &x) { cfg[k] = x; }, v);
  m["configuration"] = cfg;
  json raw = json::object();
  for (const auto &[k, v] : zel::cordic_raw(c)) raw[k] = v;
  m["record"] = raw;
  m["configuration_given"] = core_given;
  json ports = json::object();
  for (const auto *list : {&ins, &outs})
    for (const auto &p : *list) {
      json e;
      e["direction"] = list == &ins ? "input" : "output";
      e["word_width"] = p.wfmt.width;
      e["signed"] = p.wfmt.is_signed;
      e["meaning"] = p.meaning;
      ports[(list == &ins ? "input_" : "output_") + p.name] = e;
    }
  m["ports"] = ports;
  m["samples"] = samples;
  m["stimulus"] = stim;
  json seeds = json::array();
  if (stim.contains("seed")) seeds.push_back(stim["seed"]);
  m["seeds"] = seeds;
  const std::size_t files = set.file_count() + 1;
  set.commit(std::move(m));
  if (!options.quiet)
    std::printf("cordic: %zu %s samples -> %s (%zu files)\n", samples, std::string(zel::cordic_function_name(function)).c_str(),
                folder.c_str(), files);
  return 0;
}

}  // namespace zelvec
