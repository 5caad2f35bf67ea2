#include "src/engine/EngineFamilies.h"


#include "src/engine/server/EngineClasses.h"
#include "src/platform/Files.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace engine {

namespace {

const wchar_t* const kSource = L"EngineFamilies";

constexpr std::int32_t kFlagsBit400 = 1025;   // 0x0401
constexpr std::int32_t kFlagsBit800 = 2049;  // 0x0801
constexpr std::size_t kMaxAbbreviationBytes = 16u * 1024u * 1024u;

std::vector<FamilyPair> EuropeanPairs() {
  return {
      {L"en.ja", L"en", L"ja", 9001, kFlagsBit400, 0}, {L"en.fr", L"en", L"fr", 9009, kFlagsBit400, 0},
      {L"en.de", L"en", L"de", 9010, kFlagsBit400, 0}, {L"en.es", L"en", L"es", 9011, kFlagsBit400, 0},
      {L"en.pt", L"en", L"pt", 9012, kFlagsBit400, 0}, {L"en.it", L"en", L"it", 9013, kFlagsBit400, 0},
      {L"ja.en", L"ja", L"en", 9002, kFlagsBit400, 0}, {L"fr.en", L"fr", L"en", 9015, kFlagsBit400, 0},
      {L"de.en", L"de", L"en", 9016, kFlagsBit400, 0}, {L"es.en", L"es", L"en", 9017, kFlagsBit400, 0},
      {L"pt.en", L"pt", L"en", 9018, kFlagsBit400, 0}, {L"it.en", L"it", L"en", 9019, kFlagsBit400, 0},
      {L"fr.ja", L"fr", L"ja", 9021, kFlagsBit800, 1}, {L"de.ja", L"de", L"ja", 9022, kFlagsBit800, 1},
      {L"es.ja", L"es", L"ja", 9023, kFlagsBit800, 1}, {L"pt.ja", L"pt", L"ja", 9024, kFlagsBit800, 1},
      {L"it.ja", L"it", L"ja", 9025, kFlagsBit800, 1}, {L"ja.fr", L"ja", L"fr", 9027, kFlagsBit800, 1},
      {L"ja.de", L"ja", L"de", 9028, kFlagsBit800, 1}, {L"ja.es", L"ja", L"es", 9029, kFlagsBit800, 1},
      {L"ja.pt", L"ja", L"pt", 9030, kFlagsBit800, 1}, {L"ja.it", L"ja", L"it", 9031, kFlagsBit800, 1},
  };
}

BuiltInFamily European(const wchar_t* name, const wchar_t* helper, const wchar_t* file, int product, int shortName) {
  return {name, FamilyKind::European, {}, helper, file, product, shortName, EuropeanPairs()};
}

bool ReadDefaultText(const platform::RegKey& key, std::wstring* out) {
  platform::RegValue value;
  if (key.QueryValue(L"", &value) != ERROR_SUCCESS) return false;
  if (value.type == platform::RegType::Sz) {
    *out = value.text;
  } else if (value.type == platform::RegType::ExpandSz) {
    *out = platform::ExpandEnvironment(value.text);
  } else {
    return false;
  }
  return !out->empty();
}

// A LocalServer32 value is a command line: the server path may be quoted and
// followed by the switch COM adds.
std::wstring ServerFileFromCommand(std::wstring command) {
  while (!command.empty() && (command.back() == L' ' || command.back() == L'\t')) command.pop_back();
  static const std::wstring kAutomation = L" /automation";
  if (command.size() >= kAutomation.size() &&
      platform::EqualsNoCase(std::wstring_view(command).substr(command.size() - kAutomation.size()), kAutomation)) {
    command.erase(command.size() - kAutomation.size());
  }
  while (!command.empty() && command.back() == L' ') command.pop_back();
  if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"') {
    command = command.substr(1, command.size() - 2);
  }
  return command;
}

void AppendPair(const BuiltInFamily& family, const FamilyPair& pair, EngineEntryList* list) {
  EngineEntry e;
  e.SetEngineID(pair.engineID);
  e.SetFromLang(pair.fromLang);
  e.SetToLang(pair.toLang);
  e.SetDisplayName(support::LoadText(pair.displayId));
  e.SetProductName(support::LoadText(family.productNameId));
  e.SetProductNameShort(support::LoadText(family.productNameShortId));
  e.SetFlags(pair.flags);
  e.SetEngineGroup(family.name);
  e.SetChecked(1);
  std::wstring key = e.EngineKey();
  list->emplace_back(std::move(key), std::move(e));
}

}  // namespace

