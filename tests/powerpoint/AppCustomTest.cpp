// Copy and paste translation over a deck: what copy gathers from groups and
// tables, and where paste writes; and ClipboardEx over the clipboard file
// stand-in: text in its forms, and the save and restore around work that
// disturbs the clipboard.
#include <atomic>
#include <fstream>
#include <functional>

#include "resources/MessageIds.h"
#include "src/platform/MessagePump.h"
#include "src/powerpoint/AppCustom.h"
#include "src/powerpoint/ClipboardEx.h"
#include "tests/platform/TestSupport.h"
#include "tests/powerpoint/PowerPointFixture.h"

using namespace pptest;
using powerpoint::AppCustom;
using powerpoint::ClipboardEx;

namespace {

class ClipboardCommands : public RunTest {
 protected:
  platformtest::ScopedEnv clip{L"PELORANT_CLIPBOARD_FILE", W(dir.path() / "clipboard")};
};

// A caller whose time limit runs out when the test says so.
class TimedCaller : public TestCaller {
 public:
  bool TimedOut() const override { return timedOut.load(); }
  void StartTimeOut(std::int32_t milliseconds) override { started = milliseconds; }
  std::atomic<bool> timedOut{false};
  std::int32_t started = 0;
};

class ClipboardExTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  platformtest::ScopedEnv file{L"PELORANT_CLIPBOARD_FILE", (dir.path() / "clipboard").wstring()};
  platformtest::ScopedEnv lang{L"LC_ALL", L"en_US.UTF-8"};
  ClipboardEx clipboard;
};

TEST_F(ClipboardExTest, TextFormsAndBoundedReads) {
  ASSERT_TRUE(clipboard.SetText(L"Grüße", 0, 0x0407));
  EXPECT_EQ(std::tuple(clipboard.GetText(0, false), clipboard.GetText(platform::kCfUnicodeText, false)),
            std::tuple(L"Grüße", L"Grüße"));
  ASSERT_TRUE(clipboard.SetText(L"{\\rtf1 x}", ClipboardEx::kRtfStandIn, 0));
  EXPECT_EQ(clipboard.GetText(clipboard.RtfFormat(), false), L"{\\rtf1 x}");
  EXPECT_EQ(clipboard.GetText(0, false), L"");

  // ANSI text read with the clipboard's locale; no terminating NUL and a
  // locale block too short to say anything must not be read past.
  const std::string shiftJis("\x93\xfa\x96\x7b", 4);  // 日本 in code page 932
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfText, shiftJis}, {platform::kCfLocale, std::string("\x11\x04\0\0", 4)}}));
  EXPECT_EQ(clipboard.GetText(0, false), L"日本");
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfText, "abc"}, {platform::kCfLocale, "\x11"}}));
  EXPECT_EQ(clipboard.GetText(0, false), L"abc");
  ASSERT_TRUE(platform::WriteClipboard({{platform::kCfUnicodeText, platform::ToUtf16Le(L"odd") + "\x01"}}));
  EXPECT_EQ(clipboard.GetText(0, true), L"odd");
}

TEST_F(ClipboardExTest, RestoreOnlyWhatChangedAndOnlyAfterASave) {
  const std::string mine = platform::ToUtf16Le(L"mine") + std::string(2, '\0');
  const std::vector<platform::ClipboardEntry> user{{platform::kCfUnicodeText, mine}, {platform::kCfBitmap, "picture"}};
  ASSERT_TRUE(platform::WriteClipboard(user));
  // Nothing changed meanwhile: the picture, which a save cannot keep, stays.
  ASSERT_TRUE(clipboard.SaveClipboard());
  EXPECT_TRUE(clipboard.RestoreClipboard());
  std::vector<platform::ClipboardEntry> now;
  ASSERT_TRUE(platform::ReadClipboard(&now));
  EXPECT_EQ(now, user);
  // Changed meanwhile: the user's text comes back.
  ASSERT_TRUE(clipboard.SaveClipboard());
  clipboard.SetText(L"face", 0, 0);
  EXPECT_TRUE(clipboard.RestoreClipboard());
  EXPECT_EQ(clipboard.GetText(0, false), L"mine");
  // A save that failed restores nothing: the clipboard is not emptied.
  std::ofstream(dir.path() / "clipboard", std::ios::binary) << "held by someone else";
  EXPECT_FALSE(clipboard.SaveClipboard());
  EXPECT_TRUE(clipboard.RestoreClipboard());
  std::ifstream in(dir.path() / "clipboard", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "held by someone else");
}

}  // namespace

TEST_F(ClipboardCommands, CopyGathersTheTextsOfGroupsAndTables) {
  decktest::Deck d;
  d.slides = {decktest::Group(2, "G", kGroupXfrm,
                              decktest::Sp(3, "In1", 0, 0, 50 * P, 20 * P, "One", true) +
                                  decktest::Sp(4, "In2", 0, 30 * P, 50 * P, 20 * P, "Two", true)) +
              decktest::Table(5, "T", 2,
                              {decktest::Cell("Three") + decktest::Cell("Four"),
                               decktest::Cell("Five") + decktest::Cell("Six")})};
  Open(d);
  auto shapes = original->Slides()->Item(1)->Shapes();
  for (int i = 1; i <= 2; ++i) shapes->Item(i)->Select(i == 1);
  ASSERT_TRUE(AppCustom::TranslateCopy(caller, 0, record));
  EXPECT_EQ(ClipboardEx().GetText(0, false), L"[One]\r\n\r\n[Two]\r\n\r\n[Three]\r\n\r\n[Four]\r\n\r\n[Five]\r\n\r\n[Six]\r\n\r\n")
      << "cells row by row, as they are read";
  EXPECT_EQ(shapes->Item(1)->GroupItems()->Item(1)->TextFrame()->TextRange()->Text(), L"One");
}

