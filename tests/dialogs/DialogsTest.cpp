// The dialogs' logic with views that play the user: the options dialog,
// the input box, the dictionary lookup, the progress dialog and the wait box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "resources/MessageIds.h"
#include "src/support/ResourceModule.h"
#include "tests/common/Errors.h"
#include "tests/dialogs/Fixtures.h"

using dialogs::CDialogLookupDict;
using dialogs::CDialogProgress;
using dialogs::CDialogSetup;
using dialogs::CDialogWaitResult;
using dialogtest::LookupDialog;
using dialogtest::ScriptedLookupView;
using dialogtest::ScriptedSetupView;
using dialogtest::SetupDialog;
using options::TranslationOption;
using Page = dialogs::SetupPage;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(SetupTexts, EveryTextTheDialogsShowHasAResource) {
  std::vector<int> ids = {resources::msg::kNoFontText, resources::msg::kResetQuestion, resources::msg::kSaveFailed,
                          resources::msg::kEngineListFailed, resources::msg::kNoEngines,
                          resources::msg::kRemoveServerQuestion, 8501, 8502, 8503, 8504, 8505, 6002, 1251, 1254};
  for (const dialogs::SetupControl& c : dialogs::kSetupControls) {
    if (c.textId != 0) ids.push_back(c.textId);
  }
  for (int page = 1; page < dialogs::kSetupPageCount; ++page) ids.push_back(dialogs::kSetupTabTextIds[page]);
  for (const dialogs::EngineColumn& c : dialogs::kEngineColumns) ids.push_back(c.textId);
  for (const dialogs::EngineColumn& c : dialogs::kServerColumns) ids.push_back(c.textId);
  for (int id : ids) EXPECT_FALSE(support::LoadText(id).empty()) << id;
}

