#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <thread>

#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/platform/MessagePump.h"
#include "tests/common/Errors.h"
#include "tests/engine/EngineCacheTestEnv.h"

using engine::TranslationSegment;
using fake_engine::Behaviour;
using fake_engine::Operation;

namespace {

class AppCommonTest : public enginetest::FakeSideTest {
 protected:
  void SetUp() override {
    FakeSideTest::SetUp();
    options.EngineGroup = L"FakeMT";
    options.EngineID = L"en-es";
    options.FromLang = L"en";
    options.ToLang = L"es";
    options.SentenceSeparator = L"  ";
    options.PreMacroName = L"fncPreMacro";
    options.PostMacroName = L"fncPostMacro";
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  }

  TranslationSegment Translate(const std::wstring& source) {
    TranslationSegment seg;
    seg.source = source;
    EXPECT_TRUE(app.TranslateText(options, seg));
    return seg;
  }

  engine::AppCommon app{eng};
  options::TranslationOptionUDT options;
};

}  // namespace

// What reaches the engine of one text, and what comes back: white space kept
// out and put back, characters folded, numbers and blanks never sent, an
// empty answer taken as the source, the dual-print marks only when asked, a
// correspondence only for a text sent with keep style.
TEST_F(AppCommonTest, TheTextSentAndTheTranslationMadeOfIt) {
  const struct {
    const wchar_t* source;
    std::vector<std::wstring> sent;
    const wchar_t* translation;
    int dualPrint = 0;
    const wchar_t* prefix = L"<";
    int keepStyle = 1;
    bool corresponds = true;  // when something is sent
  } cases[] = {
      {L"  \x3000word\r\n", {L"word"}, L"   WORD\r\n"},  // two blanks, an ideographic space, CR LF
      {L"\tcat\x0B", {L"cat"}, L"\tCAT\x0B"},           // a leading tab stays a tab, a trailing vertical tab is kept
      {L"\xA0\x2003word", {L"word"}, L"  WORD"},        // blanks made by folding join the leading white space
      {L"a\tb\nc\x1D" L"d", {L"a b c d"}, L"A B C D"},
      {L"\x201Cq\x201D \x2018s\x2019 x\x2013y\x2014z\x2212w \x1E\x1F", {L"\"q\" 's' x-y-z-w --"}, L"\"Q\" 'S' X-Y-Z-W --"},
      {L"p\xA0q\x2002r\x2003s\x2005t\x200Cu\x200Dv\x3000w", {L"p q r s t u v w"}, L"P Q R S T U V W"},
      {L"+1,234.5-", {}, L"+1,234.5-"},
      {L"1e5", {L"1e5"}, L"1E5"},
      {L"-12+3 \r\n", {L"-12+3 "}, L"-12+3 \r\n"},  // a blank inside is no number character
      {L"  \r\n", {}, L"  \r\n"},
      {L"", {}, L""},
      {L"silence", {L"silence"}, L"silence", 0, L"<", 1, false},  // the engine answers nothing
      {L"a", {L"a"}, L"<A>", 1},
      {L"a", {L"a"}, L"A>", 1, L""},
      {L"big dog", {L"big dog"}, L"BIG DOG", 0, L"<", 0, false},
  };
  impl->SetTranslation(L"silence", L"");
  options.TranSuffix = L">";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    impl->ClearRecord();
    options.KeepStyle = c.keepStyle;
    options.DualPrint = c.dualPrint;
    options.TranPrefix = c.prefix;
    TranslationSegment seg = Translate(c.source);
    // Sent, the translation, a correspondence, the source (never changed).
    EXPECT_EQ(std::tuple(SentTexts(), seg.translation.value(), seg.styleCorrespondence.has_value(), seg.source),
              std::tuple(c.sent, std::wstring(c.translation), c.corresponds && !c.sent.empty(), std::wstring(c.source)));
  }
}

TEST_F(AppCommonTest, AFailedEngineAnswerLeavesTheSourceTextAndNoMessageAndAFailedCallRaises) {
  impl->Script(Operation::Translate, Behaviour{.status = engine_server::kRequestFailed, .errorCode = 30006, .times = 1});
  options.KeepStyle = 1;
  TranslationSegment seg = Translate(L" broken\r");
  // The translation, whether it has a correspondence, the engine's code, the
  // failed requests, the messages.
  EXPECT_EQ(std::tuple(seg.translation.value(), seg.styleCorrespondence.has_value(), eng.LastErrorCode(),
                       eng.FailedRequests(), support::ErrorList::GetCount()),
            std::tuple(std::wstring(L" broken\r"), false, 30006, 1, 0));
  // A call that fails with an HRESULT raises it.
  impl->Script(Operation::Translate, Behaviour{.callResult = E_OUTOFMEMORY, .times = 1});
  EXPECT_EQ(testsupport::ErrorOf([&] { Translate(L"text"); }), E_OUTOFMEMORY);
}

