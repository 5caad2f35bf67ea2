// The PowerPoint stand-in: does with the add-in what PowerPoint does. It
// reads the add-ins key, creates each add-in that loads at start-up from
// its ProgID, connects it through its extensibility interface with the
// Application object (every object of which lives on the Linux side,
// reached through IDispatch only), clicks its controls as told, and
// disconnects it. Run it as the child of standin_host.
//
//   standin.exe STEP...
//     open PATH           open a presentation in a window
//     menu                list the add-in's menu and toolbar: depth, tag, caption
//     click KEY           click the add-in's control tagged ProgID + KEY
//     during-run KEY STEP click KEY, and while its command runs do STEP
//                         ("click KEY2", "disconnect" or "connect": the host
//                         connects the add-in again), from the message queue;
//                         "dialog-disconnect" and "dialog-cancel" wait for the
//                         progress dialog to show, then disconnect, or click its
//                         cancel button and answer yes to the question
//     save PATH           save a copy of the active presentation (macro-enabled
//                         for a .pptm)
//     faces PATH          connect the add-in again, check that every button of
//                         the add-in has a 16x16 face (and mask, from host
//                         version 10 on), and write a sheet of the faces to
//                         PATH (a .ppm)
//     disconnect          disconnect the add-in
//     release             let go of the connection object while the add-in is
//                         connected (its module must stay), then take a new
//                         one from the class, as a host reloading it would
//     host-dies           the Application object the add-in was connected with
//                         stops answering; the same object is registered as
//                         running under the class of the host's ProgID
//
// Exit status 0 when every step worked; 1 with the reason on standard error.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "src/host/dispatch/DispatchHost.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/win32/ComOwners.h"
#include "tests/standin/bridge/Bridge.h"

namespace standin {

// The extensibility interface as the host declares it: IDispatch, then
// OnConnection, OnDisconnection, OnAddInsUpdate, OnStartupComplete,
// OnBeginShutdown. Outside the anonymous namespace: no class here derives
// from it, and the compiler would take calls through it for unreachable.
const IID kExtensibility2 = {0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
struct Extensibility : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, LONG mode, IDispatch* addInInst,
                                                 SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(LONG mode, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};
}  // namespace standin

namespace {

using Ref = platform::win::ComPtr<IDispatch>;

constexpr LONG kConnectStartup = 1;
constexpr LONG kDisconnectHostShutdown = 0;
constexpr int kProgressBar = 282;
// Bounds every wait for a window of the add-in's dialog thread.
constexpr DWORD kWindowWaitMs = 30000;

bool Fail(const std::string& why) {
  std::fprintf(stderr, "standin: %s\n", why.c_str());
  return false;
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// A top-level dialog of this process, picked by `match`; null when none.
HWND FindDialog(const std::function<bool(HWND)>& match) {
  for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); w;
       w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process == GetCurrentProcessId() && match(w)) return w;
  }
  return nullptr;
}

// The add-in's progress dialog: the dialog of this process with a progress
// bar (its caption depends on the language resources).
HWND ProgressDialog() {
  return FindDialog([](HWND window) {
    wchar_t name[32] = {};
    HWND bar = GetDlgItem(window, kProgressBar);
    return bar && GetClassNameW(bar, name, 32) > 0 && std::wstring(name) == PROGRESS_CLASSW;
  });
}

// Waits, within kWindowWaitMs, until `done` holds.
bool WaitFor(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > kWindowWaitMs) return false;
    Sleep(20);
  }
  return true;
}

// The add-in's message boxes would wait for a user: a watcher closes each
// one (reporting its text), as a box without a display would return at once.
// The cancel step answers its own question while gAnswering is set.
std::atomic<bool> gAnswering{false};
std::atomic<bool> gWatching{true};

void CloseMessageBoxes() {
  while (gWatching.load()) {
    HWND box = gAnswering.load()
                   ? nullptr
                   : FindDialog([](HWND w) { return IsWindowVisible(w) && !GetDlgItem(w, kProgressBar); });
    if (box) {
      wchar_t text[512] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 512);
      std::fprintf(stderr, "standin: closed a message box: %s\n", platform::ToUtf8(text).c_str());
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      Sleep(200);
    }
    Sleep(50);
  }
}

