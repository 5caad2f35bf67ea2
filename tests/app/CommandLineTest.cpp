#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "apps/pelorant/ShellMacro.h"
#include "tests/app/CallMain.h"
#include "tests/common/Errors.h"

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

// No command shows the help and fails; an unknown one is refused on stderr;
// --version runs the version command.
TEST(CommandLine, TopLevelArgumentsShowHelpOrVersionOrAreRefused) {
  struct Case { std::vector<std::string> args; int status; bool onOut; std::string says; };
  for (const Case& c : {Case{{}, 2, true, "Usage: pelorant COMMAND"},
                        Case{{"translate-everything"}, 2, false, "unknown command 'translate-everything'"},
                        Case{{"help", "nope"}, 2, false, "unknown command 'nope'"},
                        Case{{"--version"}, 0, true, "3, 0, 5, 20"}}) {
    Outcome r = Call(c.args);
    EXPECT_EQ(r.status, c.status) << c.says;
    EXPECT_NE((c.onOut ? r.out : r.err).find(c.says), std::string::npos) << r.out << r.err;
    if (!c.onOut) {
      EXPECT_TRUE(r.out.empty()) << c.says;
    }
  }
  EXPECT_EQ(Call({"--version"}).out, Call({"version"}).out);
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

// Arguments a command refuses before it opens anything are usage errors
// that say why.
TEST(CommandLine, BadArgumentsAreUsageErrorsThatSayWhy) {
  const std::string tmp = ::testing::TempDir(), deck = tmp + "deck.pptx", out = tmp + "out.pptx";
  struct Case { std::vector<std::string> args; std::string says; };
  const Case cases[] = {
      {{"copy", "deck.pptx", "--shape", "A", "--slide"}, "--slide needs a value"},
      {{"menu", "--json=yes"}, "--json takes no value"},
      {{"menu", "--slide", "1"}, "unknown option '--slide'"},
      {{"paste", "deck.pptx", "-o", "out.pptx", "--text", "2"}, "--text needs START:LENGTH"},
      {{"engines", "add-server", "n", "http://127.0.0.1:1", "--timeout-ms", "5"}, "from 100 to 3600000"},
      {{"engines", "add-server", "n", "--api", "apy"}, "add-server needs NAME and URL"},
      {{"translate"}, "which deck?"},
      {{"translate", deck}, "-o OUT"},
      {{"translate", deck, "other.pptx", "-o", out}, "one deck at a time"},
      {{"translate", deck, "-o", deck}, "--in-place"},
      {{"translate", deck, "-o", tmp + "no/such/folder/out.pptx"}, "does not exist"},
      {{"translate", deck, "-o", out, "--in-place"}, "leave out -o"},
      {{"translate", deck, "-o", out, "--slide", "0"}, "--slide needs a slide number"},
      {{"translate", deck, "-o", out, "--slide", "9999999999"}, "--slide needs a slide number"},  // past any int
      {{"translate", deck, "-o", out, "--shape", "Title 1"}, "--shape needs --slide"},
      {{"translate", deck, "-o", out, "--slide", "1", "--shape", "A", "--shape", "B", "--text", "1:2"},
       "exactly one --shape"},
      {{"translate", deck, "-o", out, "--slide", "1", "--shape", "A", "--text", "0:2"}, "START:LENGTH"},
      {{"translate", deck, "-o", out, "--notes"}, "--notes needs"},
      {{"translate", deck, "-o", out, "--host-version", "10"}, "11 to 16"},
      {{"translate", deck, "-o", out, "--host-version", "17"}, "11 to 16"},
      {{"translate", deck, "-o", out, "--macro", "=echo"}, "--macro"},
      {{"translate", deck, "-o", "/proc/out.pptx"}, "the folder of OUT, /proc, cannot be written"},
      {{"translate", deck, "-o", out, "--glossary", ""}, "--glossary needs a file name"},
      {{"translate", deck, "-o", out, "--glossary", tmp + "none.tsv"}, "none.tsv: there is no such file"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += " " + a;
    Outcome r = Call(c.args);
    EXPECT_EQ(r.status, 2) << shown << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << shown;
  }
}

// The --macro option: a name bound to a shell command, run by the stand-in
// host with the macro's arguments quoted.
TEST(CommandLine, MacrosRunThroughTheHostAndBadValuesSayWhy) {
  host::pptx::ApplicationOptions o;
  std::string error;
  ASSERT_TRUE(app::AddMacroOption(o, "Upper=sh -c 'printf %s \"$1\" | tr a-z A-Z' macro", error));
  ASSERT_TRUE(app::AddMacroOption(o, "Fail=false", error));
  for (const char* bad : {"=nothing", "NoCommand=", "no-equals-sign"}) {
    error.clear();
    EXPECT_FALSE(app::AddMacroOption(o, bad, error)) << bad;
    EXPECT_NE(error.find("NAME=COMMAND"), std::string::npos) << bad;
  }
  auto a = host::pptx::CreateApplication(o);
  // A quote in an argument stays part of the argument, not of the command.
  EXPECT_EQ(a->Run(L"Upper", {L"it's"}), L"IT'S");
  EXPECT_EQ(testsupport::ErrorOf([&] { a->Run(L"Fail", {}); }), E_FAIL);
}

}  // namespace
