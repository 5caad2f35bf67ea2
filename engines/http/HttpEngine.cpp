#include "engines/http/HttpEngine.h"

#include <mutex>

#include "engines/apertium/ApertiumFormat.h"
#include "engines/http/HttpClient.h"
#include "src/engine/server/AheadQueue.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"

namespace http_engine {

using namespace engine_server;

namespace {

const wchar_t kLogSource[] = L"Http";

// Names the server for the log; the key is never part of it.
std::wstring Where(const ServerEntry& s) {
  return L"the translation server \"" + s.name + L"\" (" + platform::FromUtf8(s.url) + L")";
}

ClientSettings SettingsOf(const ServerEntry& s) {
  ClientSettings c;
  c.baseUrl = s.url;
  c.timeoutMs = s.timeoutMs;
  return c;
}

// Why an exchange failed: an engine error code and a text for the log.
// Neither code nor text: the exchange was cancelled.
struct Failure {
  LONG code = 0;
  std::wstring what;
  bool cancelled = false;
  explicit operator bool() const { return code != 0 || cancelled; }
};

Failure FailureOf(const HttpReply& r) {
  using O = HttpReply::Outcome;
  switch (r.outcome) {
    case O::Ok: break;
    case O::Cancelled: return {0, L"cancelled", true};
    case O::TimedOut: return {kEngineErrorNetwork, L"did not answer in time: " + platform::FromUtf8(r.error)};
    case O::Refused: return {kEngineErrorNetwork, L"could not be reached: " + platform::FromUtf8(r.error)};
    case O::Tls: return {kEngineErrorNetwork, L"failed the secure connection check: " + platform::FromUtf8(r.error)};
    case O::TooLarge: return {kEngineErrorRemoteServer, L"gave an answer too long to take: " + platform::FromUtf8(r.error)};
    case O::Failed: return {kEngineErrorNetwork, L"broke off the exchange: " + platform::FromUtf8(r.error)};
  }
  if (r.status != 200) return {kEngineErrorRemoteServer, L"answered with HTTP status " + std::to_wstring(r.status)};
  return {};
}

Failure Unreadable(const std::string& why) { return {kEngineErrorRemoteServer, L"gave an unreadable answer: " + platform::FromUtf8(why)}; }

Failure ListPairs(const ServerEntry& s, const CancelToken& token, std::vector<RemotePair>* pairs) {
  HttpClient client(SettingsOf(s));
  HttpReply reply = client.Send(ListPairsCall(s.api), token);
  if (Failure f = FailureOf(reply)) return f;
  PairsAnswer a = ReadPairs(s.api, reply.body);
  if (!a.error.empty()) return Unreadable(a.error);
  *pairs = std::move(a.pairs);
  return {};
}

// Codes may hold a "-" themselves ("pt-BR"), so "en-pt-BR" is read as one
// of the server's known pairs where it names one, else split at its first
// "-".
bool SplitEngineId(const std::wstring& id, std::wstring* server, RemotePair* pair,
                   const std::vector<RemotePair>& known = {}) {
  size_t colon = id.find(L':');
  if (colon == std::wstring::npos) return false;
  std::string rest = platform::ToUtf8(id.substr(colon + 1));
  size_t dash = rest.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size()) return false;
  *server = id.substr(0, colon);
  *pair = {rest.substr(0, dash), rest.substr(dash + 1)};
  for (const RemotePair& p : known) {
    if (p.Id() == rest) *pair = p;
  }
  return true;
}

}  // namespace

EngineListEntry ListEntry(const ServerEntry& server, const RemotePair& pair, bool reachable) {
  const std::wstring from = platform::FromUtf8(pair.from), to = platform::FromUtf8(pair.to);
  EngineListEntry e;
  e.engineId = server.name + L":" + platform::FromUtf8(pair.Id());
  e.fromLang = apertium::LanguageCode(from);
  e.toLang = apertium::LanguageCode(to);
  e.flags = !reachable ? 0 : server.api == Api::Apy ? kPairFlagTranslate | kPairFlagDictionary : kPairFlagTranslate;
  e.displayName = apertium::LanguageName(from) + L" - " + apertium::LanguageName(to);
  e.productName = server.name + (reachable ? L"" : L" (unreachable)");
  e.productNameShort = server.name;
  return e;
}

