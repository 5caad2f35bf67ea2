#include "src/platform/ProfileDocument.h"

#include "src/platform/Strings.h"

namespace platform {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == L'\v'; }

std::wstring Trim(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::wstring(s.substr(b, e - b));
}

// The section name of a header line ("[name]"), or false.
bool HeaderName(const std::wstring& line, std::wstring* name) {
  std::wstring t = Trim(line);
  if (t.empty() || t[0] != L'[') return false;
  size_t close = t.rfind(L']');
  if (close == std::wstring::npos || close == 0) close = t.size();
  *name = Trim(std::wstring_view(t).substr(1, close - 1));
  return true;
}

// An entry line as the profile functions hand it over, or false for blank
// lines and comments.
bool EntryText(const std::wstring& line, std::wstring* entry, std::wstring* key) {
  std::wstring t = Trim(line);
  if (t.empty() || t[0] == L';') return false;
  size_t eq = t.find(L'=');
  if (eq == std::wstring::npos) {
    *key = t;
    *entry = t;
  } else {
    *key = Trim(std::wstring_view(t).substr(0, eq));
    *entry = *key + L"=" + Trim(std::wstring_view(t).substr(eq + 1));
  }
  return true;
}

std::string SwapPairs(std::string_view bytes) {
  std::string out(bytes);
  for (size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  return out;
}

}  // namespace

ProfileDocument::ProfileDocument() = default;

ProfileDocument ProfileDocument::Parse(std::string_view bytes, bool* lossless) {
  ProfileDocument doc;
  std::wstring text;
  bool exact = true;
  auto starts = [&](std::string_view bom) { return bytes.substr(0, bom.size()) == bom; };
  if (starts("\xFF\xFE")) {
    doc.mEncoding = Encoding::Utf16Le;
    std::string_view body = bytes.substr(2);
    text = FromUtf16Le(body);
    exact = body.size() % 2 == 0 && ToUtf16Le(text) == body;
  } else if (starts("\xFE\xFF")) {
    doc.mEncoding = Encoding::Utf16Be;
    std::string body = SwapPairs(bytes.substr(2));
    text = FromUtf16Le(body);
    exact = body.size() % 2 == 0 && ToUtf16Le(text) == body;
  } else {
    std::string_view body = bytes;
    if (starts("\xEF\xBB\xBF")) {
      doc.mEncoding = Encoding::Utf8Bom;
      body = bytes.substr(3);
    }
    text = FromUtf8(body);
    exact = ToUtf8(text) == body;
  }
  // Entries travel NUL-terminated: a NUL inside a line would come back as
  // two entries, and a rewrite would store them so.
  if (lossless) *lossless = exact && text.find(L'\0') == std::wstring::npos;

  size_t firstLf = text.find(L'\n');
  if (firstLf != std::wstring::npos) doc.mNewline = firstLf > 0 && text[firstLf - 1] == L'\r' ? L"\r\n" : L"\n";
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find(L'\n', start);
    size_t end = lf == std::wstring::npos ? text.size() : lf;
    size_t cut = end > start && text[end - 1] == L'\r' ? end - 1 : end;
    doc.mLines.push_back(text.substr(start, cut - start));
    if (lf == std::wstring::npos) break;
    start = lf + 1;
  }
  return doc;
}

std::string ProfileDocument::Serialize() const {
  std::wstring text;
  for (const auto& line : mLines) text += line + mNewline;
  switch (mEncoding) {
    case Encoding::Utf8: return ToUtf8(text);
    case Encoding::Utf8Bom: return "\xEF\xBB\xBF" + ToUtf8(text);
    case Encoding::Utf16Le: return "\xFF\xFE" + ToUtf16Le(text);
    case Encoding::Utf16Be: return "\xFE\xFF" + SwapPairs(ToUtf16Le(text));
  }
  return std::string();
}

size_t ProfileDocument::FindSection(const std::wstring& section) const {
  std::wstring name;
  for (size_t i = 0; i < mLines.size(); ++i) {
    if (HeaderName(mLines[i], &name) && EqualsNoCase(name, section)) return i;
  }
  return std::wstring::npos;
}

size_t ProfileDocument::SectionEnd(size_t h) const {
  std::wstring name;
  size_t i = h + 1;
  while (i < mLines.size() && !HeaderName(mLines[i], &name)) ++i;
  return i;
}

std::vector<std::wstring> ProfileDocument::SectionEntries(const std::wstring& section) const {
  std::vector<std::wstring> entries;
  size_t h = FindSection(section);
  if (h == std::wstring::npos) return entries;
  std::wstring entry, key;
  for (size_t i = h + 1, end = SectionEnd(h); i < end; ++i) {
    if (EntryText(mLines[i], &entry, &key)) entries.push_back(entry);
  }
  return entries;
}

void ProfileDocument::ReplaceSection(const std::wstring& section, const std::vector<std::wstring>& lines) {
  size_t h = FindSection(section);
  if (h == std::wstring::npos) {
    mLines.push_back(L"[" + section + L"]");
    mLines.insert(mLines.end(), lines.begin(), lines.end());
    return;
  }
  size_t end = SectionEnd(h);
  // Blank lines that separate this section from the next one stay.
  size_t keepFrom = end;
  while (keepFrom > h + 1 && Trim(mLines[keepFrom - 1]).empty()) --keepFrom;
  mLines.erase(mLines.begin() + h + 1, mLines.begin() + keepFrom);
  mLines.insert(mLines.begin() + h + 1, lines.begin(), lines.end());
}

void ProfileDocument::SetKey(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  const std::wstring line = key + L"=" + value;
  size_t h = FindSection(section);
  if (h == std::wstring::npos) {
    mLines.push_back(L"[" + section + L"]");
    mLines.push_back(line);
    return;
  }
  size_t end = SectionEnd(h);
  std::wstring entry, name;
  size_t lastEntry = h;
  for (size_t i = h + 1; i < end; ++i) {
    if (!EntryText(mLines[i], &entry, &name)) {
      if (!Trim(mLines[i]).empty()) lastEntry = i;
      continue;
    }
    if (EqualsNoCase(name, key)) {
      // The key keeps the spelling it already has, as Windows keeps it.
      mLines[i] = name + L"=" + value;
      return;
    }
    lastEntry = i;
  }
  mLines.insert(mLines.begin() + lastEntry + 1, line);
}

DWORD CopyProfileEntries(const std::vector<std::wstring>& entries, wchar_t* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = L'\0';
    return 0;
  }
  size_t needed = 1;
  for (const auto& e : entries) needed += e.size() + 1;
  if (needed <= size) {
    DWORD pos = 0;
    for (const auto& e : entries) {
      for (wchar_t c : e) buffer[pos++] = c;
      buffer[pos++] = L'\0';
    }
    buffer[pos] = L'\0';
    return pos;
  }
  // Cut: fill up to the last two characters, which end the list.
  const DWORD limit = size - 2;
  DWORD pos = 0;
  for (const auto& e : entries) {
    for (wchar_t c : e) {
      if (pos >= limit) break;
      buffer[pos++] = c;
    }
    if (pos >= limit) break;
    buffer[pos++] = L'\0';
  }
  buffer[size - 2] = L'\0';
  buffer[size - 1] = L'\0';
  return limit;
}

std::vector<std::wstring> SplitProfileBlock(const std::wstring& block) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < block.size()) {
    size_t nul = block.find(L'\0', start);
    size_t end = nul == std::wstring::npos ? block.size() : nul;
    if (end == start) break;  // an empty line ends the list
    lines.push_back(block.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace platform
