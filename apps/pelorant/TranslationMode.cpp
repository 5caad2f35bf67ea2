#include "apps/pelorant/TranslationMode.h"

#include <ostream>

#include "apps/pelorant/Arguments.h"
#include "src/engine/EngineCaches.h"
#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOption.h"
#include "src/engine/TranslationOptionUDTEngine.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/support/ErrorList.h"

namespace app {

const char* const kModeHelp =
    "  --mode KEY   the translation mode: an engine pair's key as `pelorant engines\n"
    "               list` shows it, the engine group, a colon and the pair's id,\n"
    "               for example Apertium:eng-spa (case does not matter when only\n"
    "               one key matches). Without --mode, the first checked pair.\n";

void PrintErrors(const std::string& command, CommandIo& io) {
  for (const support::ErrorEntry& e : support::ErrorList::GetEntries())
    io.err << "pelorant " << command << ": " << platform::ToUtf8(e.mFullText) << "\n";
  support::ErrorList::Clear();
}

bool ParseModeOption(const std::string& command, const std::vector<std::string>& args, std::string* mode,
                     std::vector<std::string>* rest, CommandIo& io) {
  Arguments cli;
  cli.Value("--mode", mode);
  std::string error;
  if (!cli.Parse(args, &error)) {
    io.err << "pelorant " << command << ": " << error << " (see pelorant " << command << " --help)\n";
    return false;
  }
  *rest = cli.Words();
  return true;
}

int FindModeKey(const engine::EngineCaches& cache, const std::wstring& key) {
  int index = cache.FindKey(key);
  if (index >= 0) return index;
  int matches = 0;
  for (size_t i = 0; i < cache.Count(); ++i) {
    if (platform::EqualsNoCase(cache.Entry(i).EngineKey(), key)) {
      index = static_cast<int>(i);
      ++matches;
    }
  }
  return matches == 1 ? index : -1;
}

int PickMode(const std::string& command, const engine::EngineCaches& cache, const std::string& key,
             const std::wstring& storedKey, CommandIo& io) {
  if (!key.empty()) {
    int index = FindModeKey(cache, platform::FromUtf8(key));
    if (index >= 0) return index;
    io.err << "pelorant " << command << ": unknown translation mode '" << key << "'";
    if (cache.Count() == 0) {
      io.err << "; no engine pair is installed\n";
    } else {
      io.err << "; the modes are:\n";
      for (size_t i = 0; i < cache.Count(); ++i) io.err << "  " << platform::ToUtf8(cache.Entry(i).EngineKey()) << "\n";
    }
    return -1;
  }
  // A stored mode whose engine was removed since is passed over quietly,
  // as the menu does.
  if (!storedKey.empty()) {
    int index = cache.FindKey(storedKey);
    if (index >= 0) return index;
  }
  for (size_t i = 0; i < cache.Count(); ++i) {
    if (cache.Checked(i)) return static_cast<int>(i);
  }
  io.err << "pelorant " << command << ": no translation mode is available; install an engine (for example\n"
         << "  the Debian package apertium-eng-spa) or check a pair with `pelorant engines check KEY`\n";
  return -1;
}

std::wstring StoredMenuMode() {
  options::RegistrySettings settings;
  if (!settings.OpenRead(platform::Hive::CurrentUser, L"", platform::Hive::LocalMachine)) return {};
  return settings.QueryValue(L"Menu.TranModeID", L"");
}

int FindModeKeyRefreshing(engine::EngineCaches& cache, const std::wstring& key) {
  int index = FindModeKey(cache, key);
  if (index >= 0 || cache.EngineQueries() > 0) return index;
  if (!cache.RefreshCache(false, false)) support::ErrorList::Add(1252);
  return FindModeKey(cache, key);
}

std::optional<ModeChoice> ChooseMode(const std::string& command, const std::string& key, CommandIo& io) {
  support::ErrorList::Clear();
  engine::EngineCaches cache;
  if (!cache.LoadCache(false)) {
    io.err << "pelorant " << command << ": the engine cache could not be read: "
           << platform::ToUtf8(cache.LastFailure()) << "\n  the list is built again; the unreadable file is kept beside it.\n";
  }
  try {
    if (!cache.RefreshCache(false, true)) support::ErrorList::Add(1252);
    if (!key.empty()) FindModeKeyRefreshing(cache, platform::FromUtf8(key));
  } catch (const platform::ComError& e) {
    io.err << "pelorant " << command << ": the engine side failed: " << e.what() << "\n";
    return std::nullopt;
  }
  PrintErrors(command, io);
  if (!cache.SaveCache(true, false)) {
    io.err << "pelorant " << command << ": note: the engine cache could not be saved: "
           << platform::ToUtf8(cache.LastFailure()) << "\n";
  }

  int index = PickMode(command, cache, key, L"", io);
  if (index < 0) return std::nullopt;
  return ModeChoice{cache.Entry(static_cast<size_t>(index)), cache.DisplayLanguage()};
}

options::TranslationOptionUDT PlainTextOptions(const ModeChoice& mode) {
  options::TranslationOption defaults;
  options::FacadeSwitches switches;
  options::TranslationOptionUDT record =
      engine::BuildTranslationOptionUDT(&defaults, &mode.entry, switches, mode.displayLanguage);
  record.KeepStyle = 0;
  record.DualPrint = 0;
  record.UsesPreMacro = 0;
  record.UsesPostMacro = 0;
  return record;
}

}  // namespace app
