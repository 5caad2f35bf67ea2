#include "engines/apertium/ApertiumFormat.h"

#include <algorithm>

#include "src/platform/Strings.h"

namespace apertium {

namespace {

// "^surface/analysis1/analysis2$" units of a stream, each split at its
// unescaped "/".
std::vector<std::vector<std::wstring>> LexicalUnits(const std::wstring& stream) {
  std::vector<std::vector<std::wstring>> units;
  size_t i = 0;
  while (i < stream.size()) {
    if (stream[i] == L'\\') {
      i += 2;
      continue;
    }
    if (stream[i] != L'^') {
      ++i;
      continue;
    }
    std::vector<std::wstring> parts(1);
    ++i;
    while (i < stream.size() && stream[i] != L'$') {
      if (stream[i] == L'\\' && i + 1 < stream.size()) {
        parts.back().push_back(stream[i + 1]);
        i += 2;
        continue;
      }
      if (stream[i] == L'/') {
        parts.emplace_back();
      } else {
        parts.back().push_back(stream[i]);
      }
      ++i;
    }
    ++i;
    units.push_back(std::move(parts));
  }
  return units;
}

// "casa<n><f><sg>" to "casa (n f)": the lemma, its part of speech and,
// for a dictionary reader, its gender; inflection tags are left out.
std::wstring Readable(const std::wstring& analysis) {
  size_t lt = analysis.find(L'<');
  std::wstring out = analysis.substr(0, lt);
  // "#" marks where a multiword's invariable part joins; readers want "get married".
  std::erase(out, L'#');
  std::wstring shown;
  bool first = true;
  while (lt != std::wstring::npos) {
    size_t gt = analysis.find(L'>', lt);
    if (gt == std::wstring::npos) break;
    std::wstring tag = analysis.substr(lt + 1, gt - lt - 1);
    if (first || tag == L"m" || tag == L"f" || tag == L"mf" || tag == L"nt") {
      if (!shown.empty()) shown += L" ";
      shown += tag;
    }
    first = false;
    lt = analysis.find(L'<', gt);
  }
  if (!shown.empty()) out += L" (" + shown + L")";
  return out;
}

std::wstring Escape(const std::wstring& word) {
  std::wstring out;
  for (wchar_t c : word) {
    if (c < 0x20) continue;
    if (std::wstring(L"[]^$/\\@<>{}").find(c) != std::wstring::npos) out.push_back(L'\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::string DictionaryWord(const std::wstring& word) { return platform::ToUtf8(Escape(word)); }

std::string DictionaryQuery(const std::string& analysed) {
  // Only a word the analyser knows as a whole is looked up.
  auto units = LexicalUnits(platform::FromUtf8(analysed));
  std::wstring query;
  if (units.size() == 1) {
    for (size_t i = 1; i < units[0].size(); ++i) {
      const std::wstring& a = units[0][i];
      if (a.empty() || a[0] == L'*') continue;
      query += L"^" + Escape(a.substr(0, a.find(L'<'))) + a.substr(a.find(L'<') == std::wstring::npos ? a.size() : a.find(L'<')) + L"$ ";
    }
  }
  return platform::ToUtf8(query);
}

std::wstring DictionaryText(const std::string& translated) {
  // One line per source reading, its translations merged in order.
  std::vector<std::pair<std::wstring, std::vector<std::wstring>>> entries;
  for (const auto& unit : LexicalUnits(platform::FromUtf8(translated))) {
    std::wstring label = Readable(unit[0]);
    auto entry = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == label; });
    for (size_t i = 1; i < unit.size(); ++i) {
      if (unit[i].empty() || unit[i][0] == L'@') continue;
      if (entry == entries.end()) {
        entries.push_back({label, {}});
        entry = entries.end() - 1;
      }
      std::wstring t = Readable(unit[i]);
      if (std::find(entry->second.begin(), entry->second.end(), t) == entry->second.end()) entry->second.push_back(t);
    }
  }
  std::wstring text;
  for (const auto& [label, targets] : entries) {
    text += (text.empty() ? L"" : L"\r\n") + label + L": ";
    for (size_t i = 0; i < targets.size(); ++i) text += (i ? L", " : L"") + targets[i];
  }
  return text;
}

}  // namespace apertium