TEST_F(AppCommonTest, CorrespondenceOutsideTheTextsOrTooManyRangesIsTrimmed) {
  std::vector<engine_server::TextRange> many;
  for (LONG i = 0; i < 8; ++i) many.push_back({i, 1});
  impl->SetCorrespondence(L"abcdefgh", {{{{0, 1}}, {{7, 2}}},  // translation range ending one past the result
                                        {many, many}});
  options.KeepStyle = 1;
  TranslationSegment seg = Translate(L"abcdefgh");
  ASSERT_EQ(seg.styleCorrespondence.value_or(engine::StyleCorrespondence{}).size(), 1u);
  const auto& g = seg.styleCorrespondence->at(0);
  EXPECT_LE(g.SourceCount() + g.TranslationCount(), 9);
  EXPECT_GE(std::min(g.SourceCount(), g.TranslationCount()), 1) << "a side left empty";
}

TEST_F(AppCommonTest, APreMacroReplacesTheTextUnlessItRecordedAnErrorAndEmptyCancelsTheRun) {
  // The macro's result, whether it records an error, what is sent, the
  // translation, whether the run is cancelled.
  const std::tuple<const wchar_t*, bool, std::vector<std::wstring>, const wchar_t*, bool> cases[] = {
      {L"from macro", false, {L"from macro"}, L" FROM MACRO", false},
      {L"ignored", true, {L"original"}, L" ORIGINAL", false},
      {L"", false, {}, L"", true}};
  options.UsesPreMacro = 1;
  for (const auto& [result, recordsError, sent, translation, cancelled] : cases) {
    SCOPED_TRACE(result);
    impl->ClearRecord();
    app.SetCancel(false);
    std::vector<std::wstring> ran;
    app.SetMacroRunner([&](const std::wstring& name) {
      ran.push_back(name);
      if (recordsError) support::ErrorList::Add(1201, L"");
      return std::wstring(result);
    });
    TranslationSegment seg = Translate(L" original");
    // The macros run, the texts sent, the translation, cancelled.
    EXPECT_EQ(std::tuple(ran, SentTexts(), seg.translation.value(), app.IsCancelled()),
              std::tuple(std::vector<std::wstring>{L"fncPreMacro"}, sent, std::wstring(translation), cancelled));
  }
}

TEST_F(AppCommonTest, AMacroTheHostCannotRunFailsTheCallInsteadOfCancellingTheRun) {
  app.SetMacroRunner([](const std::wstring&) -> std::wstring { throw platform::ComError(DISP_E_MEMBERNOTFOUND); });
  for (int* uses : {&options.UsesPreMacro, &options.UsesPostMacro}) {
    options.UsesPreMacro = options.UsesPostMacro = 0;
    *uses = 1;
    EXPECT_EQ(testsupport::ErrorOf([&] { Translate(L"text"); }), DISP_E_MEMBERNOTFOUND);
    EXPECT_FALSE(app.IsCancelled());
  }
  // A plain-text translation closes its engine on the way out.
  options.UsesPreMacro = 0;
  std::wstring text = L"text";
  EXPECT_THROW(app.TranslatePlainText(options, text, false), platform::ComError);
  EXPECT_EQ(std::pair(eng.IsOpen(), text), std::pair(false, std::wstring(L"text"))) << "open, the text";
}

// A post-macro's text replaces the translation and its correspondence; an
// empty one cancels the run after the current segment.
TEST_F(AppCommonTest, APostMacroReplacesTheTranslationAndEmptyCancelsTheRunAfterTheSegment) {
  options.KeepStyle = 1;
  options.UsesPostMacro = 1;
  int calls = 0;
  app.SetMacroRunner([&](const std::wstring&) { return ++calls == 3 ? std::wstring() : std::wstring(L"ok"); });
  TranslationSegment seg = Translate(L"big dog");
  EXPECT_EQ(std::pair(seg.translation.value(), seg.styleCorrespondence.has_value()),
            std::pair(std::wstring(L"ok"), false)) << "the translation, a correspondence";
  impl->ClearRecord();
  std::wstring out;
  ASSERT_TRUE(app.TranslateBlock(options, L"One. Two. Three.", false, &out));
  // Cancelled, the third sentence not translated, the first one's translation.
  EXPECT_EQ(std::tuple(app.IsCancelled(), SentTexts().size(), out), std::tuple(true, size_t{2}, std::wstring(L"ok")));
}

