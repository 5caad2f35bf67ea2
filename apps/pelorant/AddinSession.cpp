#include "apps/pelorant/AddinSession.h"

#include <ostream>

#include "apps/pelorant/Json.h"
#include "apps/pelorant/TranslationMode.h"
#include "src/engine/server/EngineServer.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace app {
namespace {

using platform::FromUtf8;
using platform::ToUtf8;

constexpr unsigned kIconMask = 0xF0;
constexpr unsigned kIconError = 0x10;
constexpr unsigned kIconExclamation = 0x30;

void PrintControls(const host::Ptr<host::CommandBarControls>& controls, int depth, std::ostream& out) {
  for (int i = 1; i <= controls->Count(); ++i) {
    host::Ptr<host::CommandBarControl> c = controls->Item(i);
    const bool popup = c->Type() == host::msoControlPopup;
    out << std::string(static_cast<size_t>(depth) * 2, ' ') << (c->BeginGroup() ? "| " : "") << "\""
        << ToUtf8(c->Caption()) << "\"  tag=" << ToUtf8(c->Tag()) << (c->Visible() ? "" : "  hidden")
        << (c->Enabled() ? "" : "  disabled") << (!popup && c->State() == host::msoButtonDown ? "  [chosen]" : "")
        << "\n";
    if (popup) PrintControls(c->Controls(), depth + 1, out);
  }
}

// The controls as one flat list in menu order, each with its depth.
void AddControls(const host::Ptr<host::CommandBarControls>& controls, int depth, JsonValue* items) {
  for (int i = 1; i <= controls->Count(); ++i) {
    host::Ptr<host::CommandBarControl> c = controls->Item(i);
    const bool popup = c->Type() == host::msoControlPopup;
    JsonValue item{{"depth", depth},
                   {"type", popup ? "popup" : "button"},
                   {"caption", ToUtf8(c->Caption())},
                   {"tag", ToUtf8(c->Tag())},
                   {"visible", c->Visible()},
                   {"enabled", c->Enabled()},
                   {"beginGroup", c->BeginGroup()}};
    if (!popup) item["pressed"] = c->State() == host::msoButtonDown;
    items->push_back(std::move(item));
    if (popup) AddControls(c->Controls(), depth + 1, items);
  }
}

}  // namespace

AddinSession::AddinSession(const std::string& command, CommandIo& io) : mCommand(command), mIo(io) {
  std::shared_ptr<std::vector<int>> shown = mShown;
  mPreviousHandler = platform::SetMessageBoxHandler([shown](const platform::MessageBoxRequest& request) {
    shown->push_back(static_cast<int>(request.style & kIconMask));
    // Shown as the platform shows it, with this handler out of the way.
    platform::MessageBoxHandler self = platform::SetMessageBoxHandler({});
    const int answer = platform::ShowMessageBox(request);
    platform::SetMessageBoxHandler(std::move(self));
    return answer;
  });
}

AddinSession::~AddinSession() {
  Disconnect();
  platform::SetMessageBoxHandler(std::move(mPreviousHandler));
}

bool AddinSession::Start(const host::pptx::ApplicationOptions& options, int progressDialog, int follow) {
  mOptions = options;
  mProgressDialog = progressDialog;
  mFollow = follow;
  try {
    mApplication = host::pptx::CreateApplication(options);
  } catch (const platform::ComError& e) {
    mIo.err << "pelorant " << mCommand << ": the host could not start: " << ToUtf8(e.Description()) << "\n";
    return false;
  }
  addin::AddinMain::SetFacadeSetup([progressDialog, follow](addin::AddinApplication::Parts& parts) {
    parts.progressDialog = progressDialog;
    parts.follow = follow;
  });
  // The add-in instance is opaque to the add-in; any object will do.
  const std::vector<std::uint32_t> custom{1};
  addin::OnConnection(mApplication, std::make_shared<int>(0), &custom);
  mConnected = addin::CurrentAddinMain() != nullptr;
  if (!mConnected || !Main().Menu() || !Control(L".BUTTON.TRAN-ALL")) {
    mIo.err << "pelorant " << mCommand << ": the add-in could not be connected\n";
    return false;
  }
  return true;
}

void AddinSession::Disconnect() {
  if (!mConnected) return;
  mConnected = false;
  addin::OnDisconnection();
}

bool AddinSession::ShownError() const {
  for (int icon : *mShown)
    if (icon == static_cast<int>(kIconError) || icon == static_cast<int>(kIconExclamation)) return true;
  return false;
}

host::Ptr<host::CommandBarControl> AddinSession::Control(const std::wstring& key) {
  if (!addin::CurrentAddinMain() || !Main().Menu()) return nullptr;
  try {
    return mApplication->CommandBars()->FindControl(0, 0, Menu().ProgId() + key, false);
  } catch (const platform::ComError&) {
    return nullptr;
  }
}

