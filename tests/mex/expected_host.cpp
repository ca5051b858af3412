// Writes an Octave script of random cases with the words the C interfaces of
// both libraries give for them: FFT cores of every architecture (fixed and
// floating point, every scaling, run-time lengths, several frames each, run
// here one frame at a time) and CORDIC cores of every function. The MEX
// tests run the same cases through brevant_fft and solvine_cordic and compare
// word for word. Usage: mex_expected_host <file.m> <seed>
#include "brevant.h"
#include "solvine.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

std::mt19937_64 rng;

int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

std::string list(const std::vector<double> &v) {
  std::string s = "[";
  char buf[40];
  for (std::size_t i = 0; i < v.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%s%.17g", i ? " " : "", v[i]);
    s += buf;
  }
  return s + "]";
}

// An n x cols matrix from column-major values.
std::string matrix(const std::vector<double> &v, std::size_t n, std::size_t cols) {
  return "reshape(" + list(v) + ", " + std::to_string(n) + ", " + std::to_string(cols) + ")";
}

void fft_case(std::FILE *out, int arch) {
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = arch;
  g.C_NFFT_MAX = pick(arch == 1 ? 6 : 3, 8);
  g.C_USE_FLT_PT = pick(0, 3) == 0;
  g.C_INPUT_WIDTH = g.C_USE_FLT_PT ? 32 : pick(8, 34);
  g.C_TWIDDLE_WIDTH = pick(8, 34);
  const int scaling = pick(0, 2);  // none, schedule, bfp
  g.C_HAS_SCALING = scaling != 0;
  g.C_HAS_BFP = scaling == 2;
  g.C_HAS_ROUNDING = pick(0, 1);
  g.C_HAS_NFFT = g.C_NFFT_MAX > (arch == 1 ? 6 : 3) && pick(0, 1);
  const int nfft = g.C_HAS_NFFT ? pick(arch == 1 ? 6 : 3, g.C_NFFT_MAX) : g.C_NFFT_MAX;
  const int n = 1 << nfft;
  const int frames = pick(1, 3);
  const int stages = arch == 1 || arch == 3 ? (nfft + 1) / 2 : nfft;
  const bool per_frame = frames > 1 && pick(0, 1);
  const bool forward = pick(0, 1);

  std::vector<double> re(n * frames), im(n * frames), X_re(n * frames), X_im(n * frames), exps, flags;
  std::vector<double> schedule;
  std::vector<std::int32_t> sch(stages * frames);
  const int most = pick(0, 2) == 0 ? 0 : 3;  // schedules without shifts overflow often
  for (int i = 0; i < stages * frames; ++i) {
    sch[i] = pick(0, most);
    if ((arch == 1 || arch == 3) && nfft % 2 == 1 && i % stages == stages - 1) sch[i] = pick(0, 1);
    if (!per_frame) sch[i] = sch[i % stages];
  }
  for (int i = 0; i < (per_frame ? stages * frames : stages); ++i) schedule.push_back(sch[i]);
  korvane_ip_zelfft_v9_0_state *state = korvane_ip_zelfft_v9_0_create_state(g);
  if (!state) std::exit(2);
  for (int f = 0; f < frames; ++f) {
    // Fixed point: words of the input grid at a random level, so that some
    // frames overflow a schedule and others do not. Floating point: single-
    // precision values over a wide range of magnitudes.
    const int drop = pick(0, g.C_INPUT_WIDTH / 2);
    const double scale = std::ldexp(1.0, -(g.C_INPUT_WIDTH - 1));
    const int exponent = pick(-30, 30);
    for (int k = 0; k < n; ++k)
      for (double *v : {&re[f * n + k], &im[f * n + k]}) {
        if (g.C_USE_FLT_PT) {
          *v = static_cast<float>(std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng), exponent));
        } else {
          const std::int64_t half = std::int64_t{1} << (g.C_INPUT_WIDTH - 1);
          *v = static_cast<double>(std::uniform_int_distribution<std::int64_t>(-half, half - 1)(rng) >> drop) * scale;
        }
      }
    korvane_ip_zelfft_v9_0_inputs in = {nfft, &re[f * n], n, &im[f * n], n, &sch[f * stages], stages, forward};
    korvane_ip_zelfft_v9_0_outputs o = {&X_re[f * n], n, &X_im[f * n], n, 0, 0};
    if (korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &o) != 0) std::exit(3);
    exps.push_back(o.block_exp);
    flags.push_back(o.overflow);
  }
  korvane_ip_zelfft_v9_0_destroy_state(state);

  // Half the cases name the core with the readable names.
  std::string cfg;
  if (pick(0, 1)) {
    const char *arch_word[] = {"", "'radix4'", "'radix2'", "'pipelined'", "4"};
    const char *scaling_word[] = {"'none'", "'schedule'", "'bfp'"};
    cfg = "struct('nfft_max', " + std::to_string(g.C_NFFT_MAX) + ", 'arch', " + arch_word[arch] +
          ", 'input_width', " + std::to_string(g.C_INPUT_WIDTH) + ", 'twiddle_width', " +
          std::to_string(g.C_TWIDDLE_WIDTH) + ", 'scaling', " + scaling_word[scaling] + ", 'rounding', " +
          (g.C_HAS_ROUNDING ? "'convergent'" : "'truncate'") + ", 'float_data', " +
          (g.C_USE_FLT_PT ? "true" : "false") + ", 'run_time_nfft', " + (g.C_HAS_NFFT ? "true" : "false") + ")";
  } else {
    cfg = "struct('C_NFFT_MAX', " + std::to_string(g.C_NFFT_MAX) + ", 'C_ARCH', " + std::to_string(arch) +
          ", 'C_HAS_NFFT', " + std::to_string(g.C_HAS_NFFT) + ", 'C_USE_FLT_PT', " + std::to_string(g.C_USE_FLT_PT) +
          ", 'C_INPUT_WIDTH', " + std::to_string(g.C_INPUT_WIDTH) + ", 'C_TWIDDLE_WIDTH', " +
          std::to_string(g.C_TWIDDLE_WIDTH) + ", 'C_HAS_SCALING', " + std::to_string(g.C_HAS_SCALING) +
          ", 'C_HAS_BFP', " + std::to_string(g.C_HAS_BFP) + ", 'C_HAS_ROUNDING', " +
          std::to_string(g.C_HAS_ROUNDING) + ")";
  }
  std::fprintf(out, "fft{end+1} = struct('cfg', %s, 'x', complex(%s, %s), 'schedule', %s, 'nfft', %d, 'inverse', %s, "
               "'X', complex(%s, %s), 'block_exp', %s, 'overflow', %s);\n",
               cfg.c_str(), matrix(re, n, frames).c_str(), matrix(im, n, frames).c_str(),
               per_frame ? matrix(schedule, stages, frames).c_str() : list(schedule).c_str(), nfft,
               forward ? "false" : "true", matrix(X_re, n, frames).c_str(), matrix(X_im, n, frames).c_str(),
               list(exps).c_str(), list(flags).c_str());
}

