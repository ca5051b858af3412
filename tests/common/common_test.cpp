// The shared layer helpers: readable names map onto the records both ways,
// and the model objects give the C interface's words and texts, for any
// number of threads, without writing to standard error.
#include "models.h"
#include "settings.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using zel::SettingValue;

TEST(Settings, ReadableNamesRoundTripThroughTheRecord) {
  const auto g = zel::fft_generics_from({{"nfft_max", std::int64_t{7}},
                                         {"arch", std::string("pipelined")},
                                         {"scaling", std::string("bfp")},
                                         {"rounding", std::string("convergent")},
                                         {"run_time_nfft", true},
                                         {"C_TWIDDLE_WIDTH", std::int64_t{20}}});
  EXPECT_EQ(g.C_NFFT_MAX, 7);
  EXPECT_EQ(g.C_ARCH, 3);
  EXPECT_EQ(g.C_HAS_SCALING, 1);
  EXPECT_EQ(g.C_HAS_BFP, 1);
  EXPECT_EQ(g.C_HAS_ROUNDING, 1);
  EXPECT_EQ(g.C_HAS_NFFT, 1);
  EXPECT_EQ(g.C_TWIDDLE_WIDTH, 20);
  EXPECT_EQ(g.C_INPUT_WIDTH, 16);  // untouched fields keep the defaults
  EXPECT_EQ(zel::fft_generics_from(zel::fft_readable(g)).C_HAS_BFP, 1);

  zel::CordicSettings c = zel::cordic_settings_from({{"function", std::string("sqrt")},
                                                     {"data_format", std::string("unsigned_integer")},
                                                     {"rounding", std::string("round_nearest")},
                                                     {"name", std::string("dut")}});
  zel::CordicSettings copy = c;  // the copy's record points at its own name
  c.set("name", std::string("other"));
  EXPECT_STREQ(copy.config().name, "dut");
  EXPECT_EQ(copy.config().CordicFunction, 6u);
  EXPECT_EQ(copy.config().DataFormat, 2u);
  EXPECT_EQ(copy.config().RoundMode, 3u);
  std::vector<std::pair<std::string, SettingValue>> back;
  for (auto &[k, v] : zel::cordic_raw(copy.config())) back.emplace_back(k, v);
  EXPECT_EQ(zel::cordic_settings_from(back).config().RoundMode, 3u);
}