struct HttpEngine::Impl {
  ServerEntry server;
  RemotePair pair;
  // Held by every exchange: the connection serves one at a time, also when
  // a request that was given up on is still ending.
  std::mutex busy;
  std::unique_ptr<HttpClient> client;

  const std::shared_ptr<AheadQueue> ahead = std::make_shared<AheadQueue>();
  // The first failure of the server, guarded by mutex.
  std::mutex mutex;
  LONG downCode = 0;
  std::wstring downText;

  size_t TextsPerRequest() const { return server.api == Api::LibreTranslate ? kBatchTexts : 1; }

  LONG DownCode() {
    std::lock_guard<std::mutex> lock(mutex);
    return downCode;
  }

  void MarkDown(const Failure& f) {
    std::lock_guard<std::mutex> lock(mutex);
    if (downCode) return;
    downCode = f.code;
    downText = Where(server) + L" " + f.what;
    LOG_ERROR(kLogSource, downText + L"; nothing more is sent to it from this engine");
  }

  // Translates texts with as few requests as the API allows (busy held).
  Failure Exchange(const std::vector<std::wstring>& texts, const CancelToken& token, std::vector<std::wstring>* out) {
    out->clear();
    const size_t step = TextsPerRequest();
    for (size_t i = 0; i < texts.size(); i += step) {
      std::vector<std::string> chunk;
      for (size_t j = i; j < texts.size() && j < i + step; ++j) chunk.push_back(platform::ToUtf8(texts[j]));
      HttpReply reply = client->Send(TranslateCall(server.api, pair, chunk, server.key), token);
      if (Failure f = FailureOf(reply)) return f;
      TranslationsAnswer a = ReadTranslations(server.api, reply.body, chunk.size());
      if (!a.error.empty()) return Unreadable(a.error);
      for (size_t j = 0; j < a.texts.size(); ++j) {
        out->push_back(KeepOuterBlanks(texts[i + j], platform::FromUtf8(a.texts[j])));
      }
    }
    return {};
  }

  // One request's worth of announced texts (busy held): Stop once the
  // server is down.
  AheadQueue::BatchEnd TranslateBatch(const AheadQueue::Batch& batch, const CancelToken& token) {
    if (DownCode()) return AheadQueue::BatchEnd::Stop;
    std::vector<std::wstring> texts, out;
    for (const auto& e : batch) texts.push_back(e->text);
    Failure f = Exchange(texts, token, &out);
    if (f.code) MarkDown(f);
    if (f) return f.code ? AheadQueue::BatchEnd::Stop : AheadQueue::BatchEnd::Translated;
    for (size_t i = 0; i < batch.size(); ++i) ahead->Settle(*batch[i], std::move(out[i]));
    return AheadQueue::BatchEnd::Translated;
  }
};

HttpEngine::HttpEngine(ServerEntry server, RemotePair pair) : mImpl(std::make_shared<Impl>()) {
  mImpl->client = std::make_unique<HttpClient>(SettingsOf(server));
  mImpl->server = std::move(server);
  mImpl->pair = std::move(pair);
}

HttpEngine::~HttpEngine() = default;

HRESULT HttpEngine::WaitForResult(LONG timeoutMs, LONG* status) { return mRequest.WaitForResult(timeoutMs, status); }
HRESULT HttpEngine::Cancel() {
  mImpl->ahead->Drop();
  mAhead.Cancel();
  return mRequest.Cancel();
}
HRESULT HttpEngine::ErrorCode(LONG* code) { return mRequest.ErrorCode(code); }

