// Configuration checking through create: the exact texts, their order, and
// the derived iteration count N and internal width B.
#include "cordic_model.h"
#include "message_recorder.h"
#include "solvine.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using cordictest::default_config;
using cordictest::MessageRecorder;
using Config = zelip_cordic_v6_0_config;

// Creates a model from c; returns the messages and whether a model came back.
struct CreateResult {
  bool created;
  MessageRecorder rec;
};
CreateResult try_create(const Config &c) {
  CreateResult r{};
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, MessageRecorder::callback, &r.rec);
  r.created = m != nullptr;
  if (m != nullptr) {
    EXPECT_EQ(zelip_cordic_v6_0_destroy(m), 0);
  }
  return r;
}

void expect_rejected(const Config &c, const std::string &text) {
  CreateResult r = try_create(c);
  EXPECT_FALSE(r.created);
  ASSERT_EQ(r.rec.messages.size(), 1u) << text;
  EXPECT_EQ(r.rec.messages[0].error, 1);
  EXPECT_EQ(r.rec.messages[0].text, text);  // bare text: no name prefix at create
}

void expect_accepted(const Config &c) {
  CreateResult r = try_create(c);
  EXPECT_TRUE(r.created);
  EXPECT_TRUE(r.rec.messages.empty());
}

const char *const kOutputWidthRange = "ERROR: Output width must be between 8 and 48 ";
const char *const kIntegerRootWidth = "ERROR: Output Width is Incorrect, it must be input_width/2+1";

TEST(CordicConfig, ChecksRunInOrderAndTheFirstFailureIsReported) {
  // Every field invalid; repairing them one at a time in check order must
  // expose each following check's text in turn.
  Config c = default_config();
  c.name = "every field wrong";
  c.CordicFunction = 7;
  c.CoarseRotate = 2;
  c.DataFormat = 3;
  c.PhaseFormat = 2;
  c.InputWidth = 7;
  c.OutputWidth = 49;
  c.Iterations = 49;
  c.Precision = 49;
  c.RoundMode = 4;
  c.ScaleComp = 4;
  c.Reserved = 0xFFFFFFFFu;  // never checked
  const std::pair<std::function<void(Config &)>, const char *> steps[] = {
      {[](Config &x) { x.CordicFunction = 6; }, "Invalid value for CordicFunction"},
      {[](Config &x) { x.CoarseRotate = 0; }, "Invalid value for CoarseRotate"},
      {[](Config &x) { x.DataFormat = 1; }, "Invalid value for DataFormat"},
      {[](Config &x) { x.PhaseFormat = 1; }, "Invalid value for PhaseFormat"},
      {[](Config &x) { x.InputWidth = 48; }, "Invalid value for InputWidth"},
      {[](Config &x) { x.OutputWidth = 48; }, kOutputWidthRange},
      {[](Config &x) { x.Iterations = 48; }, "Invalid value for Iterations"},
      {[](Config &x) { x.Precision = 48; }, "Invalid value for Precision"},
      {[](Config &x) { x.RoundMode = 3; }, "Invalid value for RoundMode"},
      {[](Config &x) { x.ScaleComp = 3; }, "Invalid value for ScaleComp"},
  };
  for (const auto &[repair, text] : steps) {
    SCOPED_TRACE(text);
    expect_rejected(c, text);
    repair(c);
  }
  expect_accepted(c);
}

TEST(CordicConfig, FieldsAreComparedAsUnsignedWords) {
  // A host passing -1 must not slip under an upper bound.
  const std::pair<uint32_t Config::*, const char *> fields[] = {
      {&Config::CordicFunction, "Invalid value for CordicFunction"},
      {&Config::CoarseRotate, "Invalid value for CoarseRotate"},
      {&Config::DataFormat, "Invalid value for DataFormat"},
      {&Config::PhaseFormat, "Invalid value for PhaseFormat"},
      {&Config::InputWidth, "Invalid value for InputWidth"},
      {&Config::OutputWidth, kOutputWidthRange},
      {&Config::Iterations, "Invalid value for Iterations"},
      {&Config::Precision, "Invalid value for Precision"},
      {&Config::RoundMode, "Invalid value for RoundMode"},
      {&Config::ScaleComp, "Invalid value for ScaleComp"},
  };
  for (const auto &[field, text] : fields) {
    Config c = default_config();
    c.*field = 0xFFFFFFFFu;
    SCOPED_TRACE(text);
    expect_rejected(c, text);
  }
}

