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

platform::MessageBoxRequest Question(unsigned extra = 0) {
  return {L"Delete the key?", L"Pelorant", static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION) | extra, 1033};
}

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

TEST(ConsoleMessageBox, PresetAnswerWinsOverTheTerminal) {
  FakeConsole no(true, "no");
  no.answers = {"yes"};
  EXPECT_EQ(platform::ConsoleMessageBox(Question(), no.io), IDNO);
  EXPECT_EQ(no.reads, 0);
  FakeConsole yes(false, " YES ");
  EXPECT_EQ(platform::ConsoleMessageBox(Question(), yes.io), IDYES);
  // One preset serves OK/Cancel questions too.
  FakeConsole cancel(false, "no");
  EXPECT_EQ(platform::ConsoleMessageBox({L"Go on?", L"", MB_OKCANCEL, 1033}, cancel.io), IDCANCEL);
  FakeConsole ycancel(false, "cancel");
  EXPECT_EQ(platform::ConsoleMessageBox({L"Save?", L"", MB_YESNOCANCEL, 1033}, ycancel.io), IDCANCEL);
}

TEST(ConsoleMessageBox, UnusablePresetTakesTheDefaultAndSaysSo) {
  FakeConsole c(false, "maybe");
  EXPECT_EQ(platform::ConsoleMessageBox(Question(MB_DEFBUTTON2), c.io), IDNO);
  EXPECT_NE(c.written.find("PELORANT_ANSWER=\"maybe\""), std::string::npos) << c.written;
  EXPECT_NE(c.written.find("default button, No"), std::string::npos) << c.written;
}

TEST(ConsoleMessageBox, TerminalAnswerIsAskedAgainUntilItFits) {
  FakeConsole c(true);
  c.answers = {"perhaps", "n"};
  EXPECT_EQ(platform::ConsoleMessageBox(Question(), c.io), IDNO);
  EXPECT_EQ(c.reads, 2);
  EXPECT_NE(c.written.find("[Y/n]"), std::string::npos) << c.written;

  FakeConsole empty(true);
  empty.answers = {""};
  EXPECT_EQ(platform::ConsoleMessageBox(Question(MB_DEFBUTTON2), empty.io), IDNO);
  EXPECT_NE(empty.written.find("[y/N]"), std::string::npos) << empty.written;
}

TEST(ConsoleMessageBox, EndOfInputOrNoTerminalTakesTheDefault) {
  FakeConsole eof(true);
  EXPECT_EQ(platform::ConsoleMessageBox(Question(), eof.io), IDYES);
  EXPECT_NE(eof.written.find("default button, Yes"), std::string::npos) << eof.written;

  FakeConsole batch(false);
  batch.answers = {"no"};
  EXPECT_EQ(platform::ConsoleMessageBox(Question(MB_DEFBUTTON2), batch.io), IDNO);
  EXPECT_EQ(batch.reads, 0);
  EXPECT_NE(batch.written.find("PELORANT_ANSWER not set"), std::string::npos) << batch.written;
}

}  // namespace
