// The add-in connected to the document host: menu and toolbar as built for
// different engine lists and settings, connection and disconnection, the
// click frame, and copy/paste through the clipboard stand-in; and the facade
// behind the commands: option records, the engine list, its watchdog.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <set>

#include "resources/MessageIds.h"
#include "src/addin/AddinMain.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/dialogs/DialogViews.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/ComError.h"
#include "src/powerpoint/ClipboardEx.h"
#include "src/support/ResourceModule.h"
#include "tests/common/Bytes.h"
#include "tests/dialogs/ScriptedViews.h"
#include "tests/platform/TestSupport.h"
#include "tests/powerpoint/PowerPointFixture.h"

namespace {

using host::Ptr;
const std::wstring kTag = addin::kProgId;

engine::EngineEntry Pair(const std::wstring& id, const std::wstring& from, std::int32_t flags, int checked = 1) {
  engine::EngineEntry e;
  e.SetEngineGroup(L"Test");
  e.SetEngineID(id);
  e.SetFromLang(from);
  e.SetToLang(L"xx");
  e.SetFlags(flags);
  e.SetDisplayName(from + L" - Test " + id);
  e.SetProductNameShort(L"T");
  e.SetChecked(checked);
  return e;
}

class AddinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "reg");
    support::ErrorList::Clear();
    platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
      shown.push_back(r.text);
      return 1;
    });
    platform::SetBeepHandler([this](unsigned) { ++beeps; });
  }
  void TearDown() override {
    addin::OnDisconnection();
    addin::AddinMain::SetFacadeSetup({});
    dialogs::ViewFactories() = {};
    platform::SetMessageBoxHandler({});
    platform::SetBeepHandler({});
  }

  // The lookup command runs `during` where its dialog would be made, and
  // gets no dialog.
  static void OnLookup(std::function<void()> during) {
    dialogs::ViewFactories().lookup = [during] {
      during();
      return std::unique_ptr<dialogs::LookupDictView>();
    };
  }

  // Connects with these engine entries (none: the engine side decides);
  // more is any further facade setup.
  void Connect(std::vector<engine::EngineEntry> entries, std::uint32_t launchKind = 1, bool fromEngines = false,
               std::function<void(addin::AddinApplication::Parts&)> more = {}) {
    addin::AddinMain::SetFacadeSetup([entries, fromEngines, more](addin::AddinApplication::Parts& parts) {
      parts.progressDialog = parts.follow = 0;
      if (more) more(parts);
      if (fromEngines) return;
      parts.fillEngineList = [entries](engine::EngineCaches& caches, bool) {
        engine::EngineEntryList list;
        for (const auto& e : entries) list.emplace_back(e.EngineKey(), e);
        caches.SetEntries(list);
        return true;
      };
    });
    const std::vector<std::uint32_t> custom{launchKind};
    EXPECT_EQ(addin::OnConnection(app, std::make_shared<int>(0), &custom), S_OK);
  }
  menu::OfficeMenu& Menu() { return *addin::CurrentAddinMain()->Menu(); }
  Ptr<host::CommandBarControl> Control(const std::wstring& key) {
    return app->CommandBars()->FindControl(0, 0, kTag + key, false);
  }
  Ptr<host::CommandBarControls> ModeItems() { return Control(L".BUTTON.TRAN-MODE")->Controls(); }
  void SetSetting(const std::wstring& name, const std::wstring& value) {
    options::RegistrySettings s;
    ASSERT_TRUE(s.Create(platform::Hive::CurrentUser, L""));
    s.SetValue(name, value);
  }
  std::wstring Setting(const std::wstring& name) {
    options::RegistrySettings s;
    s.OpenRead(platform::Hive::CurrentUser, L"");
    return s.QueryValue(name, L"<none>");
  }
  // How many of the add-in's menus stand, on any bar.
  size_t Menus() { return app->CommandBars()->FindControls(0, 0, kTag).size(); }

  testsupport::TempDir dir;
  platformtest::ScopedEnv registry{L"PELORANT_REGISTRY", (dir.path() / "reg").wstring()};
  platformtest::ScopedEnv config{L"XDG_CONFIG_HOME", (dir.path() / "config").wstring()};
  platformtest::ScopedEnv clip{L"PELORANT_CLIPBOARD_FILE", (dir.path() / "clipboard").wstring()};
  Ptr<host::Application> app = host::pptx::CreateApplication();
  std::vector<std::wstring> shown;
  int beeps = 0;
};

