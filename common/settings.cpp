#include "settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <limits>

namespace zel {

namespace {

using Generics = korvane_ip_zelfft_v9_0_generics;

std::string quoted(std::string_view s) {
  std::string r(1, '"');
  r.append(s);
  r.push_back('"');
  return r;
}

// Edit distance, for the "did you mean" hint of an unknown key.
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

[[noreturn]] void unknown_key(std::string_view what, std::string_view key,
                              const std::vector<std::string_view> &readable,
                              const std::vector<std::string_view> &raw) {
  std::string message = "unknown " + std::string(what) + " setting " + quoted(key);
  std::string_view best = closest_name(key, readable);
  if (best.empty()) best = closest_name(key, raw);
  if (!best.empty()) {
    message += "; did you mean " + quoted(best) + "?";
  } else {
    message += "; expected one of";
    for (std::size_t i = 0; i < readable.size(); ++i) message += (i ? ", " : " ") + std::string(readable[i]);
  }
  throw SettingError(std::string(key), message);
}

[[noreturn]] void bad_value(std::string_view key, const SettingValue &value, std::string_view expected) {
  throw SettingError(std::string(key),
                     quoted(key) + ": expected " + std::string(expected) + ", got " + describe(value));
}

// An integer the field can hold. Booleans are not integers here: `true` for a
// width is a mistake worth reporting.
std::int64_t as_integer(std::string_view key, const SettingValue &value, std::int64_t lo, std::int64_t hi,
                        std::string_view expected) {
  if (const auto *i = std::get_if<std::int64_t>(&value); i && *i >= lo && *i <= hi) return *i;
  bad_value(key, value, expected);
}

// A switch: true/false, or the record's own 0/1.
bool as_switch(std::string_view key, const SettingValue &value) {
  if (const auto *b = std::get_if<bool>(&value)) return *b;
  if (const auto *i = std::get_if<std::int64_t>(&value); i && (*i == 0 || *i == 1)) return *i == 1;
  bad_value(key, value, "true or false");
}

// A word from a list (index = code), or the code itself.
std::int64_t as_choice(std::string_view key, const SettingValue &value, const std::vector<std::string_view> &words,
                       std::int64_t first_code, std::int64_t last_code) {
  if (const auto *s = std::get_if<std::string>(&value)) {
    for (std::size_t i = 0; i < words.size(); ++i)
      if (!words[i].empty() && *s == words[i]) return first_code + static_cast<std::int64_t>(i);
  } else if (const auto *i = std::get_if<std::int64_t>(&value); i && *i >= first_code && *i <= last_code) {
    return *i;
  }
  std::string expected;
  for (std::string_view w : words)
    if (!w.empty()) expected += (expected.empty() ? "" : ", ") + quoted(w);
  expected += " or " + std::to_string(first_code) + " to " + std::to_string(last_code);
  bad_value(key, value, expected);
}

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();

const std::vector<std::string_view> kArchWords = {"radix4", "radix2", "pipelined", ""};
const std::vector<std::string_view> kScalingWords = {"none", "schedule", "bfp"};
const std::vector<std::string_view> kFftRoundingWords = {"truncate", "convergent"};

const std::vector<std::string_view> kFunctionWords = {"rotate", "translate", "sin_cos", "atan",
                                                      "sinh_cosh", "atanh", "sqrt"};
const std::vector<std::string_view> kDataFormatWords = {"signed_fraction", "unsigned_fraction", "unsigned_integer"};
const std::vector<std::string_view> kPhaseFormatWords = {"radians", "scaled"};
const std::vector<std::string_view> kCordicRoundingWords = {"truncate", "round_half_up", "round_half_away",
                                                            "round_nearest"};

// A raw field of the FFT record: any int32 value, checked by the library.
struct FftField {
  std::string_view name;
  std::int32_t Generics::*member;
};
const std::array<FftField, 9> kFftFields = {{
    {"C_NFFT_MAX", &Generics::C_NFFT_MAX},
    {"C_ARCH", &Generics::C_ARCH},
    {"C_HAS_NFFT", &Generics::C_HAS_NFFT},
    {"C_USE_FLT_PT", &Generics::C_USE_FLT_PT},
    {"C_INPUT_WIDTH", &Generics::C_INPUT_WIDTH},
    {"C_TWIDDLE_WIDTH", &Generics::C_TWIDDLE_WIDTH},
    {"C_HAS_SCALING", &Generics::C_HAS_SCALING},
    {"C_HAS_BFP", &Generics::C_HAS_BFP},
    {"C_HAS_ROUNDING", &Generics::C_HAS_ROUNDING},
}};

using Config = zelip_cordic_v6_0_config;
struct CordicField {
  std::string_view name;
  std::uint32_t Config::*member;
};
const std::array<CordicField, 11> kCordicFields = {{
    {"CordicFunction", &Config::CordicFunction},
    {"CoarseRotate", &Config::CoarseRotate},
    {"DataFormat", &Config::DataFormat},
    {"PhaseFormat", &Config::PhaseFormat},
    {"InputWidth", &Config::InputWidth},
    {"OutputWidth", &Config::OutputWidth},
    {"Iterations", &Config::Iterations},
    {"Precision", &Config::Precision},
    {"RoundMode", &Config::RoundMode},
    {"ScaleComp", &Config::ScaleComp},
    {"Reserved", &Config::Reserved},
}};

}  // namespace

std::string_view closest_name(std::string_view key, const std::vector<std::string_view> &candidates) {
  std::string_view best;
  std::size_t best_d = 3;
  for (std::string_view k : candidates) {
    const std::size_t d = distance(key, k);
    if (d < best_d) best_d = d, best = k;
  }
  return best;
}

std::string describe(const SettingValue &value) {
  if (const auto *b = std::get_if<bool>(&value)) return *b ? "true" : "false";
  if (const auto *i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  return quoted(std::get<std::string>(value));
}

// ---- FFT ----

const std::vector<std::string_view> &fft_setting_keys() {
  static const std::vector<std::string_view> keys = {"nfft_max", "arch",    "input_width", "twiddle_width",
                                                     "scaling",  "rounding", "float_data", "run_time_nfft"};
  return keys;
}

const std::vector<std::string_view> &fft_field_names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> v;
    for (const auto &f : kFftFields) v.push_back(f.name);
    return v;
  }();
  return names;
}