TEST_F(SetupDialog, EveryControlEditsItsFieldAndApplyFollowsTheEdits) {
  struct Case {
    const char* what;
    std::function<void(ScriptedSetupView&)> act;
    std::function<void(TranslationOption&)> expect;
  };
  const auto align = [](int id) { return [id](auto& v) { v.ClickRadio(Page::Basic, id, {261, 262, 226}); }; };
  const auto tick = [](Page page, int id) { return [=](auto& v) { v.ToggleCheck(page, id); }; };
  const Case cases[] = {
      {"original window", [](auto& v) { v.ClickRadio(Page::Basic, 222, {222, 223}); },
       [](auto& s) { s.SetOutputDestType(0); }},
      {"above each other", align(262), [](auto& s) { s.SetWindowAlign(2); }},
      {"no arrangement", align(226), [](auto& s) { s.SetWindowAlign(0); }},
      {"side by side", align(261), [](auto& s) { s.SetWindowAlign(1); }},
      {"dual print", [](auto& v) { v.ToggleCheck(Page::Basic, 264); }, [](auto& s) { s.SetDualPrint(1); }},
      {"keep style", [](auto& v) { v.ToggleCheck(Page::Basic, 263); }, [](auto& s) { s.SetKeepStyleType(0); }},
      {"expand shapes", tick(Page::Details, 266), [](auto& s) { s.SetDualPrintExpandShape(1); }},
      {"charts", [](auto& v) { v.ToggleCheck(Page::Details, 295); }, [](auto& s) { s.SetTranslatesCharts(0); }},
      {"alternative text", tick(Page::Details, 296), [](auto& s) { s.SetTranslatesAltText(0); }},
      {"link tips", [](auto& v) { v.ToggleCheck(Page::Details, 297); }, [](auto& s) { s.SetTranslatesLinkTips(0); }},
      {"masters", [](auto& v) { v.ToggleCheck(Page::Details, 298); }, [](auto& s) { s.SetTranslatesMasters(0); }},
      {"western font", [](auto& v) { v.Pick(Page::Fonts, 207, 1); }, [](auto& s) { s.SetFontANSI(L"Tahoma"); }},
      {"glossary typed", [](auto& v) { v.Type(Page::Details, 292, L" C:\\Terms\\es.tsv \r\n"); },
       [](auto& s) { s.SetGlossary(L"C:\\Terms\\es.tsv"); }},
      {"glossary chosen",
       [](auto& v) {
         v.fileAnswer = L"D:\\g.txt";
         v.d->cmdBrowseGlossary_Click();
       },
       [](auto& s) { s.SetGlossary(L"D:\\g.txt"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TranslationOption expected = StoredSet(L"default");
    c.expect(expected);
    int code = Run([&](ScriptedSetupView& v) {
      EXPECT_FALSE(v.ApplyEnabled());
      c.act(v);
      EXPECT_TRUE(v.ApplyEnabled());
      v.d->cmdOK_Click();
    });
    EXPECT_EQ(code, IDOK);
    EXPECT_EQ(StoredSet(L"default"), expected);
    EXPECT_EQ(StoredSet(L"Fancy").DualPrint(), 1);
  }
}

// Each font list offers the installed fonts of its character set and the
// set's own font, installed or not, selected; with neither it says so.
TEST_F(SetupDialog, FontListsShowTheInstalledFontsAndTheSetsOwn) {
  optionstest::FakeFonts fewer{{{0, {L"Arial", L"Tahoma"}}, {128, {L"MS Mincho"}}}};
  TranslationOption& fancy = *host.options.Find(L"Fancy");
  const wchar_t* own[] = {L"tahoma", L"Gone Gothic", L"", L"Old Song"};
  for (int i = 0; i < 4; ++i) fancy.SetFont(i, own[i]);
  host.options.Select(L"Fancy");
  ASSERT_TRUE(host.options.Save(true));
  Run([&](ScriptedSetupView& v) {
    // The lists' entries, the selected one in brackets.
    std::wstring lists;
    for (int list : {207, 208, 210, 211}) {
      const dialogtest::Control& c = v.At(Page::Fonts, list);
      for (int i = 0; i < static_cast<int>(c.items.size()); ++i)
        lists += (i == c.selected ? L"[" + c.items[i] + L"]" : c.items[i]) + L",";
      lists += L"|";
    }
    EXPECT_EQ(lists, L"Arial,[Tahoma],|MS Mincho,[Gone Gothic],|[" + support::LoadText(resources::msg::kNoFontText) +
                         L"],|[Old Song],|");
    v.ToggleCheck(Page::Basic, 264);
    v.d->cmdOK_Click();
  });
  // The fonts were not chosen anew: the fields keep what they held.
  const TranslationOption& applied = *host.options.Find(L"Fancy");
  EXPECT_EQ(std::to_wstring(applied.DualPrint()) + L"|" + applied.Font(1) + L"|" + applied.Font(2) + L"|" +
                applied.Font(3),
            L"0|Gone Gothic||Old Song");
}

TEST_F(SetupDialog, EnablingRulesHoldAndTheColourChooserStartsFromTheSetShown) {
  host.options.Find(L"Fancy")->SetOrigFontColorValue(0x2);
  host.options.Find(L"Fancy")->SetOutputDestType(0);
  Run([](ScriptedSetupView& v) {
    // The arrangement follows the new-window radio, also when a set is shown.
    EXPECT_TRUE(v.At(Page::Basic, 256).enabled);
    v.ClickRadio(Page::Basic, 222, {222, 223});
    for (int id : {256, 261, 262, 226}) EXPECT_FALSE(v.At(Page::Basic, id).enabled) << id;
    v.ClickRadio(Page::Basic, 223, {222, 223});
    EXPECT_TRUE(v.At(Page::Basic, 261).enabled);
    v.PickSet(L"Fancy");
    EXPECT_FALSE(v.At(Page::Basic, 261).enabled);
    // A colour button is enabled exactly when its check box is checked.
    EXPECT_FALSE(v.At(Page::Details, 271).enabled);
    v.ToggleCheck(Page::Details, 267);
    EXPECT_TRUE(v.At(Page::Details, 271).enabled);
    v.ToggleCheck(Page::Details, 268);
    EXPECT_FALSE(v.At(Page::Details, 207).enabled);

    v.chooserAnswer = 0xAA;
    v.d->cmdColor_Click(0);
    v.PickSet(L"default");
    EXPECT_TRUE(v.At(Page::Details, 207).enabled);
    v.d->cmdColor_Click(0);
    EXPECT_THAT(v.chooserStarts, ElementsAre(0x2, 128));
    v.PickSet(L"Fancy");
    EXPECT_FALSE(v.At(Page::Details, 207).enabled);
  });
  // A cancelled chooser changes nothing and does not count as an edit, a
  // colour chosen does; the file chooser starts from the glossary of the
  // set shown. A failed write is reported and keeps the dialog open.
  host.options.Find(L"default")->SetGlossary(L"D.tsv");
  Run([&](ScriptedSetupView& v) {
    v.d->cmdColor_Click(0);
    v.d->cmdBrowseGlossary_Click();
    EXPECT_FALSE(v.ApplyEnabled());
    EXPECT_EQ(v.At(Page::Details, 287).color, 128);
    EXPECT_EQ(v.At(Page::Details, 292).text, L"D.tsv");
    EXPECT_THAT(v.fileStarts, ElementsAre(L"D.tsv"));
    v.chooserAnswer = 0x00FF00;
    v.d->cmdColor_Click(1);
    EXPECT_TRUE(v.ApplyEnabled());
    v.chooserAnswer = 0x123456;
    v.d->cmdColor_Click(0);
    v.ToggleCheck(Page::Details, 267);
    v.ToggleCheck(Page::Details, 268);
    v.TickRow(0);
    v.ToggleCheck(Page::Basic, 264);
    // A file where the engine list's folder should be.
    std::filesystem::create_directories(platform::NativePath(engine::EngineCacheFolder()).parent_path());
    ASSERT_TRUE(testsupport::WriteBytes(engine::EngineCacheFolder(), "x"));
    v.d->cmdOK_Click();
    EXPECT_THAT(dialogtest::ListedIds(), ElementsAre(resources::msg::kSaveFailed));
    // Still open, Apply on; the sets handed on (dual print, the colour
    // boxes, both colours), the engine list not.
    const TranslationOption& set = *host.options.Find(L"default");
    EXPECT_EQ(std::vector<int>({v.closed, v.ApplyEnabled(), set.DualPrint(), set.ChangesOrigFontColor(),
                                set.ChangesTranFontColor(), set.OrigFontColorValue(), set.TranFontColorValue(),
                                host.engines.Checked(0)}),
              std::vector<int>({0, 1, 1, 1, 0, 0x123456, 0x00FF00, 0}));
  });
}

// Apply stores the edits of every set and the engines' check marks and
// hands them to the running collections at once; Cancel forgets what was
// edited after it. Ticking a row moves the selected rows along only.
TEST_F(SetupDialog, ApplyStoresTheEditsOfEverySetAndCancelForgetsTheRest) {
  Run([&](ScriptedSetupView& v) {
    ASSERT_EQ(v.rows.size(), 3u);
    // The short product name stands in for a product name the engine lacks.
    EXPECT_THAT(v.rows[0].cells, ElementsAre(L"English - en-ja", L"Fake", L"", L"\x25CB", L""));
    v.selectedRows = {0, 1, 2};
    v.TickRow(1);
    for (int r = 0; r < 3; ++r) EXPECT_FALSE(v.rows[r].checked) << r;
    v.selectedRows = {0, 1};
    v.TickRow(2);
    EXPECT_EQ(std::vector<bool>({v.rows[0].checked, v.rows[2].checked}), std::vector<bool>({false, true}));
    v.TickRow(0);
    EXPECT_TRUE(v.rows[1].checked);
    v.ToggleCheck(Page::Basic, 264);
    v.PickSet(L"Fancy");
    v.ToggleCheck(Page::Details, 266);
    v.d->cmdApply_Click();
    EXPECT_FALSE(v.ApplyEnabled());
    EXPECT_EQ(host.options.Find(L"default")->DualPrint(), 1);
    v.ToggleCheck(Page::Details, 295);
    v.d->cmdCancel_Click();
  });
  const TranslationOption fancy = StoredSet(L"Fancy");
  EXPECT_EQ(std::vector<int>({StoredSet(L"default").DualPrint(), fancy.DualPrintExpandShape(), fancy.TranslatesCharts(),
                              host.applied, host.engines.Checked(0), host.engines.Checked(1), host.engines.Checked(2)}),
            std::vector<int>({1, 1, 1, 1, 1, 1, 1}));
}

TEST_F(SetupDialog, AddingAndRemovingSetsRefusesWhatCouldNotBeKept) {
  answers = {L"", L"default", L" \t", L"New", std::nullopt};
  Run([&](ScriptedSetupView& v) {
    for (int i = 0; i < 3; ++i) v.d->cmdOptionsOp_Click(CDialogSetup::kOpAdd);
    EXPECT_THAT(boxes.Texts(), ::testing::AllOf(::testing::SizeIs(3), ::testing::Each(HasSubstr(L"Failed to add."))));
    EXPECT_FALSE(v.ApplyEnabled());
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpAdd);
    EXPECT_THAT(v.At(Page::OptionSets, 205).items, ElementsAre(L"default", L"Fancy", L"New"));
    EXPECT_EQ(v.At(Page::OptionSets, 229).text, L"New");
    EXPECT_EQ(v.At(Page::OptionSets, 205).selected, 2);
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpAdd);  // cancelled
    EXPECT_EQ(v.At(Page::OptionSets, 205).items.size(), 3u);

    v.PickSet(L"default");
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpRemove);
    EXPECT_THAT(boxes.requests.back().text, HasSubstr(L"Failed to remove."));
    // Removing the set shown shows its neighbour without storing into it.
    v.PickSet(L"Fancy");
    EXPECT_EQ(v.At(Page::Basic, 264).check, 1);
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpRemove);
    EXPECT_THAT(v.At(Page::OptionSets, 205).items, ElementsAre(L"default", L"New"));
    EXPECT_EQ(v.At(Page::OptionSets, 229).text, L"New");
    EXPECT_EQ(v.At(Page::Basic, 264).check, 0);
    v.d->cmdOK_Click();
  });
  EXPECT_EQ(prompts, std::vector<std::wstring>(5, L"New Option Name : "));
  EXPECT_THAT(StoredNames(), ElementsAre(L"default", L"New"));
  EXPECT_EQ(StoredSet(L"New").DualPrint(), 0);
}

