#include <gtest/gtest.h>

#include <deque>
#include <tuple>

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

// A box with one button shows its icon kind, caption and text, one line
// each, and asks nothing even at a terminal.
TEST(ConsoleMessageBox, PlainBoxShowsIconCaptionAndTextWithoutAsking) {
  const std::tuple<unsigned, const wchar_t*, const char*> cases[] = {
      {MB_OK | MB_ICONERROR, L"Caption", "[error] Caption\nFirst line\nSecond line\n"},
      {MB_ICONEXCLAMATION, L"C", "[warning] C\nFirst line\nSecond line\n"},
      {MB_OK | MB_ICONINFORMATION, L"C", "[information] C\nFirst line\nSecond line\n"},
      {MB_OK, L"", "[message]\nFirst line\nSecond line\n"}};
  for (auto [style, caption, written] : cases) {
    FakeConsole c(true);
    c.answers = {"no"};
    EXPECT_EQ(platform::ConsoleMessageBox({L"First line\r\nSecond line", caption, style, 1041}, c.io), IDOK);
    EXPECT_EQ(c.reads, 0);
    EXPECT_EQ(c.written, written);
  }
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
      {true, "no", {"yes"}, question, IDNO, 0, "[question] Pelorant"},
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