// Paste writes over the selected text, lines broken as the host breaks them,
// at a caret in the notes pane (even when the host's selection moves while
// the engine works), into the one selected shape, or else into a new text
// box at the slide's corner.
TEST_F(ClipboardCommands, PasteWritesWhereTheSelectionWasWhenItStarted) {
  struct Case {
    const char* what;
    std::function<void()> select;
    std::function<std::wstring()> pasted;
    std::wstring expected;
    int shapes;  // on the first slide afterwards
  };
  auto slideShapes = [this] { return original->Slides()->Item(1)->Shapes(); };
  const Case cases[] = {
      {"selected text", [&] { slideShapes()->Item(1)->TextFrame()->TextRange()->Characters(2, 3)->Select(); },
       [&] { return Text(original, 1, 1); }, L"A[x]\v[y]a", 2},
      {"caret in the notes",
       [&] {
         original->Windows()->Item(1)->Panes()->Item(3)->Activate();
         NotesBody(original, 1)->TextFrame()->TextRange()->Characters(6, 0)->Select();
       },
       [&] { return NotesBody(original, 1)->TextFrame()->TextRange()->Text(); }, L"Notes[x]\v[y]", 2},
      {"one shape", [&] { slideShapes()->Item(2)->Select(true); }, [&] { return Text(original, 1, 2); }, L"[x]\v[y]", 2},
      {"nothing", [] {}, [&] { return Text(original, 1, 3); }, L"[x]\v[y]", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Open(ThreeSlides());
    NotesBody(original, 1)->TextFrame()->TextRange()->SetText(L"Notes");
    c.select();
    // The engine's wait lets the host move on: here its selection.
    const platform::MessageThreadId ui = platform::CurrentMessageThread();
    host::Ptr<host::Presentation> deck = original;
    impl->SetTranslator([ui, deck](const std::wstring& s) {
      platform::PostThreadTask(ui, [deck] { deck->Windows()->Item(1)->Selection()->Unselect(); });
      return L"[" + s + L"]";
    });
    ClipboardEx().SetText(L"x\r\ny", 0, 0);
    ASSERT_TRUE(AppCustom::TranslatePaste(caller, 0, record));
    EXPECT_EQ(std::tuple(c.pasted(), slideShapes()->Count()), std::tuple(c.expected, c.shapes));
  }
  auto box = original->Slides()->Item(1)->Shapes()->Item(3);
  EXPECT_FLOAT_EQ(box->Left(), 1.0f);
  EXPECT_FLOAT_EQ(box->Width(), 400.0f);
}

// The time limit running out on the second sentence: copy puts the first on
// the clipboard, paste writes nothing; both tell the user. Run out before the
// first answer or while the engine opens, copy leaves the clipboard as it
// was; with nothing selected
// it says so.
TEST_F(ClipboardCommands, ATranslationCutShortByTheTimeLimitIsCopiedAsFarAsItGot) {
  TimedCaller timed;
  record.TimeOutMSec = 60000;
  CancelWhen([&timed](const std::wstring& s) {
    if (s.find(L"Two") != std::wstring::npos) timed.timedOut = true;
    return timed.timedOut.load();
  });
  Open(ThreeSlides());
  timed.app = app;
  auto box = original->Slides()->Item(1)->Shapes()->Item(1);
  box->TextFrame()->TextRange()->SetText(L"One. Two.");
  box->Select(true);
  ClipboardEx().SetText(L"kept", 0, 0);
  EXPECT_FALSE(AppCustom::TranslateCopy(timed, 0, record));
  EXPECT_EQ(ClipboardEx().GetText(0, false), L"[One.]");
  support::ErrorList::Clear();
  timed.timedOut = false;
  ClipboardEx().SetText(L"Three. Two.", 0, 0);
  EXPECT_FALSE(AppCustom::TranslatePaste(timed, 0, record));
  EXPECT_EQ(box->TextFrame()->TextRange()->Text(), L"One. Two.");
  auto listed = [] {
    std::vector<int> ids;
    for (const auto& e : support::ErrorList::GetEntries()) ids.push_back(e.mMessageId);
    support::ErrorList::Clear();
    return ids;
  };
  EXPECT_EQ(std::tuple(listed(), timed.started), std::tuple(std::vector<int>{resources::msg::kCutShort}, 60000));

  for (auto op : {fake_engine::Operation::GetEngine, fake_engine::Operation::Translate}) {
    impl->Script(op, {.hang = true, .hold = [&timed] {
                        timed.timedOut = true;
                        engine::AppCommon::Instance().SetCancel(true);
                      }});
    ClipboardEx().SetText(L"kept", 0, 0);
    EXPECT_FALSE(AppCustom::TranslateCopy(timed, 0, record));
    EXPECT_EQ(ClipboardEx().GetText(0, false), L"kept");
    EXPECT_EQ(listed(), std::vector<int>{resources::msg::kCutShort});
    impl->Script(op, {});
  }
  original->Windows()->Item(1)->Selection()->Unselect();
  EXPECT_FALSE(AppCustom::TranslateCopy(timed, 0, record));
  EXPECT_EQ(ClipboardEx().GetText(0, false), L"kept");
  EXPECT_EQ(listed(), std::vector<int>{resources::msg::kSelectSomething});
}
