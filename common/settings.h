// Readable configuration names shared by every layer (Python package, vector
// tool, simulator shims, MEX functions), so that a run file, a Python call and
// a MEX struct say the same thing the same way.
//
// A setting is a (key, value) pair. Keys are either the readable names below
// or the record's own field names (C_NFFT_MAX, CordicFunction, ...). Values are
// booleans, integers or texts. A value the record can hold is passed on
// unchecked, so that a width out of the core's range gets the library's own
// configuration message; what the record cannot hold (a wrong type, an unknown
// word, a negative or too large integer) is refused here with a SettingError
// naming the key.
//
// FFT (korvane_ip_zelfft_v9_0_generics):
//   nfft_max       int   log2 of the largest transform length       C_NFFT_MAX
//   arch           "radix4" | "radix2" | "pipelined" or 1..4 (4: the second radix-2 variant)   C_ARCH
//   input_width    int   input sample width in bits                 C_INPUT_WIDTH
//   twiddle_width  int   twiddle factor width in bits               C_TWIDDLE_WIDTH
//   scaling        "schedule" | "bfp" | "none"       C_HAS_SCALING, C_HAS_BFP
//   rounding       "truncate" | "convergent"                        C_HAS_ROUNDING
//   float_data     bool  single-precision data interface            C_USE_FLT_PT
//   run_time_nfft  bool  transform length chosen per call           C_HAS_NFFT
//
// CORDIC (zelip_cordic_v6_0_config):
//   name              text  instance label prefixing processing messages     name
//   function          "rotate" | "translate" | "sin_cos" | "atan" | "sinh_cosh" | "atanh" | "sqrt" or 0..6
//   coarse_rotation   bool  quadrant pre-rotation and post-correction        CoarseRotate
//   data_format       "signed_fraction" | "unsigned_fraction" | "unsigned_integer" or 0..2   DataFormat
//   phase_format      "radians" | "scaled" or 0..1   (scaled: pi = 1)        PhaseFormat
//   input_width       int   width of every input word                         InputWidth
//   output_width      int   width of every output word                        OutputWidth
//   iterations        int   micro-rotations, 0 = derived                      Iterations
//   precision         int   internal data-path width, 0 = derived             Precision
//   rounding          "truncate" | "round_half_up" | "round_half_away" | "round_nearest" or 0..3   RoundMode
//   gain_compensation bool or 0..3 (1, 2 and 3 act alike)                     ScaleComp
//   reserved          int   stored and returned, no effect                    Reserved
#pragma once

#include "brevant.h"
#include "solvine.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zel {

using SettingValue = std::variant<bool, std::int64_t, std::string>;

// A setting the record cannot take. what() is the whole message; key() the
// key as the caller wrote it (empty for errors not tied to one key).
class SettingError : public std::invalid_argument {
 public:
  SettingError(std::string key, const std::string &message)
      : std::invalid_argument(message), key_(std::move(key)) {}
  const std::string &key() const { return key_; }

 private:
  std::string key_;
};

// The candidate spelt closest to key (case ignored, at most two edits away),
// for "did you mean" hints; empty when none is that close.
std::string_view closest_name(std::string_view key, const std::vector<std::string_view> &candidates);

// The value as a short text for messages: true, 12, "radix4".
std::string describe(const SettingValue &value);

// ---- FFT ----

// Readable keys in their documented order.
const std::vector<std::string_view> &fft_setting_keys();
// Raw record field names in record order.
const std::vector<std::string_view> &fft_field_names();

// Applies one setting (readable or raw key) to g.
void set_fft_setting(korvane_ip_zelfft_v9_0_generics &g, std::string_view key, const SettingValue &value);

// Applies settings in order over the hardware's default record.
korvane_ip_zelfft_v9_0_generics fft_generics_from(
    const std::vector<std::pair<std::string, SettingValue>> &settings);

// The record as readable settings (for records the library accepted: a
// scaling combination the core refuses reads as "none"), and as raw fields.
std::vector<std::pair<std::string, SettingValue>> fft_readable(const korvane_ip_zelfft_v9_0_generics &g);
std::vector<std::pair<std::string, std::int64_t>> fft_raw(const korvane_ip_zelfft_v9_0_generics &g);

// The raw record fields a key sets: the field itself for a raw key, one or
// two fields for a readable key (scaling sets C_HAS_SCALING and C_HAS_BFP),
// none for an unknown key. Two keys of one configuration that share a field
// contradict each other (whichever is applied last would silently win).
std::vector<std::string_view> fft_setting_fields(std::string_view key);

// "radix4", "radix2", "pipelined" for 1..3; "" otherwise (4 has no name of its own).
std::string_view fft_arch_name(std::int32_t arch);

// ---- CORDIC ----

// A configuration record that owns its name text (the record's name points
// into name_storage; copying keeps that true).
class CordicSettings {
 public:
  CordicSettings();  // the hardware's default configuration
  CordicSettings(const CordicSettings &other);
  CordicSettings &operator=(const CordicSettings &other);

  const zelip_cordic_v6_0_config &config() const { return config_; }
  const std::string &name() const { return name_; }

  // Applies one setting (readable or raw key).
  void set(std::string_view key, const SettingValue &value);

 private:
  zelip_cordic_v6_0_config config_;
  std::string name_;
};

const std::vector<std::string_view> &cordic_setting_keys();
const std::vector<std::string_view> &cordic_field_names();

// As fft_setting_fields ("name" is both the readable and the raw key).
std::vector<std::string_view> cordic_setting_fields(std::string_view key);

CordicSettings cordic_settings_from(const std::vector<std::pair<std::string, SettingValue>> &settings);

std::vector<std::pair<std::string, SettingValue>> cordic_readable(const zelip_cordic_v6_0_config &c);
std::vector<std::pair<std::string, std::int64_t>> cordic_raw(const zelip_cordic_v6_0_config &c);

// "rotate" ... "sqrt" for 0..6; "" otherwise.
std::string_view cordic_function_name(std::uint32_t function);

// Inputs and outputs of each function, in call order: rotate takes x, y,
// phase and gives x, y; translate takes x, y and gives magnitude, phase;
// sin_cos takes phase and gives cos, sin; atan takes x, y and gives phase;
// sinh_cosh takes phase and gives cosh, sinh; atanh takes x, y and gives
// phase; sqrt takes x and gives root.
struct CordicSignature {
  std::vector<std::string_view> inputs;
  std::vector<std::string_view> outputs;
};
const CordicSignature &cordic_signature(std::uint32_t function);

}  // namespace zel
