// ClipboardEx over the clipboard file stand-in: text in its forms, and the
// save and restore around work that disturbs the clipboard.
#include <gtest/gtest.h>

#include <fstream>

#include "src/platform/Strings.h"
#include "tests/platform/TestSupport.h"
#include "src/powerpoint/ClipboardEx.h"

namespace {

using platform::ClipboardEntry;
using powerpoint::ClipboardEx;

class ClipboardExTest : public ::testing::Test {
 protected:
  std::vector<ClipboardEntry> Now() {
    std::vector<ClipboardEntry> entries;
    EXPECT_TRUE(platform::ReadClipboard(&entries));
    return entries;
  }
  testsupport::TempDir dir;
  platformtest::ScopedEnv file{L"PELORANT_CLIPBOARD_FILE", (dir.path() / "clipboard").wstring()};
  platformtest::ScopedEnv lang{L"LC_ALL", L"en_US.UTF-8"};
  ClipboardEx clipboard;
};

TEST_F(ClipboardExTest, TextFormsAndBoundedReads) {
  ASSERT_TRUE(clipboard.SetText(L"Grüße", 0, 0x0407));
  EXPECT_EQ(clipboard.GetText(0, false), L"Grüße");
  EXPECT_EQ(clipboard.GetText(platform::kCfUnicodeText, false), L"Grüße");
  ASSERT_TRUE(clipboard.SetText(L"{\\rtf1 x}", ClipboardEx::kRtfStandIn, 0));
  EXPECT_EQ(clipboard.GetText(clipboard.RtfFormat(), false), L"{\\rtf1 x}");
  EXPECT_EQ(clipboard.GetText(0, false), L"");

  // ANSI text read with the clipboard's locale; no terminating NUL and a
  // locale block too short to say anything must not be read past.
  const std::string shiftJis("\x93\xfa\x96\x7b", 4);  // 日本 in code page 932
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfText, shiftJis}, {platform::kCfLocale, std::string("\x11\x04\0\0", 4)}}));
  EXPECT_EQ(clipboard.GetText(0, false), L"日本");
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfText, "abc"}, {platform::kCfLocale, "\x11"}}));
  EXPECT_EQ(clipboard.GetText(0, false), L"abc");
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfUnicodeText, platform::ToUtf16Le(L"odd") + "\x01"}}));
  EXPECT_EQ(clipboard.GetText(0, true), L"odd");
}

TEST_F(ClipboardExTest, RestoreOnlyWhatChangedAndOnlyAfterASave) {
  const std::vector<ClipboardEntry> user{{platform::kCfUnicodeText, platform::ToUtf16Le(L"mine") + std::string(2, '\0')},
                                         {platform::kCfBitmap, "picture"}};
  ASSERT_TRUE(platform::WriteClipboard(user));
  // Nothing changed meanwhile: the picture, which a save cannot keep, stays.
  ASSERT_TRUE(clipboard.SaveClipboard());
  EXPECT_TRUE(clipboard.RestoreClipboard());
  EXPECT_EQ(Now(), user);
  // Changed meanwhile: the user's text comes back.
  ASSERT_TRUE(clipboard.SaveClipboard());
  clipboard.SetText(L"face", 0, 0);
  EXPECT_TRUE(clipboard.RestoreClipboard());
  EXPECT_EQ(clipboard.GetText(0, false), L"mine");
  // A save that failed restores nothing: the clipboard is not emptied.
  std::ofstream(dir.path() / "clipboard", std::ios::binary) << "held by someone else";
  EXPECT_FALSE(clipboard.SaveClipboard());
  EXPECT_TRUE(clipboard.RestoreClipboard());
  std::ifstream in(dir.path() / "clipboard", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "held by someone else");
}

}  // namespace
