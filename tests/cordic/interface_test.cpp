// The exports of solvine that need no samples: default configuration,
// version, and the model's create, destroy and get_config.
#include "message_recorder.h"
#include "solvine.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

TEST(CordicInterface, DefaultConfigFillsEveryField) {
  zelip_cordic_v6_0_config c;
  std::memset(&c, 0xA5, sizeof c);
  ASSERT_EQ(zelip_cordic_v6_0_default_config(&c), 0);
  EXPECT_STREQ(c.name, "Default configuration");
  EXPECT_EQ(c.CordicFunction, 0u);
  EXPECT_EQ(c.CoarseRotate, 1u);
  EXPECT_EQ(c.DataFormat, 0u);
  EXPECT_EQ(c.PhaseFormat, 0u);
  EXPECT_EQ(c.InputWidth, 16u);
  EXPECT_EQ(c.OutputWidth, 16u);
  EXPECT_EQ(c.Iterations, 0u);
  EXPECT_EQ(c.Precision, 0u);
  EXPECT_EQ(c.RoundMode, 0u);
  EXPECT_EQ(c.ScaleComp, 0u);
  EXPECT_EQ(c.Reserved, 1u);
  EXPECT_EQ(zelip_cordic_v6_0_default_config(nullptr), 1);
}

TEST(CordicInterface, ConfigLayoutIsAPointerThenElevenWords) {
  EXPECT_EQ(offsetof(zelip_cordic_v6_0_config, CordicFunction), sizeof(void *));
  EXPECT_EQ(offsetof(zelip_cordic_v6_0_config, Reserved), sizeof(void *) + 10 * sizeof(uint32_t));
  EXPECT_EQ(sizeof(zelip_complex), 2 * sizeof(double));
}

TEST(CordicInterface, VersionIsOneStaticText) {
  const char *v = zelip_cordic_v6_0_get_version();
  EXPECT_STREQ(v, "6.0");
  EXPECT_EQ(zelip_cordic_v6_0_get_version(), v);
}

using cordictest::MessageRecorder;

TEST(CordicInterface, DefaultConfigurationMakesAModel) {
  zelip_cordic_v6_0_config c;
  ASSERT_EQ(zelip_cordic_v6_0_default_config(&c), 0);
  MessageRecorder rec;
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, MessageRecorder::callback, &rec);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(rec.messages.empty());
  EXPECT_EQ(zelip_cordic_v6_0_destroy(m), 0);
  // No callback at all is allowed too.
  m = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(zelip_cordic_v6_0_destroy(m), 0);
}

TEST(CordicInterface, GetConfigReturnsTheCreatedRecordWithTheModelsName) {
  char host_name[] = "rotator A";
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.name = host_name;
  c.CordicFunction = 1;
  c.CoarseRotate = 0;
  c.DataFormat = 1;
  c.PhaseFormat = 1;
  c.InputWidth = 20;
  c.OutputWidth = 18;
  c.Iterations = 0;  // derived values are not written back
  c.Precision = 0;
  c.RoundMode = 3;
  c.ScaleComp = 2;
  c.Reserved = 0xDEADBEEFu;
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
  ASSERT_NE(m, nullptr);
  std::memset(host_name, 'x', sizeof host_name - 1);  // the host may reuse its text at once

  zelip_cordic_v6_0_config got;
  std::memset(&got, 0, sizeof got);
  ASSERT_EQ(zelip_cordic_v6_0_get_config(m, &got), 0);
  EXPECT_STREQ(got.name, "rotator A");
  EXPECT_NE(got.name, static_cast<const char *>(host_name));
  zelip_cordic_v6_0_config again;
  ASSERT_EQ(zelip_cordic_v6_0_get_config(m, &again), 0);
  EXPECT_EQ(again.name, got.name);  // one text, owned by the model
  const uint32_t zelip_cordic_v6_0_config::*fields[] = {
      &zelip_cordic_v6_0_config::CordicFunction, &zelip_cordic_v6_0_config::CoarseRotate,
      &zelip_cordic_v6_0_config::DataFormat,     &zelip_cordic_v6_0_config::PhaseFormat,
      &zelip_cordic_v6_0_config::InputWidth,     &zelip_cordic_v6_0_config::OutputWidth,
      &zelip_cordic_v6_0_config::Iterations,     &zelip_cordic_v6_0_config::Precision,
      &zelip_cordic_v6_0_config::RoundMode,      &zelip_cordic_v6_0_config::ScaleComp,
      &zelip_cordic_v6_0_config::Reserved};
  for (auto field : fields) EXPECT_EQ(got.*field, c.*field);
  EXPECT_EQ(got.Reserved, 0xDEADBEEFu);

  EXPECT_EQ(zelip_cordic_v6_0_get_config(m, nullptr), 1);
  EXPECT_EQ(zelip_cordic_v6_0_get_config(nullptr, &got), 1);
  EXPECT_EQ(zelip_cordic_v6_0_destroy(m), 0);
}

TEST(CordicInterface, NullNameComesBackEmpty) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.name = nullptr;
  zelip_cordic_v6_0_model *m = zelip_cordic_v6_0_create(&c, nullptr, nullptr);
  ASSERT_NE(m, nullptr);
  zelip_cordic_v6_0_config got;
  ASSERT_EQ(zelip_cordic_v6_0_get_config(m, &got), 0);
  ASSERT_NE(got.name, nullptr);
  EXPECT_STREQ(got.name, "");
  EXPECT_EQ(zelip_cordic_v6_0_destroy(m), 0);
}

TEST(CordicInterface, CreateFailuresReachTheCallbackWithItsHandle) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.InputWidth = 7;
  MessageRecorder rec;
  EXPECT_EQ(zelip_cordic_v6_0_create(&c, MessageRecorder::callback, &rec), nullptr);
  ASSERT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(rec.messages[0].error, 1);
  EXPECT_EQ(rec.messages[0].text, "Invalid value for InputWidth");
  // Silent failures: no callback, or no record at all.
  EXPECT_EQ(zelip_cordic_v6_0_create(&c, nullptr, nullptr), nullptr);
  EXPECT_EQ(zelip_cordic_v6_0_create(nullptr, MessageRecorder::callback, &rec), nullptr);
  EXPECT_EQ(rec.messages.size(), 1u);
  EXPECT_EQ(zelip_cordic_v6_0_destroy(nullptr), 1);
}

// A C++ host whose callback throws must not have the exception unwind through
// the library's C interface: create still reports failure by its null result.
TEST(CordicInterface, ThrowingCallbackDoesNotEscapeCreate) {
  zelip_cordic_v6_0_config c;
  zelip_cordic_v6_0_default_config(&c);
  c.InputWidth = 7;
  int calls = 0;
  const zelip_msg_handler throwing = [](void *handle, int, const char *) {
    ++*static_cast<int *>(handle);
    throw std::runtime_error("host callback failed");
  };
  zelip_cordic_v6_0_model *m = nullptr;
  EXPECT_NO_THROW(m = zelip_cordic_v6_0_create(&c, throwing, &calls));
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace
