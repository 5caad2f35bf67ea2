#include "src/platform/Clipboard.h"

#include <windows.h>

#include <cstring>

namespace platform {
namespace {

// Opens the clipboard for one job; a few tries, since another program may
// hold it for a moment.
class OpenedClipboard {
 public:
  OpenedClipboard() {
    for (int attempt = 0; attempt < 5 && !mOpen; ++attempt) {
      mOpen = OpenClipboard(nullptr) != 0;
      if (!mOpen) Sleep(20);
    }
  }
  ~OpenedClipboard() {
    if (mOpen) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool IsOpen() const { return mOpen; }

 private:
  bool mOpen = false;
};

bool IsGlobalFormat(UINT format) {
  // Handles that are not global memory (bitmaps, palettes, metafiles, file
  // lists owned by the system) are not copied.
  switch (format) {
    case CF_BITMAP:
    case CF_METAFILEPICT:
    case CF_PALETTE:
    case CF_ENHMETAFILE:
    case CF_DSPBITMAP:
    case CF_DSPMETAFILEPICT:
    case CF_DSPENHMETAFILE:
    case CF_OWNERDISPLAY:
      return false;
    default:
      return true;
  }
}

}  // namespace

unsigned RegisterClipboardFormatName(const std::wstring& name) {
  return name.empty() ? 0 : RegisterClipboardFormatW(name.c_str());
}

bool ReadClipboard(std::vector<ClipboardEntry>* entries) {
  OpenedClipboard clipboard;
  if (!clipboard.IsOpen()) return false;
  std::vector<ClipboardEntry> read;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    if (!IsGlobalFormat(format)) continue;
    HANDLE handle = GetClipboardData(format);
    if (!handle) continue;
    // The block's real size bounds the read, whatever the data claims.
    const SIZE_T size = GlobalSize(handle);
    const void* data = GlobalLock(handle);
    if (!data) continue;
    read.push_back({format, std::string(static_cast<const char*>(data), size)});
    GlobalUnlock(handle);
  }
  *entries = std::move(read);
  return true;
}

bool WriteClipboard(const std::vector<ClipboardEntry>& entries) {
  OpenedClipboard clipboard;
  if (!clipboard.IsOpen()) return false;
  if (!EmptyClipboard()) return false;
  for (const ClipboardEntry& e : entries) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, e.data.size() == 0 ? 1 : e.data.size());
    if (!block) return false;
    void* target = GlobalLock(block);
    if (!target) {
      GlobalFree(block);
      return false;
    }
    if (!e.data.empty()) std::memcpy(target, e.data.data(), e.data.size());
    GlobalUnlock(block);
    if (!SetClipboardData(e.format, block)) {
      GlobalFree(block);
      return false;
    }
  }
  return true;
}

std::wstring ClipboardKind() { return L"system"; }

}  // namespace platform
