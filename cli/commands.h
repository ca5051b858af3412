// The subcommands of zelvec. Each returns the process exit status; bad input
// throws InputError (exit 2), and a mismatch found by compare returns 1.
#pragma once

#include "output.h"
#include "run_file.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelvec {

inline constexpr const char *kToolVersion = ZELVEC_VERSION;

struct RunOptions {
  std::string run_file;
  std::string output;  // overrides the run file's output folder when not empty
  unsigned threads = 0;
  bool quiet = false;  // no summary on standard output
};

int run_fft(const RunOptions &options);
int run_cordic(const RunOptions &options);

struct CompareOptions {
  std::string expected;
  std::string actual;
  std::int64_t tolerance = 0;   // largest accepted |difference| in LSBs
  int width = 0;                // hex word width when no manifest says it (0: from the digits)
  bool is_unsigned = false;
  bool packed = false;          // hex files of {im, re} words
  std::size_t frame_length = 0; // words per frame for files without frames (0: one frame)
  std::size_t show = 20;        // mismatches listed before the summary
};

int run_compare(const CompareOptions &options);

// Common pieces of the two generating commands.
Formats read_formats(Section &top, bool allow_packed);
// The output folder: the option, else the run file's `output` key (relative
// to the run file's folder), else `default_name` beside the run file.
std::string output_folder(const RunOptions &options, Section &top, const std::string &default_name);
// Refuses a [core] table in which two keys set the same record field (a
// readable name and its raw field, e.g. arch and C_ARCH), naming both keys
// at the later one's position; `fields_of` is zel::fft_setting_fields or
// zel::cordic_setting_fields.
void refuse_shared_fields(const Section &core, std::vector<std::string_view> (*fields_of)(std::string_view));
// Tool and model versions for the manifest.
json versions(const std::string &kind);

// A progress line on standard error for runs longer than a second, rewritten
// in place; only when standard error is a terminal.
class Progress {
 public:
  Progress(std::string label, std::size_t total);
  ~Progress();
  void update(std::size_t done);

 private:
  std::string label_;
  std::size_t total_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace zelvec
