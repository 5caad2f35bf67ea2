#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

#include "apps/pelorant/Arguments.h"
#include "apps/pelorant/Command.h"
#include "apps/pelorant/TextColumns.h"
#include "apps/pelorant/TranslationMode.h"
#include "engines/http/HttpEngine.h"
#include "engines/http/HttpServers.h"
#include "src/engine/EngineCaches.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/support/ErrorList.h"

namespace {

using engine::EngineCaches;
using engine::EngineEntry;

const char* const kUsage =
    "Usage: pelorant engines list\n"
    "       pelorant engines refresh\n"
    "       pelorant engines check KEY\n"
    "       pelorant engines uncheck KEY\n"
    "       pelorant engines add-server NAME URL [--api apy|libretranslate] [--key-file F]\n"
    "                                [--timeout-ms N]\n"
    "       pelorant engines remove-server NAME\n"
    "\n"
    "The engine cache: every language pair of the installed translation engines,\n"
    "kept in Engines.tsv under $XDG_CONFIG_HOME/Talvoren/Addins/Office (or\n"
    "~/.config/...) with a check mark per pair; checked pairs are the translation\n"
    "modes the menus offer.\n"
    "\n"
    "  list         show the cache: key, pair, product, flags, checked. The engines\n"
    "               are asked only when the cache is empty or an installer changed\n"
    "               the \"RefreshTrigger\" registry value.\n"
    "  refresh      ask the engines again now; check marks are kept.\n"
    "  check KEY    offer the pair KEY (for example Apertium:eng-spa) again.\n"
    "  uncheck KEY  stop offering the pair KEY.\n"
    "  add-server   add (or replace) a translation server that a team shares:\n"
    "               NAME (letters, digits, \".\", \"_\", \"-\") and its URL, which\n"
    "               speaks the Apertium HTTP API (--api apy, the default) or the\n"
    "               LibreTranslate API; --key-file names a file whose first line is\n"
    "               the server's API key; --timeout-ms bounds each exchange with\n"
    "               it (default 30000). The server must answer now; its pairs are\n"
    "               then listed as Http:NAME:PAIR.\n"
    "  remove-server  forget the server NAME and its pairs.\n"
    "\n"
    "KEY is the pair's engine key as `engines list` shows it: the engine group, a\n"
    "colon and the engine's id for the pair; letter case does not matter when only\n"
    "one key matches.\n";

void PrintErrorList(app::CommandIo& io) {
  for (const support::ErrorEntry& e : support::ErrorList::GetEntries()) {
    io.err << "pelorant engines: " << platform::ToUtf8(e.mFullText) << "\n";
  }
  support::ErrorList::Clear();
}

std::wstring PairText(const EngineEntry& e) {
  if (!e.FromLangName().empty() || !e.ToLangName().empty()) return e.FromLangName() + L" - " + e.ToLangName();
  if (!e.DisplayName().empty()) return e.DisplayName();
  return e.FromLang() + L" - " + e.ToLang();
}

std::wstring Hex(std::int32_t v) {
  wchar_t buf[16];
  swprintf(buf, 16, L"0x%04X", static_cast<unsigned>(v));
  return buf;
}

void PrintTable(const EngineCaches& cache, app::CommandIo& io) {
  std::vector<std::vector<std::wstring>> rows;
  rows.push_back({L"KEY", L"PAIR", L"PRODUCT", L"FLAGS", L"CHECKED"});
  for (size_t i = 0; i < cache.Count(); ++i) {
    const EngineEntry& e = cache.Entry(i);
    rows.push_back({e.EngineKey(), PairText(e), e.ProductName(), Hex(e.Flags()), e.Checked() ? L"yes" : L"no"});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], app::TextColumns(row[c]));
  }
  for (const auto& row : rows) {
    std::wstring line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::wstring(widths[c] - app::TextColumns(row[c]) + 2, L' ');
    }
    io.out << platform::ToUtf8(line) << "\n";
  }
  if (cache.Count() == 0) io.out << "(no engine pairs)\n";
}

// What the add-in does at its first need of the cache: read the file, rebuild
// when the installation changed or the cache is empty.
bool OpenCache(EngineCaches* cache, bool forceRefresh, app::CommandIo& io) {
  support::ErrorList::Clear();
  if (!cache->LoadCache(false)) {
    io.err << "pelorant engines: the engine cache could not be read: " << platform::ToUtf8(cache->LastFailure())
           << "\n  the list is built again; the unreadable file is kept beside it.\n";
  }
  bool refreshed = false;
  try {
    refreshed = cache->RefreshCache(false, !forceRefresh);
  } catch (const platform::ComError& e) {
    io.err << "pelorant engines: the engine side failed: " << e.what() << "\n";
    return false;
  }
  if (!refreshed) support::ErrorList::Add(1252);
  if (cache->Count() == 0) support::ErrorList::Add(1253);
  PrintErrorList(io);
  return true;
}

bool Save(EngineCaches* cache, bool onlyIfDirty, app::CommandIo& io) {
  if (cache->SaveCache(onlyIfDirty, false)) return true;
  io.err << "pelorant engines: the engine cache could not be saved: " << platform::ToUtf8(cache->LastFailure())
         << "\n";
  return false;
}

