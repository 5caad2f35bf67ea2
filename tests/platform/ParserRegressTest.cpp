// Inputs the fuzz targets (fuzz/) found faults with, kept as they were found
// so that the faults stay fixed.
#include <gtest/gtest.h>

#include <string>

#include "src/platform/ProfileDocument.h"
#include "src/platform/RegFile.h"

using namespace platform;

namespace {

std::string Bytes(std::initializer_list<unsigned char> b) { return std::string(b.begin(), b.end()); }

// A NUL inside a line reads as two entries (entries travel NUL-terminated);
// rewriting would store them as two lines, so the file counts as one that
// cannot be rewritten without change. Both encodings.
TEST(ProfileDocumentRegress, ANulInsideALineMakesTheFileUnwritable) {
  const std::string inputs[] = {
      Bytes({0xFF, 0xFE, '[', 0, 'S', 0, ']', 0, '\r', 0, '\n', 0, 'a', 0, 0x0B, 0, 0, 0, 'b', 0, '=', 0, '1', 0}),
      std::string("[S]\r\na\v\0b=1\r\n", 13),
  };
  for (const std::string& bytes : inputs) {
    bool lossless = true;
    ProfileDocument doc = ProfileDocument::Parse(bytes, &lossless);
    EXPECT_FALSE(lossless);
    EXPECT_EQ(doc.SectionEntries(L"S").size(), 1u) << "the line stays one line when read";
  }
  bool lossless = false;
  ProfileDocument::Parse("[S]\r\na=1\r\n", &lossless);
  EXPECT_TRUE(lossless);
}

std::string Hive(const std::string& body) { return "Windows Registry Editor Version 5.00\r\n\r\n" + body; }

// A key nested tens of thousands of levels deep overflowed the stack when
// written back (and would have written a file the square of its size): keys
// deeper than the registry's 512 levels are refused with their line.
TEST(RegFileRegress, KeysDeeperThan512LevelsAreRefused) {
  auto nested = [](int depth) {
    std::string path = "[HKEY_CURRENT_USER";
    for (int i = 0; i < depth; ++i) path += "\\k";
    return Hive(path + "]\r\n\"v\"=\"x\"\r\n");
  };
  regfile::Key root;
  regfile::ParseResult deep = regfile::Parse(nested(60000), L"HKEY_CURRENT_USER", &root);
  EXPECT_FALSE(deep.ok);
  EXPECT_EQ(deep.line, 3);

  regfile::Key kept;
  ASSERT_TRUE(regfile::Parse(nested(512), L"HKEY_CURRENT_USER", &kept).ok);
  regfile::Key again;
  ASSERT_TRUE(regfile::Parse(regfile::Serialize(kept, L"HKEY_CURRENT_USER"), L"HKEY_CURRENT_USER", &again).ok);
  const regfile::Key* leaf = &again;
  for (int i = 0; i < 512 && leaf; ++i) leaf = leaf->FindSubkey(L"K");
  ASSERT_NE(leaf, nullptr);
  EXPECT_NE(leaf->FindValue(L"v"), nullptr);
}

// Sub-keys are found by binary search over their sorted order, so that wide
// hives read in n log n; every key of a wide hive, in any case, is found.
TEST(RegFileRegress, EveryKeyOfAWideHiveIsFoundInAnyCase) {
  std::string body;
  for (int i = 2999; i >= 0; --i) body += "[HKEY_CURRENT_USER\\Key" + std::to_string(i * 7919 % 3000) + "]\r\n";
  regfile::Key root;
  ASSERT_TRUE(regfile::Parse(Hive(body), L"HKEY_CURRENT_USER", &root).ok);
  ASSERT_EQ(root.subkeys.size(), 3000u);
  for (int i = 0; i < 3000; ++i) {
    std::wstring name = (i % 2 ? L"KEY" : L"key") + std::to_wstring(i);
    ASSERT_NE(root.FindSubkey(name), nullptr) << i;
  }
  EXPECT_EQ(root.FindSubkey(L"Key3000"), nullptr);
  EXPECT_EQ(root.FindSubkey(L"Ke"), nullptr);
}

}  // namespace
