// Arguments `pelorant translate` refuses before it opens anything.
#include <gtest/gtest.h>

#include "tests/app/CallMain.h"

namespace {

TEST(TranslateCommand, BadArgumentsAreUsageErrorsThatSayWhy) {
  const std::string out = ::testing::TempDir() + "out.pptx";
  const std::string deck = ::testing::TempDir() + "deck.pptx";
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{}, "which deck?"},
      {{deck}, "-o OUT"},
      {{deck, "other.pptx", "-o", out}, "one deck at a time"},
      {{deck, "-o", deck}, "--in-place"},
      {{deck, "-o", ::testing::TempDir() + "no/such/folder/out.pptx"}, "does not exist"},
      {{deck, "-o", out, "--in-place"}, "leave out -o"},
      {{deck, "-o", out, "--slide", "0"}, "--slide needs a slide number"},
      {{deck, "-o", out, "--slide", "9999999999"}, "--slide needs a slide number"},  // past any int
      {{deck, "-o", out, "--shape", "Title 1"}, "--shape needs --slide"},
      {{deck, "-o", out, "--slide", "1", "--shape", "A", "--shape", "B", "--text", "1:2"}, "exactly one --shape"},
      {{deck, "-o", out, "--slide", "1", "--shape", "A", "--text", "0:2"}, "START:LENGTH"},
      {{deck, "-o", out, "--notes"}, "--notes needs"},
      {{deck, "-o", out, "--host-version", "10"}, "11 to 16"},
      {{deck, "-o", out, "--host-version", "17"}, "11 to 16"},
      {{deck, "-o", out, "--macro", "=echo"}, "--macro"},
      {{deck, "-o", out, "--quiet=yes"}, "takes no value"},
      {{deck, "-o", out, "--fast"}, "unknown option '--fast'"},
      {{deck, "-o", "/proc/out.pptx"}, "the folder of OUT, /proc, cannot be written"},
      {{deck, "-o", out, "--glossary", ""}, "--glossary needs a file name"},
      {{deck, "-o", out, "--glossary", ::testing::TempDir() + "none.tsv"}, "none.tsv: there is no such file"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"translate"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string shown;
    for (const auto& a : c.args) shown += " " + a;
    apptest::Outcome r = apptest::Call(args);
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << shown;
  }
}

}  // namespace
