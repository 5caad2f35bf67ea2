// The clipboard service on both platforms: on Linux against the per-user file
// stand-in, under Wine against the Windows clipboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "src/platform/Clipboard.h"
#include "src/platform/Strings.h"
#include "tests/platform/TestSupport.h"

namespace {

using platform::ClipboardEntry;

class ClipboardContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<ClipboardEntry> probe;
    if (!platform::ReadClipboard(&probe)) GTEST_SKIP() << "no clipboard in this session";
  }
  static bool Has(const std::vector<ClipboardEntry>& entries, const ClipboardEntry& wanted) {
    return std::find(entries.begin(), entries.end(), wanted) != entries.end();
  }
  testsupport::TempDir dir;
  platformtest::ScopedEnv file{L"PELORANT_CLIPBOARD_FILE", (dir.path() / "clipboard").wstring()};
};

TEST_F(ClipboardContract, WhatIsWrittenIsReadBackAndEmptyingClearsIt) {
  const unsigned html = platform::RegisterClipboardFormatName(L"HTML Format");
  EXPECT_NE(html, 0u);
  EXPECT_EQ(platform::RegisterClipboardFormatName(L"HTML Format"), html);
  EXPECT_NE(platform::RegisterClipboardFormatName(L"Rich Text Format"), html);

  std::string text = platform::ToUtf16Le(L"Grüße\r\n日本") + std::string(2, '\0');
  // Binary data with newlines and NULs must come back byte for byte.
  const std::vector<ClipboardEntry> entries{{platform::kCfUnicodeText, text},
                                            {html, std::string("<b>x</b>\n\0tail\n", 15)}};
  ASSERT_TRUE(platform::WriteClipboard(entries));
  std::vector<ClipboardEntry> read;
  ASSERT_TRUE(platform::ReadClipboard(&read));
  for (const ClipboardEntry& e : read) {
    // The system may round blocks up; what was written leads.
    if (e.format == platform::kCfUnicodeText) {
      EXPECT_EQ(e.data.substr(0, text.size()), text);
    } else if (e.format == html) {
      EXPECT_EQ(e.data.substr(0, 15), entries[1].data);
    }
  }
  EXPECT_EQ(std::count_if(read.begin(), read.end(), [&](const auto& e) { return e.format == html; }), 1);

  ASSERT_TRUE(platform::WriteClipboard({}));
  ASSERT_TRUE(platform::ReadClipboard(&read));
  EXPECT_TRUE(read.empty());
}

TEST_F(ClipboardContract, DamagedStandInIsNeitherTrustedNorOverwrittenByReading) {
  if (platform::ClipboardKind() != L"file") GTEST_SKIP() << "only the file stand-in has a file";
  for (const std::string& damaged :
       {std::string("something else\n"), std::string("PELORANT-CLIPBOARD 1\n13 - 999\nshort\n"),
        std::string("PELORANT-CLIPBOARD 1\n13 - 2\nabc")}) {
    std::ofstream(dir.path() / "clipboard", std::ios::binary) << damaged;
    std::vector<ClipboardEntry> read{{1, "before"}};
    EXPECT_FALSE(platform::ReadClipboard(&read));
    EXPECT_EQ(read.size(), 1u);
    std::ifstream in(dir.path() / "clipboard", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
  }
}

}  // namespace