TEST_F(AppCommonTest, CancelFromAnotherThreadOrThroughTheQueueStopsAHangingEngine) {
  // The time-out watchdog raises the flag from its own thread; the cancel
  // button's click reaches the UI thread through its queue, which the wait
  // must drain.
  platform::MessageThreadId ui = platform::CurrentMessageThread();
  const std::function<void()> cancels[] = {[&] { app.SetCancel(true); },
                                           [&] { platform::PostThreadTask(ui, [&] { app.SetCancel(true); }); }};
  for (const auto& cancel : cancels) {
    impl->ClearRecord();
    app.SetCancel(false);
    impl->Script(Operation::Translate, Behaviour{.hang = true});
    std::atomic<bool> stop{false};
    std::thread other([&] {
      while (!stop.load() && impl->Translations().empty()) platform::SleepMilliseconds(1);
      cancel();
    });
    TranslationSegment seg = Translate(L"never answered");
    stop = true;
    other.join();
    EXPECT_EQ(std::tuple(app.IsCancelled(), impl->Cancels(), seg.translation.value()),
              std::tuple(true, 1, std::wstring(L"never answered"))) << "cancelled, cancels, the translation";
  }
  EXPECT_EQ(eng.FailedRequests(), 2);
  // A cancelled run returns at once with an empty translation.
  impl->ClearRecord();
  const TranslationSegment seg = Translate(L"text");
  EXPECT_EQ(std::pair(seg.translation.value(), SentTexts().size()), std::pair(std::wstring(), size_t{0}));
}

// Sentences are announced folded and trimmed as TranslateText sends them (a
// number never), each is still asked for, and the answers are joined with
// line ends made vertical tabs.
TEST_F(AppCommonTest, TranslateBlockAnnouncesAndJoinsSentencesAndReportsProgress) {
  struct Recorder : engine::ProgressReport {
    std::vector<std::pair<int, int>> messages;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    void SetMessages(int s, int c) override { messages.push_back({s, c}); }
    void SetProgress(std::int64_t p, std::int64_t t) override { progress.push_back({p, t}); }
  } recorder;
  app.SetProgressReport(&recorder);
  std::wstring out;
  ASSERT_TRUE(app.TranslateBlock(options, L"  The \u201Cdog\u201D runs. 1,234.5\rIt\tsleeps.\r\nEnd", true, &out));
  EXPECT_EQ(out, L"  THE \"DOG\" RUNS. 1,234.5\x0BIT SLEEPS.\x0B" L"END");
  const std::vector<std::wstring> sent = {L"The \"dog\" runs.", L"It sleeps.", L"End"};
  // Announced, asked for, answered and dropped ahead.
  EXPECT_EQ(std::tuple(impl->AheadCalls(), SentTexts(), impl->AnsweredAhead(), impl->DroppedAhead()),
            std::tuple(std::vector<std::vector<std::wstring>>{sent}, sent, 3, 0));
  EXPECT_EQ(recorder.messages, (std::vector<std::pair<int, int>>{{5066, 5101}}));
  EXPECT_EQ(recorder.progress,
            (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));

  // No progress when it is not asked for; the separator between sentences
  // that run together.
  recorder.progress.clear();
  ASSERT_TRUE(app.TranslateBlock(options, L"\x72AC\x3002\x732B\x3002", false, &out));
  EXPECT_EQ(std::pair(out, recorder.progress.size()),
            std::pair(std::wstring(L"\x72AC\x3002  \x732B\x3002"), size_t{0}));
}