TEST_F(AddinTest, MenuAndToolbarCarryEveryCommandInOrder) {
  Connect({Pair(L"a", L"en", 0x1)});
  Ptr<host::CommandBarControl> popup = Control(L"");
  ASSERT_TRUE(popup);
  EXPECT_EQ(std::tuple(popup->Caption(), popup->BeginGroup()), std::tuple(support::LoadText(8001), true));
  // Every control of menu and toolbar in order: visible in the menu, on the
  // toolbar (-1: not there), begins a group, enabled; buttons have one more look.
  struct Row { const wchar_t* key; bool menu; int bar; bool group, enabled; };
  const Row rows[] = {
      {L"TRAN-OPT", false, 0, false, true},     {L"TRAN-MODE", true, 1, false, true},
      {L"TRAN-SHEET", true, 1, true, true},     {L"TRAN-ALL", true, 1, false, true},
      {L"TRAN-SELECT", true, 1, false, true},   {L"TRAN-COPY", false, 0, true, true},
      {L"TRAN-PASTE", false, 0, false, true},   {L"LOOKUP-DICT", true, 0, true, false},
      {L"REGIST-DICT", false, 0, false, false}, {L"OPTION", true, 1, true, true},
      {L"ENGINE-OPTION", true, 1, false, false}, {L"TOOLBAR", true, -1, true, true},
      {L"VERSION", true, -1, false, true},      {L"HELP", true, 1, true, true}};
  auto items = popup->Controls();
  auto bar = app->CommandBars()->Item(Menu().ToolbarName());
  for (bool menu : {true, false}) {
    auto controls = menu ? items : bar->Controls();
    int n = 0;
    for (const Row& r : rows) {
      if (!menu && r.bar < 0) continue;
      SCOPED_TRACE(testing::Message() << menu << platform::ToUtf8(r.key));
      ASSERT_LE(++n, controls->Count());
      auto c = controls->Item(n);
      const std::wstring tag = kTag + (menu ? L".MENU." : L".BUTTON.") + r.key;
      EXPECT_EQ(std::tuple(c->Tag(), c->Visible(), c->BeginGroup(), c->Enabled()),
                std::tuple(tag, menu ? r.menu : r.bar == 1, r.group, r.enabled));
      if (c->Type() != host::msoControlButton) continue;
      if (menu) {
        EXPECT_EQ(c->OnAction(), L"!<" + kTag + L">");
      } else {
        EXPECT_EQ(c->Style(), host::msoButtonIcon);
      }
    }
    EXPECT_EQ(controls->Count(), n);
  }
  EXPECT_EQ(std::tuple(items->Item(3)->Style(), items->Item(12)->Style(), items->Item(12)->Caption(),
                       Control(L".BUTTON.TRAN-MODE")->Caption(), Control(L".BUTTON.TRAN-MODE")->TooltipText()),
            std::tuple(host::msoButtonIconAndCaption, host::msoButtonCaption, support::LoadText(8014),
                       L"en - Test a  [T]", support::LoadText(8053)));
}

TEST_F(AddinTest, ModeListsForNoneOneAndManyPairs) {
  struct Case { int pairs; int topItems; const wchar_t* selected; };
  // 20 pairs from two source languages group into two sub-popups; 15 stay flat.
  for (const Case& c : {Case{0, 0, L""}, Case{1, 1, L"Test:p0"}, Case{15, 15, L"Test:p0"}, Case{20, 2, L"Test:p0"}}) {
    SCOPED_TRACE(c.pairs);
    std::vector<engine::EngineEntry> entries;
    for (int i = 0; i < c.pairs; ++i) entries.push_back(Pair(L"p" + std::to_wstring(i), i < 12 ? L"en" : L"ja", 0x1));
    entries.push_back(Pair(L"unchecked", L"en", 0x1, 0));
    entries.push_back(Pair(L"neither", L"en", 0x2));
    Connect(entries);
    ASSERT_EQ(ModeItems()->Count(), c.topItems);
    // Without a mode nothing can be translated.
    EXPECT_EQ(std::tuple(Control(L".MENU.TRAN-MODE")->Controls()->Count(), Menu().SelectedMode(),
                         Control(L".BUTTON.TRAN-ALL")->Enabled()),
              std::tuple(c.topItems, c.selected, c.pairs > 0));
    for (const wchar_t* key : {L".BUTTON.TRAN-MODE.Test:unchecked", L".BUTTON.TRAN-MODE.Test:neither"})
      EXPECT_FALSE(Control(key)) << key;
    if (c.pairs == 20) {
      EXPECT_EQ(std::tuple(ModeItems()->Item(1)->Type(), ModeItems()->Item(1)->Controls()->Count(),
                           ModeItems()->Item(2)->Controls()->Count(), ModeItems()->Item(2)->Caption()),
                std::tuple(host::msoControlPopup, 12, 8, L"ja"));
      EXPECT_EQ(Control(L".BUTTON.TRAN-MODE.Test:p0")->State(), host::msoButtonDown);
    }
    addin::OnDisconnection();
  }
}

TEST_F(AddinTest, EngineBitsDecideWhichCommandsShowAndWork) {
  // A lookup-only mode chosen: translation off, lookup on; the engine-settings
  // bit counts in either of its two forms.
  Connect({Pair(L"look", L"en", 0x8 | 0x20000 | 0x40000), Pair(L"tr", L"en", 0x1)});
  EXPECT_EQ(std::tuple(Control(L".BUTTON.LOOKUP-DICT")->Visible(), Control(L".BUTTON.REGIST-DICT")->Visible(),
                       Control(L".MENU.ENGINE-OPTION")->Enabled(), Control(L".MENU.REGIST-DICT")->Enabled()),
            std::tuple(true, true, true, true));
  for (const wchar_t* key : {L".MENU.TRAN-SHEET", L".BUTTON.TRAN-ALL", L".BUTTON.TRAN-COPY", L".MENU.TRAN-PASTE"})
    EXPECT_FALSE(Control(key)->Enabled()) << key;
  Control(L".MENU.TRAN-MODE.Test:tr")->Execute();
  EXPECT_EQ(std::tuple(Menu().SelectedMode(), Control(L".BUTTON.TRAN-ALL")->Enabled(),
                       Control(L".BUTTON.LOOKUP-DICT")->Enabled(), Control(L".BUTTON.TRAN-MODE.Test:tr")->State(),
                       Control(L".BUTTON.TRAN-MODE.Test:look")->State()),
            std::tuple(L"Test:tr", true, false, host::msoButtonDown, host::msoButtonUp));
}