const std::vector<BuiltInFamily>& BuiltInFamilies() {
  static const std::vector<BuiltInFamily> families = [] {
    std::vector<BuiltInFamily> f;
    f.push_back({L"Selvan", FamilyKind::Chinese, {L"SelvanCJ.Document", L"SelvanJC.Document"}, nullptr, nullptr,
                 9109, 9110,
                 {{L"SelvanCJ.Document.CN", L"zh-hans", L"ja", 9005, kFlagsBit400, 0},
                  {L"SelvanCJ.Document.TW", L"zh-hant", L"ja", 9006, kFlagsBit400, 0},
                  {L"SelvanJC.Document.CN", L"ja", L"zh-hans", 9007, kFlagsBit400, 1},
                  {L"SelvanJC.Document.TW", L"ja", L"zh-hant", 9008, kFlagsBit400, 1}}});
    f.push_back(European(L"Quendal", L"QuendalAddInHelper.Helper", L"QuendalAddInHelper.dll", 9113, 9114));
    f.push_back(European(L"Quendal2", L"Quendal2AddInHelper.Helper", L"Quendal2AddInHelper.dll", 9123, 9124));
    f.push_back(European(L"Quendal3", L"Quendal3.AddInHelper.Helper", L"Quendal3AddInHelper.dll", 9129, 9130));
    f.push_back(European(L"Quendal3_1", L"Quendal3_1.AddInHelper.Helper", L"Quendal3_1AddInHelper.dll", 9131, 9132));
    f.push_back(European(L"Quendal4", L"Quendal4.AddInHelper.Helper", L"Quendal4AddInHelper.dll", 9133, 9134));
    f.push_back({L"Ostrel", FamilyKind::Chinese, {L"OstrelCJ.Document", L"OstrelJC.Document"}, nullptr, nullptr,
                 9125, 9126,
                 {{L"OstrelCJ.Document.CN", L"zh-hans", L"ja", 9005, kFlagsBit400, 0},
                  {L"OstrelJC.Document.CN", L"ja", L"zh-hans", 9007, kFlagsBit400, 1}}});
    f.push_back(European(L"Varnel", L"VarnelV1.AddInHelper.Helper", L"VarnelAddinHelper.dll", 9127, 9128));
    return f;
  }();
  return families;
}

const BuiltInFamily* FindBuiltInFamily(const std::wstring& name) {
  for (const BuiltInFamily& f : BuiltInFamilies()) {
    if (platform::EqualsNoCase(f.name, name)) return &f;
  }
  return nullptr;
}

std::wstring RegisteredServerPath(const std::wstring& identifier) {
  if (identifier.empty()) return {};
  platform::RegKey progId;
  if (platform::RegKey::Open(platform::Hive::ClassesRoot, identifier + L"\\CLSID", false, &progId) != ERROR_SUCCESS) {
    return {};
  }
  std::wstring clsid;
  if (!ReadDefaultText(progId, &clsid)) return {};
  for (const wchar_t* server : {L"InprocServer32", L"LocalServer32"}) {
    platform::RegKey key;
    if (platform::RegKey::Open(platform::Hive::ClassesRoot, L"CLSID\\" + clsid + L"\\" + server, false, &key) !=
        ERROR_SUCCESS) {
      continue;
    }
    std::wstring path;
    if (ReadDefaultText(key, &path)) return platform::NormalizePath(ServerFileFromCommand(path));
  }
  return {};
}

bool IsClassInstalled(const std::wstring& identifier) {
  std::wstring path = RegisteredServerPath(identifier);
  if (path.empty()) return false;
  bool file = platform::CurrentFiles().Kind(path) == platform::FileKind::Regular;
  if (!file) LOG_DETAIL(kSource, identifier + L": server file missing: " + path);
  return file;
}

namespace {

// The helper through which an installed engine of a family is driven, or
// null. A pair is listed only when it can be opened: an engine that is
// installed but whose helper this build cannot create (a kind of helper it
// does not drive) would fail every open with 1251.
std::shared_ptr<engine_server::IFamilyHelper> UsableHelper(const std::wstring& identifier) {
  if (!IsClassInstalled(identifier)) return nullptr;
  std::shared_ptr<engine_server::IFamilyHelper> helper;
  HRESULT hr = engine_server::CreateFamilyHelper(identifier, &helper);
  if (FAILED(hr) || !helper) {
    LOG_DETAIL(kSource, identifier + L": installed, but its helper cannot be used");
    return nullptr;
  }
  return helper;
}

bool ConfirmsJapanesePairs(engine_server::IFamilyHelper& helper) {
  bool yes = false;
  HRESULT hr = helper.Supports(engine_server::kFamilyCapabilityJapanesePairs, &yes);
  return SUCCEEDED(hr) && yes;
}

}  // namespace

bool HelperConfirmsJapanesePairs(const BuiltInFamily& family) {
  if (family.kind != FamilyKind::European || !family.helperIdentifier) return false;
  std::shared_ptr<engine_server::IFamilyHelper> helper;
  HRESULT hr = engine_server::CreateFamilyHelper(family.helperIdentifier, &helper);
  if (FAILED(hr) || !helper) {
    LOG_DETAIL(kSource, std::wstring(family.helperIdentifier) + L": helper object not available");
    return false;
  }
  return ConfirmsJapanesePairs(*helper);
}