TEST_F(SetupDialog, ImportAndExportSeeTheEditsNotYetStored) {
  const std::wstring file = MakeFile(L"fancy.ini", "");
  const std::wstring missing = platform::JoinPath(Folder(), L"missing.ini");
  answers = {file, L"Fancy", file, L"Other", missing};
  Run([&](ScriptedSetupView& v) {
    v.PickSet(L"Fancy");
    v.ToggleCheck(Page::Details, 266);  // not yet stored
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpExport);
    // Import over the set shown, with other values on the page: the file wins.
    v.ToggleCheck(Page::Basic, 264);
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpImport);
    EXPECT_EQ(v.At(Page::Basic, 264).check, 1);
    v.PickSet(L"default");
    v.d->cmdOptionsOp_Click(CDialogSetup::kOpImport);
    EXPECT_THAT(boxes.Texts(), ElementsAre(HasSubstr(L"Failed to import.")));
    EXPECT_EQ(v.At(Page::OptionSets, 205).items.size(), 2u);
    v.d->cmdOK_Click();
  });
  EXPECT_THAT(prompts, ElementsAre(L"Path : ", L"New Option Name : ", L"Path : ", L"New Option Name : ", L"Path : "));
  EXPECT_EQ(std::vector<int>({StoredSet(L"Fancy").DualPrint(), StoredSet(L"Fancy").DualPrintExpandShape()}),
            std::vector<int>({1, 1}));
}

