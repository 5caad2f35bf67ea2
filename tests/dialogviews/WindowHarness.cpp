#include "tests/dialogviews/WindowHarness.h"

#include <objidl.h>
// After objidl.h: the image library needs its stream interfaces.
#include <gdiplus.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "src/platform/Strings.h"

namespace dialogviews {
namespace {

// Ticks of 25 ms: about ten seconds for a script, then closing what is open.
constexpr UINT kTickMs = 25;
constexpr int kTickBudget = 400;
constexpr int kCloseBudget = 200;

struct Script {
  std::vector<Step> steps;
  size_t next = 0;
  int ticks = 0;
  bool overrun = false;
};
Script* gScript = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Script& script = *gScript;
  ++script.ticks;
  if (script.next < script.steps.size() && script.ticks <= kTickBudget) {
    // A step may send messages that run a nested loop, which ticks too.
    size_t current = script.next;
    script.next = script.steps.size() + 1;
    bool done = script.steps[current]();
    script.next = done ? current + 1 : current;
    return;
  }
  if (script.next >= script.steps.size() && script.ticks <= kTickBudget) return;
  script.overrun = true;
  if (HWND open = ActiveDialog()) ::PostMessageW(open, WM_CLOSE, 0, 0);
  // A dialog that will not close would hang the suite: stop it outright.
  if (script.ticks > kTickBudget + kCloseBudget) std::abort();
}

std::wstring WindowText(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(std::max(0, ::GetWindowTextW(window, text.data(), length + 1))));
  return text;
}

std::wstring ScreenshotFolder() {
  // A Linux path from the build reaches Wine through drive Z:.
  const char* dir = std::getenv("PELORANT_SCREENSHOT_DIR");
  std::wstring folder = dir ? L"Z:" + platform::FromUtf8(dir) : L".";
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

bool RunScripted(const std::function<void()>& open, std::vector<Step> steps) {
  Script script;
  script.steps = std::move(steps);
  Script* outer = gScript;
  gScript = &script;
  UINT_PTR timer = ::SetTimer(nullptr, 0, kTickMs, Tick);
  open();
  ::KillTimer(nullptr, timer);
  gScript = outer;
  return !script.overrun && script.next >= script.steps.size();
}

HWND ActiveDialog() {
  HWND active = ::GetActiveWindow();
  if (!active || !::IsWindowVisible(active) || !::IsWindowEnabled(active)) return nullptr;
  return active;
}

bool PostClick(HWND button) {
  ::PostMessageW(button, BM_CLICK, 0, 0);
  return true;
}

size_t Shot::Ink(RECT area) const {
  if (area.right <= area.left || area.bottom <= area.top) area = RECT{0, 0, width, height};
  size_t ink = 0;
  for (int y = std::max(0, static_cast<int>(area.top)); y < std::min(height, static_cast<int>(area.bottom)); ++y) {
    for (int x = std::max(0, static_cast<int>(area.left)); x < std::min(width, static_cast<int>(area.right)); ++x) {
      std::uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      if (((p >> 16) & 0xFF) < 128 && ((p >> 8) & 0xFF) < 128 && (p & 0xFF) < 128) ++ink;
    }
  }
  return ink;
}

Shot Capture(HWND window) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
  ::GdiFlush();
  RECT rect;
  ::GetWindowRect(window, &rect);
  Shot shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  // From the window's own device context rather than the screen: what the
  // window painted, without waiting for it to reach the display.
  HDC screen = ::GetWindowDC(window);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
  ::GdiFlush();
  auto* p = static_cast<const std::uint32_t*>(bits);
  shot.pixels.assign(p, p + static_cast<size_t>(shot.width) * shot.height);
  for (std::uint32_t& px : shot.pixels) px &= 0xFFFFFF;
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(window, screen);
  return shot;
}

std::wstring SavePng(const Shot& shot, const std::wstring& name) {
  using namespace Gdiplus;
  static ULONG_PTR token = 0;
  GdiplusStartupInput input;
  if (!token) GdiplusStartup(&token, &input, nullptr);
  std::wstring path = ScreenshotFolder() + L"\\" + name + L".png";
  GpBitmap* bitmap = nullptr;
  std::vector<std::uint32_t> pixels = shot.pixels;
  if (DllExports::GdipCreateBitmapFromScan0(shot.width, shot.height, shot.width * 4, PixelFormat32bppRGB,
                                            reinterpret_cast<BYTE*>(pixels.data()), &bitmap) != Ok) {
    return std::wstring();
  }
  // The PNG encoder of the image codecs.
  const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  Status saved = DllExports::GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr);
  DllExports::GdipDisposeImage(bitmap);
  return saved == Ok ? path : std::wstring();
}

