// The settings text a test bench hands to the DPI shims.
#include "dpi_support.h"

#include <gtest/gtest.h>

using zel::SettingError;
using zel::SettingValue;
using zel::dpi::parse_settings;

TEST(DpiSettings, ReadsEveryValueKind) {
  const auto s = parse_settings(
      "  function=sin_cos,input_width=16 ,, name=\"core a, lane=2\" coarse_rotation=false precision=+20 reserved=-3");
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0], (std::pair<std::string, SettingValue>{"function", std::string("sin_cos")}));
  EXPECT_EQ(s[1], (std::pair<std::string, SettingValue>{"input_width", std::int64_t{16}}));
  EXPECT_EQ(s[2], (std::pair<std::string, SettingValue>{"name", std::string("core a, lane=2")}));
  EXPECT_EQ(s[3], (std::pair<std::string, SettingValue>{"coarse_rotation", false}));
  EXPECT_EQ(s[4], (std::pair<std::string, SettingValue>{"precision", std::int64_t{20}}));
  EXPECT_EQ(s[5], (std::pair<std::string, SettingValue>{"reserved", std::int64_t{-3}}));
  // Quoted digits stay text, so the library judges them as a word.
  EXPECT_EQ(parse_settings("name=\"16\"")[0].second, SettingValue(std::string("16")));
  EXPECT_TRUE(parse_settings(" , ").empty());
}

TEST(DpiSettings, MalformedTextNamesThePiece) {
  for (const char *bad : {"function", "=3", "input_width=", "name=\"open", "input_width=16bit",
                          "input_width=99999999999999999999", "a=1 b"}) {
    try {
      parse_settings(bad);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const SettingError &e) {
      EXPECT_FALSE(std::string(e.what()).empty()) << bad;
    }
  }
  try {
    parse_settings("nfft_max=10 arch");
  } catch (const SettingError &e) {
    EXPECT_NE(std::string(e.what()).find("\"arch\""), std::string::npos) << e.what();
  }
}