// The add-in's connection to the Application object: it passes every call
// through until Cut, and from then on answers as a host that has gone away
// does, while the same object may still be reached among the running ones.
class HostLine final : public platform::win::ComObject<HostLine, IDispatch> {
 public:
  explicit HostLine(IDispatch* application) : mApplication(Ref::Share(application)) {}
  void Cut() { mApplication.Reset(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid == IID_IUnknown || iid == IID_IDispatch, out);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return mApplication ? mApplication->GetIDsOfNames(iid, names, count, locale, ids) : kGone;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    return mApplication ? mApplication->Invoke(id, iid, locale, flags, params, result, exception, argError)
                        : kGone;
  }

 private:
  friend class platform::win::ComObject<HostLine, IDispatch>;
  // What a call on an object of a process that has ended answers.
  static constexpr HRESULT kGone = RPC_E_DISCONNECTED;
  ~HostLine() = default;
  Ref mApplication;
};

// The class the stand-in registers its Application under, as the host's
// ProgID names it; the suite's own, never the real host's.
const CLSID kHostClass = {0x5C1E2B77, 0x3D0A, 0x4F6B, {0x9E, 0x21, 0x7A, 0x44, 0x0C, 0x91, 0x3B, 0x58}};
const wchar_t kHostProgId[] = L"PowerPoint.Application";

// The module's answer to whether it may be unloaded.
HRESULT CanUnloadNow() {
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  HMODULE module = GetModuleHandleW(L"Pelorant.dll");
  auto canUnload =
      module ? reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")))
             : nullptr;
  return canUnload ? canUnload() : E_NOTIMPL;
}

// One row of 16 pixels per button of the menu (the toolbar's repeat them):
// the face as the host shows it on its button colour, then picture and
// mask; a binary PPM.
bool WriteSheet(const std::string& path, const std::vector<std::pair<platform::Picture, platform::Picture>>& faces) {
  constexpr std::uint32_t kButton = 0xD4D0C8;
  std::ofstream out(path, std::ios::binary);
  out << "P6\n48 " << 16 * faces.size() << "\n255\n";
  for (const auto& [picture, mask] : faces) {
    const bool hasPicture = picture.pixels.size() == 256, hasMask = mask.pixels.size() == 256;
    for (size_t at = 0; at < 256 * 3; ++at) {
      // Row by row, each row across the three columns.
      const size_t column = at / 16 % 3, pixel = at / 48 * 16 + at % 16;
      std::uint32_t p = kButton;
      if (column == 0 && hasPicture)
        p = hasMask && (mask.pixels[pixel] & 0xFFFFFF) != 0 ? kButton : picture.pixels[pixel];
      if (column == 1 && hasPicture) p = picture.pixels[pixel];
      if (column == 2 && hasMask) p = mask.pixels[pixel];
      out.put(static_cast<char>(p >> 16)).put(static_cast<char>(p >> 8)).put(static_cast<char>(p));
    }
  }
  return static_cast<bool>(out);
}

// Every button of a list of controls.
void Buttons(const host::Ptr<host::CommandBarControls>& controls,
             std::vector<host::Ptr<host::CommandBarControl>>* buttons) {
  for (int i = 1; i <= controls->Count(); ++i)
    if (auto c = controls->Item(i); c->Type() == host::msoControlButton) buttons->push_back(c);
}

// Clicks the dialog's cancel button and answers yes to the question it asks
// (a message box of the dialog's thread).
bool CancelByButton(HWND dialog) {
  HWND button = GetDlgItem(dialog, IDCANCEL);
  if (!button) return Fail("the progress dialog has no cancel button");
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  // The watcher leaves the question alone until it has closed.
  gAnswering = true;
  PostMessageW(button, BM_CLICK, 0, 0);
  HWND question = nullptr;
  const bool asked = WaitFor([&] {
    question = FindDialog([&](HWND w) { return w != dialog && GetWindowThreadProcessId(w, nullptr) == thread; });
    return question != nullptr;
  });
  if (asked) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  const bool closed = asked && WaitFor([&] { return !IsWindow(question); });
  gAnswering = false;
  if (!asked) return Fail("the cancel button asked no question");
  if (!closed) return Fail("the cancel question stayed open");
  std::printf("during-run: cancelled from the progress dialog\n");
  std::fflush(stdout);
  return true;
}

