// The SIMD lane path of the CORDIC engine against the scalar path, word for
// word: every instruction set this machine has, on random configurations and
// blocks (tails, several chunks, words the lanes must hand back), and the
// block rules that reading a chunk at once must not change (unreadable and
// missing samples, short outputs, overlapping arrays, a host's own copy).
#include "reference/cordic_host.h"

#include "cordic_engine.h"
#include "cordic_exception.h"
#include "solvine_words.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace cordtest;
using cordic::CordicEngine;

struct Outcome {
  std::string error;  // the exception text, empty when the block succeeded
  std::vector<double> words;
  bool operator==(const Outcome &o) const { return error == o.error && words == o.words; }
};

// On a mismatch: the error texts and the first differing word.
::testing::AssertionResult same(const Outcome &lanes, const Outcome &scalar) {
  if (lanes == scalar) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "errors \"" << lanes.error << "\" and \"" << scalar.error << "\"";
  for (std::size_t i = 0; i < lanes.words.size() && i < scalar.words.size(); ++i)
    if (lanes.words[i] != scalar.words[i])
      return failure << "; sample " << i / 4 << " word " << i % 4 << ": " << lanes.words[i] << " vs "
                     << scalar.words[i];
  return failure;
}

// A block's arrays; outputs start unwritten, so two copies compare fully.
struct Arrays {
  Arrays(const std::vector<double> &x, const std::vector<double> &y, const std::vector<double> &z)
      : phasein(z), cartin(x, y), magout(x.size()), phaseout(x.size()), cartout(x.size()) {}
  cordic::SampleArrays view() const {
    return {nullptr, phasein.get(), cartin.get(), magout.get(), phaseout.get(), cartout.get()};
  }
  Outcome run(const Model &m, CordicEngine::Arithmetic arithmetic, std::size_t count) {
    Outcome o;
    try {
      CordicEngine(m.impl(), arithmetic).run(view(), count);
    } catch (const CORDICException &e) {
      o.error = e.what();
    }
    for (std::size_t k = 0; k < cartout.get()->data_capacity; ++k) {
      o.words.insert(o.words.end(), {cartout.get()->data[k].re, cartout.get()->data[k].im});
      o.words.insert(o.words.end(), {magout.get()->data[k], phaseout.get()->data[k]});
    }
    return o;
  }
  RealArray phasein;
  ComplexArray cartin;
  RealArray magout, phaseout;
  ComplexArray cartout;
};

Outcome run_copy(const Model &m, CordicEngine::Arithmetic arithmetic, const std::vector<double> &x,
                 const std::vector<double> &y, const std::vector<double> &z) {
  Arrays a(x, y, z);
  return a.run(m, arithmetic, x.size());
}

// A random configuration of a lane function: widths, rounding, coarse
// rotation, gain compensation, iteration counts and precisions.
template <class Pick>
zelip_cordic_v6_0_config random_config(uint32_t function, Pick &pick) {
  zelip_cordic_v6_0_config c = config_for(function, 8 + pick(41));
  c.OutputWidth = 8 + pick(41);
  c.CoarseRotate = pick(2);
  c.PhaseFormat = pick(2);
  c.RoundMode = pick(4);
  c.ScaleComp = pick(4);
  if (pick(3) == 0) c.Iterations = 1 + pick(48);
  if (pick(3) == 0) c.Precision = c.OutputWidth + pick(49 - c.OutputWidth);
  return c;
}