TEST_F(AddinTest, StoredSettingsAreAppliedAndBadOnesDoNotStopTheConnection) {
  SetSetting(L"_Menu.ShowHiddenButtons", L"True");
  SetSetting(L"Menu.ToolbarVisible", L"0");
  SetSetting(L"Menu.ToolbarLeft", L"0x10");
  SetSetting(L"Menu.ToolbarPosition", L"99");  // refused by the host
  SetSetting(L"Menu.TranModeID", L"Test:gone");
  Connect({Pair(L"a", L"en", 0x1), Pair(L"b", L"en", 0x1)});
  for (const wchar_t* key : {L".MENU.TRAN-COPY", L".MENU.TRAN-PASTE", L".MENU.TRAN-OPT", L".BUTTON.TRAN-COPY",
                             L".BUTTON.TRAN-PASTE", L".BUTTON.TRAN-OPT"})
    EXPECT_TRUE(Control(key)->Visible()) << key;
  EXPECT_TRUE(Control(L".MENU.TRAN-MODE")->BeginGroup());
  auto bar = app->CommandBars()->Item(Menu().ToolbarName());
  EXPECT_EQ(std::tuple(bar->Visible(), bar->Left()), std::tuple(false, 16));
  // The stale mode falls back to the first, and nothing is shown.
  EXPECT_EQ(std::tuple(Control(L".MENU.TOOLBAR")->Caption(), Menu().SelectedMode(), shown.size()),
            std::tuple(support::LoadText(8013), L"Test:a", 0u));
  Control(L".MENU.TOOLBAR")->Execute();
  EXPECT_EQ(std::tuple(bar->Visible(), Control(L".MENU.TOOLBAR")->Caption()),
            std::tuple(true, support::LoadText(8014)));
}

// A second connection takes the first one's place the way a disconnection does.
TEST_F(AddinTest, DisconnectionRemovesEverythingAndSavesByLaunchKind) {
  for (auto [kind, reconnect] : {std::pair{1u, false}, std::pair{2u, false}, std::pair{1u, true}}) {
    SCOPED_TRACE(kind + 10 * reconnect);
    SetSetting(L"Menu.ToolbarVisible", L"");
    Connect({Pair(L"a", L"en", 0x1), Pair(L"b", L"en", 0x1)}, kind);
    Control(L".BUTTON.TRAN-MODE.Test:b")->Execute();
    const int top = app->CommandBars()->Item(Menu().ToolbarName())->Top();
    if (reconnect) {
      Connect({Pair(L"a", L"en", 0x1), Pair(L"b", L"en", 0x1)}, kind);
      EXPECT_EQ(Menus(), 1u);
    } else {
      addin::OnDisconnection();
    }
    EXPECT_EQ(std::tuple(Setting(L"Menu.TranModeID"), Setting(L"Menu.ToolbarTop"), Setting(L"Menu.ToolbarVisible")),
              std::tuple(L"Test:b", std::to_wstring(top), kind == 1 ? L"1" : L"<none>"));
  }
}

TEST_F(AddinTest, ConnectionFailuresShowOneMessageAndAnswerOk) {
  const std::vector<std::uint32_t> custom{1}, empty;
  struct Case { Ptr<host::Application> app; std::shared_ptr<void> inst; const std::vector<std::uint32_t>* custom; };
  for (const Case& c : {Case{nullptr, std::make_shared<int>(0), &custom}, Case{app, nullptr, &custom},
                        Case{app, std::make_shared<int>(0), nullptr}, Case{app, std::make_shared<int>(0), &empty}}) {
    shown.clear();
    EXPECT_EQ(addin::OnConnection(c.app, c.inst, c.custom), S_OK);
    EXPECT_EQ(shown, std::vector<std::wstring>{support::LoadText(1001)});
    EXPECT_EQ(addin::OnDisconnection(), S_OK);
  }
}

TEST_F(AddinTest, OptionsDialogChangesTakeEffectAtOnceInTheMenu) {
  Connect({Pair(L"look", L"en", 0x1 | 0x8), Pair(L"tr", L"en", 0x1)});
  EXPECT_EQ(std::tuple(Control(L".BUTTON.LOOKUP-DICT")->Visible(), Control(L".MENU.TRAN-OPT")->Controls()->Count()),
            std::tuple(true, 0));
  std::deque<std::optional<std::wstring>> answers{L"Mine"};
  std::vector<std::wstring> prompts;
  dialogs::ViewFactories().inputBox = [&] { return std::make_unique<dialogtest::ScriptedInputBox>(&answers, &prompts); };
  dialogs::ViewFactories().setup = [] {
    return std::make_unique<dialogtest::ScriptedSetupView>([](dialogtest::ScriptedSetupView& v) {
      v.TickRow(0);
      v.d->cmdOptionsOp_Click(dialogs::CDialogSetup::kOpAdd);
      v.d->cmdOK_Click();
    });
  };
  static std::wstring versionText;
  versionText.clear();
  struct VersionBox : dialogs::VersionBoxView {
    void Show(const std::wstring&, const std::wstring& t) override { versionText = t; }
  };
  dialogs::ViewFactories().versionBox = [] { return std::make_unique<VersionBox>(); };

  addin::CurrentAddinMain()->ShowOptionClick();
  EXPECT_NE(addin::CurrentAddinMain()->Facade().GetTranslationOptions().Find(L"Mine"), nullptr);
  EXPECT_EQ(std::tuple(Control(L".MENU.TRAN-OPT")->Controls()->Count(), Control(L".BUTTON.LOOKUP-DICT")->Visible(),
                       Control(L".BUTTON.TRAN-MODE.Test:look") != nullptr, Menu().SelectedMode()),
            std::tuple(2, false, false, L"Test:tr"));

  addin::CurrentAddinMain()->ShowVersionClick();
  EXPECT_EQ(versionText.rfind(support::LoadText(203) + L"  Version ", 0), 0u);
}