HRESULT HttpEngine::ErrorText(std::wstring* text) {
  if (!text) return E_POINTER;
  std::lock_guard<std::mutex> lock(mImpl->mutex);
  *text = mImpl->downText;
  return S_OK;
}

HRESULT HttpEngine::Info(LONG* flags) {
  if (!flags) return E_POINTER;
  *flags = kInfoFlagTranslate | (mImpl->server.api == Api::Apy ? kInfoFlagDictionary : 0);
  return S_OK;
}

HRESULT HttpEngine::Translate(const std::wstring& text, LONG, std::shared_ptr<ITranslationResult>* result) {
  if (!result) return E_POINTER;
  auto res = std::make_shared<TranslationResult>();
  *result = res;
  std::shared_ptr<Impl> impl = mImpl;
  if (LONG code = impl->DownCode()) {
    mRequest.Complete(RequestOutcome::Failed(code));
    return S_OK;
  }
  AheadQueue::Entry entry = impl->ahead->Take(text, kTranslateModePlain);
  if (entry && impl->ahead->Answer(*entry, res.get())) {
    mRequest.Complete(RequestOutcome::Done());
    return S_OK;
  }
  mRequest.Start([impl, res, text, entry](const CancelToken& token) {
    if (entry) {
      if (!impl->ahead->Wait(*entry, token)) return RequestOutcome::Cancelled();
      if (impl->ahead->Answer(*entry, res.get())) return RequestOutcome::Done();
      if (LONG code = impl->DownCode()) return RequestOutcome::Failed(code);
    }
    std::lock_guard<std::mutex> busy(impl->busy);
    if (LONG code = impl->DownCode()) return RequestOutcome::Failed(code);
    std::vector<std::wstring> out;
    Failure f = impl->Exchange({text}, token, &out);
    if (f.cancelled) return RequestOutcome::Cancelled();
    if (f.code) {
      impl->MarkDown(f);
      return RequestOutcome::Failed(f.code);
    }
    res->Set(out.front());
    return RequestOutcome::Done();
  });
  return S_OK;
}

// The mode is one to a server that knows no word correspondence.
HRESULT HttpEngine::TranslateAhead(const std::vector<std::wstring>& texts, LONG) {
  if (mImpl->DownCode() || !mImpl->ahead->Announce(texts, kTranslateModePlain)) return S_OK;
  std::shared_ptr<Impl> impl = mImpl;
  mAhead.Start([impl](const CancelToken& token) {
    return impl->ahead->Work(token, impl->TextsPerRequest(), [&](AheadQueue::Batch& batch) {
      std::lock_guard<std::mutex> busy(impl->busy);
      return impl->TranslateBatch(batch, token);
    });
  });
  return S_OK;
}

HRESULT HttpEngine::DropAhead() {
  mImpl->ahead->Drop();
  return S_OK;
}

