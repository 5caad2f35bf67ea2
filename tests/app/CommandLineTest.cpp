// The command-line program run in process with its streams caught: its top
// level and arguments, `options` and `reg` against a private stand-in
// registry (what they keep, and that each command is one change of the hive
// file), `show`, and the width of texts in columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "apps/pelorant/Command.h"
#include "apps/pelorant/Json.h"
#include "apps/pelorant/ShellMacro.h"
#include "apps/pelorant/TextColumns.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "tests/common/Paths.h"
#include "tests/host/DeckBuilder.h"
#include "tests/platform/TestSupport.h"

namespace {

struct Outcome { int status; std::string out, err; };

// args without the program's own name.
Outcome Call(std::vector<std::string> args) {
  args.insert(args.begin(), "pelorant");
  std::istringstream in;
  std::ostringstream out, err;
  app::CommandIo io{in, out, err};
  int status = app::RunMain(args, io);
  return {status, out.str(), err.str()};
}

TEST(CommandLine, HelpListsEveryRegisteredCommandAligned) {
  Outcome r = Call({"--help"});
  EXPECT_EQ(r.status, 0);
  // Each command and the column its summary starts at on its line (0: missing).
  std::map<std::string, size_t> columns;
  for (const app::Command& c : app::Commands()) {
    const size_t line = r.out.find("\n  " + c.name + " "), summary = r.out.find(c.summary, line);
    columns[c.name] = line == std::string::npos || summary == std::string::npos ? 0 : summary - line;
  }
  ASSERT_FALSE(columns.empty());
  std::map<std::string, size_t> aligned = columns;
  for (auto& [name, column] : aligned) column = std::max<size_t>(columns.begin()->second, 1);
  EXPECT_EQ(columns, aligned) << r.out;
}

// No command shows the help and fails; an unknown one is refused on stderr
// with nothing on stdout; a command's help is its usage. The test engine's
// script is read before any command, engines used or not; help needs none.
TEST(CommandLine, TopLevelArgumentsAndTheTestEngineScript) {
  const std::string missing = ::testing::TempDir() + "no-such-engine-script.txt";
  const std::string empty = ::testing::TempDir() + "empty-engine-script.txt";
  std::ofstream(empty).close();
  const app::Command* reg = app::FindCommand("reg");
  ASSERT_NE(reg, nullptr);
  // The arguments, the engine script (none when empty), the status, stdout
  // (empty: nothing at all), part of stderr.
  struct Case { std::vector<std::string> args; std::string script; int status; std::string out, err; };
  const Case cases[] = {
      {{}, "", 2, "Usage: pelorant COMMAND", ""},
      {{"translate-everything"}, "", 2, "", "unknown command 'translate-everything'"},
      {{"help", "nope"}, "", 2, "", "unknown command 'nope'"},
      {{"--version"}, "", 0, "3, 0, 5, 20", ""},
      {{"help", "reg"}, "", 0, reg->usage, ""},
      {{"reg", "--help"}, "", 0, reg->usage, ""},
      {{"version"}, missing, 1, "", "pelorant version: cannot read fake engine script " + missing},
      {{"--help"}, missing, 0, "Usage: pelorant COMMAND", ""},
      {{"version"}, empty, 0, "3, 0, 5, 20", ""},
  };
  for (const Case& c : cases) {
    if (!c.script.empty()) ::setenv("PELORANT_FAKE_ENGINE", c.script.c_str(), 1);
    Outcome r = Call(c.args);
    ::unsetenv("PELORANT_FAKE_ENGINE");
    SCOPED_TRACE(testing::PrintToString(c.args) + " " + c.script + "\nout: " + r.out + "\nerr: " + r.err);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(c.out.empty() ? r.out.empty() : r.out.find(c.out) != std::string::npos);
    EXPECT_NE(r.err.find(c.err), std::string::npos);
  }
  EXPECT_EQ(Call({"--version"}).out, Call({"version"}).out);
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
    Outcome r = Call(c.args);
    SCOPED_TRACE(testing::PrintToString(c.args) + ": " + r.err);
    EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(2, ""));
    EXPECT_NE(r.err.find(c.says), std::string::npos);
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

// `pelorant options` and `pelorant reg`: what they keep, and that each
// command is one change of the hive file.
class SettingsCommands : public ::testing::Test {
 protected:
  // The rewrites of the hive file that one command costs.
  std::uint64_t Rewrites(std::vector<std::string> args) {
    const std::uint64_t before = platform::RegistryRewriteCount();
    Outcome r = Call(std::move(args));
    EXPECT_EQ(r.status, 0) << r.err;
    return platform::RegistryRewriteCount() - before;
  }
  bool Shows(const std::string& set, const std::string& line, bool hidden) {
    std::vector<std::string> args{"options", "show", set};
    if (hidden) args.push_back("--hidden");
    Outcome r = Call(args);
    return r.status == 0 && ("\n" + r.out).find("\n" + line + "\n") != std::string::npos;
  }

