// The model object: its logger, its copy of the configuration and the
// per-model constants (scale, angle table, quadrant constants) at width B.
#include "cordic_model.h"
#include "cordic_tables.h"
#include "message_recorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>

namespace {

using cordictest::default_config;
using cordictest::MessageRecorder;

TEST(ZelLogger, ComposesAndDeliversEveryKind) {
  MessageRecorder rec;
  ZelLogger log(MessageRecorder::callback, &rec, "Default configuration");
  EXPECT_EQ(log.error(std::string("Problem reading data from cartin")),
            "Default configuration ERROR: Problem reading data from cartin");
  std::ostringstream os;
  os << "value " << 42;
  EXPECT_EQ(log.warning(os), "Default configuration WARNING: value 42");
  EXPECT_EQ(log.note(std::string("")), "Default configuration NOTE: ");
  std::ostringstream es;
  es << "from a stream";
  log.error(es);
  ASSERT_EQ(rec.messages.size(), 4u);
  EXPECT_EQ(rec.messages[0].error, 1);
  EXPECT_EQ(rec.messages[0].text, "Default configuration ERROR: Problem reading data from cartin");
  EXPECT_EQ(rec.messages[1].error, 0);
  EXPECT_EQ(rec.messages[1].text, "Default configuration WARNING: value 42");
  EXPECT_EQ(rec.messages[2].error, 0);
  EXPECT_EQ(rec.messages[3].error, 1);
  EXPECT_EQ(rec.messages[3].text, "Default configuration ERROR: from a stream");
}

TEST(ZelLogger, NullNameAndNullCallback) {
  MessageRecorder rec;
  ZelLogger unnamed(MessageRecorder::callback, &rec, nullptr);
  unnamed.error(std::string("x"));
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].text, " ERROR: x");
  ZelLogger silent(nullptr, &rec, "n");
  EXPECT_EQ(silent.error(std::string("dropped")), "n ERROR: dropped");  // composed, not delivered
  EXPECT_EQ(rec.messages.size(), 1u);
}

TEST(CordicModel, KeepsItsOwnCopiesAndSendsThroughTheHostCallback) {
  MessageRecorder rec;
  std::string host_name = "chan 3";
  zelip_cordic_v6_0_config c = default_config();
  c.name = host_name.c_str();
  auto *model = zelip_cordic_v6_0_create(&c, MessageRecorder::callback, &rec);
  ASSERT_NE(model, nullptr);
  host_name.assign("overwritten by the host");
  c.InputWidth = 9;
  EXPECT_EQ(model->name(), "chan 3");
  EXPECT_EQ(model->config().name, nullptr);
  EXPECT_EQ(model->config().InputWidth, 16u);
  model->logger().error(std::string("Problem reading data from phasein"));
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].error, 1);
  EXPECT_EQ(rec.messages[0].text, "chan 3 ERROR: Problem reading data from phasein");
  EXPECT_EQ(zelip_cordic_v6_0_destroy(model), 0);
}

// A 72-digit constant rounded to b bits, half to even, on a plain 128-bit
// integer (the constants are positive).
int64_t rom_rounded(const char *text, unsigned b) {
  unsigned __int128 v = 0;
  for (int i = 0; i < 72; ++i) v = 2 * v + static_cast<unsigned>(text[i] - '0');
  const unsigned k = 72 - b;
  const unsigned __int128 unit = static_cast<unsigned __int128>(1) << k;
  unsigned __int128 q = v >> k, rem = v & (unit - 1);
  if (rem > unit / 2 || (rem == unit / 2 && (q & 1) != 0)) ++q;
  return static_cast<int64_t>(q);
}