// Every instruction set compiled in and supported here (the portable one
// included) gives the scalar path's words for any configuration: functions,
// widths, rounding, coarse rotation, gain compensation, iteration counts and
// precisions; in-range and extreme words, fractions, and words the lanes
// cannot take (beyond 2^59 once aligned), which send their chunk down the
// scalar path.
TEST(EngineLanes, EveryTargetGivesTheScalarWords) {
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  ASSERT_FALSE(targets.empty());
  for (int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    const std::string name = hwy::TargetName(target);
    ASSERT_EQ(name, cordic::lane_target_name());
    std::mt19937_64 gen(41);
    auto pick = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(gen); };
    for (unsigned n = 0; n < 120; ++n) {
      const zelip_cordic_v6_0_config c = random_config(n % 6, pick);
      const Model m(c);
      ASSERT_TRUE(m.valid()) << describe(c);
      const std::size_t count = n % 4 == 0 ? 1 + pick(15) : 1 + pick(700);
      const bool odd_words = n % 3 == 0;
      SCOPED_TRACE(name + " " + describe(c) + " count " + std::to_string(count) + " case " + std::to_string(n));
      // Words that align to just below and at 2^29 and 2^59: the bounds of
      // the 32-bit lanes (data paths up to 29 bits) and of the 64-bit ones.
      const int alignment = static_cast<int>(m.B()) - static_cast<int>(c.InputWidth);
      const double edges[2] = {std::ldexp(1.0, 29 - alignment), std::ldexp(1.0, 59 - alignment)};
      std::vector<double> words[3];
      for (std::vector<double> &w : words) {
        for (std::size_t k = 0; k < count; ++k) {
          const int bits = static_cast<int>(pick(c.InputWidth + (odd_words ? 3 : 0)));
          double v = std::floor(std::ldexp(static_cast<double>(gen() >> 11), bits - 53));
          if (pick(2)) v = -v;
          if (odd_words && pick(16) == 0) v += 0.5;
          if (pick(32) == 0) v = -std::ldexp(1.0, c.InputWidth - 1);
          if (odd_words && pick(100) == 0) {
            const double edge = edges[pick(2)];
            v = (pick(2) ? -1.0 : 1.0) * (pick(2) ? edge : std::nextafter(edge, 0.0));
          }
          w.push_back(v);
        }
      }
      EXPECT_TRUE(same(run_copy(m, CordicEngine::Arithmetic::kAuto, words[0], words[1], words[2]),
                       run_copy(m, CordicEngine::Arithmetic::kScalar, words[0], words[1], words[2])));
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

// Integer words straight into the lanes and out of them (the seam language
// bindings use) give the scalar path's words: every instruction set, random
// configurations, words anywhere in the input width (its extremes too), blocks
// with tails and of several chunks; atan and atanh without the magnitude.
TEST(EngineLanes, IntegerWordsGiveTheScalarWords) {
  EXPECT_FALSE(solvine::WordLanes(config_for(6)).available());  // the square root takes the sample path
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  for (int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    std::mt19937_64 gen(47);
    auto pick = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(gen); };
    for (unsigned n = 0; n < 70; ++n) {
      const zelip_cordic_v6_0_config c = random_config(n % 6, pick);
      const Model m(c);
      ASSERT_TRUE(m.valid()) << describe(c);
      const solvine::WordLanes lanes(c);
      ASSERT_TRUE(lanes.available());
      const std::size_t count = n % 4 == 0 ? 1 + pick(15) : 1 + pick(700);
      SCOPED_TRACE(std::string(hwy::TargetName(target)) + " " + describe(c) + " count " + std::to_string(count));
      const int64_t lo = -(int64_t{1} << (c.InputWidth - 1)), hi = -lo - 1;
      std::vector<int64_t> words[3];
      std::vector<double> doubles[3];
      for (int i = 0; i < 3; ++i)
        for (std::size_t k = 0; k < count; ++k) {
          const int64_t v = pick(16) == 0 ? (pick(2) ? lo : hi) : std::uniform_int_distribution<int64_t>(lo, hi)(gen);
          words[i].push_back(v);
          doubles[i].push_back(static_cast<double>(v));
        }
      std::vector<int64_t> a(count, 7), b(count, 7);
      const bool vectoring = c.CordicFunction == 3 || c.CordicFunction == 5;
      ASSERT_TRUE(lanes.run(words[0].data(), words[1].data(), words[2].data(), count, vectoring ? nullptr : a.data(),
                            b.data()));
      const Outcome scalar = run_copy(m, CordicEngine::Arithmetic::kScalar, doubles[0], doubles[1], doubles[2]);
      ASSERT_EQ(scalar.error, "");
      for (std::size_t k = 0; k < count; ++k) {
        // Outcome words per sample: cart re, cart im, magnitude, phase.
        const double *w = &scalar.words[4 * k];
        const double want_a = c.CordicFunction == 1 ? w[2] : w[0];
        const double want_b = c.CordicFunction == 1 || vectoring ? w[3] : w[1];
        ASSERT_EQ(static_cast<double>(b[k]), want_b) << "sample " << k;
        if (vectoring) ASSERT_EQ(a[k], 7) << "sample " << k;
        else ASSERT_EQ(static_cast<double>(a[k]), want_a) << "sample " << k;
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

// 32-bit lanes take data paths up to 29 bits with aligned words below 2^29;
// words at the bound and beyond, up to 2^31 (where sums of two would wrap in
// 32 bits), must give the same words as the scalar path.
TEST(EngineLanes, NarrowLanesStopAtTheirBound) {
  std::mt19937_64 gen(43);
  for (uint32_t f = 0; f < 6; ++f) {
    for (uint32_t input_width : {20u, 29u}) {
      zelip_cordic_v6_0_config c = config_for(f, input_width);
      c.OutputWidth = 20;
      c.Precision = 29;
      c.ScaleComp = 1;
      const Model m(c);
      ASSERT_TRUE(m.valid());
      const double bound = std::ldexp(1.0, static_cast<int>(input_width));  // aligns to 2^29
      for (double top : {bound, 4 * bound}) {
        SCOPED_TRACE(describe(c) + " words below " + std::to_string(top));
        std::uniform_real_distribution<double> near(top / 2, top);
        std::vector<double> words[3];
        for (std::vector<double> &w : words)
          for (int k = 0; k < 40; ++k) w.push_back((k % 2 ? -1.0 : 1.0) * std::floor(near(gen)));
        words[0][0] = words[1][0] = std::nextafter(bound, 0.0);
        EXPECT_TRUE(same(run_copy(m, CordicEngine::Arithmetic::kAuto, words[0], words[1], words[2]),
                         run_copy(m, CordicEngine::Arithmetic::kScalar, words[0], words[1], words[2])));
      }
    }
  }
}

// Reading a chunk at once keeps the sample-by-sample rules: a block stops at
// an unreadable or missing word with the samples before it written (the
// chunk's earlier samples too), and short outputs keep what fits.
TEST(EngineLanes, BlocksStopAndSkipWhereSamplesDo) {
  std::mt19937_64 gen(42);
  std::uniform_real_distribution<double> word(-20000, 20000);
  std::vector<double> x(700), y(700), z(700);
  for (std::vector<double> *w : {&x, &y, &z})
    for (double &v : *w) v = std::floor(word(gen));
  for (uint32_t f : {0u, 1u}) {
    const Model m(config_for(f));
    auto both = [&](auto &&prepare) {
      Arrays lanes(x, y, z), scalar(x, y, z);
      prepare(lanes);
      prepare(scalar);
      const Outcome a = lanes.run(m, CordicEngine::Arithmetic::kAuto, 700);
      EXPECT_TRUE(same(a, scalar.run(m, CordicEngine::Arithmetic::kScalar, 700)));
      return a;
    };
    EXPECT_EQ(both([](Arrays &a) { a.cartin.get()->data[300].im = std::nan(""); }).error,
              "Problem reading data from cartin");
    EXPECT_EQ(both([](Arrays &a) { a.cartin.get()->data_size = 530; }).error, "Problem reading data from cartin");
    if (f == 0) {
      EXPECT_EQ(both([](Arrays &a) { a.phasein.get()->data[517] = HUGE_VAL; }).error,
                "Problem reading data from phasein");
    }
    const auto short_outputs = [](Arrays &a) {
      a.cartout.get()->data_size = 261;
      a.magout.get()->data_size = 5;
      a.phaseout.get()->data_size = 600;
    };
    EXPECT_EQ(both(short_outputs).error, "");
  }
}

// Views may share storage: where an output overlaps an input at another
// position, a write reaches a word read later, as sample by sample.
TEST(EngineLanes, OverlappingArraysGiveTheSampleBySampleWords) {
  const Model tr(config_for(1));
  const std::size_t n = 300;
  auto run = [&](CordicEngine::Arithmetic arithmetic) {
    // One buffer of doubles: cartin reads (re, im) pairs from word 0 on,
    // magout and phaseout write into it at words 3 and 4 onwards.
    std::vector<double> buffer(2 * n + 8);
    for (std::size_t k = 0; k < buffer.size(); ++k) buffer[k] = 1000.0 + 37.0 * static_cast<double>(k % 400);
    std::size_t dims[1] = {n};
    const ComplexArray complex_owner(1);
    const RealArray real_owner(1);
    zelip_array_complex cartin{reinterpret_cast<zelip_complex *>(buffer.data()), n, n, dims, 1, 1, 1,
                               complex_owner.get()->ops};
    zelip_array_real magout{buffer.data() + 3, n, n, dims, 1, 1, 1, real_owner.get()->ops};
    zelip_array_real phaseout{buffer.data() + 4, n, n, dims, 1, 1, 1, real_owner.get()->ops};
    CordicEngine(tr.impl(), arithmetic).run({nullptr, nullptr, &cartin, &magout, &phaseout, nullptr}, n);
    return buffer;
  };
  EXPECT_EQ(run(CordicEngine::Arithmetic::kAuto), run(CordicEngine::Arithmetic::kScalar));
}

// A host's own copy operation is called element by element, in the order of
// the sample-by-sample path (read k, write k, read k + 1, ...).
TEST(EngineLanes, HostCopyOperationsSeeTheSampleOrder) {
  // A host table that logs every copy into a log shared by two arrays:
  // writes as the index written, reads (into the engine's own word) as -1.
  struct LoggingTable {
    zelip_array_ops ops;  // first, so the slots find the table again
    const zelip_array_ops *inner;
    std::vector<double> *log;
    const zelip_array_complex *written;
    static void copy(const zelip_array_ops *t, void *destination, const void *source) {
      const auto &self = *reinterpret_cast<const LoggingTable *>(t);
      const auto *element = static_cast<zelip_complex *>(destination);
      const bool write = self.written != nullptr && element >= self.written->data &&
                         element < self.written->data + self.written->data_size;
      self.log->push_back(write ? static_cast<double>(element - self.written->data) : -1.0);
      self.inner->copy(self.inner, destination, source);
    }
  };
  const Model m(config_for(2));
  const std::size_t n = 40;
  auto run = [&](CordicEngine::Arithmetic arithmetic) {
    RealArray phasein(n);
    ComplexArray cartout(n);
    std::vector<double> log;
    LoggingTable real_table{*phasein.get()->ops, phasein.get()->ops, &log, nullptr};
    LoggingTable complex_table{*cartout.get()->ops, cartout.get()->ops, &log, cartout.get()};
    real_table.ops.copy = complex_table.ops.copy = &LoggingTable::copy;
    phasein.get()->ops = &real_table.ops;
    cartout.get()->ops = &complex_table.ops;
    for (std::size_t k = 0; k < n; ++k) phasein.get()->data[k] = 400.0 * static_cast<double>(k) - 8000;
    CordicEngine(m.impl(), arithmetic).run({nullptr, phasein.get(), nullptr, nullptr, nullptr, cartout.get()}, n);
    for (std::size_t k = 0; k < n; ++k) log.insert(log.end(), {cartout[k].re, cartout[k].im});
    phasein.get()->ops = real_table.inner;
    cartout.get()->ops = complex_table.inner;
    return log;
  };
  const std::vector<double> lanes = run(CordicEngine::Arithmetic::kAuto);
  ASSERT_EQ(lanes.size(), 4 * n);
  EXPECT_EQ(lanes[0], -1.0);
  EXPECT_EQ(lanes[1], 0.0);
  EXPECT_EQ(lanes, run(CordicEngine::Arithmetic::kScalar));
}

}  // namespace
