#include <gtest/gtest.h>

#include "tests/app/CallMain.h"

namespace {

using apptest::Call;
using apptest::Outcome;

TEST(CommandLine, HelpListsEveryRegisteredCommandAligned) {
  Outcome r = Call({"--help"});
  EXPECT_EQ(r.status, 0);
  ASSERT_FALSE(app::Commands().empty());
  size_t column = std::string::npos;
  for (const app::Command& c : app::Commands()) {
    auto line = r.out.find("\n  " + c.name + " ");
    ASSERT_NE(line, std::string::npos) << c.name << " missing from:\n" << r.out;
    auto summary = r.out.find(c.summary, line);
    ASSERT_NE(summary, std::string::npos) << c.name;
    size_t col = summary - line;
    if (column == std::string::npos) column = col;
    EXPECT_EQ(col, column) << c.name << " is not aligned";
  }
}

TEST(CommandLine, NoArgumentsShowsHelpAndFails) {
  Outcome r = Call({});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("Usage: pelorant COMMAND"), std::string::npos);
}

TEST(CommandLine, UnknownCommandsAreRefusedOnStderr) {
  Outcome r = Call({"translate-everything"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(r.err.find("unknown command 'translate-everything'"), std::string::npos);
  Outcome h = Call({"help", "nope"});
  EXPECT_EQ(h.status, 2);
  EXPECT_NE(h.err.find("unknown command 'nope'"), std::string::npos);
}

TEST(CommandLine, CommandHelpComesFromItsUsage) {
  const app::Command* reg = app::FindCommand("reg");
  ASSERT_NE(reg, nullptr);
  for (auto args : {std::vector<std::string>{"help", "reg"}, std::vector<std::string>{"reg", "--help"}}) {
    Outcome r = Call(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, reg->usage);
  }
}

TEST(CommandLine, VersionOptionRunsTheVersionCommand) {
  Outcome a = Call({"--version"});
  Outcome b = Call({"version"});
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.out, b.out);
  EXPECT_NE(a.out.find("3, 0, 5, 20"), std::string::npos) << a.out;
}

}  // namespace