// Without hidden options five pages, the option sets' shown; an engine
// side that keeps no servers shows no server list.
TEST_F(SetupDialog, TheUsualPagesShowAndRefreshingTheEngineListReportsFailureAndEmptiness) {
  host.keepsServers = false;
  Run([&](ScriptedSetupView& v) {
    EXPECT_THAT(v.tabs, ElementsAre(Page::OptionSets, Page::Basic, Page::Details, Page::Fonts, Page::Engines));
    EXPECT_EQ(v.shownPage, Page::OptionSets);
    EXPECT_FALSE(v.At(Page::Basic, 255).visible);
    ASSERT_EQ(v.engineColumns.size(), std::size(dialogs::kEngineColumns));
    EXPECT_EQ(v.engineColumns[0], support::LoadText(dialogs::kEngineColumns[0].textId));
    for (int id : {277, 278, 279, 280}) EXPECT_FALSE(v.At(Page::Engines, id).visible) << id;
    host.refreshSucceeds = false;
    v.d->cmdRefreshEngineList_Click();
    EXPECT_THAT(dialogtest::ListedIds(), ElementsAre(resources::msg::kEngineListFailed));
    EXPECT_EQ(v.rows.size(), 3u);
    host.refreshSucceeds = true;
    v.d->cmdRefreshEngineList_Click();
    EXPECT_THAT(dialogtest::ListedIds(), ElementsAre(resources::msg::kNoEngines));
    EXPECT_TRUE(v.rows.empty());
    EXPECT_TRUE(v.ApplyEnabled());
  });
  EXPECT_EQ(host.engines.Count(), 3u);
}

TEST_F(SetupDialog, ServersAreAddedAndRemovedAndTheEngineListFollows) {
  const std::vector<std::wstring> none, oldAndTeam = {L"old", L"team"}, old = {L"old"};
  const std::vector<std::optional<std::wstring>> teamAnswers = {L" team ", L"http://h:8", L"libretranslate", L""};
  struct Case {
    const char* what;
    bool add;                                     // else remove the row selected
    std::vector<std::optional<std::wstring>> answers;
    const wchar_t* refusal;                       // what the store says to an add
    int selected, boxAnswer;
    std::vector<std::wstring> listed;             // the server list afterwards
    const wchar_t* box;                           // the message shown, if any
    bool refreshed;
  };
  const Case cases[] = {
      {"added", true, teamAnswers, L"", -1, IDOK, oldAndTeam, nullptr, true},
      {"bad URL", true, {L"team", L"ftp://h", L"", L""}, L"the URL must start with http:// or https://", -1, IDOK,
       old, L"Failed to add the server.\n\nthe URL must start", false},
      {"add cancelled at the URL", true, {L"team", std::nullopt}, L"", -1, IDOK, old, nullptr, false},
      {"removed", false, {}, L"", 0, IDYES, none, L"old (http://o)", true},
      {"removal declined", false, {}, L"", 0, IDNO, old, L"old (http://o)", false},
      {"nothing selected", false, {}, L"", -1, IDYES, old, L"No server is selected.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host.servers.rows = {{L"old", L"http://o", L"apy"}};
    host.servers.refusal = c.refusal;
    host.refreshes = 0;
    answers.assign(c.answers.begin(), c.answers.end());
    boxes.requests.clear();
    boxes.answer = c.boxAnswer;
    Run([&](ScriptedSetupView& v) {
      EXPECT_THAT(v.serverRows, ElementsAre(ElementsAre(L"old", L"http://o", L"apy")));
      v.selectedServer = c.selected;
      if (c.add) v.d->cmdAddServer_Click();
      else v.d->cmdRemoveServer_Click();
      std::vector<std::wstring> listed;
      for (const auto& row : v.serverRows) listed.push_back(row.at(0));
      EXPECT_EQ(listed, c.listed);
      EXPECT_EQ(v.ApplyEnabled(), c.refreshed);
    });
    EXPECT_EQ(host.refreshes, c.refreshed ? 1 : 0);
    if (c.box) EXPECT_THAT(boxes.Texts(), ElementsAre(HasSubstr(c.box)));
    else EXPECT_TRUE(boxes.requests.empty());
    // What was typed reaches the store, the name without the blanks around it.
    if (c.add && c.refreshed) {
      EXPECT_EQ(host.servers.rows.back().api, L"libretranslate");
    }
  }
}

// Reset asks; answered yes it shows the default set alone and the engines
// refreshed, and stores them only on OK. A refresh that fails (listed) or
// throws replaces nothing: the pages and the next OK keep every set.
TEST_F(SetupDialog, ResetAsksAndReplacesNothingBeforeOkNorWhenTheRefreshFails) {
  host.refreshEntries = {{L"FakeMT:en-ja", dialogtest::FakePair(L"en-ja", 0x9)}};
  const std::vector<std::wstring> reset{L"default"}, kept{L"default", L"Fancy"};
  struct Case {
    const char* what;
    int answer;
    bool refreshes, throws, ok;
    // The sets offered after the Reset, and stored after closing.
    std::vector<std::wstring> shown, stored;
    std::vector<int> listed;
  };
  const Case cases[] = {
      {"declined", IDNO, true, false, true, kept, kept, {}},
      {"cancelled", IDYES, true, false, false, reset, kept, {}},
      {"refresh failed", IDYES, false, false, true, kept, kept, {resources::msg::kEngineListFailed}},
      {"refresh threw", IDYES, false, true, true, kept, kept, {}},
      {"applied", IDYES, true, false, true, reset, reset, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    support::ErrorList::Clear();
    boxes.answer = c.answer;
    host.refreshSucceeds = c.refreshes;
    host.refreshThrows = c.throws;
    Run([&](ScriptedSetupView& v) {
      v.d->cmdReset_Click();
      EXPECT_EQ(v.ApplyEnabled(), c.shown == reset) << "Apply is on exactly when the sets were reset";
      EXPECT_EQ(v.At(Page::OptionSets, 205).items, c.shown);
      EXPECT_EQ(v.rows.size(), c.shown.size() == 1 ? 1u : 3u);
      if (!c.throws) {
        EXPECT_EQ(dialogtest::ListedIds(), c.listed);
      }
      v.ToggleCheck(Page::Basic, 264);
      if (c.ok) v.d->cmdOK_Click();
    });
    EXPECT_EQ(StoredNames(), c.stored);
    EXPECT_EQ(host.engines.Count(), c.stored.size() == 1 ? 1u : 3u);
  }
}

// (Without hidden options the usual pages are the refresh test's.)
TEST_F(SetupDialog, TheHiddenPageIsThereOnlyWhenAskedForAndEditsTheSwitches) {
  host.hidden = true;
  host.options.Find(L"default")->SetEditType(1);
  Run([](ScriptedSetupView& v) {
    ASSERT_EQ(v.tabs.size(), 6u);
    EXPECT_EQ(v.tabTexts[0] + L"|" + v.At(Page::Hidden, 240).text + L"|" + v.At(Page::Hidden, 253).text,
              L"&debug|UsesPreMacro222|1");
    v.d->Tab_Change(2);
    EXPECT_EQ(v.shownPage, Page::Basic);
    v.ToggleCheck(Page::Hidden, 221);
    v.Type(Page::Hidden, 229, L"Group");
    v.ClickRadio(Page::Hidden, 246, {224, 246});
    v.Type(Page::Hidden, 256, L"0x10");
    v.ToggleCheck(Page::Hidden, 238);
    v.Type(Page::Hidden, 251, L"<<");
    v.d->cmdOK_Click();
  });
  const TranslationOption set = StoredSet(L"default");
  EXPECT_EQ(std::vector<int>({host.switches.displaysProgressBar, host.engines.RefreshType(), set.TimeOutMSec(),
                              set.IgnoresShape()}),
            std::vector<int>({1, 1, 16, 1}));
  EXPECT_EQ(host.switches.engineGroup + L"|" + set.TranPrefix(), L"Group|<<");
}

// What is typed and which button closes the box are the options dialog's
// tests (its names and paths come through the box).
TEST(InputBox, ShowsTheTitleAndIsCancelledWithoutAView) {
  std::deque<std::optional<std::wstring>> answers{L"name"};
  std::vector<std::wstring> prompts;
  auto view = std::make_unique<dialogtest::ScriptedInputBox>(&answers, &prompts);
  auto* shown = view.get();
  dialogs::CInputBox box(std::move(view));
  EXPECT_EQ(box.DoModal(), IDOK);
  EXPECT_EQ(shown->Caption(), support::LoadText(resources::msg::kTitleTextId));
  EXPECT_EQ(dialogs::CInputBox(nullptr).DoModal(), IDCANCEL);
}

TEST(LookupWord, ASelectionGivesItsFirstLineTrimmed) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"word", L"word"},         {L"  two words \t\r\n", L"two words"}, {L"first\rsecond", L"first"},
      {L"first\vsecond", L"first"}, {L"first\nsecond", L"first"},         {L"\x3000wide\x3000\r", L"wide"},
      {L"\r\n", L""},             {L"", L""}};
  for (const auto& [selection, word] : cases) EXPECT_EQ(CDialogLookupDict::InitialWord(selection), word);
}