// A plain text opens the engine once, translates and closes it; nothing is
// announced that the engine might not be asked for.
TEST_F(AppCommonTest, PlainTextIsTranslatedBetweenOpenAndCloseAnnouncingOnlyWhatIsAskedFor) {
  // What is tried, whether the engine takes texts ahead, the pre-macro, the
  // text and its translation.
  const std::tuple<const char*, bool, int, const wchar_t*, const wchar_t*> cases[] = {
      {"an engine without the extension", false, 0, L"One. Two. Three.", L"ONE. TWO. THREE."},
      {"a pre-macro decides the texts", true, 1, L"One. Two.", L"SAME. SAME."},
      {"a single sentence", true, 0, L"One.", L"ONE."}};
  fake_engine::FakePair alone = enginetest::FakeMT(L"en-fr", L"fr");
  alone.translatesAhead = false;
  impl->AddPair(alone);
  eng.CloseEngine();
  app.SetMacroRunner([](const std::wstring&) { return std::wstring(L"Same."); });
  for (const auto& [what, engineTakesThem, preMacro, source, translation] : cases) {
    SCOPED_TRACE(what);
    impl->ClearRecord();
    const int opened = impl->EnginesOpened();
    options.EngineID = engineTakesThem ? L"en-es" : L"en-fr";
    options.UsesPreMacro = preMacro;
    std::wstring text = source;
    ASSERT_TRUE(app.TranslatePlainText(options, text, false));
    EXPECT_EQ(text, translation);
    // Whether it is open, how often it was opened, what was announced and answered ahead.
    EXPECT_EQ(std::tuple(eng.IsOpen(), impl->EnginesOpened() - opened, impl->AheadCalls().size(), impl->AnsweredAhead()),
              std::tuple(false, 1, size_t{0}, 0));
  }
}

TEST_F(AppCommonTest, ACancelDuringABlockDropsWhatWasAnnouncedAndAsksForNothingMore) {
  int started = 0;
  impl->Script(Operation::Translate, Behaviour{.hold = [&] {
                 if (++started == 2) app.SetCancel(true);
               }});
  std::wstring out;
  ASSERT_TRUE(app.TranslateBlock(options, L"One. Two. Three. Four. Five.", false, &out));
  // Cancelled, the texts sent, answered and dropped (the three never asked for).
  EXPECT_EQ(std::tuple(app.IsCancelled(), SentTexts(), impl->AnsweredAhead(), impl->DroppedAhead()),
            std::tuple(true, std::vector<std::wstring>{L"One.", L"Two."}, 2, 3));
}

TEST_F(AppCommonTest, AnEngineThatCannotBeOpenedReports1251AndLeavesTheText) {
  // What fails, how it is arranged, the messages.
  const std::tuple<const char*, std::function<void()>, std::vector<int>> cases[] = {
      {"an unknown pair", [&] { options.EngineID = L"xx-yy"; }, {1202, 1251}},  // the listing does not know it
      {"an engine code", [&] {
         impl->Script(Operation::GetEngine, Behaviour{.status = engine_server::kRequestFailed, .engineErrorCode = 30004});
       }, {1205, 1251}},  // the engine's own message too
      {"no factory", [&] { side.FailFactoryCreation(REGDB_E_CLASSNOTREG); }, {1251}},
  };
  eng.CloseEngine();
  for (const auto& [what, arrange, messages] : cases) {
    SCOPED_TRACE(what);
    support::ErrorList::Clear();
    options.EngineID = L"en-es";
    arrange();
    std::wstring text = L"unchanged";
    EXPECT_FALSE(app.TranslatePlainText(options, text, false));
    EXPECT_EQ(std::tuple(text, enginetest::MessageIds(), eng.IsOpen()),
              std::tuple(std::wstring(L"unchanged"), messages, false)) << "the text, the messages, open";
  }
}

// Protected text: the same segments through an engine that keeps
// placeholders in the sentence and through one that does not.
TEST_F(AppCommonTest, ProtectedTextComesBackAsItWasAtItsPlace) {
  fake_engine::FakePair plain = enginetest::FakeMT(L"en-fr", L"fr");
  plain.infoFlags &= ~engine_server::kInfoFlagKeepsPrivateUse;
  impl->AddPair(plain);
  options.GlossaryTerms = {{L"Office", L"Oficina"}, {L"Pelorant", L""}};
  // The source, what an engine that keeps placeholders is sent, what one
  // that does not is sent, the translation.
  const std::tuple<const wchar_t*, std::vector<std::wstring>, std::vector<std::wstring>, const wchar_t*> cases[] = {
      {L" Visit www.example.com/a today.", {L"Visit \xE000 today."}, {L"Visit", L"today."},
       L" VISIT www.example.com/a TODAY."},
      {L"Mail help.desk@example.com or see C:\\Users\\Public", {L"Mail \xE000 or see \xE001"}, {L"Mail", L"or see"},
       L"MAIL help.desk@example.com OR SEE C:\\Users\\Public"},
      {L"Pelorant runs in the Office", {L"\xE000 runs in the \xE001"}, {L"runs in the"},
       L"Pelorant RUNS IN THE Oficina"},
      {L"https://x.org/Tools \xF0A7 2024", {}, {}, L"https://x.org/Tools \xF0A7 2024"},
  };
  for (bool keeps : {true, false}) {
    options.EngineID = keeps ? L"en-es" : L"en-fr";
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", options.EngineID, L""));
    for (const auto& [source, placeholders, pieces, translation] : cases) {
      SCOPED_TRACE(std::wstring(keeps ? L"keeps: " : L"pieces: ") + source);
      impl->ClearRecord();
      TranslationSegment seg = Translate(source);
      EXPECT_EQ(std::pair(SentTexts(), seg.translation.value()),
                std::pair(keeps ? placeholders : pieces, std::wstring(translation))) << "sent, the translation";
      std::vector<TranslationSegment> one(1);
      one[0].source = source;
      EXPECT_EQ(app.EngineTexts(options, one), SentTexts()) << "announced as asked";
    }
    eng.CloseEngine();
  }
}