void cordic_case(std::FILE *out, unsigned function) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.CordicFunction = function;
  c.CoarseRotate = pick(0, 1);
  c.DataFormat = function == 6 ? pick(0, 2) : 0;
  c.PhaseFormat = pick(0, 1);
  c.InputWidth = pick(8, 48);
  c.OutputWidth = function == 6 && c.DataFormat == 2 ? c.InputWidth / 2 + 1 : pick(8, 48);
  c.Iterations = pick(0, 1) ? 0 : pick(1, 48);
  c.Precision = pick(0, 1) ? 0 : pick(static_cast<int>(c.OutputWidth), 48);
  c.RoundMode = pick(0, 3);
  c.ScaleComp = pick(0, 3);
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
  if (!m) std::exit(4);

  // Every array exists; the function reads and writes the ones it names.
  const std::size_t count = pick(1, 40);
  auto real = [&] {
    zelip_array_real *a = zelip_cordic_v6_0_zelip_array_real_create();
    zelip_cordic_v6_0_zelip_array_real_reserve_data(a, count);
    zelip_cordic_v6_0_zelip_array_real_reserve_dim(a, 1);
    a->data_size = a->dim[0] = count, a->dim_size = 1;
    return a;
  };
  auto pair = [&] {
    zelip_array_complex *a = zelip_cordic_v6_0_zelip_array_complex_create();
    zelip_cordic_v6_0_zelip_array_complex_reserve_data(a, count);
    zelip_cordic_v6_0_zelip_array_complex_reserve_dim(a, 1);
    a->data_size = a->dim[0] = count, a->dim_size = 1;
    return a;
  };
  zelip_array_real *magin = real(), *phasein = real(), *magout = real(), *phaseout = real();
  zelip_array_complex *cartin = pair(), *cartout = pair();
  const std::size_t inputs = function == 0 ? 3 : function == 1 || function == 3 || function == 5 ? 2 : 1;
  const std::int64_t half = std::int64_t{1} << (c.InputWidth - 1);
  std::vector<std::vector<double>> in(inputs, std::vector<double>(count)), outs;
  for (auto &v : in)
    for (double &w : v)
      w = static_cast<double>(std::uniform_int_distribution<std::int64_t>(function == 6 ? 0 : -half, half - 1)(rng));
  for (std::size_t k = 0; k < count; ++k) {
    if (inputs >= 2) cartin->data[k] = {in[0][k], in[1][k]};
    phasein->data[k] = in[function == 0 ? 2 : 0][k];
    magin->data[k] = in[0][k];
  }
  if (zelip_cordic_v6_0_data_do(m, function, magin, phasein, cartin, magout, phaseout, cartout, count) != 0)
    std::exit(5);
  auto take = [&](auto get) {
    outs.emplace_back();
    for (std::size_t k = 0; k < count; ++k) outs.back().push_back(get(k));
  };
  if (function == 0 || function == 2 || function == 4) {
    take([&](std::size_t k) { return cartout->data[k].re; });
    take([&](std::size_t k) { return cartout->data[k].im; });
  }
  if (function == 1 || function == 6) take([&](std::size_t k) { return magout->data[k]; });
  if (function == 1 || function == 3 || function == 5) take([&](std::size_t k) { return phaseout->data[k]; });
  for (zelip_array_real *a : {magin, phasein, magout, phaseout}) zelip_cordic_v6_0_zelip_array_real_destroy(a);
  for (zelip_array_complex *a : {cartin, cartout}) zelip_cordic_v6_0_zelip_array_complex_destroy(a);
  zelip_cordic_v6_0_destroy(m);

  std::fprintf(out,
               "cordic{end+1} = struct('cfg', struct('CordicFunction', %u, 'CoarseRotate', %u, 'DataFormat', %u, "
               "'PhaseFormat', %u, 'InputWidth', %u, 'OutputWidth', %u, 'Iterations', %u, 'Precision', %u, "
               "'RoundMode', %u, 'ScaleComp', %u), 'in', {{",
               c.CordicFunction, c.CoarseRotate, c.DataFormat, c.PhaseFormat, c.InputWidth, c.OutputWidth,
               c.Iterations, c.Precision, c.RoundMode, c.ScaleComp);
  for (std::size_t i = 0; i < in.size(); ++i) std::fprintf(out, "%s%s'", i ? ", " : "", list(in[i]).c_str());
  std::fprintf(out, "}}, 'out', {{");
  for (std::size_t i = 0; i < outs.size(); ++i) std::fprintf(out, "%s%s'", i ? ", " : "", list(outs[i]).c_str());
  std::fprintf(out, "}});\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <file.m> <seed>\n", argv[0]);
    return 1;
  }
  const unsigned long seed = std::strtoul(argv[2], nullptr, 10);
  rng.seed(seed);
  std::FILE *out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "%% Generated by mex_expected_host, seed %lu.\nseed = %lu;\nfft = {};\ncordic = {};\n", seed, seed);
  for (int round = 0; round < 10; ++round)
    for (int arch = 1; arch <= 4; ++arch) fft_case(out, arch);
  for (int round = 0; round < 6; ++round)
    for (unsigned function = 0; function <= 6; ++function) cordic_case(out, function);
  return std::fclose(out) == 0 ? 0 : 1;
}