// The Apertium API's analyser gives the word's readings; each reading's
// lemma goes through the pair for its translation, one line per reading as
// the in-process Apertium engine shows them. The LibreTranslate API has no
// dictionary, and its pairs say so.
HRESULT HttpEngine::LookupDictionary(const std::wstring& word, std::shared_ptr<IDictionaryResult>* result) {
  if (!result) return E_POINTER;
  if (mImpl->server.api != Api::Apy) return E_NOTIMPL;
  auto res = std::make_shared<DictionaryResult>();
  *result = res;
  std::shared_ptr<Impl> impl = mImpl;
  if (LONG code = impl->DownCode()) {
    mRequest.Complete(RequestOutcome::Failed(code));
    return S_OK;
  }
  mRequest.Start([impl, res, word](const CancelToken& token) {
    const std::wstring trimmed = LookupWord(word);
    if (trimmed.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);
    auto failed = [&](Failure f) {
      if (f.cancelled) return RequestOutcome::Cancelled();
      impl->MarkDown(f);
      return RequestOutcome::Failed(f.code);
    };
    std::lock_guard<std::mutex> busy(impl->busy);
    HttpReply reply = impl->client->Send(AnalyseCall(impl->pair, platform::ToUtf8(trimmed)), token);
    // Servers without an analyser for the language refuse the call.
    if (reply.outcome == HttpReply::Outcome::Ok && (reply.status == 400 || reply.status == 404)) {
      return failed({kEngineErrorRemoteServer, L"offers no dictionary lookup for \"" +
                                                   platform::FromUtf8(impl->pair.from) + L"\""});
    }
    if (Failure f = FailureOf(reply)) return failed(f);
    ReadingsAnswer a = ReadReadings(reply.body);
    if (!a.error.empty()) return failed(Unreadable(a.error));
    if (a.readings.empty()) return RequestOutcome::Failed(kEngineErrorWordNotFound);
    std::wstring text;
    for (const Reading& r : a.readings) {
      std::vector<std::wstring> out;
      if (Failure f = impl->Exchange({platform::FromUtf8(r.lemma)}, token, &out)) return failed(f);
      std::wstring line = platform::FromUtf8(r.lemma);
      for (size_t i = 0; i < r.tags.size(); ++i) line += (i ? L", " : L" (") + platform::FromUtf8(r.tags[i]);
      if (!r.tags.empty()) line += L")";
      text += (text.empty() ? L"" : L"\r\n") + line + L": " + out.front();
    }
    res->Set(text);
    return RequestOutcome::Done();
  });
  return S_OK;
}

struct HttpFactory::Failed {
  std::mutex mutex;
  std::wstring text;
  void Set(std::wstring t) {
    std::lock_guard<std::mutex> lock(mutex);
    text = std::move(t);
  }
};

HttpFactory::HttpFactory(std::vector<ServerEntry> servers)
    : mServers(std::move(servers)), mFailed(std::make_shared<Failed>()) {}

HRESULT HttpFactory::GetEngineList(const std::wstring& engineId, const std::wstring&, const std::wstring&, LONG,
                                   std::shared_ptr<IEngineList>* list) {
  if (!list) return E_POINTER;
  if (mServers.empty()) return ENGINE_E_UNAVAILABLE;
  auto filled = std::make_shared<EngineList>();
  *list = filled;
  std::wstring wantedServer;
  RemotePair wantedPair;
  if (!engineId.empty() && !SplitEngineId(engineId, &wantedServer, &wantedPair)) {
    mRequest.Complete(RequestOutcome::Failed(kEngineErrorInvalidEngineId));
    return S_OK;
  }
  mFailed->Set({});
  mRequest.Start([servers = mServers, failed = mFailed, filled, engineId, wantedServer, wantedPair](
                     const CancelToken& token) {
    for (const ServerEntry& s : servers) {
      if (!engineId.empty() && !platform::EqualsNoCase(s.name, wantedServer)) continue;
      std::vector<RemotePair> pairs;
      Failure f = ListPairs(s, token, &pairs);
      if (f.cancelled) return RequestOutcome::Cancelled();
      if (f.code) {
        if (!engineId.empty()) {
          LOG_ERROR(kLogSource, Where(s) + L" " + f.what);
          failed->Set(Where(s) + L" " + f.what);
          return RequestOutcome::Failed(f.code);
        }
        LOG_WARNING(kLogSource, Where(s) + L" " + f.what + L"; its " + std::to_wstring(s.lastPairs.size()) +
                                    L" pairs of the last listing are kept, shown as unreachable");
        for (const auto& p : s.lastPairs) filled->Append(ListEntry(s, p, false));
        continue;
      }
      if (engineId.empty() && pairs != s.lastPairs) StorePairs(s.name, pairs);
      for (const auto& p : pairs) {
        if (engineId.empty() || p.Id() == wantedPair.Id()) filled->Append(ListEntry(s, p, true));
      }
    }
    LONG count = 0;
    filled->Count(&count);
    if (count == 0 && !engineId.empty()) return RequestOutcome::Failed(kEngineErrorInvalidEngineId);
    return RequestOutcome::Done();
  });
  return S_OK;
}

