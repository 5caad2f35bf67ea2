// Shared translation servers as an in-process engine server. Every server
// the user added (HttpServers.h) contributes its pairs to the implementation
// "Http", each with the engine id "<server>:<from>-<to>" in the server's own
// codes, so the mode key reads "Http:team:eng-spa". A server that cannot be
// reached while the pairs are listed keeps its last known pairs, listed as
// unreachable (no translate flag) rather than dropped.
//
// An opened engine keeps one connection to its server. Texts announced
// ahead go to it in batches (one request for many texts with the
// LibreTranslate API; back to back on the kept connection with the
// Apertium API) while the client still asks for each. The first failure of
// the server (unreachable, a time-out, an error status, an answer that
// cannot be read, too long or with the wrong count) is logged once, naming
// the server, and ends every later request of the engine at once with the
// same error: a run does not wait a time-out per sentence for a server
// that is down.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engines/http/HttpServers.h"
#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/EngineClasses.h"
#include "src/engine/server/EngineServer.h"
#include "src/engine/server/ServerObjects.h"

namespace http_engine {

constexpr wchar_t kImplementationName[] = L"Http";

// Texts per request of the LibreTranslate API.
constexpr size_t kBatchTexts = 32;

// The list entry of one pair of a server; `reachable` false marks the
// pairs kept from the last listing.
engine_server::EngineListEntry ListEntry(const ServerEntry& server, const RemotePair& pair, bool reachable);

class HttpEngine : public engine_server::ServerEngine {
 public:
  HttpEngine(ServerEntry server, RemotePair pair);
  ~HttpEngine() override;

  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override;
  HRESULT Cancel() override;
  HRESULT ErrorCode(LONG* code) override;
  // The server's name and URL and what it did.
  HRESULT ErrorText(std::wstring* text) override;
  HRESULT Info(LONG* flags) override;
  HRESULT Translate(const std::wstring& text, LONG mode,
                    std::shared_ptr<engine_server::ITranslationResult>* result) override;
  HRESULT TranslateAhead(const std::vector<std::wstring>& texts, LONG mode) override;
  HRESULT DropAhead() override;
  HRESULT LookupDictionary(const std::wstring& word,
                           std::shared_ptr<engine_server::IDictionaryResult>* result) override;

 private:
  struct Impl;
  std::shared_ptr<Impl> mImpl;
  engine_server::AsyncRequest mRequest;
  engine_server::AsyncRequest mAhead;
};

class HttpFactory : public engine_server::ServerFactory {
 public:
  explicit HttpFactory(std::vector<ServerEntry> servers);

  HRESULT GetEngineList(const std::wstring& engineId, const std::wstring& reserved1,
                        const std::wstring& reserved2, LONG flags,
                        std::shared_ptr<engine_server::IEngineList>* list) override;
  HRESULT GetEngine(const std::shared_ptr<engine_server::IEngineListItem>& item,
                    std::shared_ptr<engine_server::ITranslationEngine>* engine) override;
  HRESULT ErrorText(std::wstring* text) override;

 private:
  struct Failed;
  std::vector<ServerEntry> mServers;
  // What the last listing's failure was, shared with its worker.
  std::shared_ptr<Failed> mFailed;
};

// Registers "Http" in the in-process class table, listed whenever at least
// one server is stored. The program does this at start-up by itself.
void RegisterHttpServer();

// Lists a server's pairs now, waiting for the answer: empty when it
// answered, else what went wrong, naming the server.
std::wstring ProbeServer(const ServerEntry& server, std::vector<RemotePair>* pairs);

// Stores a checked server (CheckNewServer) once it has answered, with the
// pairs it listed: a server that does not answer now is not stored, since
// its pairs would be unknown and the reason (a wrong port, a certificate)
// is best seen now. Empty when stored, else why not.
std::wstring AddCheckedServer(ServerEntry* server);

}  // namespace http_engine
