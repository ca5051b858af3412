// The C interface of common/ (zelcommon_c.h): settings as key/value lists,
// FFT batches with the first failed frame, distinct warnings and the
// library's lines, CORDIC blocks with their statuses; every message within
// the caller's buffer and nothing on standard error.
#include "zelcommon_c.h"

#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

zel_setting integer(const char *key, std::int64_t v) { return {key, ZEL_VALUE_INT, v, nullptr}; }
zel_setting text(const char *key, const char *v) { return {key, ZEL_VALUE_TEXT, 0, v}; }

struct FftRun {
  int status = -1, code = 0;
  std::size_t failed = 99;
  char warnings[1024] = "", err[512] = "";
  std::vector<double> re, im;
  std::vector<std::int32_t> exps, flags;

  FftRun(const std::vector<zel_setting> &settings, std::vector<double> x, std::int32_t n, std::size_t frames,
         std::vector<std::int32_t> schedule, bool per_frame)
      : re(x.size()), im(x.size()), exps(frames, -9), flags(frames, -9) {
    std::vector<double> zero(x.size(), 0.0);
    const zel_fft_batch b{frames, n, x.data(), zero.data(), schedule.data(),
                          static_cast<std::int32_t>(per_frame ? schedule.size() / frames : schedule.size()),
                          per_frame, -1, 1, re.data(), im.data(), exps.data(), flags.data()};
    status = zel_fft_run(settings.data(), settings.size(), &b, 2, &failed, &code, warnings, sizeof warnings, err,
                         sizeof err);
  }
};

TEST(CInterface, FftBatchReportsItsFirstFailureAndDistinctWarnings) {
  const std::int32_t n = 64;
  std::vector<double> x(3 * n);
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = static_cast<double>((k * 7919) % 4096) / 4096.0 - 0.5;
  const std::vector<std::int32_t> schedule = {1, 1, 1, 2, 2, 2, 0, 1, 0};

  // The words themselves are compared with the library's in tests/mex.
  const FftRun good({integer("nfft_max", 6), text("arch", "radix4")}, x, n, 3, schedule, true);
  ASSERT_EQ(good.status, ZEL_OK) << good.err;
  EXPECT_EQ(std::string(good.warnings), "");

  // Off-grid samples in two frames: one warning line; frame 2 (a sample of
  // 1.0) is the first failure, with its code and line.
  std::vector<double> bad = x;
  bad[0] += 1e-9;
  bad[n + 1] += 1e-9;
  bad[2 * n + 5] = 1.0;
  testsupport::StderrCapture capture;
  const FftRun failing({integer("C_NFFT_MAX", 6)}, bad, n, 3, schedule, true);
  EXPECT_EQ(capture.text(), "");
  EXPECT_EQ(failing.status, ZEL_ERR_FRAME);
  EXPECT_EQ(failing.failed, 2u);
  EXPECT_EQ(failing.code, 10);
  EXPECT_STREQ(failing.err,
               "ERROR:zelfft_v9_0:simulate called with invalid real data value: xn_re[5] = 1: all values must be in "
               "the range -1.0 <= data < 1.0");
  const std::string warnings = failing.warnings;
  EXPECT_EQ(warnings.find("WARNING:zelfft_v9_0:simulate called with real and/or imaginary data values"), 0u);
  EXPECT_EQ(warnings.find('\n'), warnings.size() - 1) << warnings;

  const FftRun refused({integer("nfft_max", 17)}, x, n, 3, schedule, true);
  EXPECT_EQ(refused.status, ZEL_ERR_CONFIG);
  EXPECT_STREQ(refused.err,
               "ERROR:zelfft_v9_0:create_state called with invalid C_NFFT_MAX generic: must be in the range 3 to 16: "
               "Value is 17");
  const FftRun unknown({text("scaling", "block")}, x, n, 3, schedule, true);
  EXPECT_EQ(unknown.status, ZEL_ERR_SETTING);
  EXPECT_NE(std::strstr(unknown.err, "\"scaling\": expected"), nullptr) << unknown.err;
}