std::string_view fft_arch_name(std::int32_t arch) {
  return arch >= 1 && arch <= 3 ? kArchWords[static_cast<std::size_t>(arch - 1)] : std::string_view();
}

void set_fft_setting(Generics &g, std::string_view key, const SettingValue &value) {
  for (const auto &f : kFftFields)
    if (key == f.name) {
      g.*f.member = static_cast<std::int32_t>(
          as_integer(key, value, -kInt32Max - 1, kInt32Max, "an integer (32-bit signed)"));
      return;
    }
  if (key == "nfft_max") {
    g.C_NFFT_MAX = static_cast<std::int32_t>(as_integer(key, value, 0, kInt32Max, "a non-negative integer"));
  } else if (key == "arch") {
    g.C_ARCH = static_cast<std::int32_t>(as_choice(key, value, kArchWords, 1, 4));
  } else if (key == "input_width") {
    g.C_INPUT_WIDTH = static_cast<std::int32_t>(as_integer(key, value, 0, kInt32Max, "a width in bits"));
  } else if (key == "twiddle_width") {
    g.C_TWIDDLE_WIDTH = static_cast<std::int32_t>(as_integer(key, value, 0, kInt32Max, "a width in bits"));
  } else if (key == "scaling") {
    const std::int64_t code = as_choice(key, value, kScalingWords, 0, 2);
    g.C_HAS_SCALING = code != 0;
    g.C_HAS_BFP = code == 2;
  } else if (key == "rounding") {
    g.C_HAS_ROUNDING = static_cast<std::int32_t>(as_choice(key, value, kFftRoundingWords, 0, 1));
  } else if (key == "float_data") {
    g.C_USE_FLT_PT = as_switch(key, value);
  } else if (key == "run_time_nfft") {
    g.C_HAS_NFFT = as_switch(key, value);
  } else {
    unknown_key("FFT", key, fft_setting_keys(), fft_field_names());
  }
}

std::vector<std::string_view> fft_setting_fields(std::string_view key) {
  for (const auto &f : kFftFields)
    if (key == f.name) return {f.name};
  if (key == "nfft_max") return {"C_NFFT_MAX"};
  if (key == "arch") return {"C_ARCH"};
  if (key == "input_width") return {"C_INPUT_WIDTH"};
  if (key == "twiddle_width") return {"C_TWIDDLE_WIDTH"};
  if (key == "scaling") return {"C_HAS_SCALING", "C_HAS_BFP"};
  if (key == "rounding") return {"C_HAS_ROUNDING"};
  if (key == "float_data") return {"C_USE_FLT_PT"};
  if (key == "run_time_nfft") return {"C_HAS_NFFT"};
  return {};
}