TEST_F(AddinTest, ClickFrame) {
  Connect({});
  shown.clear();  // the empty engine list's own message
  // No mode: message 1305, nothing runs, the flag stays up.
  addin::CurrentAddinMain()->TranSheetClick();
  EXPECT_EQ(std::tuple(shown, Menu().Ready()), std::tuple(std::vector<std::wstring>{support::LoadText(1305)}, 1));
  addin::OnDisconnection();

  Connect({Pair(L"a", L"en", 0x1 | 0x8)});
  shown.clear();
  int lookups = 0;
  OnLookup([&] {
    ++lookups;
    // A click arriving while the command runs only beeps.
    const int before = beeps;
    const size_t messages = shown.size();
    Control(L".BUTTON.TRAN-ALL")->Execute();
    EXPECT_EQ(std::tuple(beeps, shown.size()), std::tuple(before + 1, messages));
    // Of no kind the facade knows: it reaches the click's own frame.
    throw 0;
  });
  Control(L".MENU.LOOKUP-DICT")->Execute();
  // Run once, the failure reported once, and the next click works again.
  EXPECT_EQ(std::tuple(lookups, shown.size(), Menu().Ready()), std::tuple(1, 1u, 1));
  Control(L".MENU.LOOKUP-DICT")->Execute();
  EXPECT_EQ(lookups, 2);
}

// The host may recreate the add-in's controls: after the next change, clicks
// and changes reach the control that carries the tag now.
TEST_F(AddinTest, RecreatedControlsAreFoundAgainByTag) {
  Connect({Pair(L"a", L"en", 0x1 | 0x8), Pair(L"b", L"en", 0x8)});
  auto recreate = [&](const std::wstring& key) {
    Ptr<host::CommandBarControl> old = Control(key);
    Ptr<host::CommandBarControl> fresh =
        old->Parent()->Controls()->Add(host::msoControlButton, 1, std::wstring(), 0, true);
    fresh->SetTag(old->Tag());
    old->Delete(true);
    return fresh;
  };
  Ptr<host::CommandBarControl> all = recreate(L".BUTTON.TRAN-ALL");
  Ptr<host::CommandBarControl> lookup = recreate(L".BUTTON.LOOKUP-DICT");
  Ptr<host::CommandBarControl> modeB = recreate(L".BUTTON.TRAN-MODE.Test:b");
  // Any change finds the controls again and moves the sinks to them.
  Control(L".MENU.TOOLBAR")->Execute();
  modeB->Execute();
  EXPECT_EQ(std::tuple(Menu().SelectedMode(), all->Enabled()), std::tuple(L"Test:b", false));
  int lookups = 0;
  OnLookup([&] { ++lookups; });
  lookup->Execute();
  EXPECT_EQ(lookups, 1);
}

// The host may disconnect or connect again while a command runs (from the
// message queue the command drains): the command is cancelled, the running
// add-in stays until it returns, and the last of the host's calls decides
// whether a connection follows; a disconnection holds nothing of the host.
TEST_F(AddinTest, ConnectionChangesDuringACommandTakeEffectWhenItReturns) {
  struct Case { std::vector<bool> calls; bool connectedAfter; };  // calls: true OnConnection, false OnDisconnection
  for (const Case& c :
       {Case{{false}, false}, Case{{true}, true}, Case{{false, true}, true}, Case{{true, false}, false}}) {
    SCOPED_TRACE(c.calls.size() * 10 + c.calls.back());
    Connect({Pair(L"a", L"en", 0x1 | 0x8)});
    addin::AddinMain* running = addin::CurrentAddinMain();
    bool keptDuring = true;
    OnLookup([&] {
      engine::AppCommon::Instance().SetCancel(false);
      const std::vector<std::uint32_t> custom{1};
      for (bool connect : c.calls) {
        EXPECT_EQ(connect ? addin::OnConnection(app, std::make_shared<int>(0), &custom) : addin::OnDisconnection(),
                  S_OK);
        keptDuring = keptDuring && addin::CurrentAddinMain() == running && Menu().Ready() == 0;
      }
      EXPECT_TRUE(engine::AppCommon::Instance().IsCancelled());
    });
    Control(L".MENU.LOOKUP-DICT")->Execute();
    dialogs::ViewFactories().lookup = {};
    // Kept during the command, connected after it, with one menu.
    EXPECT_EQ(std::tuple(keptDuring, addin::CurrentAddinMain() != nullptr, Menus()),
              std::tuple(true, c.connectedAfter, c.connectedAfter ? 1u : 0u));
    if (c.connectedAfter) {
      EXPECT_EQ(Menu().Ready(), 1);
      EXPECT_EQ(app->CommandBars()->FindControls(0, 0, kTag + L".BUTTON.TRAN-ALL").size(), 1u);
    } else {
      EXPECT_EQ(app.use_count(), 1);
    }
    addin::OnDisconnection();
  }
}