TEST_F(LookupDialog, OffersTheCheckedDictionariesAndShowsTheirEntries) {
  Run(L"en-ko", L"", [&](ScriptedLookupView& v) {
    EXPECT_THAT(v.dictionaries, ElementsAre(L"English - en-ja  [Fake]", L"English - en-ko  [Fake]"));
    // The selected dictionary, the word, whether a timer runs, the close button.
    EXPECT_EQ(std::to_wstring(v.selected) + L"|" + v.word + L"|" + (v.timerMs ? L"timer" : L"") + L"|" + v.texts[2],
              L"1|||" + support::LoadText(6002));

    Search(v, L"cat");
    EXPECT_EQ(v.result, L"neko\r\nbyo\r\nmao");
    Search(v, L"void");
    EXPECT_EQ(v.result, support::LoadText(resources::msg::kNotRegistered));
    EXPECT_THAT(impl->Lookups(), ElementsAre(L"cat", L"void"));
    // Only a word that was found goes into the history.
    EXPECT_THAT(v.history, ElementsAre(L"cat"));

    Search(v, L"");
    v.selected = -1;
    EXPECT_EQ(v.beeps, 0);
    Search(v, L"cat");
    EXPECT_EQ(v.beeps, 1);
    EXPECT_EQ(v.result, L"");
    // Engine failures are listed.
    impl->Script(fake_engine::Operation::LookupDictionary, {.status = 3, .times = 1});
    v.selected = 1;
    Search(v, L"cat");
    EXPECT_THAT(dialogtest::ListedIds(), ElementsAre(resources::msg::kLookupFailed));
    impl->Script(fake_engine::Operation::GetEngine, {.status = 3});
    v.selected = 0;
    Search(v, L"cat");
    EXPECT_THAT(dialogtest::ListedIds(), ::testing::Contains(resources::msg::kEngineInitFailed));
    EXPECT_EQ(v.result, L"");
  });
}

