#include "src/powerpoint/ClipboardEx.h"

#include <algorithm>

#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/Log.h"

namespace powerpoint {
namespace {

// The text before the first NUL, never past the block's end.
std::string UpToNul(const std::string& data) { return data.substr(0, std::min(data.find('\0'), data.size())); }

std::wstring WideUpToNul(const std::string& data) {
  std::wstring text = platform::FromUtf16Le(std::string_view(data).substr(0, data.size() & ~std::size_t{1}));
  return text.substr(0, std::min(text.find(L'\0'), text.size()));
}

const platform::ClipboardEntry* Find(const std::vector<platform::ClipboardEntry>& entries, unsigned format) {
  for (const auto& e : entries)
    if (e.format == format) return &e;
  return nullptr;
}

std::string LocaleBlock(std::uint32_t locale) {
  std::string block(4, '\0');
  for (int i = 0; i < 4; ++i) block[static_cast<size_t>(i)] = static_cast<char>((locale >> (8 * i)) & 0xFF);
  return block;
}

unsigned CodePageOf(const std::vector<platform::ClipboardEntry>& entries, bool noLocale) {
  const platform::ClipboardEntry* locale = noLocale ? nullptr : Find(entries, platform::kCfLocale);
  // A locale block shorter than its four bytes says nothing.
  if (!locale || locale->data.size() < 4) return platform::DefaultAnsiCodePage(platform::SystemDefaultLangId());
  const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(locale->data[i])); };
  return platform::DefaultAnsiCodePage(static_cast<LANGID>(byte(0) | (byte(1) << 8)));
}

}  // namespace

ClipboardEx::ClipboardEx()
    : mHtmlFormat(platform::RegisterClipboardFormatName(L"HTML Format")),
      mRtfFormat(platform::RegisterClipboardFormatName(L"Rich Text Format")) {}

bool ClipboardEx::IsTextLike(unsigned format) const {
  switch (format) {
    case platform::kCfText:
    case platform::kCfSylk:
    case platform::kCfDif:
    case platform::kCfOemText:
    case platform::kCfUnicodeText:
    case platform::kCfLocale:
      return true;
    default:
      return format != 0 && (format == mHtmlFormat || format == mRtfFormat);
  }
}

bool ClipboardEx::SaveClipboard() {
  DiscardSaved();
  std::vector<platform::ClipboardEntry> all;
  if (!platform::ReadClipboard(&all)) {
    LOG_ERROR(mName + L":SaveClipboard", L"OpenClipboard Err");
    return false;
  }
  for (auto& e : all)
    if (IsTextLike(e.format) && !e.data.empty()) mSavedEntries.push_back(std::move(e));
  mSaved = true;
  return true;
}

bool ClipboardEx::RestoreClipboard() {
  if (!mSaved) return true;
  std::vector<platform::ClipboardEntry> now;
  bool ok = true;
  if (platform::ReadClipboard(&now)) {
    std::vector<platform::ClipboardEntry> textNow;
    for (auto& e : now)
      if (IsTextLike(e.format) && !e.data.empty()) textNow.push_back(std::move(e));
    // Unchanged: writing would only lose the formats that were not kept.
    if (textNow != mSavedEntries) ok = platform::WriteClipboard(mSavedEntries);
  } else {
    ok = platform::WriteClipboard(mSavedEntries);
  }
  if (!ok) LOG_ERROR(mName + L":RestoreClipboard", L"OpenClipboard Err");
  DiscardSaved();
  return ok;
}

void ClipboardEx::DiscardSaved() {
  mSavedEntries.clear();
  mSaved = false;
}

bool ClipboardEx::EmptyClipboard() { return platform::WriteClipboard({}); }

std::wstring ClipboardEx::GetText(unsigned format, bool noLocale) {
  std::vector<platform::ClipboardEntry> all;
  if (!platform::ReadClipboard(&all)) return {};
  if (format == kRtfStandIn) format = mRtfFormat;
  if (format == 0 || format == platform::kCfUnicodeText) {
    if (const auto* e = Find(all, platform::kCfUnicodeText)) return WideUpToNul(e->data);
    if (format != 0) return {};
    const auto* ansi = Find(all, platform::kCfText);
    if (!ansi) return {};
    std::wstring text;
    if (!platform::MultiByteToWide(CodePageOf(all, noLocale), UpToNul(ansi->data), &text)) return {};
    return text;
  }
  const auto* e = Find(all, format);
  if (!e) return {};
  std::wstring text;
  platform::MultiByteToWide(format == mRtfFormat ? 1252u : 65001u, UpToNul(e->data), &text);
  return text;
}

bool ClipboardEx::SetText(const std::wstring& text, unsigned format, std::uint32_t locale) {
  if (format == kRtfStandIn) format = mRtfFormat;
  const unsigned codePage =
      locale != 0 ? platform::DefaultAnsiCodePage(static_cast<LANGID>(locale & 0xFFFF))
                  : platform::DefaultAnsiCodePage(platform::SystemDefaultLangId());
  std::string ansi;
  platform::WideToMultiByte(codePage, text, &ansi);
  ansi.push_back('\0');
  std::vector<platform::ClipboardEntry> entries;
  if (format == 0 || format == platform::kCfUnicodeText) {
    std::string wide = platform::ToUtf16Le(text);
    wide.append(2, '\0');
    entries.push_back({platform::kCfUnicodeText, std::move(wide)});
    if (format == 0) {
      entries.push_back({platform::kCfText, ansi});
      entries.push_back({platform::kCfOemText, ansi});
      if (locale != 0) entries.push_back({platform::kCfLocale, LocaleBlock(locale)});
    }
  } else {
    entries.push_back({format, ansi});
    if (locale != 0 && format != mRtfFormat) entries.push_back({platform::kCfLocale, LocaleBlock(locale)});
  }
  return platform::WriteClipboard(entries);
}

}  // namespace powerpoint
