// The file format of a scripted fake engine side, for runs of the program:
// UTF-8 text, one directive per line, fields separated by TAB characters,
// blank lines and lines starting with "#" ignored.
//
//   implementation  NAME
//   pair            ENGINEID  FROM  TO  FLAGS  DISPLAYNAME  PRODUCTNAME  PRODUCTNAMESHORT
//   translation     SOURCE  TRANSLATION
//   dictionary      WORD  TEXT
//   request         OPERATION  STATUS  ERRORCODE  DELAYMS  [TIMES]
//   callfail        OPERATION  HRESULT  [TIMES]
//   transform       uppercase | bracket
//
// transform says what texts without a translation line become: upper case
// (the default) or the source between "⟦" and "⟧".
// pair, translation, dictionary, request, callfail and transform apply to the
// implementation named last. FLAGS and HRESULT take decimal or 0x hex.
// STATUS is 1, 2, 3, or "hang" (the request runs until cancelled).
// OPERATION is one of: listing, open, info, translate, lookup, split,
// settingsdialog, dictionarydialog, properties, implementation,
// displaylanguage.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engines/fake/FakeEngine.h"
#include "src/platform/Strings.h"

namespace fake_engine {
namespace detail {
void RegisterForProcess(std::shared_ptr<FakeImplementation> impl);
}

namespace {

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find(L'\t', start);
    fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
    if (tab == std::wstring::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool ParseNumber(const std::wstring& text, long long* out) {
  if (text.empty()) return false;
  std::string narrow = platform::ToUtf8(text);
  char* end = nullptr;
  long long v = std::strtoll(narrow.c_str(), &end, 0);
  if (!end || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseOperation(const std::wstring& name, Operation* op) {
  static const std::pair<const wchar_t*, Operation> kNames[] = {
      {L"listing", Operation::GetEngineList},   {L"open", Operation::GetEngine},
      {L"info", Operation::Info},               {L"translate", Operation::Translate},
      {L"lookup", Operation::LookupDictionary}, {L"split", Operation::SplitSentences},
      {L"settingsdialog", Operation::SettingsDialog}, {L"dictionarydialog", Operation::DictionaryDialog},
      {L"properties", Operation::Properties},   {L"implementation", Operation::SetImplementation},
      {L"displaylanguage", Operation::SetDisplayLanguage},
  };
  for (const auto& [n, o] : kNames) {
    if (platform::EqualsNoCase(name, n)) {
      *op = o;
      return true;
    }
  }
  return false;
}

}  // namespace

bool RegisterFromFile(const std::string& path, std::wstring* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = L"cannot read fake engine script " + platform::FromUtf8(path);
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::wstring text = platform::FromUtf8(buffer.str());

  std::vector<std::shared_ptr<FakeImplementation>> parsed;
  auto fail = [&](int lineNo, const std::wstring& why) {
    if (error) {
      *error = platform::FromUtf8(path) + L":" + std::to_wstring(lineNo) + L": " + why;
    }
    return false;
  };

  std::wistringstream lines(text);
  std::wstring line;
  int lineNo = 0;
  while (std::getline(lines, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.empty() || line[0] == L'#') continue;
    auto f = SplitTabs(line);
    const std::wstring& what = f[0];
    if (what == L"implementation") {
      if (f.size() != 2 || f[1].empty()) return fail(lineNo, L"implementation needs a name");
      parsed.push_back(std::make_shared<FakeImplementation>(f[1]));
      continue;
    }
    if (parsed.empty()) return fail(lineNo, L"\"" + what + L"\" before any implementation");
    FakeImplementation& impl = *parsed.back();
    if (what == L"pair") {
      long long flags = 0;
      if (f.size() != 8 || !ParseNumber(f[4], &flags)) return fail(lineNo, L"pair needs 7 fields");
      FakePair p;
      p.engineId = f[1];
      p.fromLang = f[2];
      p.toLang = f[3];
      p.flags = static_cast<LONG>(flags);
      p.displayName = f[5];
      p.productName = f[6];
      p.productNameShort = f[7];
      impl.AddPair(std::move(p));
    } else if (what == L"translation") {
      if (f.size() != 3) return fail(lineNo, L"translation needs a source and a translation");
      impl.SetTranslation(f[1], f[2]);
    } else if (what == L"dictionary") {
      if (f.size() != 3) return fail(lineNo, L"dictionary needs a word and a text");
      impl.AddDictionaryEntry(f[1], f[2]);
    } else if (what == L"request") {
      Operation op;
      long long code = 0, delay = 0, times = -1, status = 0;
      if (f.size() < 5 || f.size() > 6 || !ParseOperation(f[1], &op) || !ParseNumber(f[3], &code) ||
          !ParseNumber(f[4], &delay) || (f.size() == 6 && !ParseNumber(f[5], &times))) {
        return fail(lineNo, L"request needs OPERATION STATUS ERRORCODE DELAYMS [TIMES]");
      }
      Behaviour b;
      if (f[2] == L"hang") {
        b.hang = true;
      } else if (!ParseNumber(f[2], &status) || status < 1 || status > 3) {
        return fail(lineNo, L"request status must be 1, 2, 3 or hang");
      } else {
        b.status = static_cast<LONG>(status);
      }
      b.errorCode = static_cast<LONG>(code);
      b.delayMs = static_cast<int>(delay);
      b.times = static_cast<int>(times);
      impl.Script(op, b);
    } else if (what == L"callfail") {
      Operation op;
      long long hr = 0, times = -1;
      if (f.size() < 3 || f.size() > 4 || !ParseOperation(f[1], &op) || !ParseNumber(f[2], &hr) ||
          (f.size() == 4 && !ParseNumber(f[3], &times))) {
        return fail(lineNo, L"callfail needs OPERATION HRESULT [TIMES]");
      }
      Behaviour b;
      b.callResult = static_cast<HRESULT>(static_cast<std::uint32_t>(hr));
      b.times = static_cast<int>(times);
      impl.Script(op, b);
    } else if (what == L"transform") {
      if (f.size() == 2 && f[1] == L"uppercase") {
        impl.SetTransform(Transform::Uppercase);
      } else if (f.size() == 2 && f[1] == L"bracket") {
        impl.SetTransform(Transform::Bracket);
      } else {
        return fail(lineNo, L"transform is uppercase or bracket");
      }
    } else {
      return fail(lineNo, L"unknown directive \"" + what + L"\"");
    }
  }
  // Nothing is registered unless the whole file is sound.
  for (auto& impl : parsed) detail::RegisterForProcess(impl);
  return true;
}

bool RegisterFromEnvironment(std::wstring* error) {
  const char* path = std::getenv("PELORANT_FAKE_ENGINE");
  if (!path || !*path) return true;
  return RegisterFromFile(path, error);
}

}  // namespace fake_engine
