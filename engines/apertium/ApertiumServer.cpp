#include "engines/apertium/ApertiumServer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>

#include "engines/apertium/ApertiumFormat.h"
#include "engines/apertium/InProcess.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"

namespace apertium {

using namespace engine_server;

namespace {

const wchar_t kLogSource[] = L"Apertium";

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A language code of a mode name: 2-3 lower-case letters, optionally "_"
// and a variant.
bool IsLanguagePart(const std::string& s) {
  size_t sep = s.find('_');
  std::string base = s.substr(0, sep);
  if (base.size() < 2 || base.size() > 3) return false;
  for (char c : base) {
    if (c < 'a' || c > 'z') return false;
  }
  if (sep == std::string::npos) return true;
  std::string variant = s.substr(sep + 1);
  if (variant.empty()) return false;
  for (char c : variant) {
    if (!isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void FindTransducers(const std::string& mode, ApertiumPair* pair) {
  std::stringstream stages(mode);
  std::string stage;
  bool first = true;
  while (std::getline(stages, stage, '|')) {
    auto w = ShellWords(stage);
    if (w.empty()) continue;
    bool ltProc = w[0] == "lt-proc" || w[0].ends_with("/lt-proc");
    if (ltProc && w.size() >= 2) {
      bool bilingual = std::find(w.begin(), w.end(), "-b") != w.end();
      if (first && !bilingual && IsFile(w.back())) pair->analyser = w.back();
      if (bilingual && pair->bilingual.empty() && IsFile(w.back())) pair->bilingual = w.back();
    }
    first = false;
  }
}

}  // namespace

Settings Settings::FromEnvironment() {
  Settings s;
  const char* dirs = std::getenv("PELORANT_APERTIUM_MODES");
  if (dirs && *dirs) {
    std::stringstream list(dirs);
    std::string d;
    while (std::getline(list, d, ':')) {
      if (!d.empty()) s.modeDirs.push_back(d);
    }
  } else {
    s.modeDirs = {"/usr/share/apertium/modes", "/usr/local/share/apertium/modes"};
  }
  const char* inProcess = std::getenv("PELORANT_APERTIUM_IN_PROCESS");
  if (inProcess && std::string(inProcess) == "0") s.inProcess = false;
  const char* timeout = std::getenv("PELORANT_APERTIUM_TIMEOUT_MS");
  if (timeout && *timeout) {
    char* end = nullptr;
    long v = std::strtol(timeout, &end, 10);
    if (end && *end == '\0' && v > 0) s.timeoutMs = static_cast<int>(v);
  }
  return s;
}

std::vector<ApertiumPair> FindPairs(const std::vector<std::string>& modeDirs) {
  std::vector<ApertiumPair> pairs;
  std::set<std::string> seen;
  for (const auto& dir : modeDirs) {
    DIR* d = opendir(dir.c_str());
    if (!d) continue;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& file : names) {
      if (!file.ends_with(".mode")) continue;
      std::string name = file.substr(0, file.size() - 5);
      size_t dash = name.find('-');
      if (dash == std::string::npos || name.find('-', dash + 1) != std::string::npos) continue;
      std::string from = name.substr(0, dash), to = name.substr(dash + 1);
      if (!IsLanguagePart(from) || !IsLanguagePart(to)) continue;
      if (seen.count(name)) continue;
      std::string path = dir + "/" + file;
      if (!IsFile(path)) continue;
      ApertiumPair pair;
      pair.id = platform::FromUtf8(name);
      pair.fromCode = platform::FromUtf8(from);
      pair.toCode = platform::FromUtf8(to);
      pair.modeFile = path;
      FindTransducers(ReadFile(path), &pair);
      seen.insert(name);
      pairs.push_back(std::move(pair));
    }
  }
  std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return pairs;
}

EngineListEntry ListEntry(const ApertiumPair& pair) {
  EngineListEntry e;
  e.engineId = pair.id;
  e.fromLang = LanguageCode(pair.fromCode);
  e.toLang = LanguageCode(pair.toCode);
  e.flags = kPairFlagTranslate | (pair.HasDictionary() ? kPairFlagDictionary : 0);
  e.displayName = LanguageName(pair.fromCode) + L" - " + LanguageName(pair.toCode);
  e.productName = kImplementationName;
  e.productNameShort = kImplementationName;
  return e;
}

std::string ModeCommand(const ApertiumPair& pair) { return ReadFile(pair.modeFile); }

HRESULT ApertiumFactory::GetEngineList(const std::wstring& engineId, const std::wstring&, const std::wstring&, LONG,
                                       std::shared_ptr<IEngineList>* list) {
  if (!list) return E_POINTER;
  auto pairs = FindPairs(mSettings.modeDirs);
  if (pairs.empty()) return ENGINE_E_UNAVAILABLE;
  auto filled = std::make_shared<EngineList>();
  *list = filled;
  mRequest.Start([pairs, filled, engineId](const CancelToken&) {
    for (const auto& p : pairs) {
      if (engineId.empty() || platform::EqualsNoCase(p.id, engineId)) filled->Append(ListEntry(p));
    }
    LONG count = 0;
    filled->Count(&count);
    if (count == 0) return RequestOutcome::Failed(kEngineErrorInvalidEngineId);
    return RequestOutcome::Done();
  });
  return S_OK;
}

HRESULT ApertiumFactory::GetEngine(const std::shared_ptr<IEngineListItem>& item,
                                   std::shared_ptr<ITranslationEngine>* engine) {
  if (!engine) return E_POINTER;
  if (!item) return E_INVALIDARG;
  std::wstring id;
  HRESULT hr = item->EngineID(&id);
  if (FAILED(hr)) return hr;
  for (const auto& p : FindPairs(mSettings.modeDirs)) {
    if (!platform::EqualsNoCase(p.id, id)) continue;
    auto made = std::make_shared<ApertiumEngine>(p, mSettings);
    *engine = made;
    LOG_INFO(kLogSource, L"opening " + p.id);
    mRequest.Start([made](const CancelToken& token) { return made->WarmUp(token); });
    return S_OK;
  }
  return E_INVALIDARG;
}

void RegisterApertiumServer() {
  InProcessImplementation impl;
  impl.name = kImplementationName;
  impl.available = [] { return !FindPairs(Settings::FromEnvironment().modeDirs).empty(); };
  impl.makeFactory = []() -> std::shared_ptr<IEngineFactory> {
    return std::make_shared<ApertiumFactory>(Settings::FromEnvironment());
  };
  RegisterImplementation(std::move(impl));
}

}  // namespace apertium