TEST_F(AppCommonTest, KeptSpansAndCorrespondenceCountInTheFinalTexts) {
  options.KeepStyle = 1;
  options.DualPrint = 1;
  options.TranPrefix = L"<";
  TranslationSegment seg;
  seg.source = L"  Page 12 of www.a.org now";
  seg.held = {{7, 2, std::nullopt, true}};  // a slide-number field
  ASSERT_TRUE(app.TranslateText(options, seg));
  // Sent, the translation, the spans kept.
  EXPECT_EQ(std::tuple(SentTexts(), seg.translation.value(), seg.kept),
            std::tuple(std::vector<std::wstring>{L"Page \xE000 of \xE001 now"},
                       std::wstring(L"  <PAGE 12 OF www.a.org NOW"),
                       std::vector<engine::KeptSpan>{{7, 2, 8, 2, true}, {13, 9, 14, 9, false}}));
  ASSERT_TRUE(seg.styleCorrespondence.has_value());
  // The engine's groups moved onto the final texts (this engine pairs the
  // placeholders too), then the address that travelled with itself.
  std::vector<std::pair<std::wstring, std::wstring>> pairs;
  for (const auto& g : *seg.styleCorrespondence)
    pairs.push_back({seg.source.substr(g.Source(0)[0], g.Source(0)[1]),
                     seg.translation->substr(g.Translation(0)[0], g.Translation(0)[1])});
  EXPECT_EQ(pairs, (std::vector<std::pair<std::wstring, std::wstring>>{
                       {L"Page", L"PAGE"}, {L"12", L"12"}, {L"of", L"OF"}, {L"www.a.org", L"www.a.org"},
                       {L"now", L"NOW"}, {L"www.a.org", L"www.a.org"}}));
}

TEST_F(AppCommonTest, AnEngineThatLosesAPlaceholderGetsThePiecesInstead) {
  impl->SetTranslator([](const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s)
      if (!engine::IsPlaceholder(c)) out += static_cast<wchar_t>(std::towupper(c));
    return out;
  });
  TranslationSegment seg = Translate(L"Open /srv/data/x now");
  EXPECT_EQ(SentTexts(), (std::vector<std::wstring>{L"Open \xE000 now", L"Open", L"now"}));
  EXPECT_EQ(seg.translation.value(), L"OPEN /srv/data/x NOW");

  impl->Script(Operation::Translate, Behaviour{.status = engine_server::kRequestFailed, .times = 1});
  seg = Translate(L"Open /srv/data/x now");
  EXPECT_EQ(seg.translation.value(), L"Open /srv/data/x now") << "a failed engine leaves the source";
  EXPECT_TRUE(seg.kept.empty());
}

// As many protected spans as there are placeholder characters still travel
// in one text, the last one as the range's last character.
TEST_F(AppCommonTest, EveryPlaceholderCharacterCanBeUsed) {
  options.GlossaryTerms = {{L"Pelorant", L""}};
  const size_t most = static_cast<size_t>(engine::kPlaceholderLast - engine::kPlaceholderFirst) + 1;
  std::wstring source;
  for (size_t i = 0; i < most; ++i) source += L"Pelorant and ";
  TranslationSegment seg = Translate(source);
  ASSERT_EQ(SentTexts().size(), 1u);
  const std::wstring sent = SentTexts()[0];
  EXPECT_EQ(static_cast<size_t>(std::count_if(sent.begin(), sent.end(), engine::IsPlaceholder)), most);
  EXPECT_NE(sent.find(engine::kPlaceholderLast), std::wstring::npos);
  EXPECT_EQ(seg.translation.value().substr(0, 13), L"Pelorant AND ");
}
