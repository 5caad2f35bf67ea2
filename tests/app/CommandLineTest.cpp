#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

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

// The test engine's switch holds for every command, engines used or not;
// help needs none.
TEST(CommandLine, TheTestEngineScriptIsReadBeforeAnyCommand) {
  const std::string missing = ::testing::TempDir() + "no-such-engine-script.txt";
  const std::string empty = ::testing::TempDir() + "empty-engine-script.txt";
  std::ofstream(empty).close();
  struct Case {
    const std::string& script;
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {{missing, {"version"}, 1, "pelorant version: cannot read fake engine script " + missing},
               {missing, {"--help"}, 0, ""},
               {empty, {"version"}, 0, ""}};
  for (const Case& c : cases) {
    ::setenv("PELORANT_FAKE_ENGINE", c.script.c_str(), 1);
    Outcome r = Call(c.args);
    ::unsetenv("PELORANT_FAKE_ENGINE");
    EXPECT_EQ(r.status, c.status) << c.script << " " << c.args[0] << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
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

TEST(CommandLine, OptionErrorsAreUsageErrorsThatNameTheOption) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"copy", "deck.pptx", "--shape", "A", "--slide"}, "--slide needs a value"},
      {{"menu", "--json=yes"}, "--json takes no value"},
      {{"menu", "--slide", "1"}, "unknown option '--slide'"},
      {{"paste", "deck.pptx", "-o", "out.pptx", "--text", "2"}, "--text needs START:LENGTH"},
      {{"text", "--mode"}, "--mode needs a value"},
      {{"lookup", "-x", "house"}, "unknown option '-x'"},
      {{"engines", "add-server", "n", "http://127.0.0.1:1", "--api"}, "--api needs a value"},
      {{"engines", "add-server", "n", "http://127.0.0.1:1", "--timeout-ms", "5"}, "from 100 to 3600000"},
      {{"engines", "add-server", "n", "--api", "apy"}, "add-server needs NAME and URL"},
  };
  for (const Case& c : cases) {
    Outcome r = Call(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args[0] << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << c.args[0];
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