// So may the message boxes a click shows once its command returned (the
// missing mode's, the report of a failure), and those of a connection (no
// engines): the click or the connection ends before the change.
TEST_F(AddinTest, ConnectionChangesFromAClicksLastMessagesWaitForItsEnd) {
  struct Case { const wchar_t* button; bool connect; int boxes; };  // no button: the connection itself
  const Case* now = nullptr;
  addin::AddinMain* running = nullptr;
  bool kept = true;
  int boxes = 0;
  // Only the click's own boxes change the connection, not the one of the
  // connection that follows it (no engines).
  platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest&) {
    if (!now || boxes == now->boxes) return 1;
    ++boxes;
    if (!running) running = addin::CurrentAddinMain();
    const std::vector<std::uint32_t> custom{1};
    EXPECT_EQ(now->connect ? addin::OnConnection(app, std::make_shared<int>(0), &custom) : addin::OnDisconnection(),
              S_OK);
    kept = kept && addin::CurrentAddinMain() == running;
    return 1;
  });
  // Making the version view (none: its text comes as a message) leaves an
  // error for the report after it.
  dialogs::ViewFactories().versionBox = [] {
    platform::SetLastErrorCode(5);
    return std::unique_ptr<dialogs::VersionBoxView>();
  };
  for (const Case& c : {Case{L".MENU.TRAN-SHEET", false, 1}, Case{L".MENU.VERSION", false, 2},
                        Case{L".MENU.VERSION", true, 2}, Case{nullptr, false, 1}, Case{nullptr, true, 1}}) {
    SCOPED_TRACE(std::wstring(c.button ? c.button : L"connection") + (c.connect ? L" connect" : L" disconnect"));
    if (c.button) {
      Connect({});
      // No engines, no mode: only a host that recreated the button enables it.
      Control(c.button)->SetEnabled(true);
    }
    std::tie(now, running, kept, boxes) = std::tuple(&c, addin::CurrentAddinMain(), true, 0);
    if (c.button) {
      Control(c.button)->Execute();
    } else {
      running = nullptr;  // the one the connection makes, as its box shows
      Connect({});
    }
    now = nullptr;
    EXPECT_EQ(std::tuple(boxes, kept, addin::CurrentAddinMain() != nullptr, Menus()),
              std::tuple(c.boxes, true, c.connect, c.connect ? 1u : 0u));
    addin::OnDisconnection();
  }
}

// Copy and paste show the progress dialog; its cancel button stops the
// translation and leaves clipboard and selection as they were, silently.
TEST_F(AddinTest, CopyAndPasteShowTheProgressDialogAndItsCancelChangesNothing) {
  auto seen = std::make_shared<dialogtest::ProgressRecord>();
  const std::wstring translating = support::LoadText(resources::msg::kTranslatingText);
  // How many dialogs opened, and whether the text is being translated.
  auto state = [&, r = seen.get()] {
    std::lock_guard<std::mutex> g(r->lock);
    return std::make_pair(r->creates, std::find(r->statuses.begin(), r->statuses.end(), translating) != r->statuses.end());
  };
  // The user presses Cancel once in each dialog, when the text is being translated.
  int clicks = 0;  // on the dialog's thread only
  seen->onDispatch = [&](dialogs::CDialogProgress& dialog) {
    if (auto [opened, busy] = state(); clicks < opened && busy) {
      ++clicks;
      dialog.cmdCancel_Click();
    }
  };
  fake_engine::FakeEngineSide side;
  // The engine side's one pair, the mode the add-in picks from it.
  side.AddImplementation(L"Test")
      .AddPair({L"en-xx", L"en", L"xx", 0x9, L"English - Test", L"Test MT", L"Test"})
      .Script(fake_engine::Operation::Translate, {.hang = true});
  powerpoint::PowerPointTranslationProcess process;
  process.SetProgressViewFactory([seen] { return std::make_unique<dialogtest::RecordingProgressView>(seen); });
  Connect({}, 1, true, [&process](addin::AddinApplication::Parts& parts) {
    parts.progressDialog = 1;
    parts.process = &process;
  });
  // The question is asked on the dialog's thread and answered Yes.
  platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
    if ((r.style & 0xF) == MB_YESNO) return IDYES;
    shown.push_back(r.text);
    return IDOK;
  });
  decktest::Deck d;
  d.slides = {decktest::Sp(2, "A", 0, 0, 900000, 300000, "One.")};
  decktest::Write(d, dir.path() / "deck.pptx");
  auto deck = app->Presentations()->Open((dir.path() / "deck.pptx").wstring(), false, false, true);
  deck->Windows()->Item(1)->View()->GotoSlide(1);
  auto a = deck->Slides()->Item(1)->Shapes()->Item(L"A");
  deck->Slides()->Item(1)->Shapes()->Range(std::vector<std::wstring>{L"A"})->Select();
  powerpoint::ClipboardEx().SetText(L"kept", 0, 0);
  for (const wchar_t* command : {L".MENU.TRAN-COPY", L".MENU.TRAN-PASTE"}) {
    SCOPED_TRACE(platform::ToUtf8(command));
    const int before = state().first;
    {
      std::lock_guard<std::mutex> g(seen->lock);
      seen->statuses.clear();
    }
    Control(command)->Execute();
    EXPECT_EQ(state(), std::make_pair(before + 1, true));
  }
  dialogs::WaitForProgressDialogThread();
  EXPECT_EQ(powerpoint::ClipboardEx().GetText(0, false), L"kept");
  EXPECT_EQ(a->TextFrame()->TextRange()->Text(), L"One.");
  EXPECT_TRUE(shown.empty()) << platform::ToUtf8(shown.empty() ? std::wstring() : shown.front());
  deck->Close();
  // The disconnection releases what the run layer holds: before it goes.
  addin::OnDisconnection();
}

TEST_F(AddinTest, TagsUseTheProgIdWithoutItsVersion) {
  addin::AddinMain::SetProgIdLookup([](std::wstring* progId) {
    *progId = L"VelmoraMsPowerPoint.Addin.1";
    return S_OK;
  });
  Connect({Pair(L"a", L"en", 0x1)});
  addin::AddinMain::SetProgIdLookup({});
  ASSERT_TRUE(Control(L".BUTTON.TRAN-ALL"));
  EXPECT_EQ(std::tuple(Control(L".BUTTON.TRAN-ALL")->OnAction(), addin::UnversionedProgId(L"Other.Name"),
                       addin::UnversionedProgId(L"Other.Name.09")),
            std::tuple(L"!<VelmoraMsPowerPoint.Addin>", L"Other.Name", L"Other.Name"));
}

// What the wrapped document host refuses.
enum class Refuse { kNothing, kMenu, kToolbar };

