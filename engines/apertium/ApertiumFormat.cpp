#include "engines/apertium/ApertiumFormat.h"

#include <algorithm>
#include <cwctype>
#include <map>

#include "src/platform/Strings.h"

namespace apertium {

using engine_server::TextRange;
using engine_server::WordCorrespondence;

namespace {

// The end marker, "[\\[pelorant-end-N\\]]" with the request's number N: an
// escaped text no deformatted source can contain, since every "[" of the
// source is escaped and so never opens a superblank.
constexpr char kMarkerStart[] = "[\\[pelorant-end-";
constexpr char kMarkerEnd[] = "\\]]";
constexpr char kTerminator[] = ".[]";

bool IsWordChar(wchar_t c) { return platform::IsAlphaNumeric(c); }

bool IsReserved(wchar_t c) {
  switch (c) {
    case L'[': case L']': case L'^': case L'$': case L'/': case L'\\':
    case L'@': case L'<': case L'>': case L'{': case L'}':
      return true;
    default:
      return false;
  }
}

void AppendEscaped(std::wstring* out, wchar_t c) {
  // NUL ends a chunk in the pipeline's protocol; it cannot travel.
  if (c == 0) return;
  if (c < 0x20 || c == 0x7F || (c >= 0xE000 && c <= 0xF8FF)) {
    // A control character is formatting, not text; a Private Use Area
    // character stands for text the client keeps out of the translation,
    // and a superblank stays at its place in the sentence.
    out->push_back(L'[');
    out->push_back(c);
    out->push_back(L']');
    return;
  }
  if (IsReserved(c)) out->push_back(L'\\');
  out->push_back(c);
}

}  // namespace

std::vector<SourceWord> FindWords(const std::wstring& text) {
  std::vector<SourceWord> words;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (!IsWordChar(text[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < n) {
      if (IsWordChar(text[i])) {
        ++i;
      } else if ((text[i] == L'\'' || text[i] == L'-') && i + 1 < n && IsWordChar(text[i + 1])) {
        i += 2;
      } else {
        break;
      }
    }
    words.push_back({static_cast<LONG>(start), static_cast<LONG>(i - start)});
  }
  return words;
}

std::string EndMarker(std::uint64_t request) {
  return kMarkerStart + std::to_string(request) + kMarkerEnd;
}

std::string Deformat(const std::wstring& text, const std::vector<SourceWord>* words, std::uint64_t request) {
  std::wstring out;
  out.reserve(text.size() + 32);
  size_t next = 0;  // index of the next word to open
  for (size_t i = 0; i < text.size(); ++i) {
    if (words && next < words->size() && static_cast<LONG>(i) == (*words)[next].position) {
      out += L"[[w:" + std::to_wstring(next) + L"]]";
    }
    AppendEscaped(&out, text[i]);
    if (words && next < words->size() &&
        static_cast<LONG>(i + 1) == (*words)[next].position + (*words)[next].length) {
      out += L"[[/]]";
      ++next;
    }
  }
  return platform::ToUtf8(out) + EndMarker(request) + kTerminator;
}

Reformatted Reformat(const std::string& chunk, size_t wordCount, std::uint64_t request) {
  Reformatted r;
  r.wordRanges.resize(wordCount);
  const std::string start = kMarkerStart;
  size_t end = chunk.find(start);
  if (end != std::string::npos) {
    // One answer holds one marker, and only this request's.
    size_t digits = end + start.size();
    size_t after = chunk.find_first_not_of("0123456789", digits);
    bool wellFormed = after != std::string::npos && after > digits && chunk.compare(after, 3, kMarkerEnd) == 0;
    r.complete = wellFormed && chunk.substr(digits, after - digits) == std::to_string(request) &&
                 chunk.find(start, after) == std::string::npos;
    r.outOfStep = !r.complete;
  }
  std::wstring in = platform::FromUtf8(chunk.substr(0, r.complete ? end : chunk.size()));

  long openWord = -1;
  LONG openStart = 0;
  size_t i = 0;
  while (i < in.size()) {
    wchar_t c = in[i];
    if (c == L'\\' && i + 1 < in.size()) {
      r.text.push_back(in[i + 1]);
      i += 2;
    } else if (c == L'[' && i + 1 < in.size() && in[i + 1] == L'[') {
      size_t close = in.find(L"]]", i + 2);
      if (close == std::wstring::npos) break;
      std::wstring tag = in.substr(i + 2, close - i - 2);
      if (tag == L"/") {
        if (openWord >= 0) {
          LONG len = static_cast<LONG>(r.text.size()) - openStart;
          if (len > 0) r.wordRanges[openWord].push_back({openStart, len});
        }
        openWord = -1;
      } else if (tag.rfind(L"w:", 0) == 0) {
        try {
          long idx = std::stol(tag.substr(2));
          openWord = (idx >= 0 && static_cast<size_t>(idx) < wordCount) ? idx : -1;
        } catch (...) {
          openWord = -1;
        }
        openStart = static_cast<LONG>(r.text.size());
      }
      i = close + 2;
    } else if (c == L'[') {
      // A superblank: its content is formatting that belongs to the text.
      size_t j = i + 1;
      while (j < in.size() && in[j] != L']') {
        if (in[j] == L'\\' && j + 1 < in.size()) ++j;
        r.text.push_back(in[j]);
        ++j;
      }
      i = j + 1;
    } else {
      r.text.push_back(c);
      ++i;
    }
  }
  return r;
}

void TrimAddedBlanks(const std::wstring& source, Reformatted* r) {
  auto leadingBlanks = [](const std::wstring& t) {
    size_t n = 0;
    while (n < t.size() && t[n] == L' ') ++n;
    return n;
  };
  auto trailingBlanks = [](const std::wstring& t) {
    size_t n = 0;
    while (n < t.size() && t[t.size() - 1 - n] == L' ') ++n;
    return n;
  };
  size_t lead = leadingBlanks(r->text);
  size_t keepLead = std::min(lead, leadingBlanks(source));
  size_t cut = lead - keepLead;
  if (cut > 0) {
    r->text.erase(0, cut);
    for (auto& ranges : r->wordRanges) {
      for (auto& range : ranges) {
        LONG end = std::max<LONG>(range.position + range.length - static_cast<LONG>(cut), 0);
        range.position = std::max<LONG>(range.position - static_cast<LONG>(cut), 0);
        range.length = end - range.position;
      }
    }
  }
  size_t trail = trailingBlanks(r->text);
  size_t keepTrail = std::min(trail, trailingBlanks(source));
  if (trail > keepTrail) {
    r->text.resize(r->text.size() - (trail - keepTrail));
    const LONG size = static_cast<LONG>(r->text.size());
    for (auto& ranges : r->wordRanges) {
      for (auto& range : ranges) {
        range.position = std::min(range.position, size);
        range.length = std::min(range.length, size - range.position);
      }
    }
  }
  for (auto& ranges : r->wordRanges) {
    std::erase_if(ranges, [](const TextRange& range) { return range.length <= 0; });
  }
}

std::vector<WordCorrespondence> CorrespondenceGroups(const std::vector<SourceWord>& words,
                                                    const Reformatted& reformatted) {
  std::vector<WordCorrespondence> groups;
  for (size_t w = 0; w < words.size() && w < reformatted.wordRanges.size(); ++w) {
    const auto& ranges = reformatted.wordRanges[w];
    if (ranges.empty()) continue;
    WordCorrespondence g;
    g.source.push_back({words[w].position, words[w].length});
    for (size_t k = 0; k < ranges.size() && k < 8; ++k) g.translation.push_back(ranges[k]);
    groups.push_back(std::move(g));
  }
  return groups;
}

namespace {

struct Language {
  const wchar_t* three;
  const wchar_t* two;
  const wchar_t* name;
};

const Language kLanguages[] = {
    {L"afr", L"af", L"Afrikaans"},  {L"ara", L"ar", L"Arabic"},      {L"arg", L"an", L"Aragonese"},
    {L"bel", L"be", L"Belarusian"}, {L"bre", L"br", L"Breton"},      {L"bul", L"bg", L"Bulgarian"},
    {L"cat", L"ca", L"Catalan"},    {L"ces", L"cs", L"Czech"},       {L"cym", L"cy", L"Welsh"},
    {L"dan", L"da", L"Danish"},     {L"deu", L"de", L"German"},      {L"ell", L"el", L"Greek"},
    {L"eng", L"en", L"English"},    {L"epo", L"eo", L"Esperanto"},   {L"est", L"et", L"Estonian"},
    {L"eus", L"eu", L"Basque"},     {L"fin", L"fi", L"Finnish"},     {L"fra", L"fr", L"French"},
    {L"gle", L"ga", L"Irish"},      {L"glg", L"gl", L"Galician"},    {L"heb", L"he", L"Hebrew"},
    {L"hin", L"hi", L"Hindi"},      {L"hrv", L"hr", L"Croatian"},    {L"hun", L"hu", L"Hungarian"},
    {L"ind", L"id", L"Indonesian"}, {L"isl", L"is", L"Icelandic"},   {L"ita", L"it", L"Italian"},
    {L"jpn", L"ja", L"Japanese"},   {L"kaz", L"kk", L"Kazakh"},      {L"kor", L"ko", L"Korean"},
    {L"lav", L"lv", L"Latvian"},    {L"lit", L"lt", L"Lithuanian"},  {L"mkd", L"mk", L"Macedonian"},
    {L"mlt", L"mt", L"Maltese"},    {L"msa", L"ms", L"Malay"},       {L"nld", L"nl", L"Dutch"},
    {L"nno", L"nn", L"Norwegian Nynorsk"}, {L"nob", L"nb", L"Norwegian Bokmål"},
    {L"oci", L"oc", L"Occitan"},    {L"pol", L"pl", L"Polish"},      {L"por", L"pt", L"Portuguese"},
    {L"ron", L"ro", L"Romanian"},   {L"rus", L"ru", L"Russian"},     {L"slk", L"sk", L"Slovak"},
    {L"slv", L"sl", L"Slovenian"},  {L"spa", L"es", L"Spanish"},     {L"srp", L"sr", L"Serbian"},
    {L"swe", L"sv", L"Swedish"},    {L"tat", L"tt", L"Tatar"},       {L"tur", L"tr", L"Turkish"},
    {L"ukr", L"uk", L"Ukrainian"},  {L"urd", L"ur", L"Urdu"},        {L"zho", L"zh", L"Chinese"},
};

const Language* FindLanguage(const std::wstring& three) {
  for (const auto& l : kLanguages) {
    if (platform::EqualsNoCase(three, l.three)) return &l;
  }
  return nullptr;
}

}  // namespace

std::wstring LanguageCode(const std::wstring& apertiumCode) {
  size_t sep = apertiumCode.find(L'_');
  std::wstring base = apertiumCode.substr(0, sep);
  std::wstring variant = sep == std::wstring::npos ? L"" : apertiumCode.substr(sep + 1);
  const Language* l = FindLanguage(base);
  std::wstring code = l ? l->two : platform::AsciiLower(base);
  if (!variant.empty()) code += L"-" + platform::AsciiLower(variant);
  return code;
}

std::wstring LanguageName(const std::wstring& apertiumCode) {
  size_t sep = apertiumCode.find(L'_');
  std::wstring base = apertiumCode.substr(0, sep);
  const Language* l = FindLanguage(base);
  std::wstring name = l ? l->name : apertiumCode;
  if (l && sep != std::wstring::npos) name += L" (" + apertiumCode.substr(sep + 1) + L")";
  return name;
}

}  // namespace apertium