void ListFamilyPairs(const std::wstring& familyName, EngineEntryList* list, std::int32_t enumFlag) {
  const BuiltInFamily* family = FindBuiltInFamily(familyName);
  if (!family) return;
  const auto flag = static_cast<std::uint32_t>(enumFlag);
  const std::uint32_t low = flag & 0x700FFu;
  const std::uint32_t group = flag & 0x3C00u;
  if ((low & ~0x1u) != 0) return;

  if (family->kind == FamilyKind::Chinese) {
    if (!(group & 0x400u)) return;
    for (size_t i = 0; i < family->engineIdentifiers.size(); ++i) {
      if (!UsableHelper(family->engineIdentifiers[i])) continue;
      for (const FamilyPair& pair : family->pairs) {
        if (pair.part == static_cast<int>(i)) AppendPair(*family, pair, list);
      }
    }
    return;
  }

  if (!(group & 0xC00u)) return;
  std::shared_ptr<engine_server::IFamilyHelper> helper = UsableHelper(family->helperIdentifier);
  if (!helper) return;
  if (group & 0x400u) {
    for (const FamilyPair& pair : family->pairs) {
      if (pair.part == 0) AppendPair(*family, pair, list);
    }
  }
  if ((group & 0x800u) && low <= 1 && ConfirmsJapanesePairs(*helper)) {
    for (const FamilyPair& pair : family->pairs) {
      if (pair.part == 1) AppendPair(*family, pair, list);
    }
  }
}

std::wstring FamilyIdentifierFor(const BuiltInFamily& family, const std::wstring& engineID) {
  for (const FamilyPair& pair : family.pairs) {
    if (engineID != pair.engineID) continue;
    if (family.kind == FamilyKind::European) return family.helperIdentifier;
    if (pair.part >= 0 && static_cast<size_t>(pair.part) < family.engineIdentifiers.size()) {
      return family.engineIdentifiers[pair.part];
    }
  }
  return {};
}

HRESULT OpenFamilyEngine(const std::wstring& group, const std::wstring& engineID,
                         std::shared_ptr<engine_server::ITranslationEngine>* engine) {
  const BuiltInFamily* family = FindBuiltInFamily(group);
  if (!family) return REGDB_E_CLASSNOTREG;
  std::wstring identifier = FamilyIdentifierFor(*family, engineID);
  if (identifier.empty()) {
    LOG_ERROR(kSource, group + L" has no engine " + engineID);
    return REGDB_E_CLASSNOTREG;
  }
  if (!IsClassInstalled(identifier)) {
    LOG_ERROR(kSource, identifier + L" is not installed");
    return REGDB_E_CLASSNOTREG;
  }
  std::shared_ptr<engine_server::IFamilyHelper> helper;
  HRESULT hr = engine_server::CreateFamilyHelper(identifier, &helper);
  if (FAILED(hr) || !helper) {
    LOG_ERROR(kSource, L"CreateFamilyHelper " + identifier);
    return FAILED(hr) ? hr : E_POINTER;
  }
  std::shared_ptr<engine_server::ITranslationEngine> opened;
  hr = helper->OpenEngine(engineID, &opened);
  if (FAILED(hr)) {
    LOG_ERROR(kSource, L"OpenEngine " + engineID);
    return hr;
  }
  if (!opened) return E_POINTER;
  *engine = std::move(opened);
  return S_OK;
}

bool LoadAbbreviations(const std::wstring& langCode, std::vector<std::wstring>* entries, const std::wstring& folder) {
  entries->clear();
  const std::wstring base = folder.empty() ? platform::ModuleFolder() : folder;
  const std::wstring names[] = {L"abbrev_" + langCode + L".tbl", L"abbrev_" + langCode + L".tbb", L"abbrev.tbl",
                                L"abbrev.tbb"};
  for (const std::wstring& name : names) {
    // A code with a path in it must not reach outside the module folder.
    if (name.find_first_of(L"/\\") != std::wstring::npos) continue;
    std::wstring path = platform::JoinPath(base, name);
    if (!platform::PathExists(path)) continue;

    std::string bytes;
    if (platform::CurrentFiles().ReadFile(path, kMaxAbbreviationBytes, &bytes) != ERROR_SUCCESS) {
      LOG_ERROR(kSource, L"LoadAbbreviations: cannot read " + path);
      return false;
    }
    std::string_view body(bytes);
    if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFF &&
        static_cast<unsigned char>(body[1]) == 0xFE) {
      body.remove_prefix(2);
    }
    if (body.size() % 2 != 0) {
      LOG_ERROR(kSource, L"LoadAbbreviations: " + path + L" is not UTF-16LE text");
      return false;
    }
    std::wstring text = platform::FromUtf16Le(body);
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) end = text.size();
      std::wstring entry = text.substr(start, end - start);
      if (!entry.empty()) entries->push_back(std::move(entry));
      start = end + 2;
    }
    LOG_DETAIL(kSource, L"LoadAbbreviations: " + path + L", " + std::to_wstring(entries->size()) + L" entries");
    return true;
  }
  return false;
}

}  // namespace engine
