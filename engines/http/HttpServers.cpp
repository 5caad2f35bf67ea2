#include "engines/http/HttpServers.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "src/options/RegistrySettings.h"
#include "src/platform/Files.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"

namespace http_engine {

namespace {

using platform::Hive;
using platform::RegKey;
using platform::RegValue;

const wchar_t kLogSource[] = L"HttpServers";
const wchar_t kUrlValue[] = L"Url";
const wchar_t kApiValue[] = L"Api";
const wchar_t kKeyValue[] = L"Key";
const wchar_t kTimeoutValue[] = L"TimeoutMSec";
const wchar_t kPairsValue[] = L"Pairs";

std::wstring ServersPath() { return std::wstring(options::kCommonKeyPath) + L"\\HttpServers"; }

std::wstring Text(const RegKey& key, const wchar_t* name) {
  RegValue v;
  if (key.QueryValue(name, &v) != ERROR_SUCCESS) return {};
  return v.type == platform::RegType::Sz || v.type == platform::RegType::ExpandSz ? v.text : std::wstring();
}

// "eng-spa spa-eng": the pairs as one text. A source code with a "-" of its
// own ("pt-BR") is written "pt-BR>en", so that every pair reads back as it
// was; the others keep the form stored before such codes were taken.
std::wstring PairsText(const std::vector<RemotePair>& pairs) {
  std::string out;
  for (const auto& p : pairs) {
    out += (out.empty() ? "" : " ") + (p.from.find('-') == std::string::npos ? p.Id() : p.from + ">" + p.to);
  }
  return platform::FromUtf8(out);
}

std::vector<RemotePair> ParsePairs(const std::wstring& text) {
  std::vector<RemotePair> pairs;
  std::stringstream in(platform::ToUtf8(text));
  std::string id;
  while (in >> id) {
    size_t split = id.find('>');
    if (split == std::string::npos) split = id.find('-');
    if (split == std::string::npos || split == 0 || split + 1 == id.size()) continue;
    pairs.push_back({id.substr(0, split), id.substr(split + 1)});
  }
  return pairs;
}

}  // namespace

std::wstring CheckServerName(const std::wstring& name) {
  if (name.empty() || name.size() > 64) return L"a server name has 1 to 64 characters";
  for (wchar_t c : name) {
    bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' ||
              c == L'_' || c == L'-';
    if (!ok) return L"a server name has only letters, digits, \".\", \"_\" and \"-\"";
  }
  return {};
}

std::wstring CheckServerUrl(const std::string& url) {
  size_t scheme = url.rfind("http://", 0) == 0 ? 7 : url.rfind("https://", 0) == 0 ? 8 : 0;
  if (scheme == 0) return L"the URL must start with http:// or https://";
  if (url.size() == scheme || url[scheme] == '/') return L"the URL has no host";
  for (unsigned char c : url) {
    if (c <= 0x20 || c == 0x7F) return L"the URL holds a blank or a control character";
  }
  const std::string authority = url.substr(scheme, url.find('/', scheme) - scheme);
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) == 0 || std::stoi(port) > 65535) {
      return L"the URL's port is not a number from 1 to 65535";
    }
  }
  if (url.find('?') != std::string::npos || url.find('#') != std::string::npos) {
    return L"the URL is the server's address only, without \"?\" or \"#\"";
  }
  return {};
}

std::wstring CheckNewServer(ServerEntry* server) {
  while (!server->url.empty() && server->url.back() == '/') server->url.pop_back();
  std::wstring problem = CheckServerName(server->name);
  return problem.empty() ? CheckServerUrl(server->url) : problem;
}

bool ReadKeyFile(const std::wstring& path, std::string* key, std::wstring* error) {
  std::ifstream in(platform::NativePath(path), std::ios::binary);
  if (!in) {
    *error = L"the key file '" + path + L"' cannot be read";
    return false;
  }
  std::string line;
  std::getline(in, line);
  size_t b = line.find_first_not_of(" \t\r");
  size_t e = line.find_last_not_of(" \t\r");
  *key = b == std::string::npos ? std::string() : line.substr(b, e - b + 1);
  if (key->empty()) {
    *error = L"the key file '" + path + L"' has no key on its first line";
    return false;
  }
  return true;
}