int SetCheck(const std::vector<std::string>& args, std::int32_t checked, app::CommandIo& io) {
  if (args.size() != 2) {
    io.err << "pelorant engines: " << args[0] << " needs one KEY (see pelorant engines --help)\n";
    return 2;
  }
  EngineCaches cache;
  if (!OpenCache(&cache, false, io)) return 1;
  std::wstring key = platform::FromUtf8(args[1]);
  int index = -1;
  try {
    index = app::FindModeKeyRefreshing(cache, key);
  } catch (const platform::ComError& e) {
    io.err << "pelorant engines: the engine side failed: " << e.what() << "\n";
    return 1;
  }
  PrintErrorList(io);
  if (index < 0) {
    io.err << "pelorant engines: no engine pair has the key '" << args[1] << "' (see pelorant engines list)\n";
    Save(&cache, true, io);
    return 1;
  }
  cache.SetChecked(static_cast<size_t>(index), checked);
  if (!Save(&cache, false, io)) return 1;
  io.out << args[1] << (checked ? " checked\n" : " unchecked\n");
  return 0;
}

// What `engines add-server` was given.
struct AddServerArgs {
  http_engine::ServerEntry server;
  std::string keyFile;
};

// Reads `add-server NAME URL [--api A] [--key-file F]`; false with the
// reason in *error.
bool ParseAddServer(const std::vector<std::string>& args, AddServerArgs* out, std::string* error) {
  app::Arguments cli;
  std::string apiName, timeout;
  CLI::Option* apiGiven = cli.Value("--api", &apiName);
  cli.Value("--key-file", &out->keyFile);
  CLI::Option* timeoutGiven = cli.Value("--timeout-ms", &timeout);
  if (!cli.Parse(std::vector<std::string>(args.begin() + 1, args.end()), error)) return false;
  if (timeoutGiven->count() > 0) {
    char* end = nullptr;
    long t = std::strtol(timeout.c_str(), &end, 10);
    if (timeout.empty() || *end != '\0' || t < 100 || t > 3600000) {
      *error = "--timeout-ms is a number of milliseconds from 100 to 3600000, not '" + timeout + "'";
      return false;
    }
    out->server.timeoutMs = static_cast<int>(t);
  }
  if (apiGiven->count() > 0) {
    auto api = http_engine::ParseApi(apiName);
    if (!api) {
      *error = "--api is apy or libretranslate, not '" + apiName + "'";
      return false;
    }
    out->server.api = *api;
  }
  const std::vector<std::string>& positional = cli.Words();
  if (positional.size() != 2) {
    *error = "add-server needs NAME and URL";
    return false;
  }
  out->server.name = platform::FromUtf8(positional[0]);
  out->server.url = positional[1];
  std::wstring problem = http_engine::CheckNewServer(&out->server);
  if (!problem.empty()) {
    *error = platform::ToUtf8(problem);
    return false;
  }
  return true;
}

// The cache lists a server's pairs from the next listing on: the installer's
// trigger is what tells a cache that the engines changed.
void ForceRelisting(app::CommandIo& io) {
  EngineCaches cache;
  if (!OpenCache(&cache, true, io)) return;
  Save(&cache, true, io);
}

int AddServer(const std::vector<std::string>& args, app::CommandIo& io) {
  AddServerArgs parsed;
  std::string error;
  std::wstring failure;
  if (ParseAddServer(args, &parsed, &error) && !parsed.keyFile.empty() &&
      !http_engine::ReadKeyFile(platform::FromUtf8(parsed.keyFile), &parsed.server.key, &failure)) {
    error = platform::ToUtf8(failure);
  }
  if (!error.empty()) {
    io.err << "pelorant engines: " << error << " (see pelorant engines --help)\n";
    return 2;
  }
  failure = http_engine::AddCheckedServer(&parsed.server);
  if (!failure.empty()) {
    io.err << "pelorant engines: " << platform::ToUtf8(failure) << "\n";
    return 1;
  }
  io.out << "server " << args[1] << " added with " << parsed.server.lastPairs.size() << " pairs\n";
  ForceRelisting(io);
  return 0;
}

int RemoveServer(const std::vector<std::string>& args, app::CommandIo& io) {
  if (args.size() != 2) {
    io.err << "pelorant engines: remove-server needs one NAME (see pelorant engines --help)\n";
    return 2;
  }
  std::wstring failure;
  if (!http_engine::RemoveServer(platform::FromUtf8(args[1]), &failure)) {
    io.err << "pelorant engines: " << platform::ToUtf8(failure) << "\n";
    return 1;
  }
  io.out << "server " << args[1] << " removed\n";
  ForceRelisting(io);
  return 0;
}

int Run(const std::vector<std::string>& args, app::CommandIo& io) {
  if (args.empty()) {
    io.err << kUsage;
    return 2;
  }
  const std::string& verb = args[0];
  if (verb == "list" || verb == "refresh") {
    if (args.size() != 1) {
      io.err << "pelorant engines: " << verb << " takes no arguments\n";
      return 2;
    }
    EngineCaches cache;
    if (!OpenCache(&cache, verb == "refresh", io)) return 1;
    PrintTable(cache, io);
    return Save(&cache, true, io) ? 0 : 1;
  }
  if (verb == "check") return SetCheck(args, 1, io);
  if (verb == "uncheck") return SetCheck(args, 0, io);
  if (verb == "add-server") return AddServer(args, io);
  if (verb == "remove-server") return RemoveServer(args, io);
  io.err << "pelorant engines: unknown sub-command '" << verb << "'\n" << kUsage;
  return 2;
}

app::CommandRegistration engines{{"engines", "list the translation engines' language pairs, refresh, check or uncheck them",
                                  kUsage, Run}};

}  // namespace
