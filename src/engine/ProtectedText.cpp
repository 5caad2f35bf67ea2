#include "src/engine/ProtectedText.h"

#include <algorithm>
#include <cwchar>
#include <regex>
#include <string_view>

#include "src/platform/Strings.h"

namespace engine {

namespace {

// Addresses end where a sentence goes on: punctuation after them belongs to
// the sentence, a closing bracket only when the address did not open one.
std::int32_t TrimEnd(const std::wstring& text, std::int32_t start, std::int32_t end) {
  while (end > start) {
    wchar_t c = text[end - 1];
    if (c == L')' && std::count(text.begin() + start, text.begin() + end, L'(') >
                         std::count(text.begin() + start, text.begin() + end - 1, L')')) {
      break;
    }
    if (std::wstring_view(L".,;:!?'\")]}>").find(c) == std::wstring_view::npos) break;
    --end;
  }
  return end;
}

bool IsWord(wchar_t c) { return platform::IsAlphaNumeric(c); }

struct Pattern {
  std::wregex expression;
  bool trims;  // trailing punctuation belongs to the sentence
  // Characters that may stand right before a match (besides blanks and the
  // start); empty: anything but a letter or digit.
  const wchar_t* after;
  // Every match holds one of these: a text without any is not searched,
  // which is most texts, and the expressions are the costly part.
  std::vector<std::wstring_view> needs;
  bool MayMatch(std::wstring_view text) const {
    return std::any_of(needs.begin(), needs.end(), [&](std::wstring_view n) { return text.find(n) != text.npos; });
  }
};

const std::vector<Pattern>& Patterns() {
  static const std::vector<Pattern> patterns = [] {
    auto make = [](const wchar_t* re) { return std::wregex(re, std::regex::ECMAScript | std::regex::optimize); };
    std::vector<Pattern> p;
    p.push_back({make(L"(?:[A-Za-z][A-Za-z0-9+.\\-]*://|www\\.)[^\\s<>\"]+"), true, nullptr, {L"://", L"www."}});
    p.push_back(
        {make(L"(?:mailto:)?[A-Za-z0-9._%+\\-]+@[A-Za-z0-9\\-]+(?:\\.[A-Za-z0-9\\-]+)+"), false, nullptr, {L"@"}});
    p.push_back({make(L"[A-Za-z]:\\\\[^\\s<>\"|*?]*"), true, nullptr, {L":\\"}});
    p.push_back({make(L"\\\\\\\\[A-Za-z0-9._$\\-]+(?:\\\\[^\\s<>\"|*?]*)?"), true, nullptr, {L"\\\\"}});
    // A path of at least two folders, so that "and/or" and "km/h" stay words.
    p.push_back({make(L"/[A-Za-z0-9._~\\-]+(?:/[A-Za-z0-9._~\\-]+)+/?"), true, L"(\"'", {L"/"}});
    return p;
  }();
  return patterns;
}

void AddAddresses(const std::wstring& text, std::vector<ProtectedSpan>* out) {
  for (const Pattern& pattern : Patterns()) {
    if (!pattern.MayMatch(text)) continue;
    for (std::wsregex_iterator it(text.begin(), text.end(), pattern.expression), end; it != end; ++it) {
      auto start = static_cast<std::int32_t>(it->position());
      auto stop = start + static_cast<std::int32_t>(it->length());
      if (start > 0) {
        wchar_t before = text[start - 1];
        bool fits = pattern.after ? (platform::IsWhiteSpace(before) || std::wcschr(pattern.after, before))
                                  : !IsWord(before) && before != L'.' && before != L'@';
        if (!fits) continue;
      }
      if (pattern.trims) stop = TrimEnd(text, start, stop);
      if (stop > start) out->push_back({start, stop - start, std::nullopt, false});
    }
  }
}

void AddTerms(const std::wstring& text, const std::vector<options::GlossaryTerm>& glossary,
              std::vector<ProtectedSpan>* out) {
  for (const options::GlossaryTerm& term : glossary) {
    const std::wstring& s = term.Source;
    if (s.empty()) continue;
    for (size_t at = text.find(s); at != std::wstring::npos; at = text.find(s, at + 1)) {
      size_t after = at + s.size();
      if (IsWord(s.front()) && at > 0 && IsWord(text[at - 1])) continue;
      if (IsWord(s.back()) && after < text.size() && IsWord(text[after])) continue;
      std::optional<std::wstring> target;
      if (!term.Target.empty()) target = term.Target;
      out->push_back({static_cast<std::int32_t>(at), static_cast<std::int32_t>(s.size()), target, false});
    }
  }
}

// Earlier first, longer first where two start together; then every span
// that overlaps one taken before is dropped.
std::vector<ProtectedSpan> TakeInOrder(std::vector<ProtectedSpan> spans) {
  std::stable_sort(spans.begin(), spans.end(), [](const ProtectedSpan& a, const ProtectedSpan& b) {
    return a.position != b.position ? a.position < b.position : a.length > b.length;
  });
  std::vector<ProtectedSpan> out;
  for (ProtectedSpan& s : spans) {
    if (s.length <= 0) continue;
    if (!out.empty() && s.position < out.back().position + out.back().length) continue;
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace

std::vector<ProtectedSpan> FindProtectedSpans(const std::wstring& text,
                                              const std::vector<options::GlossaryTerm>& glossary) {
  std::vector<ProtectedSpan> spans;
  AddAddresses(text, &spans);
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsPlaceholder(text[i])) spans.push_back({static_cast<std::int32_t>(i), 1, std::nullopt, false});
  }
  AddTerms(text, glossary, &spans);
  return TakeInOrder(std::move(spans));
}

std::vector<ProtectedSpan> MergeProtectedSpans(std::vector<ProtectedSpan> held, std::vector<ProtectedSpan> found) {
  held = TakeInOrder(std::move(held));
  std::erase_if(found, [&](const ProtectedSpan& f) {
    return std::any_of(held.begin(), held.end(), [&](const ProtectedSpan& h) {
      return f.position < h.position + h.length && h.position < f.position + f.length;
    });
  });
  for (ProtectedSpan& f : found) held.push_back(std::move(f));
  return TakeInOrder(std::move(held));
}

}  // namespace engine
