#include "src/options/Glossary.h"

#include <map>

#include "src/platform/Files.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace options {

namespace {

// Far beyond any list of terms a person keeps; a bigger file is a wrong path.
constexpr std::size_t kMaxGlossaryBytes = 16 * 1024 * 1024;

std::wstring_view TrimBlanks(std::wstring_view text) {
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\x3000' || c == L'\xA0'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

GlossaryRead Bad(std::size_t line, const std::wstring& why) {
  GlossaryRead r;
  r.failure = L"line " + std::to_wstring(line) + L" " + why;
  return r;
}

}  // namespace

GlossaryRead ParseGlossary(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  GlossaryRead result;
  std::map<std::wstring, std::size_t> seen;  // term -> its line
  std::size_t number = 0;
  while (!bytes.empty()) {
    ++number;
    const std::size_t end = bytes.find('\n');
    std::string_view raw = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    const std::wstring line = platform::FromUtf8(raw);
    if (platform::ToUtf8(line) != raw || line.find(L'\0') != std::wstring::npos) {
      return Bad(number, L"is not UTF-8 text");
    }
    const std::wstring_view text = TrimBlanks(line);
    if (text.empty() || text.front() == L'#') continue;
    const std::size_t tab = text.find(L'\t');
    if (tab == std::wstring_view::npos) {
      return Bad(number, L"has no tab between the term and its translation");
    }
    if (text.find(L'\t', tab + 1) != std::wstring_view::npos) return Bad(number, L"has more than one tab");
    GlossaryTerm term{std::wstring(TrimBlanks(text.substr(0, tab))), std::wstring(TrimBlanks(text.substr(tab + 1)))};
    if (term.Source.empty()) return Bad(number, L"has no term before its tab");
    auto [at, added] = seen.emplace(term.Source, number);
    if (!added) return Bad(number, L"repeats the term of line " + std::to_wstring(at->second));
    result.terms.push_back(std::move(term));
  }
  result.ok = true;
  return result;
}

GlossaryRead ReadGlossary(const std::wstring& path) {
  std::string bytes;
  const DWORD rc = platform::CurrentFiles().ReadFile(path, kMaxGlossaryBytes, &bytes);
  GlossaryRead result;
  if (rc != ERROR_SUCCESS) {
    std::wstring why;
    switch (rc) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: why = L"there is no such file"; break;
      case ERROR_FILE_TOO_LARGE: why = L"the file is too large for a glossary"; break;
      default: {
        why = platform::SystemErrorText(rc);
        while (!why.empty() && (why.back() == L'\n' || why.back() == L'\r' || why.back() == L'.')) why.pop_back();
        if (why.empty()) why = L"error " + std::to_wstring(rc);
      }
    }
    result.failure = path + L": " + why;
    return result;
  }
  result = ParseGlossary(bytes);
  if (!result.ok) result.failure = path + L": " + result.failure;
  return result;
}

}  // namespace options
