// Inputs the fuzz targets (fuzz/) found faults with, kept as they were found
// so that the faults stay fixed.
#include <gtest/gtest.h>

#include <string>

#include "platform/ProfileDocument.h"

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

}  // namespace