class StandIn {
 public:
  ~StandIn() {
    Disconnect();
    StopRunning();
    if (mLine) mLine->Release();
  }

  bool Start() {
    std::wstring error;
    mApplication = Ref::Adopt(standin::ConnectToHost(&error));
    if (!mApplication) return Fail(platform::ToUtf8(error));
    mHost = host::dispatch::MakeApplication(mApplication.Get());
    return LoadAddin();
  }

  // After disconnection and release nothing keeps the module.
  static bool Unloadable() {
    const HRESULT answer = CanUnloadNow();
    return answer == S_OK || Fail("the module stays in use after disconnection: " + Hex(answer));
  }

  bool Step(const std::vector<std::string>& args, size_t* at) {
    const std::string step = args[*at];
    try {
      return Do(args, at);
    } catch (const platform::ComError& e) {
      return Fail(step + " failed: " + Hex(e.Error()) + " " + platform::ToUtf8(e.Description()));
    }
  }

 private:
  bool Do(const std::vector<std::string>& args, size_t* at) {
    const std::string step = args[(*at)++];
    std::string value, inner, second;
    auto next = [&](std::string* into) {
      if (*at >= args.size()) return Fail(step + " needs a value");
      *into = args[(*at)++];
      return true;
    };
    if (step == "open") return next(&value) && Open(value);
    if (step == "save") return next(&value) && Save(value);
    if (step == "menu") return Menu();
    if (step == "faces") return next(&value) && Faces(value);
    if (step == "click") return next(&value) && Click(value);
    if (step == "disconnect") return Disconnect(), true;
    if (step == "release") return Release();
    if (step == "host-dies") return HostDies();
    if (step != "during-run") return Fail("unknown step " + step);
    if (!next(&value) || !next(&inner)) return false;
    if (inner == "disconnect") return DuringRun(value, [this] { return Disconnect(), true; });
    if (inner == "connect") return DuringRun(value, [this] { return Connect(); });
    if (inner == "click") return next(&second) && DuringRun(value, [this, second] { return Click(second); });
    if (inner != "dialog-disconnect" && inner != "dialog-cancel")
      return Fail("during-run takes click KEY, disconnect, connect, dialog-disconnect or dialog-cancel, not " + inner);
    static HWND dialog = nullptr;
    dialog = nullptr;
    const bool cancel = inner == "dialog-cancel";
    const bool ok = DuringRun(
        value,
        [this, cancel] {
          if (!(dialog = ProgressDialog())) return Fail("the progress dialog is not open");
          std::printf("during-run: the progress dialog is open\n");
          std::fflush(stdout);
          if (cancel) return CancelByButton(dialog);
          // The add-in ends the connection once the cancelled command has
          // returned.
          return Disconnect(), true;
        },
        [] { return IsWindowVisible(ProgressDialog()) != FALSE; });
    // The run closes its dialog on the way out; its thread then ends.
    return ok && (WaitFor([] { return !IsWindow(dialog); }) || Fail("the progress dialog stayed open"));
  }