std::wstring WithoutAccelerators(const std::wstring& text) {
  std::wstring plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

std::wstring PlainText(HWND control) { return WithoutAccelerators(WindowText(control)); }

std::wstring LanguageTag() { return PRIMARYLANGID(::GetSystemDefaultLangID()) == LANG_JAPANESE ? L"ja" : L"en"; }

namespace {

// A table of the source tree's resources/ folder: one key, a TAB and the
// text a line, '#' lines left out.
std::map<std::string, std::wstring> SourceTable(const std::string& name) {
  const char* root = std::getenv("PELORANT_TEST_SOURCE_DIR");
  // The source tree's Linux path reaches Wine through drive Z:.
  std::ifstream in(std::string("Z:") + (root ? root : "") + "/resources/" + name);
  std::map<std::string, std::wstring> table;
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
    table[line.substr(0, tab)] = platform::FromUtf8(line.substr(tab + 1));
  }
  return table;
}

}  // namespace

std::map<int, std::wstring> ExpectedStrings() {
  std::map<int, std::wstring> table;
  // A string's line holds its name before the text.
  for (const auto& [id, named] : SourceTable("strings." + platform::ToUtf8(LanguageTag()) + ".txt"))
    table[std::stoi(id)] = named.substr(named.find(L'\t') + 1);
  return table;
}

std::wstring ExpectedVersionValue(const std::string& name) { return SourceTable("version.txt")[name]; }

namespace {

// The first character of `text` that `font` has no glyph for, as a
// problem; nothing when it has all of them.
void CheckGlyphs(HDC dc, HFONT font, const std::wstring& text, std::vector<std::wstring>* problems) {
  HGDIOBJ old = ::SelectObject(dc, font);
  std::vector<WORD> glyphs(text.size());
  ::GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  wchar_t face[LF_FACESIZE] = {};
  ::GetTextFaceW(dc, LF_FACESIZE, face);
  ::SelectObject(dc, old);
  for (size_t i = 0; i < glyphs.size(); ++i) {
    if (glyphs[i] == 0xFFFF) {
      problems->push_back(L"\"" + text + L"\": no glyph for U+" + std::to_wstring(text[i]) + L" in " + face);
      return;
    }
  }
}

// The width a control leaves its one line of text: a button's frame, a
// check box's box or a group's corner takes some. A label wraps in its
// whole client area; other controls' texts are not checked.
std::optional<int> TextRoom(const wchar_t* cls, LONG style, int width) {
  if (::lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT) return width;
  if (::lstrcmpiW(cls, L"Button") != 0) return std::nullopt;
  const LONG type = style & BS_TYPEMASK;
  if (type == BS_GROUPBOX) return width - 12;
  // A check box or radio button of any kind draws its box beside the text.
  const bool boxed = (type >= BS_CHECKBOX && type <= BS_AUTO3STATE) || type == BS_AUTORADIOBUTTON;
  return width - (boxed ? ::GetSystemMetrics(SM_CXMENUCHECK) + 4 : 6);
}

BOOL CALLBACK CheckText(HWND control, LPARAM data) {
  auto& problems = *reinterpret_cast<std::vector<std::wstring>*>(data);
  if (!::IsWindowVisible(control)) return TRUE;
  wchar_t cls[32] = {};
  ::GetClassNameW(control, cls, 32);
  HDC dc = ::GetDC(control);
  auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  RECT client;
  ::GetClientRect(control, &client);
  const std::optional<int> room = TextRoom(cls, ::GetWindowLongW(control, GWL_STYLE), client.right);
  const std::wstring text = PlainText(control);
  if (::lstrcmpiW(cls, L"ComboBox") == 0) {
    // A list's entries are drawn in the list's font, the one shown and the
    // ones dropped down alike.
    const LRESULT count = ::SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      std::wstring item(static_cast<size_t>(std::max<LRESULT>(0, ::SendMessageW(control, CB_GETLBTEXTLEN, i, 0))),
                        L'\0');
      ::SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
      CheckGlyphs(dc, font, item, &problems);
    }
  } else if (room && !text.empty()) {
    CheckGlyphs(dc, font, text, &problems);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    // A label wraps: it must take no more lines than its height holds.
    RECT wrapped{0, 0, client.right, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    const bool label = ::lstrcmpiW(cls, L"Static") == 0;
    if (label && (wrapped.bottom > client.bottom || wrapped.right > client.right)) {
      problems.push_back(L"\"" + text + L"\": needs " + std::to_wstring(wrapped.right) + L" x " +
                         std::to_wstring(wrapped.bottom) + L" px, room for " + std::to_wstring(client.right) +
                         L" x " + std::to_wstring(client.bottom));
    } else if (!label && extent.cx > *room) {
      problems.push_back(L"\"" + text + L"\": " + std::to_wstring(extent.cx) + L" px wide, room for " +
                         std::to_wstring(*room));
    }
  }
  ::ReleaseDC(control, dc);
  return TRUE;
}

}  // namespace

std::vector<std::wstring> TextProblems(HWND root) {
  std::vector<std::wstring> problems;
  // The title bar is drawn in the system's caption font, whatever the
  // dialog's own font is.
  if ((::GetWindowLongW(root, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    HFONT font = ::CreateFontIndirectW(&metrics.lfCaptionFont);
    HDC dc = ::GetWindowDC(root);
    CheckGlyphs(dc, font, WindowText(root), &problems);
    ::ReleaseDC(root, dc);
    ::DeleteObject(font);
  }
  ::EnumChildWindows(root, CheckText, reinterpret_cast<LPARAM>(&problems));
  return problems;
}

}  // namespace dialogviews