HRESULT HttpFactory::GetEngine(const std::shared_ptr<IEngineListItem>& item, std::shared_ptr<ITranslationEngine>* engine) {
  if (!engine) return E_POINTER;
  if (!item) return E_INVALIDARG;
  std::wstring id, name;
  RemotePair pair;
  HRESULT hr = item->EngineID(&id);
  if (FAILED(hr)) return hr;
  if (!SplitEngineId(id, &name, &pair)) return E_INVALIDARG;
  for (const ServerEntry& s : mServers) {
    if (!platform::EqualsNoCase(s.name, name)) continue;
    // The listing that gave the item stored the server's pairs.
    for (const ServerEntry& stored : LoadServers()) {
      if (platform::EqualsNoCase(stored.name, name)) SplitEngineId(id, &name, &pair, stored.lastPairs);
    }
    LOG_INFO(kLogSource, L"opening " + id + L" at " + platform::FromUtf8(s.url));
    *engine = std::make_shared<HttpEngine>(s, pair);
    mRequest.Complete(RequestOutcome::Done());
    return S_OK;
  }
  return E_INVALIDARG;
}

HRESULT HttpFactory::ErrorText(std::wstring* text) {
  if (!text) return E_POINTER;
  std::lock_guard<std::mutex> lock(mFailed->mutex);
  *text = mFailed->text;
  return S_OK;
}

std::wstring ProbeServer(const ServerEntry& server, std::vector<RemotePair>* pairs) {
  AsyncRequest request;
  auto failure = std::make_shared<Failure>();
  auto found = std::make_shared<std::vector<RemotePair>>();
  request.Start([server, failure, found](const CancelToken& token) {
    *failure = ListPairs(server, token, found.get());
    return RequestOutcome::Done();
  });
  LONG status = kRequestRunning;
  request.WaitForResult(-1, &status);
  if (failure->code) return Where(server) + L" " + failure->what;
  *pairs = *found;
  return {};
}

std::wstring AddCheckedServer(ServerEntry* server) {
  std::wstring failure = ProbeServer(*server, &server->lastPairs);
  if (!failure.empty()) return failure + L"; the server was not added";
  if (!SaveServer(*server, &failure)) return L"the server could not be stored: " + failure;
  return {};
}

namespace {

// The options dialog's way to the stored servers.
class HttpServerSettings : public engine_server::IServerSettings {
 public:
  std::vector<engine_server::ServerRow> Servers() override {
    std::vector<engine_server::ServerRow> rows;
    for (const ServerEntry& s : LoadServers()) {
      rows.push_back({s.name, platform::FromUtf8(s.url), platform::FromUtf8(ApiName(s.api))});
    }
    return rows;
  }
  bool Add(const engine_server::NewServer& given, std::wstring* error) override {
    ServerEntry server;
    server.name = given.name;
    server.url = platform::ToUtf8(given.url);
    if (!given.api.empty()) {
      auto api = ParseApi(platform::ToUtf8(given.api));
      if (!api) {
        *error = L"the API is apy or libretranslate, not '" + given.api + L"'";
        return false;
      }
      server.api = *api;
    }
    *error = CheckNewServer(&server);
    if (error->empty() && !given.keyFile.empty()) ReadKeyFile(given.keyFile, &server.key, error);
    if (error->empty()) *error = AddCheckedServer(&server);
    return error->empty();
  }
  bool Remove(const std::wstring& name, std::wstring* error) override { return RemoveServer(name, error); }
};

}  // namespace

void RegisterHttpServer() {
  InProcessImplementation impl;
  impl.name = kImplementationName;
  impl.available = [] { return !LoadServers().empty(); };
  impl.makeFactory = []() -> std::shared_ptr<IEngineFactory> { return std::make_shared<HttpFactory>(LoadServers()); };
  impl.makeServerSettings = []() -> std::shared_ptr<engine_server::IServerSettings> {
    return std::make_shared<HttpServerSettings>();
  };
  RegisterImplementation(std::move(impl));
}

}  // namespace http_engine