std::vector<ServerEntry> LoadServers() {
  std::vector<ServerEntry> servers;
  RegKey root;
  if (RegKey::Open(Hive::CurrentUser, ServersPath(), false, &root) != ERROR_SUCCESS) return servers;
  std::vector<std::wstring> names;
  root.EnumSubkeys(&names);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    RegKey key;
    if (root.OpenSubkey(name, false, &key) != ERROR_SUCCESS) continue;
    ServerEntry s;
    s.name = name;
    s.url = platform::ToUtf8(Text(key, kUrlValue));
    while (!s.url.empty() && s.url.back() == '/') s.url.pop_back();
    auto api = ParseApi(platform::ToUtf8(Text(key, kApiValue)));
    std::wstring problem = CheckServerName(name);
    if (problem.empty()) problem = CheckServerUrl(s.url);
    if (problem.empty() && !api) problem = L"the API is neither apy nor libretranslate";
    if (!problem.empty()) {
      LOG_WARNING(kLogSource, L"the translation server \"" + name + L"\" is left out: " + problem);
      continue;
    }
    s.api = *api;
    s.key = platform::ToUtf8(Text(key, kKeyValue));
    std::wstring timeout = Text(key, kTimeoutValue);
    if (!timeout.empty()) {
      try {
        int t = std::stoi(timeout);
        if (t > 0) s.timeoutMs = t;
      } catch (...) {
        LOG_WARNING(kLogSource, L"the translation server \"" + name + L"\" has an unreadable time-out");
      }
    }
    s.lastPairs = ParsePairs(Text(key, kPairsValue));
    servers.push_back(std::move(s));
  }
  return servers;
}

bool SaveServer(const ServerEntry& server, std::wstring* error) {
  std::wstring problem = CheckServerName(server.name);
  if (problem.empty()) problem = CheckServerUrl(server.url);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  platform::RegBatch batch(Hive::CurrentUser);
  RegKey key;
  const std::wstring path = ServersPath() + L"\\" + server.name;
  LONG rc = platform::DeleteKeyTree(Hive::CurrentUser, path);
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) rc = RegKey::Create(Hive::CurrentUser, path, &key);
  if (rc == ERROR_SUCCESS) rc = key.SetValue(kUrlValue, RegValue::String(platform::FromUtf8(server.url)));
  if (rc == ERROR_SUCCESS) rc = key.SetValue(kApiValue, RegValue::String(platform::FromUtf8(ApiName(server.api))));
  if (rc == ERROR_SUCCESS && !server.key.empty()) {
    rc = key.SetValue(kKeyValue, RegValue::String(platform::FromUtf8(server.key)));
  }
  if (rc == ERROR_SUCCESS && server.timeoutMs != kDefaultTimeoutMs) {
    rc = key.SetValue(kTimeoutValue, RegValue::String(std::to_wstring(server.timeoutMs)));
  }
  if (rc == ERROR_SUCCESS && !server.lastPairs.empty()) {
    rc = key.SetValue(kPairsValue, RegValue::String(PairsText(server.lastPairs)));
  }
  if (rc == ERROR_SUCCESS) rc = batch.Commit();
  if (rc != ERROR_SUCCESS) {
    *error = L"the registry could not be written (error " + std::to_wstring(rc) + L")";
    return false;
  }
  return true;
}

bool RemoveServer(const std::wstring& name, std::wstring* error) {
  const std::wstring path = ServersPath() + L"\\" + name;
  RegKey key;
  if (CheckServerName(name).size() || RegKey::Open(Hive::CurrentUser, path, false, &key) != ERROR_SUCCESS) {
    *error = L"no translation server is called \"" + name + L"\"";
    return false;
  }
  key.Close();
  LONG rc = platform::DeleteKeyTree(Hive::CurrentUser, path);
  if (rc != ERROR_SUCCESS) {
    *error = L"the registry could not be written (error " + std::to_wstring(rc) + L")";
    return false;
  }
  return true;
}

bool StorePairs(const std::wstring& name, const std::vector<RemotePair>& pairs) {
  RegKey key;
  if (RegKey::Open(Hive::CurrentUser, ServersPath() + L"\\" + name, true, &key) != ERROR_SUCCESS) return false;
  RegValue old;
  const std::wstring text = PairsText(pairs);
  if (key.QueryValue(kPairsValue, &old) == ERROR_SUCCESS && old.text == text) return true;
  return key.SetValue(kPairsValue, RegValue::String(text)) == ERROR_SUCCESS;
}

}  // namespace http_engine
