#include <gtest/gtest.h>

#include "src/host/pptx/TextLanguages.h"

namespace {

TEST(TextLanguages, TagsAndLanguageIdsMapBothWays) {
  struct Case {
    const char* tag;
    int id;
  } cases[] = {{"en-US", 1033}, {"ja-JP", 1041}, {"zh-CN", 2052}, {"zh-TW", 1028}, {"ko-KR", 1042},
               {"de-DE", 1031}, {"fr-FR", 1036}, {"es-ES", 3082}, {"pt-BR", 1046}, {"ru-RU", 1049},
               {"ar-SA", 1025}, {"he-IL", 1037}, {"sr-Latn-RS", 9242}};
  for (const Case& c : cases) {
    EXPECT_EQ(host::pptx::LanguageIdFromTag(c.tag), c.id) << c.tag;
    EXPECT_EQ(host::pptx::TagFromLanguageId(c.id), c.tag) << c.id;
  }
  // Spelling variants the files carry.
  EXPECT_EQ(host::pptx::LanguageIdFromTag("EN-us"), 1033);
  EXPECT_EQ(host::pptx::LanguageIdFromTag("en_GB"), 2057);
  // A bare language takes its primary region; traditional-sort Spanish is
  // written as plain Spanish.
  EXPECT_EQ(host::pptx::LanguageIdFromTag("de"), 1031);
  EXPECT_EQ(host::pptx::LanguageIdFromTag("ja"), 1041);
  EXPECT_EQ(host::pptx::TagFromLanguageId(1034), "es-ES");
  // Unknown either way.
  EXPECT_EQ(host::pptx::LanguageIdFromTag("xx-YY"), 0);
  EXPECT_EQ(host::pptx::LanguageIdFromTag(""), 0);
  EXPECT_EQ(host::pptx::TagFromLanguageId(4), "");
}

}  // namespace