// The document host with command bars that refuse the menu bar or new bars.
class RefusingBars : public host::CommandBars {
 public:
  RefusingBars(Ptr<host::CommandBars> inner, Refuse refuse) : mInner(std::move(inner)), mRefuse(refuse) {}
  int Count() override { return mInner->Count(); }
  Ptr<host::CommandBar> Item(int index) override { return mInner->Item(index); }
  Ptr<host::CommandBar> Item(const std::wstring& name) override {
    if (mRefuse == Refuse::kMenu && name == L"Menu Bar") throw platform::ComError(E_FAIL, L"refused");
    return mInner->Item(name);
  }
  Ptr<host::CommandBar> Add(const std::wstring& name, int position, bool menuBar, bool temporary) override {
    if (mRefuse == Refuse::kToolbar) throw platform::ComError(E_FAIL, L"refused");
    return mInner->Add(name, position, menuBar, temporary);
  }
  Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag, bool visibleOnly) override {
    return mInner->FindControl(type, id, tag, visibleOnly);
  }
  std::vector<Ptr<host::CommandBarControl>> FindControls(int type, int id, const std::wstring& tag) override {
    return mInner->FindControls(type, id, tag);
  }

 private:
  Ptr<host::CommandBars> mInner;
  Refuse mRefuse;
};

// The document host as a host of any version that may refuse its bars.
class RefusingApp : public host::Application {
 public:
  RefusingApp(Refuse refuse, std::wstring version = L"16.0")
      : mBars(std::make_shared<RefusingBars>(mInner->CommandBars(), refuse)), mVersion(std::move(version)) {}
  std::wstring Version() override { return mVersion; }
  std::wstring Name() override { return mInner->Name(); }
  Ptr<host::Presentations> Presentations() override { return mInner->Presentations(); }
  Ptr<host::Presentation> ActivePresentation() override { return mInner->ActivePresentation(); }
  Ptr<host::DocumentWindows> Windows() override { return mInner->Windows(); }
  Ptr<host::DocumentWindow> ActiveWindow() override { return mInner->ActiveWindow(); }
  Ptr<host::SlideShowWindows> SlideShowWindows() override { return mInner->SlideShowWindows(); }
  Ptr<host::CommandBars> CommandBars() override { return mBars; }
  std::wstring Run(const std::wstring& name, const std::vector<std::wstring>& args) override {
    return mInner->Run(name, args);
  }

 private:
  Ptr<host::Application> mInner = host::pptx::CreateApplication();
  Ptr<host::CommandBars> mBars;
  std::wstring mVersion;
};

// A menu or toolbar that cannot be built is reported once. A start that
// failed or went without engines keeps the user's settings: the stored mode
// stays while the lists lack it, and a start that never loaded the settings
// writes none.
TEST_F(AddinTest, AFailedStartIsReportedOnceAndKeepsTheSettingsItDidNotLoad) {
  struct Case { Refuse refuse; int pairs; int message; };  // message 0: not checked
  for (const Case& c : {Case{Refuse::kMenu, 1, 1301}, Case{Refuse::kToolbar, 1, 1302}, Case{Refuse::kNothing, 2, 0},
                        Case{Refuse::kNothing, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.refuse) << c.pairs);
    app = std::make_shared<RefusingApp>(c.refuse);
    SetSetting(L"Menu.TranModeID", L"Test:gone");
    SetSetting(L"Menu.ToolbarTop", L"77");
    shown.clear();
    std::vector<engine::EngineEntry> entries;
    for (int i = 0; i < c.pairs; ++i) entries.push_back(Pair(i ? L"b" : L"a", L"en", 0x1));
    Connect(entries);
    if (c.message) {
      EXPECT_EQ(shown, (std::vector<std::wstring>{support::LoadText(c.message), support::LoadText(1001)}));
    }
    EXPECT_EQ(addin::OnDisconnection(), S_OK);
    EXPECT_EQ(Setting(L"Menu.TranModeID"), L"Test:gone");
    if (c.refuse == Refuse::kMenu) {
      EXPECT_EQ(Setting(L"Menu.ToolbarTop"), L"77");
    }
  }
}

// Below version 10 the host only pastes a face from the clipboard, without a
// mask, and the user's clipboard is theirs again once the menu stands; from
// 10 on it takes picture and a black and white mask. A clipboard nobody can
// write leaves an old host's buttons bare and its menu whole, silently.
// (Their sizes and the number of buttons are the stand-in's.)
TEST_F(AddinTest, EveryButtonGetsItsOwnFaceTheWayItsHostVersionTakesIt) {
  struct Case { const wchar_t* version; bool locked; size_t looks; };  // looks: faces that differ
  for (const Case& c : {Case{L"9.0", false, 12}, Case{L"10.0", false, 12}, Case{L"9.0", true, 1}}) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.version) << c.locked);
    std::ofstream(dir.path() / "not-a-folder") << "x";
    platformtest::ScopedEnv clipboard{L"PELORANT_CLIPBOARD_FILE",
                                      (dir.path() / (c.locked ? "not-a-folder/clipboard" : "clipboard")).wstring()};
    app = std::make_shared<RefusingApp>(Refuse::kNothing, c.version);
    powerpoint::ClipboardEx().SetText(L"kept", 0, 0);
    Connect({Pair(L"a", L"en", 0x1)});
    EXPECT_EQ(std::tuple(powerpoint::ClipboardEx().GetText(0, false), shown, Control(L"")->Controls()->Count()),
              std::tuple(c.locked ? L"" : L"kept", std::vector<std::wstring>{}, 14));
    std::set<std::vector<std::uint32_t>> faces;
    for (auto items : {Control(L"")->Controls(), app->CommandBars()->Item(Menu().ToolbarName())->Controls()}) {
      for (int i = 1; i <= items->Count(); ++i) {
        if (items->Item(i)->Type() != host::msoControlButton) continue;
        faces.insert(items->Item(i)->Picture().pixels);
        const host::ButtonPicture mask = items->Item(i)->Mask();
        const auto black = std::count(mask.pixels.begin(), mask.pixels.end(), 0xFF000000u);
        const auto white = std::count(mask.pixels.begin(), mask.pixels.end(), 0xFFFFFFFFu);
        // No mask below version 10; else every pixel black or white, some black.
        EXPECT_EQ(std::tuple(mask.Empty(), black + white, black > 0),
                  std::tuple(c.version[0] == L'9', mask.Empty() ? 0 : 256, !mask.Empty())) << i;
      }
    }
    EXPECT_EQ(faces.size(), c.looks) << "no two commands look alike";
    EXPECT_EQ(addin::OnDisconnection(), S_OK);
  }
}

