#include <gtest/gtest.h>

#include <deque>

#include "src/platform/ConsoleMessageBox.h"

namespace {

struct FakeConsole {
  std::string written;
  std::deque<std::string> answers;
  int reads = 0;
  platform::ConsoleIo io;

  explicit FakeConsole(bool interactive, std::string preset = {}) {
    io.write = [this](const std::string& s) { written += s; };
    io.readLine = [this](std::string* line) {
      ++reads;
      if (answers.empty()) return false;
      *line = answers.front();
      answers.pop_front();
      return true;
    };
    io.interactive = interactive;
    io.presetAnswer = std::move(preset);
  }
};

TEST(ConsoleMessageBox, PlainBoxShowsIconCaptionAndTextWithoutAsking) {
  FakeConsole c(true);
  c.answers = {"no"};
  int id = platform::ConsoleMessageBox({L"First line\r\nSecond line", L"Caption", MB_OK | MB_ICONERROR, 1041}, c.io);
  EXPECT_EQ(id, IDOK);
  EXPECT_EQ(c.reads, 0);
  EXPECT_EQ(c.written, "[error] Caption\nFirst line\nSecond line\n");
}

TEST(ConsoleMessageBox, IconKindsAreNamed) {
  EXPECT_EQ(platform::IconKindName(MB_ICONEXCLAMATION), "warning");
  EXPECT_EQ(platform::IconKindName(MB_ICONINFORMATION | MB_OK), "information");
  EXPECT_EQ(platform::IconKindName(MB_ICONQUESTION | MB_YESNO), "question");
  EXPECT_EQ(platform::IconKindName(MB_OK), "");
  FakeConsole c(false);
  platform::ConsoleMessageBox({L"text", L"", MB_OK, 1033}, c.io);
  EXPECT_EQ(c.written, "[message]\ntext\n");
}

// The preset answer wins over the terminal, and one preset serves every
// button set; an answer typed at the terminal is asked for again until it
// fits; an unusable preset, the end of input or no terminal take the default.
TEST(ConsoleMessageBox, AnswersFromThePresetTheTerminalOrTheDefault) {
  struct Case {
    bool interactive;
    const char* preset;
    std::deque<std::string> typed;
    unsigned style;
    int answer;
    int reads;
    const char* said;
  };
  const unsigned question = MB_YESNO | MB_ICONQUESTION;
  const Case cases[] = {
      {true, "no", {"yes"}, question, IDNO, 0, ""},
      {false, " YES ", {}, question, IDYES, 0, ""},
      {false, "no", {}, MB_OKCANCEL, IDCANCEL, 0, ""},
      {false, "cancel", {}, MB_YESNOCANCEL, IDCANCEL, 0, ""},
      {false, "maybe", {}, question | MB_DEFBUTTON2, IDNO, 0, "PELORANT_ANSWER=\"maybe\" does not answer"},
      {false, "maybe", {}, question | MB_DEFBUTTON2, IDNO, 0, "default button, No"},
      {true, "", {"perhaps", "n"}, question, IDNO, 2, "[Y/n]"},
      {true, "", {""}, question | MB_DEFBUTTON2, IDNO, 1, "[y/N]"},
      {true, "", {}, question, IDYES, 1, "default button, Yes"},
      {false, "", {"no"}, question | MB_DEFBUTTON2, IDNO, 0, "PELORANT_ANSWER not set"},
  };
  for (const Case& c : cases) {
    FakeConsole console(c.interactive, c.preset);
    console.answers = c.typed;
    EXPECT_EQ(platform::ConsoleMessageBox({L"Delete the key?", L"Pelorant", c.style, 1033}, console.io), c.answer)
        << c.preset << " " << c.reads;
    EXPECT_EQ(console.reads, c.reads) << c.preset;
    EXPECT_NE(console.written.find(c.said), std::string::npos) << console.written;
  }
}

}  // namespace
