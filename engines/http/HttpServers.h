// The translation servers a user has added: one sub-key each under the
// add-in's common settings (…\RegV1\Common\HttpServers\<name>) holding the
// URL, the API it speaks, an optional key and the pairs it offered when it
// was last reached. The key is a secret: it is written to the registry
// only, never to the log, the engine cache or an exported file.
#pragma once

#include <string>
#include <vector>

#include "engines/http/HttpProtocol.h"

namespace http_engine {

constexpr int kDefaultTimeoutMs = 30000;

struct ServerEntry {
  std::wstring name;
  std::string url;  // without a trailing "/"
  Api api = Api::Apy;
  std::string key;
  int timeoutMs = kDefaultTimeoutMs;
  // The pairs of the last successful listing, kept for when the server
  // cannot be reached.
  std::vector<RemotePair> lastPairs;
};

// Checks a name (letters, digits, ".", "_", "-"; it becomes part of engine
// keys, so no ":") and a URL (http:// or https://, a host, no blanks or
// control characters). Returns an empty text when fine, else why not.
std::wstring CheckServerName(const std::wstring& name);
std::wstring CheckServerUrl(const std::string& url);

// What every way of adding a server checks first: drops the URL's trailing
// "/" and checks the name and the URL. Empty when fine, else why not.
std::wstring CheckNewServer(ServerEntry* server);
// The key a key file holds: its first line without the line end and the
// blanks around it. False with the reason when the file cannot be read or
// that line is empty. The file is only read.
bool ReadKeyFile(const std::wstring& path, std::string* key, std::wstring* error);

// The stored servers in name order; entries that fail the checks above are
// skipped with a warning in the log.
std::vector<ServerEntry> LoadServers();
// Adds or replaces a server (the whole entry in one registry write).
bool SaveServer(const ServerEntry& server, std::wstring* error);
// False with a reason when no server has that name.
bool RemoveServer(const std::wstring& name, std::wstring* error);
// Records the pairs of a successful listing.
bool StorePairs(const std::wstring& name, const std::vector<RemotePair>& pairs);

}  // namespace http_engine