using addin::AddinApplication;
using dialogtest::ListedIds;
using namespace std::chrono_literals;

// A facade over a scripted engine list and option sets "default" and
// "Fancy" (selected, with dual print), running on the fixture's host.
class Facade : public pptest::RunTest {
 protected:
  // The fixture's parts, for a test that makes a facade of its own.
  AddinApplication::Parts Parts() {
    return {.fillEngineList =
                [this](engine::EngineCaches& caches, bool) {
                  ++fills;
                  caches.SetEntries({{L"FakeMT:en-xx", dialogtest::FakePair(L"en-xx", 0)}});
                  return fillSucceeds;
                },
            .refreshEngineList =
                [this](engine::EngineCaches&, bool) {
                  ++refreshes;
                  return true;
                },
            .loadOptions =
                [this](options::TranslationOptions& sets) {
                  sets.Reset();
                  sets.Find(L"default")->SetTimeOutMSec(timeOut);
                  sets.Add(L"Fancy")->SetDualPrint(1);
                  sets.Find(L"Fancy")->SetGlossary(glossary);
                  sets.Select(L"Fancy");
                  return true;
                },
            .process = &process};
  }
  AddinApplication facade{Parts()};
  int fills = 0;
  int refreshes = 0;
  bool fillSucceeds = true;
  std::int32_t timeOut = 0;
  std::wstring glossary;
};

// An empty set name, or one removed since the menu chose it, means the
// selected set; an unknown mode refreshes the engine list once and gives an
// empty record.
TEST_F(Facade, TheRecordComesFromTheNamedOrSelectedSetOrIsEmpty) {
  struct Case { const wchar_t* mode; const wchar_t* set; int dualPrint; int refreshes; };
  for (const Case& c : {Case{L"FakeMT:en-xx", L"", 1, 0}, Case{L"FakeMT:en-xx", L"default", 0, 0},
                        Case{L"FakeMT:en-xx", L"Removed", 1, 0}, Case{L"Nobody:zz", L"", 0, 1}}) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.mode) << " " << platform::ToUtf8(c.set));
    options::TranslationOptionUDT record;
    record.DualPrint = 1 - c.dualPrint;
    facade.fncGetOptionUDT(record, c.mode, c.set);
    EXPECT_EQ(std::tuple(record.DualPrint, refreshes, record.EngineID),
              std::tuple(c.dualPrint, c.refreshes, c.refreshes ? L"" : L"en-xx"));
    if (c.refreshes) {
      EXPECT_EQ(record, options::TranslationOptionUDT());
    }
  }
  // A command with an unknown mode still reaches the run, which cannot open an engine.
  Open(pptest::ThreeSlides());
  facade.SetApplication(app);
  facade.TranslateAll(L"Nobody:zz", L"");
  EXPECT_EQ(std::tuple(refreshes, Outcome().errors.back().id), std::tuple(2, 1251));
}

TEST_F(Facade, TheEngineListIsFilledOnceAndAFailureShownOnce) {
  fillSucceeds = false;
  facade.GetEngineCaches();
  EXPECT_EQ(ListedIds(), std::vector<int>{resources::msg::kEngineListFailed});
  support::ErrorList::Clear();
  facade.GetEngineCaches();
  EXPECT_EQ(std::tuple(ListedIds().size(), fills), std::tuple(0u, 1));

  AddinApplication empty({.fillEngineList = [](engine::EngineCaches&, bool) { return true; }});
  empty.GetEngineCaches();
  EXPECT_EQ(ListedIds(), std::vector<int>{resources::msg::kNoEngines});
}

TEST_F(Facade, ADeadHostIsReplacedByTheRunningOne) {
  auto running = host::pptx::CreateApplication();
  AddinApplication::Parts parts = Parts();
  parts.reconnect = [&] { return running; };
  AddinApplication revived(std::move(parts));
  revived.SetApplication(std::make_shared<RefusingApp>(Refuse::kNothing, L""));  // a dead host
  options::TranslationOptionUDT record;
  EXPECT_TRUE(revived.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"", record));
  EXPECT_EQ(std::tuple(revived.Reconnected(), revived.GetApplication(), revived.AbbreviationLanguage()),
            std::tuple(true, running, L"en"));
}

