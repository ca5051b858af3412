// Block processing through data_do and the seven convenience calls: argument
// checks (status 1, no message), unreadable samples (status 1 and one
// "<name> ERROR: ..." message, earlier outputs kept), short output arrays
// (skipped writes, status 0), and block independence.
#include "reference/cordic_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using namespace cordtest;

constexpr double kUnwritten = RealArray::kUnwritten;

// One convenience call per function code, with the arrays it names.
zelip_status convenience(uint32_t f, const Model &m, RealArray &magin, RealArray &phasein, ComplexArray &cartin,
                         RealArray &magout, RealArray &phaseout, ComplexArray &cartout, size_t n) {
  switch (f) {
    case 0: return zelip_cordic_v6_0_rotate(m.get(), cartin.get(), phasein.get(), cartout.get(), n);
    case 1: return zelip_cordic_v6_0_translate(m.get(), cartin.get(), magout.get(), phaseout.get(), n);
    case 2: return zelip_cordic_v6_0_sin_cos(m.get(), phasein.get(), cartout.get(), n);
    case 3: return zelip_cordic_v6_0_atan(m.get(), cartin.get(), phaseout.get(), n);
    case 4: return zelip_cordic_v6_0_sinh_cosh(m.get(), phasein.get(), cartout.get(), n);
    case 5: return zelip_cordic_v6_0_atanh(m.get(), cartin.get(), phaseout.get(), n);
    default: return zelip_cordic_v6_0_sqrt(m.get(), magin.get(), magout.get(), n);
  }
}

// Each convenience call equals data_do with its code and only its arrays; a
// block gives what its samples give one at a time.
TEST(DataDo, ConvenienceCallsAndBlocksAgreeWithSingleSamples) {
  const std::vector<double> x = {9000, -7000, 100, 16000, -16384, 3};
  const std::vector<double> y = {-2000, -7000, 12000, 0, 50, 4};
  const std::vector<double> z = {5000, -25000, 12000, 0, 3000, 700};
  const size_t n = x.size();
  for (uint32_t f = 0; f < 7; ++f) {
    SCOPED_TRACE("function " + std::to_string(f));
    const Model m(config_for(f));
    ASSERT_TRUE(m.valid());
    RealArray magin(x), phasein(z), magout(n), phaseout(n);
    ComplexArray cartin(x, y), cartout(n);
    ASSERT_EQ(convenience(f, m, magin, phasein, cartin, magout, phaseout, cartout, n), 0);
    Block block;
    for (size_t k = 0; k < n; ++k) block.push(x[k], y[k], z[k]);
    const Result whole = run_block(m, block);
    ASSERT_EQ(whole.status, 0);
    for (size_t k = 0; k < n; ++k) {
      const Result one = run_one(m, x[k], y[k], z[k]);
      EXPECT_EQ(whole.x[k], one.x[0]);
      EXPECT_EQ(whole.y[k], one.y[0]);
      EXPECT_EQ(whole.z[k], one.z[0]);
      if (f == 0 || f == 2 || f == 4) {
        EXPECT_EQ(cartout[k].re, one.x[0]);
        EXPECT_EQ(cartout[k].im, one.y[0]);
      }
      if (f == 1 || f == 6) {
        EXPECT_EQ(magout[k], one.x[0]);
      }
      if (f == 1 || f == 3 || f == 5) {
        EXPECT_EQ(phaseout[k], one.z[0]);
      }
    }
    EXPECT_TRUE(m.messages.received.empty());
  }
}