TEST(CInterface, MessagesStayWithinTheCallersBuffers) {
  // A long library line into a small buffer: truncated, terminated, the
  // bytes after it untouched; a warning that does not fit is left out whole.
  std::vector<double> x(64, 0.1), zero(64, 0.0), re(64), im(64);
  std::int32_t exps = 0, flags = 0, sch[3] = {1, 1, 4};
  const zel_fft_batch b{1, 64, x.data(), zero.data(), sch, 3, 0, -1, 1, re.data(), im.data(), &exps, &flags};
  const zel_setting s = integer("nfft_max", 6);
  char err[12], warnings[12];
  std::memset(err, 'x', sizeof err);
  std::size_t failed = 0;
  int code = 0;
  EXPECT_EQ(zel_fft_run(&s, 1, &b, 1, &failed, &code, warnings, 8, err, 8), ZEL_ERR_FRAME);
  EXPECT_EQ(code, 17);
  EXPECT_STREQ(err, "ERROR:z");
  EXPECT_EQ(err[8], 'x');
  EXPECT_STREQ(warnings, "");
  EXPECT_EQ(zel_fft_run(&s, 1, nullptr, 1, &failed, &code, nullptr, 0, nullptr, 0), ZEL_ERR_ARGUMENT);
}

TEST(CInterface, CordicFunctionSignatureBlockAndErrors) {
  const std::vector<zel_setting> settings = {text("name", "probe"), text("function", "atan"),
                                             integer("OutputWidth", 12)};
  char err[256];
  std::uint32_t function = 99;
  ASSERT_EQ(zel_cordic_function(settings.data(), settings.size(), &function, err, sizeof err), ZEL_OK) << err;
  EXPECT_EQ(function, 3u);
  EXPECT_STREQ(zel_cordic_function_name(3), "atan");
  EXPECT_EQ(zel_cordic_input_count(3), 2u);
  EXPECT_STREQ(zel_cordic_input_name(0, 2), "phase");
  EXPECT_STREQ(zel_cordic_output_name(1, 0), "magnitude");
  EXPECT_EQ(zel_cordic_input_name(3, 2), nullptr);
  EXPECT_EQ(zel_cordic_function_name(7), nullptr);

  // atan of (1, 1) is pi/4: 0.785398 with 9 fraction bits of a 12-bit phase.
  std::vector<double> xs = {16384, 16384, 5}, ys = {16384, 0, std::nan("")}, phase(3, -1);
  const double *in[] = {xs.data(), ys.data()};
  double *out[] = {phase.data()};
  ASSERT_EQ(zel_cordic_run(settings.data(), settings.size(), in, out, 2, 1, err, sizeof err), ZEL_OK) << err;
  EXPECT_NEAR(phase[0], 0.785398 * 512, 2.0);
  EXPECT_NEAR(phase[1], 0.0, 1.0);
  testsupport::StderrCapture capture;
  EXPECT_EQ(zel_cordic_run(settings.data(), settings.size(), in, out, 3, 1, err, sizeof err), ZEL_ERR_DATA);
  EXPECT_EQ(capture.text(), "");
  EXPECT_STREQ(err, "probe ERROR: Problem reading data from cartin");

  const zel_setting narrow = integer("InputWidth", 7);
  EXPECT_EQ(zel_cordic_function(&narrow, 1, &function, err, sizeof err), ZEL_ERR_CONFIG);
  EXPECT_STREQ(err, "Invalid value for InputWidth");
  EXPECT_EQ(zel_cordic_run(&narrow, 1, nullptr, nullptr, 0, 1, err, sizeof err), ZEL_ERR_CONFIG);
  const zel_setting wrong = {"function", ZEL_VALUE_BOOL, 1, nullptr};
  EXPECT_EQ(zel_cordic_function(&wrong, 1, &function, err, sizeof err), ZEL_ERR_SETTING);
  EXPECT_NE(std::strstr(err, "\"function\": expected"), nullptr) << err;
}

}  // namespace
