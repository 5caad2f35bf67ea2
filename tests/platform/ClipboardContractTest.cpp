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

TEST_F(ClipboardContract, APictureTravelsAsDibAndDamagedDibsAreRefused) {
  platform::Picture picture{3, 2, {0xFF102030u, 0xFF405060u, 0xFF708090u, 0xFFA0B0C0u, 0xFFD0E0F0u, 0xFF000000u}};
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfDib, platform::DibFromPicture(picture)}}));
  std::vector<ClipboardEntry> read;
  ASSERT_TRUE(platform::ReadClipboard(&read));
  auto dib = std::find_if(read.begin(), read.end(), [](const auto& e) { return e.format == platform::kCfDib; });
  ASSERT_NE(dib, read.end());
  platform::Picture back;
  ASSERT_TRUE(platform::PictureFromDib(dib->data, &back));
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.pixels, picture.pixels);

  const std::string good = platform::DibFromPicture(picture);
  auto with = [&](size_t at, char value) {
    std::string d = good;
    d[at] = value;
    return d;
  };
  const struct {
    const char* what;
    std::string dib;
  } bad[] = {
      {"shorter than its header", good.substr(0, 39)},
      {"rows missing", good.substr(0, good.size() - 1)},
      {"8 bits a pixel", with(14, 8)},
      {"compressed", with(16, 1)},
      {"no width", with(4, 0)},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    platform::Picture untouched = picture;
    EXPECT_FALSE(platform::PictureFromDib(b.dib, &untouched));
    EXPECT_EQ(untouched.pixels, picture.pixels);
  }
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
