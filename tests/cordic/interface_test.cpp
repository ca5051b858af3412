// The model-free exports of solvine: default configuration and version.
#include "solvine.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

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

}  // namespace
