#include "src/engine/SentenceSplitter.h"

#include "src/platform/Strings.h"

#include <cwctype>

namespace engine {
namespace {

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\x0B'; }

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\x3000' || c == L'\xA0'; }

bool IsSpace(wchar_t c) { return IsBlank(c) || IsLineEnd(c); }

bool IsFullWidthEnd(wchar_t c) { return c == L'\x3002' || c == L'\xFF01' || c == L'\xFF1F' || c == L'\xFF0E'; }

bool IsSentenceEnd(wchar_t c) { return c == L'.' || c == L'!' || c == L'?' || IsFullWidthEnd(c); }

bool IsCloser(wchar_t c) {
  switch (c) {
    case L'"': case L'\'': case L')': case L']': case L'}':
    case L'\x2019': case L'\x201D': case L'\x300D': case L'\x300F': case L'\xFF09': case L'\x3011':
      return true;
    default:
      return false;
  }
}

bool IsWordChar(wchar_t c) { return platform::IsAlphaNumeric(c); }

// The full stop at `dot` ends one of the entries, and the entry starts at a
// word boundary ("Mr." matches in "Mr. Smith" but not in "Sir. Smith" for
// an entry "r.").
bool EndsAbbreviation(const std::wstring& text, size_t dot, const std::vector<std::wstring>& abbreviations) {
  for (const std::wstring& entry : abbreviations) {
    if (entry.empty() || entry.back() != L'.') continue;
    size_t n = entry.size();
    if (n > dot + 1) continue;
    size_t begin = dot + 1 - n;
    if (text.compare(begin, n, entry) != 0) continue;
    if (begin > 0 && IsWordChar(text[begin - 1]) && IsWordChar(entry.front())) continue;
    return true;
  }
  return false;
}

// A single letter followed by a full stop inside a word sequence ("U.S.")
// or a decimal point ("3.14") is not followed by a blank, so it never cuts;
// only a mark followed by white space or the end of the text does.
bool CutsAfterMark(const std::wstring& text, size_t mark, size_t after,
                   const std::vector<std::wstring>& abbreviations) {
  wchar_t c = text[mark];
  if (IsFullWidthEnd(c)) return true;
  if (after < text.size() && !IsSpace(text[after])) return false;
  if (c == L'.' && EndsAbbreviation(text, mark, abbreviations)) return false;
  return true;
}

}  // namespace

std::vector<TextSpan> SplitIntoSentences(const std::wstring& text, const std::vector<std::wstring>& abbreviations) {
  std::vector<TextSpan> spans;
  const size_t n = text.size();
  size_t segStart = 0;
  size_t i = 0;
  auto cut = [&](size_t at) {
    if (at > segStart) spans.push_back({static_cast<std::int32_t>(segStart), static_cast<std::int32_t>(at - segStart)});
    segStart = at;
  };
  while (i < n) {
    wchar_t c = text[i];
    if (IsLineEnd(c)) {
      size_t j = i;
      while (j < n && IsLineEnd(text[j])) ++j;
      cut(j);
      i = j;
      continue;
    }
    if (IsSentenceEnd(c)) {
      size_t j = i + 1;
      while (j < n && (IsSentenceEnd(text[j]) || IsCloser(text[j]))) ++j;
      if (CutsAfterMark(text, i, j, abbreviations)) {
        // Blanks that lead to a line end stay with this sentence, so the
        // line end is not pushed to the front of the next one.
        size_t k = j;
        while (k < n && IsBlank(text[k])) ++k;
        if (k < n && IsLineEnd(text[k])) {
          while (k < n && IsLineEnd(text[k])) ++k;
          cut(k);
          i = k;
        } else {
          cut(j);
          i = j;
        }
        continue;
      }
      i = j;
      continue;
    }
    ++i;
  }
  cut(n);
  return spans;
}

bool SpansCoverText(const std::vector<TextSpan>& spans, std::int32_t textLength) {
  std::int32_t next = 0;
  for (const TextSpan& s : spans) {
    if (s.position != next || s.length <= 0) return false;
    next += s.length;
  }
  return next == textLength;
}

}  // namespace engine