  testsupport::TempDir mDir;
  platformtest::ScopedEnv mRegistry{L"PELORANT_REGISTRY", mDir.wpath()};
  platformtest::ScopedEnv mConfig{L"XDG_CONFIG_HOME", mDir.wpath()};
};

TEST_F(SettingsCommands, OptionCommandsKeepStoredHiddenValues) {
  ASSERT_EQ(Call({"options", "set", "default", "_TimeOutMSec=5000", "--hidden"}).status, 0);
  ASSERT_EQ(Call({"options", "add", "First"}).status, 0);
  ASSERT_EQ(Call({"options", "set", "First", "_TranPrefix=[", "--hidden"}).status, 0);
  for (std::vector<std::string> command : {std::vector<std::string>{"options", "add", "Other"},
                                           {"options", "select", "Other"},
                                           {"options", "set", "Other", "DualPrint=True"},
                                           {"options", "remove", "Other"}}) {
    ASSERT_EQ(Call(command).status, 0) << command[1];
    EXPECT_TRUE(Shows("default", "_TimeOutMSec=5000", true)) << "after " << command[1];
    EXPECT_TRUE(Shows("First", "_TranPrefix=[", true)) << "after " << command[1];
  }
  EXPECT_FALSE(Shows("default", "_TimeOutMSec=5000", false));
  EXPECT_NE(Call({"options", "set", "default", "_TimeOutMSec=7"}).status, 0);

  // The options dialog's switch for hidden options turns them on here too.
  const std::string common = "HKCU\\Software\\Talvoren\\OfficeAddIn\\RegV1\\Common";
  ASSERT_EQ(Call({"reg", "add", common, "/v", "_Setup.ShowHiddenOptions", "/d", "True", "/f"}).status, 0);
  EXPECT_TRUE(Shows("default", "_TimeOutMSec=5000", false));
  ASSERT_EQ(Call({"options", "set", "default", "_TimeOutMSec=7"}).status, 0);
  EXPECT_TRUE(Shows("default", "_TimeOutMSec=7", false));
}

TEST_F(SettingsCommands, EachCommandRewritesTheHiveOnce) {
  if (platform::RegistryHiveFile(platform::Hive::CurrentUser).empty()) GTEST_SKIP() << "no hive files here";
  EXPECT_EQ(Rewrites({"options", "add", "One"}), 1u);
  EXPECT_EQ(Rewrites({"options", "set", "One", "DualPrint=True", "WindowAlign=2"}), 1u);
  EXPECT_EQ(Rewrites({"reg", "add", "HKCU\\Software\\PelorantTest\\New", "/v", "a", "/d", "1", "/f"}), 1u);
  ASSERT_EQ(Call({"reg", "add", "HKCU\\Software\\PelorantTest\\New", "/v", "b", "/d", "2", "/f"}).status, 0);
  EXPECT_EQ(Rewrites({"reg", "delete", "HKCU\\Software\\PelorantTest\\New", "/va", "/f"}), 1u);
}

// A first run stores the engine cache's trigger and the menu's settings:
// one rewrite for each save, not one for each value.
TEST_F(SettingsCommands, AFirstTranslationRewritesTheHiveOncePerSave) {
  if (platform::RegistryHiveFile(platform::Hive::CurrentUser).empty()) GTEST_SKIP() << "no hive files here";
  const std::string script = mDir.path().string() + "/engine.txt", out = mDir.path().string() + "/out.pptx";
  std::ofstream(script) << "implementation\tTest\npair\ten-xx\ten\txx\t9\tEnglish - Test\tTest MT\tTest\n";
  platformtest::ScopedEnv engine{L"PELORANT_FAKE_ENGINE", platform::FromUtf8(script)};
  EXPECT_EQ(Rewrites({"translate", testsupport::CorpusDeck("poi__smartart-simple.pptx").string(), "-o", out, "--mode",
                      "Test:en-xx", "-q"}),
            2u);
}


// `pelorant show` over a deck of one text box holding `text` (XML-escaped,
// paragraphs apart by kBreak).
const std::string kBreak = "</a:t></a:r></a:p><a:p><a:r><a:rPr lang=\"en-US\"/><a:t>";
Outcome Show(const std::string& text, bool json) {
  testsupport::TempDir dir;
  decktest::Deck d;
  d.slides = {decktest::Sp(2, "Box", 0, 0, 127000, 127000, text, true)};
  decktest::Write(d, dir / "deck.pptx");
  if (json) return Call({"show", "--json", (dir / "deck.pptx").string()});
  return Call({"show", (dir / "deck.pptx").string()});
}

// The text goes out in slices of 65,536 characters; with characters that
// JSON escapes, a tab, one outside the BMP and paragraph marks spread over
// them, nothing is lost, doubled or escaped otherwise at their edges.
TEST(ShowCommand, AJsonTextOfManySlicesIsWholeAndEscapedAlike) {
  const std::string unit = "ab&quot;c\\\t\xF0\x9F\x98\x80\xC3\xA9&amp;&lt;d";  // 11 characters
  const std::string plain = "ab\"c\\\t\xF0\x9F\x98\x80\xC3\xA9&<d";
  std::string xml, whole;
  // Paragraphs of 7001, 7002 and 7003 units.
  for (int i = 1; i <= 21006; ++i) {
    xml += unit + (i == 7001 || i == 14003 ? kBreak : "");
    whole += plain + (i == 7001 || i == 14003 ? "\r" : "");
  }
  Outcome r = Show(xml, true);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string shown = app::JsonValue::parse(r.out)["slides"][0]["shapes"][0]["text"];
  // Compared whole rather than printed: a difference would print 400 kB.
  EXPECT_TRUE(shown == whole) << shown.size() << " bytes shown of " << whole.size();
}

// The tree shows the first 59 characters and an ellipsis once a text is
// longer than 60.
TEST(ShowCommand, TheTreeCutsTextsLongerThanSixty) {
  struct Case { int length; bool cut; } cases[] = {{60, false}, {61, true}, {5000, true}};
  for (const Case& c : cases) {
    Outcome r = Show(std::string(c.length, 'x'), false);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string line = c.cut ? std::string(59, 'x') + "\xE2\x80\xA6\"" : std::string(60, 'x') + "\"";
    EXPECT_NE(r.out.find("Box: \"" + line + "\n"), std::string::npos) << c.length << ": " << r.out;
  }
}

TEST(TextColumns, WideCharactersTakeTwoAndAcceleratorsNone) {
  struct Case { const wchar_t* text; bool accelerators; std::size_t columns; } const cases[] = {
      {L"", false, 0},
      {L"Apertium", false, 8},
      {L"\x65E5\x672C\x8A9E", false, 6},            // CJK ideographs
      {L"\x1100\x115F\x1160", false, 5},            // Hangul leading jamo wide, vowel jamo narrow
      {L"\xAC00\xD7A3\xD7A4", false, 5},            // Hangul syllables up to their last
      {L"\x2E7F\x2E80\xA4CF\xA4D0", false, 6},      // the CJK block's edges
      {L"\xF900\xFAFF\xFB00", false, 5},            // compatibility ideographs
      {L"\xFE2F\xFE30\xFE4F\xFE50", false, 6},      // vertical forms
      {L"\xFF01\xFF60\xFF61\xFFE0\xFFE6\xFFE7", false, 10},  // full-width forms, half-width katakana narrow
      {L"\U00020000\U0003FFFD\U0003FFFE", false, 5},  // supplementary ideographs
      {L"&Save", false, 5},
      {L"&Save", true, 4},
      {L"\x4FDD\x5B58(&S)", true, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::TextColumns(c.text, c.accelerators), c.columns) << testing::PrintToString(std::wstring(c.text));
  }
}

}  // namespace