TEST_F(LookupDialog, HistoryKeepsTheNewestWordsOncePerDictionaryAcrossRuns) {
  SetMaxCount(L"3");
  for (const wchar_t* w : {L"a", L"b", L"c", L"d"}) impl->AddDictionaryEntry(w, w);
  Run(L"en-ja", L"", [&](ScriptedLookupView& v) {
    for (const wchar_t* w : {L"a", L"b", L"c", L"a", L"d"}) Search(v, w);
    EXPECT_THAT(v.history, ElementsAre(L"d", L"a", L"c"));
    v.selected = 1;
    v.d->cboDictionary_Change();
    EXPECT_TRUE(v.history.empty());
  });
  Run(L"en-ja", L"", [&](ScriptedLookupView& v) {
    EXPECT_THAT(v.history, ElementsAre(L"d", L"a", L"c"));
    Search(v, L"c");
    EXPECT_THAT(v.history, ElementsAre(L"c", L"d", L"a"));
  });
  dialogs::LookupHistory stored(options::kHostKeyPath);
  stored.Load();
  EXPECT_THAT(stored.Words(L"FakeMT:en-ja"), ElementsAre(L"c", L"d", L"a"));
  // A smaller stored count keeps the newest words; a stored count counts
  // from 1 to 999, anything else keeps the default.
  const int fallback = dialogs::LookupHistory::kDefaultMaxCount;
  for (auto [text, want] : std::vector<std::pair<const wchar_t*, int>>{
           {L"1", 1}, {L"999", 999}, {L"1000", fallback}, {L"0", fallback}, {L"x", fallback}}) {
    SetMaxCount(text);
    dialogs::LookupHistory shorter(options::kHostKeyPath);
    shorter.Load();
    EXPECT_EQ(shorter.MaxCount(), want) << platform::ToUtf8(text);
    if (want == 1) {
      EXPECT_THAT(shorter.Words(L"FakeMT:en-ja"), ElementsAre(L"c"));
    }
  }
}

// While the engine looks a word up the dialog keeps handling messages; a
// second search from Search, Enter or the timer then does nothing, and the
// controls that start one are off until the first has its answer.
TEST_F(LookupDialog, OneSearchAtATime) {
  const platform::MessageThreadId ui = platform::CurrentMessageThread();
  std::promise<void> interrupted;
  std::future<void> done = interrupted.get_future();
  bool offDuringSearch = false;
  // A selected word is searched by itself, once the timer fires.
  Run(L"en-ko", L" cat \rdog", [&](ScriptedLookupView& v) {
    impl->Script(fake_engine::Operation::LookupDictionary,
                 {.times = 1, .hold = [&] {
                    platform::PostThreadTask(ui, [&] {
                      offDuringSearch = v.searching;
                      // Another dictionary would close the engine under the search.
                      v.selected = 0;
                      v.d->cmdSearch_onclick();
                      v.d->Timer_Elapsed();
                      interrupted.set_value();
                    });
                    done.wait_for(std::chrono::seconds(30));
                  }});
    EXPECT_EQ(v.word, L"cat");
    EXPECT_EQ(v.timerMs, CDialogLookupDict::kAutoSearchMs);
    EXPECT_TRUE(impl->Lookups().empty());
    v.d->Timer_Elapsed();
    // The result; neither searching nor a timer left.
    EXPECT_EQ(v.result + (v.searching ? L"|searching" : L"") + (v.timerMs ? L"|timer" : L""), L"neko\r\nbyo\r\nmao");
  });
  EXPECT_TRUE(offDuringSearch);
  EXPECT_THAT(impl->Lookups(), ElementsAre(L"cat"));
  // A timer that has not fired goes with the dialog.
  Run(L"en-ja", L"cat", [](ScriptedLookupView&) {});
  EXPECT_FALSE(timerLeft.has_value());
  EXPECT_EQ(impl->Lookups().size(), 1u);
}

// The dialog offers the facade's list without changing it: an empty list is
// refreshed in the dialog's own copy, with the copy's settings reset.
TEST_F(LookupDialog, AnEmptyListIsRefreshedInTheDialogsOwnCopy) {
  engine::EngineCaches facadeList;
  facadeList.SetEnumFlag(7);
  int refreshes = 0;
  auto view = std::make_unique<ScriptedLookupView>([&](ScriptedLookupView& v) {
    EXPECT_THAT(v.dictionaries, ElementsAre(L"English - en-ja  [Fake]", L"English - en-ko  [Fake]"));
  });
  dialogs::CDialogLookupDict dialog(std::move(view), facadeList, eng, options::kHostKeyPath,
                                    [&](engine::EngineCaches& caches) {
                                      ++refreshes;
                                      EXPECT_NE(&caches, &facadeList);
                                      caches.SetEntries(engines.Entries());
                                      return true;
                                    });
  dialog.DoModal(L"FakeMT", L"en-ja", L"");
  EXPECT_EQ(std::vector<int>({refreshes, static_cast<int>(facadeList.Count()), facadeList.EnumFlag()}),
            std::vector<int>({1, 0, 7}));
}

namespace {

using RecordingView = dialogtest::RecordingProgressView;
using ViewRecord = dialogtest::ProgressRecord;

// What the window shows: title, cancel button, status, counts, bar; and how often it was shown.
std::wstring Shown(ViewRecord& r) {
  std::lock_guard<std::mutex> g(r.lock);
  return r.title + L"|" + r.cancelCaption + L"|" + r.status + L"|" + r.counts + L"|" + std::to_wstring(r.percent) +
         (r.shows > 0 ? L" shown " + std::to_wstring(r.shows) : L"");
}

// Puts the handler before back when it goes.
struct AnswerBoxes {
  ~AnswerBoxes() { platform::SetMessageBoxHandler(previous); }
  platform::MessageBoxHandler previous;
};

// A box whose user cancels it with `click`, if any, at its second wait for
// messages.
class ScriptedWaitView : public dialogs::WaitResultView {
 public:
  explicit ScriptedWaitView(void (CDialogWaitResult::*click)()) : mClick(click) {}
  bool Create(CDialogWaitResult& dialog) override {
    mDialog = &dialog;
    return true;
  }
  void Destroy() override { destroyed = true; }
  void SetFontName(const std::wstring&) override {}
  void SetCaption(const std::wstring&) override {}
  void SetCancelCaption(const std::wstring&) override {}
  void SetMessage(const std::wstring& text) override { message = text; }
  void Show() override { visible = true; }
  void Hide() override { visible = false; }
  void Repaint() override {}
  void DispatchOne(int) override {
    if (mClick && ++mDispatches == 2) (mDialog->*mClick)();
  }
  std::wstring message;
  bool visible = false, destroyed = false;