// Bad arguments fail before any computation, silently: a null model (every
// call), a code above 6, a code other than the configured function, a
// missing needed array, a first dimension other than the sample count, an
// array without dimensions.
TEST(DataDo, ArgumentFaultsFailSilently) {
  RealArray r(4), r3(4, 3), none(4);
  none.get()->dim_size = 0;
  ComplexArray c(4), c3(4, 3), cnone(4);
  cnone.get()->dim_size = 0;
  EXPECT_EQ(zelip_cordic_v6_0_data_do(nullptr, 0, r.get(), r.get(), c.get(), r.get(), r.get(), c.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_rotate(nullptr, c.get(), r.get(), c.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_translate(nullptr, c.get(), r.get(), r.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_sin_cos(nullptr, r.get(), c.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_atan(nullptr, c.get(), r.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_sinh_cosh(nullptr, r.get(), c.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_atanh(nullptr, c.get(), r.get(), 4), 1);
  EXPECT_EQ(zelip_cordic_v6_0_sqrt(nullptr, r.get(), r.get(), 4), 1);

  for (uint32_t f = 0; f < 7; ++f) {
    SCOPED_TRACE("function " + std::to_string(f));
    const Model m(config_for(f));
    auto call = [&](uint32_t code, const RealArray *mi, const RealArray *pi, const ComplexArray *ci,
                    const RealArray *mo, const RealArray *po, const ComplexArray *co) {
      return zelip_cordic_v6_0_data_do(m.get(), code, mi ? mi->get() : nullptr, pi ? pi->get() : nullptr,
                                       ci ? ci->get() : nullptr, mo ? mo->get() : nullptr,
                                       po ? po->get() : nullptr, co ? co->get() : nullptr, 4);
    };
    EXPECT_EQ(call(f, &r, &r, &c, &r, &r, &c), 0);
    EXPECT_EQ(call(7, &r, &r, &c, &r, &r, &c), 1);
    EXPECT_EQ(call(0xFFFFFFFFu, &r, &r, &c, &r, &r, &c), 1);
    EXPECT_EQ(call((f + 1) % 7, &r, &r, &c, &r, &r, &c), 1);
    // Each needed array in turn missing, mis-sized or without dimensions.
    const bool need[6] = {f == 6, f == 0 || f == 2 || f == 4, f == 0 || f == 1 || f == 3 || f == 5,
                          f == 1 || f == 6, f == 1 || f == 3 || f == 5, f == 0 || f == 2 || f == 4};
    for (int slot = 0; slot < 6; ++slot) {
      const RealArray *real_bad[3] = {nullptr, &r3, &none};
      const ComplexArray *complex_bad[3] = {nullptr, &c3, &cnone};
      for (int kind = 0; kind < 3; ++kind) {
        const RealArray *rb = real_bad[kind];
        const ComplexArray *cb = complex_bad[kind];
        const zelip_status s = call(f, slot == 0 ? rb : &r, slot == 1 ? rb : &r, slot == 2 ? cb : &c,
                                    slot == 3 ? rb : &r, slot == 4 ? rb : &r, slot == 5 ? cb : &c);
        EXPECT_EQ(s, need[slot] ? 1 : 0) << "slot " << slot << " kind " << kind;
      }
    }
    EXPECT_TRUE(m.messages.received.empty());
  }
}

// Only the arrays the function needs must exist; a block of zero samples
// writes nothing and succeeds.
TEST(DataDo, UnneededArraysMayBeNullAndEmptyBlocksSucceed) {
  const Model m(config_for(2));
  RealArray phasein(std::vector<double>{100, 200});
  ComplexArray cartout(2);
  EXPECT_EQ(zelip_cordic_v6_0_data_do(m.get(), 2, nullptr, phasein.get(), nullptr, nullptr, nullptr,
                                      cartout.get(), 2),
            0);
  EXPECT_NE(cartout[1].re, kUnwritten);

  RealArray empty_in(0), empty_out(0);
  ComplexArray empty_cart(0);
  for (uint32_t f = 0; f < 7; ++f) {
    const Model mf(config_for(f));
    EXPECT_EQ(zelip_cordic_v6_0_data_do(mf.get(), f, empty_in.get(), empty_in.get(), empty_cart.get(),
                                        empty_out.get(), empty_out.get(), empty_cart.get(), 0),
              0);
    EXPECT_TRUE(mf.messages.received.empty());
  }
}

// An input array with fewer elements than the block: the samples before the
// missing one are written (hosts rely on these partial results, exactly as a
// complete block gives them), the message names the array, the status is 1,
// and nothing from the missing sample on is touched in any output.
TEST(DataDo, ShortInputStopsAtTheMissingSample) {
  struct Case {
    uint32_t function;
    const char *array;
  };
  for (const Case &cs : {Case{0, "cartin"}, Case{0, "phasein"}, Case{1, "cartin"}, Case{2, "phasein"},
                         Case{5, "cartin"}, Case{6, "magin"}}) {
    SCOPED_TRACE(std::string("function ") + std::to_string(cs.function) + " " + cs.array);
    zelip_cordic_v6_0_config c = config_for(cs.function);
    c.name = "dut 3";
    const Model m(c);
    const std::vector<double> words = {1000, 2000, 3000, 4000, 5000};
    RealArray magin(words), phasein(words), magout(5), phaseout(5);
    ComplexArray cartin(words, words), cartout(5);
    const std::string a = cs.array;
    if (a == "cartin") cartin.get()->data_size = 3;
    if (a == "phasein") phasein.get()->data_size = 3;
    if (a == "magin") magin.get()->data_size = 3;
    EXPECT_EQ(convenience(cs.function, m, magin, phasein, cartin, magout, phaseout, cartout, 5), 1);
    ASSERT_EQ(m.messages.received.size(), 1u);
    EXPECT_EQ(m.messages.received[0].first, 1);
    EXPECT_EQ(m.messages.received[0].second, "dut 3 ERROR: Problem reading data from " + a);
    RealArray full_magout(5), full_phaseout(5);
    ComplexArray full_cartout(5);
    RealArray full_magin(words), full_phasein(words);
    ComplexArray full_cartin(words, words);
    ASSERT_EQ(convenience(cs.function, m, full_magin, full_phasein, full_cartin, full_magout, full_phaseout,
                          full_cartout, 5),
              0);
    for (size_t k = 0; k < 5; ++k) {
      const auto expect = [k](double got, double full) {
        if (k < 3) {
          EXPECT_EQ(got, full) << k;
        } else {
          EXPECT_EQ(got, kUnwritten) << k;
        }
      };
      expect(cartout[k].re, full_cartout[k].re);
      expect(cartout[k].im, full_cartout[k].im);
      expect(magout[k], full_magout[k]);
      expect(phaseout[k], full_phaseout[k]);
    }
  }
}

// Every other failure writes nothing: a bad code, a code other than the
// configured one, a missing or mis-sized array.
TEST(DataDo, ArgumentFaultsWriteNothing) {
  const std::vector<double> words = {1000, 2000, 3000};
  for (uint32_t f = 0; f < 7; ++f) {
    SCOPED_TRACE("function " + std::to_string(f));
    const Model m(config_for(f));
    RealArray magin(words), phasein(words), magout(3), phaseout(3), short_in(2, 2);
    ComplexArray cartin(words, words), cartout(3);
    for (uint32_t code : {7u, (f + 3) % 7}) {
      EXPECT_EQ(zelip_cordic_v6_0_data_do(m.get(), code, magin.get(), phasein.get(), cartin.get(), magout.get(),
                                          phaseout.get(), cartout.get(), 3),
                1);
    }
    EXPECT_EQ(zelip_cordic_v6_0_data_do(m.get(), f, magin.get(), phasein.get(), cartin.get(), magout.get(),
                                        phaseout.get(), cartout.get(), 4),
              1);
    const bool reads_phase = f == 0 || f == 2 || f == 4;
    EXPECT_EQ(zelip_cordic_v6_0_data_do(m.get(), f, f == 6 ? short_in.get() : magin.get(),
                                        reads_phase ? short_in.get() : phasein.get(),
                                        reads_phase || f == 6 ? cartin.get() : nullptr, magout.get(),
                                        phaseout.get(), cartout.get(), 3),
              1);
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(magout[k], kUnwritten);
      EXPECT_EQ(phaseout[k], kUnwritten);
      EXPECT_EQ(cartout[k].re, kUnwritten);
      EXPECT_EQ(cartout[k].im, kUnwritten);
    }
    EXPECT_TRUE(m.messages.received.empty());
  }
}

// A word that is not a number cannot be a hardware word: the sample is
// unreadable like a missing one (GMP cannot take it either).
TEST(DataDo, NonFiniteWordsAreUnreadable) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double b : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
    for (uint32_t f : {0u, 1u, 6u}) {
      // The second sample's phase (rotate), vector (translate) or radicand (sqrt).
      const Model m(config_for(f));
      RealArray magin(std::vector<double>{10, b}), phasein(std::vector<double>{10, f == 0 ? b : 20}), out(2), ph(2);
      ComplexArray cartin(std::vector<double>{10, f == 1 ? b : 20}, std::vector<double>{30, 40}), cartout(2);
      EXPECT_EQ(convenience(f, m, magin, phasein, cartin, out, ph, cartout, 2), 1);
      EXPECT_NE(f == 0 ? cartout[0].re : out[0], kUnwritten);
      EXPECT_EQ(f == 0 ? cartout[1].re : out[1], kUnwritten);
      ASSERT_EQ(m.messages.received.size(), 1u);
      EXPECT_EQ(m.messages.received[0].second, std::string("Default configuration ERROR: Problem reading data from ") +
                                                   (f == 0 ? "phasein" : f == 1 ? "cartin" : "magin"));
    }
  }
  // Without a callback the failure is only the status.
  zelip_cordic_v6_0_config c = config_for(6);
  zelip_cordic_v6_0_model *silent = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
  RealArray rad(std::vector<double>{std::nan("")}), root(1);
  EXPECT_EQ(zelip_cordic_v6_0_sqrt(silent, rad.get(), root.get(), 1), 1);
  zelip_cordic_v6_0_destroy(silent);
}

// Output arrays shorter than the block keep what fits; the rest is skipped
// and the call still succeeds. Other outputs of the same sample are written.
TEST(DataDo, ShortOutputsSkipTheSamplesThatDoNotFit) {
  const std::vector<double> words = {1000, 2000, 3000, 4000};
  const Model tr(config_for(1));
  ComplexArray cartin(words, words);
  RealArray magout(4), phaseout(4);
  magout.get()->data_size = 2;
  EXPECT_EQ(zelip_cordic_v6_0_translate(tr.get(), cartin.get(), magout.get(), phaseout.get(), 4), 0);
  EXPECT_NE(magout[1], kUnwritten);
  EXPECT_EQ(magout[2], kUnwritten);
  EXPECT_EQ(magout[3], kUnwritten);
  EXPECT_NE(phaseout[3], kUnwritten);

  const Model rot(config_for(0));
  RealArray phasein(words);
  ComplexArray cartout(4);
  cartout.get()->data_size = 1;
  EXPECT_EQ(zelip_cordic_v6_0_rotate(rot.get(), cartin.get(), phasein.get(), cartout.get(), 4), 0);
  EXPECT_NE(cartout[0].re, kUnwritten);
  EXPECT_EQ(cartout[1].re, kUnwritten);
  EXPECT_TRUE(tr.messages.received.empty());
  EXPECT_TRUE(rot.messages.received.empty());
}

// The host may pass one array as input and output: sample k is read before
// it is written.
TEST(DataDo, InPlaceBlocksReadEachSampleBeforeWritingIt) {
  const Model m(config_for(0));
  const std::vector<double> x = {9000, -7000, 100}, y = {-2000, 5000, 12000};
  ComplexArray io(x, y), cartout(3);
  RealArray phasein(std::vector<double>{5000, -25000, 12000});
  ASSERT_EQ(zelip_cordic_v6_0_rotate(m.get(), io.get(), phasein.get(), cartout.get(), 3), 0);
  ASSERT_EQ(zelip_cordic_v6_0_rotate(m.get(), io.get(), phasein.get(), io.get(), 3), 0);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(io[k].re, cartout[k].re);
    EXPECT_EQ(io[k].im, cartout[k].im);
  }
}

}  // namespace