TEST(CordicModel, DefaultWidthRoundsTheRomAtBit52) {
  cordic_v6_0 model(default_config(), std::make_unique<ZelLogger>(nullptr, nullptr, ""));
  ASSERT_EQ(model.iterations(), 14u);
  ASSERT_EQ(model.precision(), 20u);
  EXPECT_EQ(model.scale(), static_cast<double>(rom_rounded(cordic::gain_text(false, 14), 20)));
  EXPECT_EQ(mpz_get_d(model.scale_mpz()), model.scale());
  EXPECT_EQ(mpz_get_si(model.angle(0)), rom_rounded(cordic::angle_text(false, false, 0), 20));
  EXPECT_EQ(mpz_get_si(model.angle(13)), rom_rounded(cordic::angle_text(false, false, 13), 20));
  EXPECT_EQ(mpz_sgn(model.angle(14)), 0);
}

long double hyperbolic_gain_inverse(unsigned n) {
  long double k = 1;
  for (unsigned i = 0; i < n; ++i) {
    const int shift = 1 + static_cast<int>(i <= 3 ? i : (i <= 13 ? i - 1 : i - 2));
    k *= std::sqrt(1 - std::ldexp(1.0L, -2 * shift));
  }
  return 1 / k;
}

long double circular_gain_inverse(unsigned n) {
  long double k = 1;
  for (unsigned s = 1; s <= n; ++s) k *= std::sqrt(1 + std::ldexp(1.0L, -2 * static_cast<int>(s)));
  return 1 / k;
}

// Every per-model constant is the nearest B-bit word of its exact value
// (computed here independently in long double; the slack covers its error).
TEST(CordicModel, ConstantsAreNearestWordsOfTheExactValues) {
  const long double pi = 3.141592653589793238462643383279502884L;
  const long double slack = 0.5L + 1.0L / 256;
  for (uint32_t function = 0; function <= 5; ++function) {
    for (uint32_t phase = 0; phase <= 1; ++phase) {
      for (uint32_t width : {8u, 13u, 16u, 24u, 31u, 40u, 48u}) {
        zelip_cordic_v6_0_config c = default_config();
        c.CordicFunction = function;
        c.PhaseFormat = phase;
        c.OutputWidth = width;
        c.CoarseRotate = width % 2;  // both settings across the widths
        cordic_v6_0 m(c, std::make_unique<ZelLogger>(nullptr, nullptr, ""));
        const unsigned n = m.iterations(), b = m.precision();
        const bool hyp = function == 4 || function == 5;
        SCOPED_TRACE(::testing::Message() << "function " << function << " phase " << phase << " N " << n << " B " << b);
        EXPECT_EQ(m.hyperbolic(), hyp);
        EXPECT_EQ(m.vectoring(), function == 1 || function == 3 || function == 5);

        const long double gain = std::ldexp(hyp ? hyperbolic_gain_inverse(n) : circular_gain_inverse(n), b - 2);
        EXPECT_LE(std::fabs(static_cast<long double>(m.scale()) - gain), slack);
        for (unsigned k = 0; k < 64; ++k) {
          if (k >= n) {
            EXPECT_EQ(mpz_sgn(m.angle(k)), 0) << k;
            continue;
          }
          const long double x = std::ldexp(1.0L, -static_cast<int>(k + 1));
          long double a = hyp ? std::atanh(x) : std::atan(x);
          if (phase == 1) a /= pi;
          EXPECT_LE(std::fabs(static_cast<long double>(mpz_get_d(m.angle(k))) - std::ldexp(a, b - 3)), slack) << k;
        }

        // Quadrant constants: -pi, -pi/2, -3pi/4, -pi/4 floored to B bits (units of pi when scaled).
        const long double unit = phase == 1 ? 1.0L : pi;
        const long double want[4] = {-unit, -unit / 2, -3 * unit / 4, -unit / 4};
        mpz_srcptr got[4] = {m.quad_t(), m.quad_m(), m.quad_o(), m.quad_l()};
        for (int i = 0; i < 4; ++i)
          EXPECT_EQ(mpz_get_d(got[i]), static_cast<double>(std::floor(std::ldexp(want[i], b - 3)))) << i;
      }
    }
  }
}

}  // namespace