 private:
  CDialogWaitResult* mDialog = nullptr;
  void (CDialogWaitResult::*mClick)();
  int mDispatches = 0;
};

class ProgressDialogTest : public ::testing::Test {
 protected:
  std::shared_ptr<ViewRecord> record = std::make_shared<ViewRecord>();
  int cancels = 0;
  CDialogProgress dialog{std::make_unique<RecordingView>(record), [this] { ++cancels; }};
};

}  // namespace

TEST(ProgressDialogRules, PercentagesAreTruncatedAndCountsNeverBelowThePosition) {
  // Exact fractions stay exact (29/100 is no 28); a negative position shows an empty bar.
  const std::int64_t cases[][3] = {{5, 3, 100}, {1, 3, 33},   {2, 3, 66},   {0, 0, 100},          {0, 7, 0},
                                   {29, 100, 29}, {57, 100, 57}, {999999, 1000000, 99}, {-1, 5, 0}};
  for (const auto& c : cases) EXPECT_EQ(CDialogProgress::Percentage(c[0], c[1]), c[2]) << c[0] << "/" << c[1];
  EXPECT_EQ(CDialogProgress::CountsText(L"Sentences:", 1, 3), L"Sentences: (1/3)");
  EXPECT_EQ(CDialogProgress::CountsText(L"Sentences:", 5, 3), L"Sentences: (5/5)");
  EXPECT_EQ(CDialogProgress::CountsText(L"Sentences:", -1, -1), L"Sentences: (--/--)");
  EXPECT_EQ(CDialogProgress::CountsText(L"", 0, 0), L" (0/0)");
  EXPECT_EQ(CDialogProgress::CountsText(L"x", 4000000000LL, 5000000000LL), L"x (4000000000/5000000000)");
}

// The first report shows text 5052's label with "(--/--)" and no bar
// position; texts come by id, emptied below one; without a total the bar
// stays as it was and needs no bar, with one a missing bar fails.
TEST_F(ProgressDialogTest, TheWindowShowsTheResourceTextsAndEachReport) {
  dialog.Form_Load();
  EXPECT_EQ(Shown(*record), support::LoadText(5051) + L"|" + support::LoadText(6003) + L"|" + support::LoadText(5051) +
                                L"|" + support::LoadText(5052) + L" (--/--)|-1");
  EXPECT_FALSE(dialog.IsConfirming());
  dialog.SetMessages(5066, 5101);
  // The label control is only touched to empty it.
  EXPECT_EQ(record->status + L"|" + dialog.CountLabel() + L"|" + record->countLabel,
            support::LoadText(5066) + L"|" + support::LoadText(5101) + L"|(template)");
  int tops = record->tops;
  dialog.SetMessages(0, -3);
  EXPECT_EQ(record->status + dialog.CountLabel() + record->countLabel, L"");
  EXPECT_EQ(record->tops, tops + 1);
  dialog.SetProgress(1, 3);
  EXPECT_EQ(record->percent, 33);
  dialog.SetProgress(-1, -1);
  EXPECT_EQ(std::to_wstring(record->percent) + record->counts, L"33 (--/--)");
  record->barMissing = true;
  EXPECT_EQ(testsupport::ErrorOf([&] { dialog.SetProgress(1, 2); }), E_FAIL);
  EXPECT_NO_THROW(dialog.SetProgress(-1, -1));
}

// Only yes cancels; no brings the dialog back on top; either way the cancel
// button keeps the focus, and the run's report waits for the answer.
TEST_F(ProgressDialogTest, CancelAsksOnlyYesCancelsAndReportsWaitForTheAnswer) {
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer);
    std::atomic<bool> asking{false}, answered{false}, reported{false};
    platform::MessageBoxRequest asked;
    AnswerBoxes boxes{platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& r) {
      asked = r;
      asking = true;
      while (!answered.load()) platform::SleepMilliseconds(1);
      return answer;
    })};
    const int tops = record->tops, focus = record->focus;
    std::thread dialogThread([&] { dialog.cmdCancel_Click(); });
    while (!asking.load()) platform::SleepMilliseconds(1);
    EXPECT_TRUE(dialog.IsConfirming());
    std::thread uiThread([&] {
      dialog.SetProgress(2, 4);
      reported = true;
    });
    platform::SleepMilliseconds(30);
    EXPECT_FALSE(reported.load()) << "the report must wait for the answer";
    answered = true;
    uiThread.join();
    dialogThread.join();
    EXPECT_EQ(asked.text + L"|" + asked.caption + L"|" + std::to_wstring(asked.style & 0xF),
              support::LoadText(4002) + L"|" + support::LoadText(4001) + L"|" + std::to_wstring(MB_YESNO));
    // Cancels, confirming, the bar, times on top and focused.
    EXPECT_EQ(std::vector<int>({cancels, dialog.IsConfirming(), record->percent, record->tops - tops,
                                record->focus - focus}),
              std::vector<int>({answer == IDYES, 0, 50, answer == IDNO, 1}));
  }
}