bool AddinSession::Click(const std::wstring& key) {
  host::Ptr<host::CommandBarControl> control = Control(key);
  if (!control) {
    mIo.err << "pelorant " << mCommand << ": the add-in has no control " << ToUtf8(key) << "\n";
    return false;
  }
  if (!control->Enabled()) {
    mIo.err << "pelorant " << mCommand << ": \"" << ToUtf8(control->Caption())
            << "\" is not available for the translation mode " << ToUtf8(Menu().SelectedMode()) << "\n";
    return false;
  }
  try {
    control->Execute();
  } catch (const platform::ComError& e) {
    mIo.err << "pelorant " << mCommand << ": " << ToUtf8(e.Description()) << "\n";
    return false;
  }
  return true;
}

int AddinSession::ChooseMode(const std::string& key) {
  engine::EngineCaches& caches = Main().Facade().GetEngineCaches();
  if (key.empty()) {
    if (!Menu().SelectedMode().empty()) return 0;
    PickMode(mCommand, caches, "", L"", mIo);  // says why there is none
    return 1;
  }
  // A mode the cache does not know yet may belong to an engine installed
  // since: the engines are asked once more, and the host starts again so
  // that the add-in's lists show it.
  if (!mRefreshed && FindModeKey(caches, FromUtf8(key)) < 0) {
    mRefreshed = true;
    try {
      caches.RefreshCache(false, false);
    } catch (const platform::ComError& e) {
      mIo.err << "pelorant " << mCommand << ": the engine side failed: " << ToUtf8(e.Description()) << "\n";
      return 1;
    }
    if (FindModeKey(caches, FromUtf8(key)) >= 0) {
      caches.SaveCache(true, false);
      Disconnect();
      if (!Start(mOptions, mProgressDialog, mFollow)) return 1;
      return ChooseMode(key);
    }
  }
  engine::EngineCaches& known = Main().Facade().GetEngineCaches();
  const int index = PickMode(mCommand, known, key, L"", mIo);
  if (index < 0) return 2;
  const std::wstring modeKey = known.Entry(static_cast<size_t>(index)).EngineKey();
  if (!Control(L".BUTTON.TRAN-MODE." + modeKey)) {
    // A pair listed without translation (a shared server's pair kept while
    // the server could not be reached) is in the list, but has no button.
    if ((known.Entry(static_cast<size_t>(index)).Flags() & engine_server::kPairFlagTranslate) == 0) {
      mIo.err << "pelorant " << mCommand << ": the translation mode " << ToUtf8(modeKey)
              << " cannot translate now: its engine did not answer when the engines were last listed"
                 " (try again after `pelorant engines refresh`)\n";
      return 2;
    }
    mIo.err << "pelorant " << mCommand << ": the translation mode " << ToUtf8(modeKey)
            << " is not in the add-in's list (check it with `pelorant engines check " << ToUtf8(modeKey) << "`)\n";
    return 2;
  }
  return Click(L".BUTTON.TRAN-MODE." + modeKey) && Menu().SelectedMode() == modeKey ? 0 : 1;
}

int AddinSession::ChooseOptionSet(const std::string& name) {
  options::TranslationOptions& sets = Main().Facade().GetTranslationOptions();
  const std::wstring wide = FromUtf8(name);
  const std::vector<std::wstring> names = sets.OptionNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] != wide) continue;
    // With one set there is no list: it is the selected one already.
    if (names.size() < 2) return 0;
    return Click(L".BUTTON.TRAN-OPT." + std::to_wstring(i)) ? 0 : 1;
  }
  std::string list;
  for (const auto& n : names) list += "\n  " + ToUtf8(n);
  mIo.err << "pelorant " << mCommand << ": there is no option set '" << name << "'; the sets are:" << list << "\n";
  return 2;
}

void PrintMenu(AddinSession& session, bool json, std::ostream& out) {
  menu::OfficeMenu& m = session.Menu();
  host::Ptr<host::CommandBarControl> popup = session.Control(L"");
  host::Ptr<host::CommandBar> toolbar = session.Application()->CommandBars()->Item(m.ToolbarName());
  if (json) {
    JsonValue menuItems = JsonValue::array();
    AddControls(popup->Controls(), 0, &menuItems);
    JsonValue toolbarItems = JsonValue::array();
    AddControls(toolbar->Controls(), 0, &toolbarItems);
    const JsonValue shown{
        {"mode", ToUtf8(m.SelectedMode())},
        {"optionSet", ToUtf8(m.SelectedOptionName())},
        {"menu", {{"caption", ToUtf8(popup->Caption())}, {"tag", ToUtf8(popup->Tag())}, {"items", menuItems}}},
        {"toolbar", {{"name", ToUtf8(toolbar->Name())}, {"visible", toolbar->Visible()}, {"items", toolbarItems}}}};
    out << JsonText(shown) << "\n";
    return;
  }
  out << "Menu \"" << ToUtf8(popup->Caption()) << "\"  tag=" << ToUtf8(popup->Tag()) << "\n";
  PrintControls(popup->Controls(), 1, out);
  out << "Toolbar \"" << ToUtf8(toolbar->Name()) << "\"" << (toolbar->Visible() ? "" : "  hidden") << "\n";
  PrintControls(toolbar->Controls(), 1, out);
  out << "Mode: " << ToUtf8(m.SelectedMode()) << "\nOption set: " << ToUtf8(m.SelectedOptionName()) << "\n";
}

}  // namespace app