TEST_F(Facade, TranslationCommandsCarryTheGlossaryAndDoNotRunWithoutIt) {
  glossary = (dir / "terms.tsv").wstring();
  ASSERT_TRUE(testsupport::WriteBytes(glossary, std::string("# ours\nPelorant\t\nslide\tdiapositiva\n")));
  options::TranslationOptionUDT record;
  ASSERT_TRUE(facade.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"", record, true));
  EXPECT_EQ(record.GlossaryTerms,
            (std::vector<options::GlossaryTerm>{{L"Pelorant", L""}, {L"slide", L"diapositiva"}}));
  ASSERT_TRUE(facade.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"default", record, true));
  EXPECT_TRUE(record.GlossaryTerms.empty()) << "a set without a glossary has no terms";
  ASSERT_TRUE(facade.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"", record, false));
  EXPECT_TRUE(record.GlossaryTerms.empty()) << "only translations read the glossary";
  EXPECT_TRUE(ListedIds().empty());

  // A glossary that went missing or went bad stops every translation command
  // before it touches the deck or the engine, naming the file.
  Open(pptest::ThreeSlides());
  facade.SetApplication(app);
  const int opened = impl->EnginesOpened();
  for (const char* bytes : {static_cast<const char*>(nullptr), "slide diapositiva\n"}) {
    std::filesystem::remove(glossary);
    if (bytes != nullptr) {
      ASSERT_TRUE(testsupport::WriteBytes(glossary, std::string(bytes)));
    }
    for (auto command : {&AddinApplication::TranslateAll, &AddinApplication::TranslateSheet,
                         &AddinApplication::TranslateSelection, &AddinApplication::TranslateCopy,
                         &AddinApplication::TranslatePaste}) {
      support::ErrorList::Clear();
      (facade.*command)(L"FakeMT:en-xx", L"Fancy");
      const auto entries = support::ErrorList::GetEntries();
      ASSERT_EQ(ListedIds(), std::vector<int>{resources::msg::kGlossaryUnreadable});
      EXPECT_TRUE(entries[0].mDetail.starts_with(glossary + L": ")) << platform::ToUtf8(entries[0].mDetail);
    }
  }
  EXPECT_EQ(std::tuple(impl->Translations().size(), impl->EnginesOpened()), std::tuple(0u, opened));
}

// A run gets the facade's watchdog: its time limit (one step of a
// millisecond) cancels a run whose first request would take ten seconds,
// before or during the walk.
TEST_F(Facade, TheWatchdogCancelsARunThatOutlastsItsTimeLimit) {
  timeOut = 500;
  AddinApplication::Parts parts = Parts();
  parts.watchdogStep = 1ms;
  AddinApplication timed(std::move(parts));
  impl->Script(fake_engine::Operation::Translate, fake_engine::Behaviour{.delayMs = 10'000, .times = 1});
  Open(pptest::ThreeSlides());
  timed.SetApplication(app);
  timed.TranslateAll(L"FakeMT:en-xx", L"default");
  // Succeeded, cancelled, timed out.
  EXPECT_EQ(std::tuple(Outcome().success, Outcome().cancelled, timed.TimedOut()), std::tuple(true, true, true));
}

TEST(TimeOutWatchdog, StopsWithoutFiringAndFiresOnceTheTimeIsUp) {
  std::promise<void> fired;
  int calls = 0;
  addin::TimeOutWatchdog dog([&] {
    ++calls;
    fired.set_value();
  }, 1ms);
  dog.Start(1'000'000'000);
  EXPECT_TRUE(dog.IsRunning());
  dog.Stop();
  // Running, timed out.
  EXPECT_EQ(std::tuple(dog.IsRunning(), dog.TimedOut()), std::tuple(false, false));

  dog.Start(1500);  // three steps of 500 ms
  ASSERT_EQ(fired.get_future().wait_for(30s), std::future_status::ready);
  dog.Stop();
  // Timed out, fired once, no time left.
  EXPECT_EQ(std::tuple(dog.TimedOut(), calls, dog.Remaining() <= 0), std::tuple(true, 1, true));

  dog.Start(0);
  EXPECT_FALSE(dog.IsRunning());
}

// At unload the facade keeps the engine list it built, once; a facade that
// never built one has nothing to keep.
TEST_F(Facade, UnloadKeepsTheEngineListItBuilt) {
  std::vector<size_t> kept;
  auto make = [&] {
    AddinApplication::Parts parts = Parts();
    parts.saveEngineList = [&kept](engine::EngineCaches& caches) { kept.push_back(caches.Count()); };
    return std::make_unique<AddinApplication>(std::move(parts));
  };
  auto used = make();
  used->GetEngineCaches();
  make().reset();
  EXPECT_TRUE(kept.empty());
  used.reset();
  EXPECT_EQ(kept, std::vector<size_t>{1});
}

// The engine's own dialogs open after a run that ended by cancel, time-out or
// disconnection left the cancel flag up; an open that throws is the user's
// 1251 too, not only a log line.
TEST_F(Facade, EngineDialogsOpenAfterACancelledRunAndReportAnOpenThatThrows) {
  struct Case {
    void (AddinApplication::*command)(std::wstring);
    int (fake_engine::FakeImplementation::*shown)() const;
  };
  for (const Case& c : {Case{&AddinApplication::ShowEngineOptionDialog, &fake_engine::FakeImplementation::SettingsDialogsShown},
                        Case{&AddinApplication::ShowDictionaryRegistrationDialog,
                             &fake_engine::FakeImplementation::DictionaryDialogsShown}}) {
    const int before = (impl->*c.shown)();
    engine::AppCommon::Instance().SetCancel(true);
    (facade.*c.command)(L"FakeMT:en-xx");
    EXPECT_EQ(std::tuple(ListedIds().size(), (impl->*c.shown)()), std::tuple(0u, before + 1));

    impl->Script(fake_engine::Operation::SetImplementation, fake_engine::Behaviour{.callResult = E_FAIL, .times = 1});
    (facade.*c.command)(L"FakeMT:en-xx");
    EXPECT_EQ(std::tuple(ListedIds(), (impl->*c.shown)()),
              std::tuple(std::vector<int>{resources::msg::kEngineInitFailed}, before + 1));
  }
}

}  // namespace