// A click arrives through the dialog thread's own queue and raises the
// cancel target there; only Close takes the dialog down.
TEST(ProgressDialogThread, OpenRunsTheDialogOnItsOwnThreadWhereAClickCancelsAndCloseEndsIt) {
  // A window that cannot be made, or no view at all, fails the open.
  auto record = std::make_shared<ViewRecord>();
  record->failCreate = true;
  EXPECT_FALSE(dialogs::OpenProgressDialog([record] { return std::make_unique<RecordingView>(record); }, [] {}));
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  EXPECT_FALSE(dialogs::OpenProgressDialog([] { return std::unique_ptr<dialogs::ProgressView>(); }, [] {}));
  record = std::make_shared<ViewRecord>();
  std::atomic<int> cancels{0};
  testsupport::MessageBoxes boxes{IDYES};
  platform::MessageThreadId dialogThread = 0;
  ASSERT_TRUE(dialogs::OpenProgressDialog(
      [record, &dialogThread] {
        dialogThread = platform::CurrentMessageThread();
        return std::make_unique<RecordingView>(record);
      },
      [&] { ++cancels; }));
  CDialogProgress* dialog = dialogs::CurrentProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Shown(*record), support::LoadText(5051) + L"|" + support::LoadText(6003) + L"|" + support::LoadText(5052) +
                                L"| (--/--)|-1 shown 1");
  EXPECT_NE(record->createdOn, std::this_thread::get_id());
  ASSERT_TRUE(platform::PostThreadTask(dialogThread, [dialog] { dialog->cmdCancel_Click(); }));
  while (cancels.load() == 0) platform::SleepMilliseconds(1);
  EXPECT_EQ(dialogs::CurrentProgressDialog(), dialog);
  dialogs::CloseProgressDialog();
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  dialogs::WaitForProgressDialogThread();
  std::lock_guard<std::mutex> g(record->lock);
  EXPECT_EQ(std::vector<int>({record->hides, record->destroys, cancels.load()}), std::vector<int>({1, 1, 1}));
}

TEST(ProgressDialogThread, AFailingDialogThreadLeavesNoReferenceToAFreedDialog) {
  auto record = std::make_shared<ViewRecord>();
  ASSERT_TRUE(dialogs::OpenProgressDialog([record] { return std::make_unique<RecordingView>(record); }, [] {}));
  CDialogProgress* dialog = dialogs::CurrentProgressDialog();
  ASSERT_NE(dialog, nullptr);
  engine::AppCommon::Instance().SetProgressReport(dialog);
  struct ForgetTarget {
    ~ForgetTarget() { engine::AppCommon::Instance().SetProgressReport(nullptr); }
  } forget;
  record->failDispatch = true;
  for (int waited = 0; dialogs::CurrentProgressDialog() != nullptr && waited < 20000; waited += 5)
    platform::SleepMilliseconds(5);
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  {
    std::lock_guard<std::mutex> g(record->lock);
    ASSERT_EQ(record->freedWhileReferenced, -1) << "the failing thread freed the dialog the run still reports to";
  }
  // The run still holds the dialog as its progress target and keeps reporting.
  dialog->SetProgress(1, 2);
  dialogs::WaitForProgressDialogThread();
  std::lock_guard<std::mutex> g(record->lock);
  EXPECT_EQ(record->freedWhileReferenced, 0) << "the dialog was freed while a pointer still named it";
  EXPECT_EQ(record->destroys, 1);
  EXPECT_EQ(engine::AppCommon::Instance().GetProgressReport(), nullptr);
}

// The box returns the engine's status, or 2 once a cancelled request has
// ended; an engine that ignores Cancel gets the same grace as a run's, then
// the box gives up on it instead of waiting for ever.
TEST(WaitBox, ReturnsTheEnginesStatusOrCancelledOnceTheRequestHasEnded) {
  struct Case {
    const char* what;
    LONG finalStatus;
    void (CDialogWaitResult::*click)();  // a cancel, if any
    long expected;
    bool ignoresCancel = false;
  };
  const auto cancel = &CDialogWaitResult::cmdCancel_Click;
  const Case cases[] = {
      {"done", engine_server::kRequestDone, nullptr, 1},
      {"failed", engine_server::kRequestFailed, nullptr, 3},
      {"cancel button", engine_server::kRequestDone, cancel, 2},
      {"close box", engine_server::kRequestDone, &CDialogWaitResult::Form_QueryUnload, 2},
      {"cancel ignored", engine_server::kRequestDone, cancel, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dialogtest::ScriptedRequest request;
    request.finalStatus = c.finalStatus;
    if (c.ignoresCancel) request.runningPolls = request.afterCancelPolls = 1 << 30;
    auto view = std::make_unique<ScriptedWaitView>(c.click);
    ScriptedWaitView* shown = view.get();
    CDialogWaitResult box(std::move(view), c.ignoresCancel ? 20 : CDialogWaitResult::kCancelGraceMs);
    EXPECT_EQ(box.Run(request, 6003), c.expected);
    EXPECT_EQ(request.cancels, c.click ? 1 : 0);
    // The request was asked until it ended, and only from this thread.
    if (c.click && !c.ignoresCancel) {
      EXPECT_EQ(request.pollsAfterCancel, request.afterCancelPolls + 1);
    }
    EXPECT_THAT(request.threads, ::testing::ElementsAre(std::this_thread::get_id()));
    // Hidden, destroyed, and it showed the message asked for.
    EXPECT_EQ(std::to_wstring(shown->visible) + std::to_wstring(shown->destroyed) + shown->message,
              L"01" + support::LoadText(6003));
  }
}