Generics fft_generics_from(const std::vector<std::pair<std::string, SettingValue>> &settings) {
  Generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  for (const auto &[key, value] : settings) set_fft_setting(g, key, value);
  return g;
}

std::vector<std::pair<std::string, SettingValue>> fft_readable(const Generics &g) {
  std::vector<std::pair<std::string, SettingValue>> out;
  out.emplace_back("nfft_max", std::int64_t{g.C_NFFT_MAX});
  const std::string_view arch = fft_arch_name(g.C_ARCH);
  out.emplace_back("arch", arch.empty() ? SettingValue(std::int64_t{g.C_ARCH}) : SettingValue(std::string(arch)));
  out.emplace_back("input_width", std::int64_t{g.C_INPUT_WIDTH});
  out.emplace_back("twiddle_width", std::int64_t{g.C_TWIDDLE_WIDTH});
  out.emplace_back("scaling", std::string(g.C_HAS_SCALING != 1 ? "none" : g.C_HAS_BFP == 1 ? "bfp" : "schedule"));
  out.emplace_back("rounding", std::string(g.C_HAS_ROUNDING == 1 ? "convergent" : "truncate"));
  out.emplace_back("float_data", g.C_USE_FLT_PT == 1);
  out.emplace_back("run_time_nfft", g.C_HAS_NFFT == 1);
  return out;
}

std::vector<std::pair<std::string, std::int64_t>> fft_raw(const Generics &g) {
  std::vector<std::pair<std::string, std::int64_t>> out;
  for (const auto &f : kFftFields) out.emplace_back(std::string(f.name), g.*f.member);
  return out;
}

// ---- CORDIC ----

CordicSettings::CordicSettings() {
  zelip_cordic_v6_0_default_config(&config_);
  name_ = config_.name ? config_.name : "";
  config_.name = name_.c_str();
}

CordicSettings::CordicSettings(const CordicSettings &other) : config_(other.config_), name_(other.name_) {
  config_.name = name_.c_str();
}

CordicSettings &CordicSettings::operator=(const CordicSettings &other) {
  config_ = other.config_;
  name_ = other.name_;
  config_.name = name_.c_str();
  return *this;
}

void CordicSettings::set(std::string_view key, const SettingValue &value) {
  for (const auto &f : kCordicFields)
    if (key == f.name) {
      config_.*f.member =
          static_cast<std::uint32_t>(as_integer(key, value, 0, kUint32Max, "an integer (32-bit unsigned)"));
      return;
    }
  if (key == "name") {
    const auto *s = std::get_if<std::string>(&value);
    if (!s) bad_value(key, value, "a text");
    if (s->find('\0') != std::string::npos) bad_value(key, value, "a text without NUL characters");
    name_ = *s;
    config_.name = name_.c_str();
  } else if (key == "function") {
    config_.CordicFunction = static_cast<std::uint32_t>(as_choice(key, value, kFunctionWords, 0, 6));
  } else if (key == "coarse_rotation") {
    config_.CoarseRotate = as_switch(key, value);
  } else if (key == "data_format") {
    config_.DataFormat = static_cast<std::uint32_t>(as_choice(key, value, kDataFormatWords, 0, 2));
  } else if (key == "phase_format") {
    config_.PhaseFormat = static_cast<std::uint32_t>(as_choice(key, value, kPhaseFormatWords, 0, 1));
  } else if (key == "input_width") {
    config_.InputWidth = static_cast<std::uint32_t>(as_integer(key, value, 0, kUint32Max, "a width in bits"));
  } else if (key == "output_width") {
    config_.OutputWidth = static_cast<std::uint32_t>(as_integer(key, value, 0, kUint32Max, "a width in bits"));
  } else if (key == "iterations") {
    config_.Iterations =
        static_cast<std::uint32_t>(as_integer(key, value, 0, kUint32Max, "a non-negative integer (0: derived)"));
  } else if (key == "precision") {
    config_.Precision =
        static_cast<std::uint32_t>(as_integer(key, value, 0, kUint32Max, "a width in bits (0: derived)"));
  } else if (key == "rounding") {
    config_.RoundMode = static_cast<std::uint32_t>(as_choice(key, value, kCordicRoundingWords, 0, 3));
  } else if (key == "gain_compensation") {
    if (const auto *b = std::get_if<bool>(&value)) {
      config_.ScaleComp = *b ? 1 : 0;
    } else {
      config_.ScaleComp = static_cast<std::uint32_t>(as_integer(key, value, 0, 3, "true, false or 0 to 3"));
    }
  } else if (key == "reserved") {
    config_.Reserved = static_cast<std::uint32_t>(as_integer(key, value, 0, kUint32Max, "an integer (32-bit unsigned)"));
  } else {
    unknown_key("CORDIC", key, cordic_setting_keys(), cordic_field_names());
  }
}