  // The first add-in that loads at start-up: the user's add-ins key, then
  // the machine's, where an installer for every user puts it.
  bool LoadAddin() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      HKEY key = nullptr;
      if (!mProgId.empty() || RegOpenKeyExW(root, L"Software\\Microsoft\\Office\\PowerPoint\\Addins", 0,
                                            KEY_READ, &key) != ERROR_SUCCESS)
        continue;
      wchar_t name[256];
      for (DWORD i = 0; mProgId.empty(); ++i) {
        DWORD length = 256, behaviour = 0, size = sizeof behaviour;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        // A value that cannot be read leaves the behaviour 0: not loaded.
        RegGetValueW(key, name, L"LoadBehavior", RRF_RT_REG_DWORD, nullptr, &behaviour, &size);
        if ((behaviour & 3) == 3) mProgId = name;
      }
      RegCloseKey(key);
    }
    if (mProgId.empty()) return Fail("no add-in loads at start-up");
    const HRESULT hr = Create();
    return SUCCEEDED(hr) ? Connect() : Fail("the add-in could not be created: " + Hex(hr));
  }

  // A new add-in object from the class of its ProgID.
  HRESULT Create() {
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(mProgId.c_str(), &clsid);
    return FAILED(hr) ? hr : CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, standin::kExtensibility2,
                                              reinterpret_cast<void**>(&mAddin));
  }

  // Connects the add-in over a new line to the Application object.
  bool Connect() {
    // As the host passes it: an array of VARIANTs whose first holds the
    // launch kind.
    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG index = 0;
    platform::win::Variant launch(LONG{1});
    SafeArrayPutElement(custom, &index, launch.Ptr());
    if (mLine) mLine->Release();
    mLine = new HostLine(mApplication.Get());
    // The add-in instance is opaque to the add-in; the application will do.
    const HRESULT hr = mAddin->OnConnection(mLine, kConnectStartup, mApplication.Get(), &custom);
    SafeArrayDestroy(custom);
    return SUCCEEDED(hr) || Fail("OnConnection failed: " + Hex(hr));
  }

  bool Release() {
    mAddin->Release();
    mAddin = nullptr;
    const HRESULT answer = CanUnloadNow();
    const HRESULT hr = Create();
    if (FAILED(hr)) return Fail("the add-in could not be created again: " + Hex(hr));
    return answer == S_FALSE || Fail("the module may unload while the add-in is connected: " + Hex(answer));
  }

  void Disconnect() {
    if (!mAddin) return;
    SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    mAddin->OnDisconnection(kDisconnectHostShutdown, &custom);
    SafeArrayDestroy(custom);
    mAddin->Release();
    mAddin = nullptr;
  }

  host::Ptr<host::CommandBarControl> Control(const std::string& key) {
    auto control = mHost->CommandBars()->FindControl(0, 0, mProgId + platform::FromUtf8(key), false);
    if (!control) Fail("the add-in has no control " + key);
    return control;
  }

  // The toolbar is the bar that holds the add-in's translate-all button.
  host::Ptr<host::CommandBar> Toolbar() {
    auto all = Control(".BUTTON.TRAN-ALL");
    return all ? all->Parent() : nullptr;
  }

  bool Click(const std::string& key) {
    try {
      auto control = Control(key);
      if (control) control->Execute();
      return static_cast<bool>(control);
    } catch (const platform::ComError& e) {
      return Fail("clicking " + key + " failed: " + Hex(e.Error()));
    }
  }

  // One line per control: depth, tag and caption.
  static void Print(int depth, const std::wstring& tag, const std::wstring& caption) {
    std::printf("%d\t%s\t%s\n", depth, platform::ToUtf8(tag).c_str(), platform::ToUtf8(caption).c_str());
  }
  void List(const host::Ptr<host::CommandBarControls>& controls, int depth) {
    for (int i = 1; i <= controls->Count(); ++i) {
      auto c = controls->Item(i);
      Print(depth, c->Tag(), c->Caption());
      if (c->Type() == host::msoControlPopup) List(c->Controls(), depth + 1);
    }
  }

  bool Menu() {
    auto popup = Control("");
    auto toolbar = Toolbar();
    if (!popup || !toolbar) return Fail("the add-in has no menu or no toolbar");
    Print(0, popup->Tag(), popup->Caption());
    List(popup->Controls(), 1);
    Print(0, L"toolbar", toolbar->Name());
    List(toolbar->Controls(), 1);
    std::fflush(stdout);
    return true;
  }

  // Runs `nested` from the message queue while `key`'s command runs, once
  // `ready` holds: a thread timer checks it, which only a message loop of
  // the command dispatches and which never keeps a draining loop busy.
  bool DuringRun(const std::string& key, std::function<bool()> nested,
                 std::function<bool()> ready = [] { return true; }) {
    static std::function<bool()> pending, until;
    static bool ranInside = false, nestedOk = false;
    pending = std::move(nested);
    until = std::move(ready);
    ranInside = nestedOk = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, [](HWND, UINT, UINT_PTR id, DWORD) {
      if (!pending || !until()) return;
      KillTimer(nullptr, id);
      ranInside = true;
      nestedOk = std::exchange(pending, nullptr)();
    });
    const bool clicked = Click(key);
    KillTimer(nullptr, timer);
    pending = until = nullptr;
    if (!clicked) return false;
    if (!ranInside) return Fail("the command did not let the message queue run while it ran");
    std::printf("during-run: done inside the command\n");
    std::fflush(stdout);
    return nestedOk;
  }

  bool Faces(const std::string& sheetPath) {
    Disconnect();
    if (!LoadAddin()) return false;
    bool ok = true;
    const bool pictureAndMask = _wtoi(mHost->Version().c_str()) >= 10;
    std::vector<host::Ptr<host::CommandBarControl>> buttons;
    if (auto popup = Control("")) Buttons(popup->Controls(), &buttons);
    const size_t menuButtons = buttons.size();
    if (auto toolbar = Toolbar()) Buttons(toolbar->Controls(), &buttons);
    if (menuButtons == 0 || buttons.size() == menuButtons) ok = Fail("the add-in's menu or toolbar has no buttons");
    std::vector<std::pair<platform::Picture, platform::Picture>> sheet;
    for (size_t i = 0; i < buttons.size(); ++i) {
      const std::string tag = platform::ToUtf8(buttons[i]->Tag());
      platform::Picture picture = buttons[i]->Picture(), mask = buttons[i]->Mask();
      std::printf("face\t%s\t%dx%d\t%dx%d\n", tag.c_str(), picture.width, picture.height, mask.width, mask.height);
      if (picture.width != 16 || picture.height != 16) ok = Fail(tag + " has no 16x16 picture");
      if (pictureAndMask && (mask.width != 16 || mask.height != 16)) ok = Fail(tag + " has no 16x16 mask");
      if (i < menuButtons) sheet.emplace_back(std::move(picture), std::move(mask));
    }
    std::fflush(stdout);
    if (!WriteSheet(sheetPath, sheet)) ok = Fail("the face sheet could not be written to " + sheetPath);
    return ok;
  }

  // The host's connection to the add-in goes, as when the host's process
  // ends and starts again: the Application object is then found only among
  // the running objects, by the class the host's ProgID names.
  bool HostDies() {
    mLine->Cut();
    wchar_t clsid[64] = {};
    StringFromGUID2(kHostClass, clsid, 64);
    const std::wstring key = std::wstring(kHostProgId) + L"\\CLSID";
    if (RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, clsid,
                        static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
      return Fail("the host's ProgID could not be registered");
    const HRESULT hr = RegisterActiveObject(mApplication.Get(), kHostClass, ACTIVEOBJECT_STRONG, &mRunning);
    return SUCCEEDED(hr) || Fail("the Application object could not be registered as running: " + Hex(hr));
  }
  void StopRunning() {
    if (!mRunning) return;
    RevokeActiveObject(mRunning, nullptr);
    mRunning = 0;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kHostProgId);
  }

  bool Open(const std::string& path) {
    return static_cast<bool>(mHost->Presentations()->Open(platform::FromUtf8(path), false, false, true));
  }
  bool Save(const std::string& path) {
    // ppSaveAsOpenXMLPresentation, or its macro-enabled kind for a .pptm.
    mHost->ActivePresentation()->SaveCopyAs(platform::FromUtf8(path), path.ends_with(".pptm") ? 25 : 24, false);
    return true;
  }

  // The Application object as the Linux side serves it, and the stand-in's
  // own view of it.
  Ref mApplication;
  host::Ptr<host::Application> mHost;
  HostLine* mLine = nullptr;
  DWORD mRunning = 0;
  standin::Extensibility* mAddin = nullptr;
  std::wstring mProgId;
};

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = 0;
  std::thread watcher(CloseMessageBoxes);
  {
    StandIn standIn;
    const std::vector<std::string> args(argv + 1, argv + argc);
    status = standIn.Start() ? 0 : 1;
    for (size_t at = 0; status == 0 && at < args.size();) status = standIn.Step(args, &at) ? 0 : 1;
  }
  if (status == 0 && !StandIn::Unloadable()) status = 1;
  if (const std::string left = standin::LiveObjects(); status == 0 && !left.empty()) {
    std::fprintf(stderr, "standin: the add-in still holds %s after disconnection\n", left.c_str());
    status = 1;
  }
  gWatching = false;
  watcher.join();
  CoUninitialize();
  return status;
}
