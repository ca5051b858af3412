// zelvec: golden test vectors for hardware test benches.
//   zelvec fft RUN.toml       stimulus and expected results of the FFT model
//   zelvec cordic RUN.toml    the same for the CORDIC model
//   zelvec compare EXP ACT    where a simulator's output differs from them
// Exit status: 0 success (compare: equal), 1 compare found a difference,
// 2 bad input (one line on standard error naming the file and what was wrong).
#include "commands.h"
#include "models.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>

namespace {

constexpr const char *kFftExample = R"(
Example:
  zelvec fft examples/runs/fft.toml -o build/vectors/fft

A run file names the core (readable names as in the Python package, or the
raw record fields), the number of frames, the transform (nfft, direction,
schedule: one list, or one list per frame), the stimulus and the output:

  frames = 4
  output = "fft_vectors"          # folder, relative to the run file
  formats = ["hex", "npy", "csv"] # default: all three
  packed = false                  # hex: one {im, re} word a line

  [core]
  nfft_max = 10
  arch = "radix4"                 # "radix2", "pipelined"
  scaling = "schedule"            # "bfp", "none"

  [transform]
  schedule = [2, 2, 2, 2, 1]

  [stimulus]
  type = "tones"                  # impulse, chirp, noise, random,
  tones = [{ bin = 17, amplitude = 0.4 }]   # full_scale, most_negative, file
)";

constexpr const char *kCordicExample = R"(
Example:
  zelvec cordic examples/runs/cordic.toml -o build/vectors/cordic

  samples = 1000
  output = "cordic_vectors"

  [core]
  function = "sin_cos"            # rotate, translate, atan, sinh_cosh, atanh, sqrt
  input_width = 16
  output_width = 16

  [stimulus]
  type = "ramp"                   # random (with seed), edges, file
)";

constexpr const char *kCompareExample = R"(
Examples:
  zelvec compare build/vectors/fft/manifest.json sim_out/
  zelvec compare expected_re.hex actual_re.hex --width 16 --frame-length 1024
  zelvec compare output_re.npy rtl_re.npy --tolerance 1

With a manifest, every expected file of the set found in the folder (same
name, any format) is compared. Exit status 0 equal, 1 different, 2 unreadable.
)";

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"zelvec: golden test vectors of the FFT and CORDIC models for hardware test benches"};
  app.set_version_flag("--version", std::string("zelvec ") + zelvec::kToolVersion);
  app.require_subcommand(1);

  zelvec::RunOptions run;
  auto add_run = [&](const char *name, const char *about, const char *footer) {
    CLI::App *sub = app.add_subcommand(name, about);
    sub->footer(footer);
    sub->add_option("run_file", run.run_file, "run file (TOML)")->required();
    sub->add_option("-o,--output", run.output, "output folder (instead of the run file's `output`)");
    sub->add_option("-j,--threads", run.threads, "worker threads (default: one per core; results never depend on it)");
    sub->add_flag("-q,--quiet", run.quiet, "no summary line");
    return sub;
  };
  CLI::App *fft = add_run("fft", "Write an FFT vector set from a run file", kFftExample);
  CLI::App *cordic = add_run("cordic", "Write a CORDIC vector set from a run file", kCordicExample);

  zelvec::CompareOptions cmp;
  CLI::App *compare = app.add_subcommand("compare", "Compare expected vectors with a simulator's output");
  compare->footer(kCompareExample);
  compare->add_option("expected", cmp.expected, "expected vector file, or a manifest.json (or its folder)")->required();
  compare->add_option("actual", cmp.actual, "actual vector file, or a folder of output files")->required();
  compare->add_option("-t,--tolerance", cmp.tolerance, "accept differences up to this many LSBs (default 0: bit-exact)")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{1} << 62));
  compare->add_option("-w,--width", cmp.width, "hex word width in bits (default: from the number of digits)")
      ->check(CLI::Range(1, 63));
  compare->add_flag("--unsigned", cmp.is_unsigned, "hex words are unsigned");
  compare->add_flag("--packed", cmp.packed, "hex words hold {im, re} (--width is that of one part)");
  compare->add_option("--frame-length", cmp.frame_length, "words per frame, for reporting frame and index");
  compare->add_option("--show", cmp.show, "mismatches listed before the summary (default 20)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  try {
    if (fft->parsed()) return zelvec::run_fft(run);
    if (cordic->parsed()) return zelvec::run_cordic(run);
    return zelvec::run_compare(cmp);
  } catch (const zelvec::InputError &e) {
    std::fprintf(stderr, "zelvec: %s\n", e.what());
  } catch (const zel::VectorError &e) {
    std::fprintf(stderr, "zelvec: %s\n", e.what());
  } catch (const zel::ModelError &e) {
    std::fprintf(stderr, "zelvec: %s\n", e.what());
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "zelvec: out of memory\n");
  } catch (const std::exception &e) {
    std::fprintf(stderr, "zelvec: %s\n", e.what());
  }
  return 2;
}