TEST(Settings, RefusalsNameTheKeyAndWhatWasExpected) {
  auto message = [](auto f) {
    try {
      f();
    } catch (const zel::SettingError &e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  korvane_ip_zelfft_v9_0_generics g = korvane_ip_zelfft_v9_0_get_default_generics();
  EXPECT_EQ(message([&] { zel::set_fft_setting(g, "nfftmax", std::int64_t{9}); }),
            "unknown FFT setting \"nfftmax\"; did you mean \"nfft_max\"?");
  EXPECT_EQ(message([&] { zel::set_fft_setting(g, "arch", std::string("radix8")); }),
            "\"arch\": expected \"radix4\", \"radix2\", \"pipelined\" or 1 to 4, got \"radix8\"");
  EXPECT_EQ(message([&] { zel::set_fft_setting(g, "input_width", true); }),
            "\"input_width\": expected a width in bits, got true");
  EXPECT_EQ(message([&] { zel::set_fft_setting(g, "C_ARCH", std::int64_t{1} << 40); }),
            "\"C_ARCH\": expected an integer (32-bit signed), got 1099511627776");
  zel::CordicSettings c;
  EXPECT_EQ(message([&] { c.set("InputWidth", std::int64_t{-1}); }),
            "\"InputWidth\": expected an integer (32-bit unsigned), got -1");
  // Values the record holds are left to the library's own checks.
  EXPECT_EQ(message([&] { zel::set_fft_setting(g, "input_width", std::int64_t{99}); }), "no error");
}

TEST(FftModel, BatchEqualsTheCInterfaceForAnyThreadCount) {
  for (int arch = 1; arch <= 4; ++arch) {
    const auto g = zel::fft_generics_from({{"nfft_max", std::int64_t{6}}, {"arch", std::int64_t{arch}}});
    const std::int32_t n = 64, frames = 7;
    const std::int32_t stages = arch == 2 || arch == 4 ? 6 : 3;
    std::mt19937 rng(1234u + static_cast<unsigned>(arch));
    std::uniform_int_distribution<int> word(-32768, 32767), shift(0, 3);
    std::vector<double> re(n * frames), im(n * frames);
    std::vector<std::int32_t> sch(stages * frames);
    for (auto &v : re) v = word(rng) / 32768.0;
    for (auto &v : im) v = word(rng) / 32768.0;
    for (auto &v : sch) v = shift(rng);

    std::vector<double> want_re(n * frames), want_im(n * frames);
    std::vector<std::int32_t> want_exp(frames), want_ovf(frames);
    auto *state = korvane_ip_zelfft_v9_0_create_state(g);
    for (std::int32_t f = 0; f < frames; ++f) {
      korvane_ip_zelfft_v9_0_inputs in{6, &re[f * n], n, &im[f * n], n, &sch[f * stages], stages, 1};
      korvane_ip_zelfft_v9_0_outputs out{&want_re[f * n], n, &want_im[f * n], n, 0, 0};
      ASSERT_EQ(korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &out), 0);
      want_exp[f] = out.block_exp;
      want_ovf[f] = out.overflow;
    }
    korvane_ip_zelfft_v9_0_destroy_state(state);

    for (unsigned threads : {1u, 3u}) {
      std::vector<double> got_re(n * frames), got_im(n * frames);
      std::vector<std::int32_t> got_exp(frames, -9), got_ovf(frames, -9);
      zel::FftBatch b;
      b.frames = frames, b.n = n, b.re = re.data(), b.im = im.data();
      b.schedule = sch.data(), b.schedule_size = stages, b.schedule_per_frame = true;
      b.out_re = got_re.data(), b.out_im = got_im.data(), b.block_exp = got_exp.data(), b.overflow = got_ovf.data();
      for (const auto &r : zel::run_fft_batch(g, b, threads)) EXPECT_EQ(r.code, 0) << r.error;
      EXPECT_EQ(got_re, want_re) << "arch " << arch << " threads " << threads;
      EXPECT_EQ(got_im, want_im);
      EXPECT_EQ(got_exp, want_exp);
      EXPECT_EQ(got_ovf, want_ovf);
    }
  }
}

// The C interface replaces subnormal single-precision samples by +0.0 in
// place; the layer must hand it a copy. The input lives in read-only memory,
// so a write would crash, and the results must be those of the C interface.
TEST(FftModel, FloatCoreNeverWritesTheCallersSubnormalSamples) {
  constexpr std::int32_t n = 64;
  static const std::array<double, 2 * n> kRe = [] {
    std::array<double, 2 * n> a{};
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = 0.25 * std::sin(0.3 * static_cast<double>(i));
    a[5] = 0x1p-140;  // frame 0: a subnormal single
    return a;
  }();
  static const std::array<double, 2 * n> kIm = [] {
    std::array<double, 2 * n> a{};
    a[n + 9] = -0x1p-130;  // frame 1: one in the imaginary part
    return a;
  }();
  const auto g = zel::fft_generics_from(
      {{"nfft_max", std::int64_t{6}}, {"float_data", true}, {"input_width", std::int64_t{32}}});
  std::vector<double> want_re(2 * n), want_im(2 * n), mre(kRe.begin(), kRe.end()), mim(kIm.begin(), kIm.end());
  {
    testsupport::StderrCapture quiet;
    auto *state = korvane_ip_zelfft_v9_0_create_state(g);
    for (std::int32_t f = 0; f < 2; ++f) {
      korvane_ip_zelfft_v9_0_inputs in{6, &mre[f * n], n, &mim[f * n], n, nullptr, 0, 1};
      korvane_ip_zelfft_v9_0_outputs out{&want_re[f * n], n, &want_im[f * n], n, 0, 0};
      ASSERT_EQ(korvane_ip_zelfft_v9_0_bitacc_simulate(state, in, &out), 0);
    }
    korvane_ip_zelfft_v9_0_destroy_state(state);
  }
  ASSERT_EQ(mre[5], 0.0);  // the C interface did overwrite its own arrays

  std::vector<double> got_re(2 * n), got_im(2 * n);
  zel::FftBatch b;
  b.frames = 2, b.n = n, b.re = kRe.data(), b.im = kIm.data();
  b.out_re = got_re.data(), b.out_im = got_im.data();
  const auto results = zel::run_fft_batch(g, b, 2);
  for (const auto &r : results) {
    EXPECT_EQ(r.code, 0) << r.error;
    EXPECT_EQ(r.warnings.size(), 1u);  // the replacement is still reported
  }
  EXPECT_EQ(kRe[5], 0x1p-140);
  EXPECT_EQ(kIm[n + 9], -0x1p-130);
  EXPECT_EQ(got_re, want_re);
  EXPECT_EQ(got_im, want_im);
}

TEST(FftModel, MessagesComeBackInsteadOfReachingStandardError) {
  testsupport::StderrCapture capture;
  auto g = korvane_ip_zelfft_v9_0_get_default_generics();
  g.C_ARCH = 7;
  try {
    zel::FftModel bad(g);
    ADD_FAILURE() << "refused record accepted";
  } catch (const zel::ModelError &e) {
    EXPECT_EQ(std::string(e.what()),
              "ERROR:zelfft_v9_0:create_state called with invalid C_ARCH generic: must be in the range 1 to 4: "
              "Value is 7");
  }
  zel::FftModel model(zel::fft_generics_from({{"nfft_max", std::int64_t{6}}}));
  std::vector<double> x(64, 0.0), y(64, 7.0), z(64, 7.0);
  x[3] = 0.1;  // off the 16-bit grid: a warning, the transform still runs
  const std::int32_t sch[3] = {1, 1, 1};
  zel::FftFrameResult ok = model.run(x.data(), x.data(), 64, sch, 3, -1, true, y.data(), z.data());
  EXPECT_EQ(ok.code, 0);
  ASSERT_EQ(ok.warnings.size(), 1u);
  EXPECT_EQ(ok.warnings[0].rfind("WARNING:zelfft_v9_0:", 0), 0u);
  std::vector<double> untouched(64, 7.0);
  zel::FftFrameResult refused = model.run(x.data(), x.data(), 64, sch, 2, -1, true, untouched.data(), z.data());
  EXPECT_GT(refused.code, 0);
  EXPECT_EQ(refused.error.rfind("ERROR:zelfft_v9_0:", 0), 0u);
  EXPECT_EQ(untouched, std::vector<double>(64, 7.0));
  EXPECT_EQ(capture.text(), "");
}

// Frames held as interleaved pairs are read and written in place by the
// model itself; every frame it takes must give the two-array call's words,
// flags and messages, and every frame it declines must be left untouched.
TEST(FftModel, PairsInPlaceEqualTwoArraysOrAreDeclinedUntouched) {
  std::mt19937_64 rng(77);
  int taken = 0;
  for (int arch = 1; arch <= 4; ++arch)
    for (int scaling = 0; scaling < 3; ++scaling)
      for (int width : {8, 16, 34})
        for (int log2n : {3, 6, 7}) {
          if (arch == 1 && log2n < 6) continue;
          const bool run_time = log2n == 7 && width == 16;  // a shorter frame than the core's largest
          const auto g = zel::fft_generics_from(
              {{"nfft_max", std::int64_t{log2n}}, {"arch", std::int64_t{arch}}, {"input_width", std::int64_t{width}},
               {"scaling", std::string(scaling == 0 ? "none" : scaling == 1 ? "schedule" : "bfp")},
               {"run_time_nfft", run_time}, {"rounding", std::string(width == 8 ? "convergent" : "truncate")}});
          const int n_log2 = run_time && arch != 1 ? 5 : log2n;
          const std::int32_t n = 1 << n_log2;
          const std::int32_t stages = arch == 1 || arch == 3 ? (n_log2 + 1) / 2 : n_log2;
          std::uniform_int_distribution<std::int64_t> word(-(std::int64_t{1} << (width - 1)),
                                                           (std::int64_t{1} << (width - 1)) - 1);
          std::uniform_int_distribution<int> shift(0, 3);
          std::vector<double> x(2 * n), re(n), im(n);
          for (std::int32_t k = 0; k < n; ++k) {
            x[2 * k] = re[k] = std::ldexp(static_cast<double>(word(rng)), 1 - width);
            x[2 * k + 1] = im[k] = std::ldexp(static_cast<double>(word(rng)), 1 - width);
          }
          std::vector<std::int32_t> sch(static_cast<std::size_t>(stages));
          for (auto &s : sch) s = shift(rng);
          for (int inverse = 0; inverse < 2; ++inverse) {
            zel::FftModel two(g), pairs(g);
            std::vector<double> yr(n, 7.0), yi(n, 7.0), X(2 * n, 7.0);
            // A schedule one entry short is refused, before anything is written.
            for (std::int32_t size : {stages, stages - 1}) {
              const zel::FftFrameResult want =
                  two.run(re.data(), im.data(), n, sch.data(), size, -1, inverse == 0, yr.data(), yi.data());
              const auto got = pairs.run_pairs(x.data(), n, sch.data(), size, -1, inverse == 0, X.data());
              const std::string where = "arch " + std::to_string(arch) + " scaling " + std::to_string(scaling) +
                                        " width " + std::to_string(width) + " n " + std::to_string(n) +
                                        " stages " + std::to_string(size);
              ASSERT_TRUE(got) << where;
              EXPECT_EQ(got->code, want.code) << where;
              EXPECT_EQ(got->error, want.error) << where;
              EXPECT_EQ(got->warnings, want.warnings) << where;
              EXPECT_EQ(std::make_pair(got->block_exp, got->overflow), std::make_pair(want.block_exp, want.overflow))
                  << where;
              for (std::int32_t k = 0; k < n; ++k)
                ASSERT_TRUE(X[2 * k] == yr[k] && X[2 * k + 1] == yi[k]) << where << " k " << k;
              taken += got->code == 0;
            }
          }
        }
  EXPECT_GT(taken, 100);

  // Frames that need a message or rounding, and floating-point cores, are
  // declined with nothing written.
  zel::FftModel model(zel::fft_generics_from({{"nfft_max", std::int64_t{6}}}));
  for (double odd : {0.1, 1.0, -1.5, std::nan("")}) {
    std::vector<double> x(128, 0.25), X(128, 7.0);
    x[77] = odd;
    EXPECT_FALSE(model.run_pairs(x.data(), 64, nullptr, 0, -1, true, X.data())) << odd;
    EXPECT_EQ(X, std::vector<double>(128, 7.0));
  }
  // However the call would end: with a schedule refused (its error must not
  // be said for a frame the two-array call reports a sample of first), with
  // the ignored-length warning due; the model then still takes plain frames.
  const std::vector<std::int32_t> sch = {2, 2, 2}, short_sch = {2, 2};
  for (double odd : {0.1, 1.0}) {
    std::vector<double> x(128, 0.25), X(128, 7.0);
    x[3] = odd;
    EXPECT_FALSE(model.run_pairs(x.data(), 64, short_sch.data(), 2, -1, true, X.data())) << odd;
    EXPECT_FALSE(model.run_pairs(x.data(), 64, sch.data(), 3, 5, true, X.data())) << odd;
    EXPECT_EQ(X, std::vector<double>(128, 7.0));
  }
  {
    std::vector<double> x(128), re(64), im(64), X(128), yr(64), yi(64);
    for (int k = 0; k < 64; ++k) x[2 * k] = re[k] = (k % 7 - 3) / 8.0, x[2 * k + 1] = im[k] = (k % 5 - 2) / 4.0;
    const auto got = model.run_pairs(x.data(), 64, sch.data(), 3, 5, true, X.data());
    zel::FftModel two(zel::fft_generics_from({{"nfft_max", std::int64_t{6}}}));
    const zel::FftFrameResult want = two.run(re.data(), im.data(), 64, sch.data(), 3, 5, true, yr.data(), yi.data());
    ASSERT_TRUE(got);
    EXPECT_EQ(got->warnings, want.warnings);
    EXPECT_EQ(got->warnings.size(), 1u);
    for (int k = 0; k < 64; ++k) ASSERT_TRUE(X[2 * k] == yr[k] && X[2 * k + 1] == yi[k]) << k;
  }
  zel::FftModel single(zel::fft_generics_from(
      {{"nfft_max", std::int64_t{6}}, {"float_data", true}, {"input_width", std::int64_t{32}}}));
  std::vector<double> x(128, 0.25), X(128, 7.0);
  EXPECT_FALSE(single.run_pairs(x.data(), 64, nullptr, 0, -1, true, X.data()));
  EXPECT_EQ(X, std::vector<double>(128, 7.0));
}

TEST(CordicModel, BlockEqualsTheCInterfaceAndStopsAtAnUnreadableWord) {
  zel::CordicSettings s = zel::cordic_settings_from({{"function", std::string("rotate")}, {"name", std::string("u1")}});
  const std::size_t count = 9000;
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> word(-32768, 32767), phase(-25736, 25735);
  std::vector<double> x(count), y(count), p(count);
  for (std::size_t k = 0; k < count; ++k) x[k] = word(rng), y[k] = word(rng), p[k] = phase(rng);

  // The C interface, sample by sample through its own arrays.
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&s.config(), nullptr, nullptr);
  auto *cin = zelip_cordic_v6_0_zelip_array_complex_create();
  auto *pin = zelip_cordic_v6_0_zelip_array_real_create();
  auto *cout = zelip_cordic_v6_0_zelip_array_complex_create();
  zelip_cordic_v6_0_zelip_array_complex_reserve_data(cin, 1), zelip_cordic_v6_0_zelip_array_complex_reserve_dim(cin, 1);
  zelip_cordic_v6_0_zelip_array_real_reserve_data(pin, 1), zelip_cordic_v6_0_zelip_array_real_reserve_dim(pin, 1);
  zelip_cordic_v6_0_zelip_array_complex_reserve_data(cout, 1), zelip_cordic_v6_0_zelip_array_complex_reserve_dim(cout, 1);
  cin->data_size = pin->data_size = cout->data_size = 1;
  cin->dim_size = pin->dim_size = cout->dim_size = 1;
  cin->dim[0] = pin->dim[0] = cout->dim[0] = 1;
  std::vector<double> want_x(count), want_y(count);
  for (std::size_t k = 0; k < count; ++k) {
    cin->data[0] = {x[k], y[k]};
    pin->data[0] = p[k];
    ASSERT_EQ(zelip_cordic_v6_0_rotate(m, cin, pin, cout, 1), 0);
    want_x[k] = cout->data[0].re, want_y[k] = cout->data[0].im;
  }
  zelip_cordic_v6_0_zelip_array_complex_destroy(cin);
  zelip_cordic_v6_0_zelip_array_real_destroy(pin);
  zelip_cordic_v6_0_zelip_array_complex_destroy(cout);
  zelip_cordic_v6_0_destroy(m);

  for (unsigned threads : {1u, 4u}) {
    std::vector<double> gx(count), gy(count);
    const double *in[] = {x.data(), y.data(), p.data()};
    double *out[] = {gx.data(), gy.data()};
    zel::run_cordic_block(s, in, out, count, threads);
    EXPECT_EQ(gx, want_x) << "threads " << threads;
    EXPECT_EQ(gy, want_y);
  }

  // Sample 5000 cannot be read: the error names it, the samples before it are
  // written and those after it keep what the caller had.
  x[5000] = std::nan("");
  std::vector<double> gx(count, 1.5), gy(count, 1.5);
  const double *in[] = {x.data(), y.data(), p.data()};
  double *out[] = {gx.data(), gy.data()};
  try {
    zel::run_cordic_block(s, in, out, count, 1);
    ADD_FAILURE() << "NaN word accepted";
  } catch (const zel::ModelError &e) {
    EXPECT_EQ(std::string(e.what()), "u1 ERROR: Problem reading data from cartin");
  }
  EXPECT_EQ(gx[4999], want_x[4999]);
  EXPECT_EQ(gx[5000], 1.5);
  EXPECT_EQ(gx[8999], 1.5);
}

}  // namespace