TEST(CordicConfig, RangeBoundaries) {
  for (uint32_t w : {8u, 48u}) {
    Config c = default_config();
    c.InputWidth = w;
    expect_accepted(c);
    c = default_config();
    c.OutputWidth = w;
    c.Precision = w;
    expect_accepted(c);
  }
  for (uint32_t w : {7u, 49u}) {
    Config c = default_config();
    c.InputWidth = w;
    expect_rejected(c, "Invalid value for InputWidth");
    c = default_config();
    c.OutputWidth = w;
    expect_rejected(c, kOutputWidthRange);
  }
  Config c = default_config();
  c.Precision = 15;  // below OutputWidth 16
  expect_rejected(c, "Invalid value for Precision");
  c.Precision = 0;
  c.Iterations = 49;
  expect_rejected(c, "Invalid value for Iterations");
  c.Iterations = 48;
  c.name = nullptr;  // the name is never checked
  expect_accepted(c);
}

TEST(CordicConfig, IntegerRootWidthIsHalfTheInputPlusOne) {
  Config c = default_config();
  c.CordicFunction = 6;
  c.DataFormat = 2;
  c.InputWidth = 15;
  c.OutputWidth = 8;
  expect_accepted(c);
  c.OutputWidth = 9;
  expect_rejected(c, kIntegerRootWidth);
  // The 8-to-48 rule does not apply to the integer root...
  c.InputWidth = 8;
  c.OutputWidth = 5;
  expect_accepted(c);
  c.OutputWidth = 8;
  expect_rejected(c, kIntegerRootWidth);
  // ...but does to the fractional one and to every other function.
  c.DataFormat = 1;
  c.OutputWidth = 5;
  expect_rejected(c, kOutputWidthRange);
  c.CordicFunction = 0;
  c.DataFormat = 2;
  expect_rejected(c, kOutputWidthRange);
}

// N and B as the model derives them.
struct Derived {
  uint32_t n, b;
};
Derived derive(const Config &c) {
  cordic_v6_0 model(c, std::make_unique<ZelLogger>(nullptr, nullptr, c.name));
  return {model.iterations(), model.precision()};
}

TEST(CordicConfig, DerivedIterationsAndWidth) {
  struct Case {
    const char *what;
    uint32_t function, coarse, format, in, out, round;
    Derived want;
  };
  const Case cases[] = {
      {"defaults", 0, 1, 0, 16, 16, 0, {14, 20}},
      {"rotate, no coarse rotation", 0, 0, 0, 16, 16, 0, {16, 20}},
      {"sinh_cosh, coarse rotation", 4, 1, 0, 16, 16, 0, {16, 20}},
      {"atanh, no coarse rotation", 5, 0, 0, 16, 16, 0, {18, 21}},
      {"integer sqrt, truncate", 6, 1, 2, 16, 9, 0, {9, 9}},
      {"integer sqrt, nearest", 6, 1, 2, 16, 9, 3, {11, 11}},
      {"sqrt, half up", 6, 1, 0, 16, 16, 1, {17, 17}},
      {"translate, 48 bits", 1, 1, 0, 48, 48, 0, {46, 54}},
      {"sinh_cosh, 48 bits, no coarse rotation", 4, 0, 0, 48, 48, 0, {50, 54}},
      {"sin_cos, 8 bits", 2, 1, 0, 8, 8, 0, {6, 11}},
      // Hyperbolic repeats: one for 4 to 12 plain iterations, two from 13 on.
      {"atanh, 13 before repeats", 5, 1, 0, 15, 15, 0, {15, 19}},
      {"atanh, 12 before repeats", 5, 1, 0, 14, 14, 0, {13, 18}},
      {"sinh_cosh, 6 before repeats", 4, 1, 0, 8, 8, 0, {7, 11}},
      {"sqrt, half away", 6, 0, 1, 16, 12, 2, {13, 13}},
  };
  for (const Case &k : cases) {
    Config c = default_config();
    c.CordicFunction = k.function;
    c.CoarseRotate = k.coarse;
    c.DataFormat = k.format;
    c.InputWidth = k.in;
    c.OutputWidth = k.out;
    c.RoundMode = k.round;
    const Derived got = derive(c);
    EXPECT_EQ(got.n, k.want.n) << k.what;
    EXPECT_EQ(got.b, k.want.b) << k.what;
  }
}

TEST(CordicConfig, GivenIterationsAndPrecisionReplaceTheRules) {
  Config c = default_config();
  c.CordicFunction = 5;  // hyperbolic: a given count includes the repeats
  c.Iterations = 48;
  EXPECT_EQ(derive(c).n, 48u);
  EXPECT_EQ(derive(c).b, 16u + 6u);  // guard bits follow the given count
  c.Iterations = 1;
  EXPECT_EQ(derive(c).b, 16u);
  c.Precision = 16;
  for (uint32_t f = 0; f <= 5; ++f) {
    c.CordicFunction = f;
    c.Iterations = 0;
    EXPECT_EQ(derive(c).b, 16u) << f;
  }
  c.CordicFunction = 6;
  c.DataFormat = 2;
  c.OutputWidth = 9;
  c.Precision = 30;
  EXPECT_EQ(derive(c).b, 30u);
}

}  // namespace