const std::vector<std::string_view> &cordic_setting_keys() {
  static const std::vector<std::string_view> keys = {
      "name",         "function",   "coarse_rotation", "data_format", "phase_format",      "input_width",
      "output_width", "iterations", "precision",       "rounding",    "gain_compensation", "reserved"};
  return keys;
}

const std::vector<std::string_view> &cordic_field_names() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> v = {"name"};
    for (const auto &f : kCordicFields) v.push_back(f.name);
    return v;
  }();
  return names;
}

std::vector<std::string_view> cordic_setting_fields(std::string_view key) {
  for (const auto &f : kCordicFields)
    if (key == f.name) return {f.name};
  static const std::array<std::pair<std::string_view, std::string_view>, 12> kReadable = {{
      {"name", "name"},
      {"function", "CordicFunction"},
      {"coarse_rotation", "CoarseRotate"},
      {"data_format", "DataFormat"},
      {"phase_format", "PhaseFormat"},
      {"input_width", "InputWidth"},
      {"output_width", "OutputWidth"},
      {"iterations", "Iterations"},
      {"precision", "Precision"},
      {"rounding", "RoundMode"},
      {"gain_compensation", "ScaleComp"},
      {"reserved", "Reserved"},
  }};
  for (const auto &[readable, field] : kReadable)
    if (key == readable) return {field};
  return {};
}

CordicSettings cordic_settings_from(const std::vector<std::pair<std::string, SettingValue>> &settings) {
  CordicSettings s;
  for (const auto &[key, value] : settings) s.set(key, value);
  return s;
}

std::string_view cordic_function_name(std::uint32_t function) {
  return function < kFunctionWords.size() ? kFunctionWords[function] : std::string_view();
}

std::vector<std::pair<std::string, SettingValue>> cordic_readable(const Config &c) {
  auto word = [](const std::vector<std::string_view> &words, std::uint32_t code) {
    return code < words.size() ? SettingValue(std::string(words[code])) : SettingValue(std::int64_t{code});
  };
  std::vector<std::pair<std::string, SettingValue>> out;
  out.emplace_back("name", std::string(c.name ? c.name : ""));
  out.emplace_back("function", word(kFunctionWords, c.CordicFunction));
  out.emplace_back("coarse_rotation", c.CoarseRotate == 1);
  out.emplace_back("data_format", word(kDataFormatWords, c.DataFormat));
  out.emplace_back("phase_format", word(kPhaseFormatWords, c.PhaseFormat));
  out.emplace_back("input_width", std::int64_t{c.InputWidth});
  out.emplace_back("output_width", std::int64_t{c.OutputWidth});
  out.emplace_back("iterations", std::int64_t{c.Iterations});
  out.emplace_back("precision", std::int64_t{c.Precision});
  out.emplace_back("rounding", word(kCordicRoundingWords, c.RoundMode));
  out.emplace_back("gain_compensation", std::int64_t{c.ScaleComp});
  out.emplace_back("reserved", std::int64_t{c.Reserved});
  return out;
}

std::vector<std::pair<std::string, std::int64_t>> cordic_raw(const Config &c) {
  std::vector<std::pair<std::string, std::int64_t>> out;
  for (const auto &f : kCordicFields) out.emplace_back(std::string(f.name), c.*f.member);
  return out;
}

const CordicSignature &cordic_signature(std::uint32_t function) {
  static const std::array<CordicSignature, 7> table = {{
      {{"x", "y", "phase"}, {"x", "y"}},
      {{"x", "y"}, {"magnitude", "phase"}},
      {{"phase"}, {"cos", "sin"}},
      {{"x", "y"}, {"phase"}},
      {{"phase"}, {"cosh", "sinh"}},
      {{"x", "y"}, {"phase"}},
      {{"x"}, {"root"}},
  }};
  static const CordicSignature none;
  return function < table.size() ? table[function] : none;
}

}  // namespace zel
