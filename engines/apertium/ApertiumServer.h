// Apertium as an in-process engine server. Every installed translation
// direction (a mode file such as "eng-spa.mode") is one language pair of
// the implementation "Apertium". An opened engine runs the direction's
// stages as library calls in this process when it knows them all, else as
// one persistent pipeline of processes in null-flush mode, and sends each
// request through them as one chunk (texts announced ahead go several
// chunks at a time, so the stages work side by side); dictionary lookups go
// through the direction's analyser and bilingual dictionary the same way.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/EngineServer.h"
#include "src/engine/server/ServerObjects.h"

namespace apertium {

constexpr wchar_t kImplementationName[] = L"Apertium";

struct ApertiumPair {
  std::wstring id;        // the mode name, e.g. "eng-spa"
  std::wstring fromCode;  // Apertium's codes, e.g. "eng", "spa"
  std::wstring toCode;
  std::string modeFile;
  std::string analyser;   // the analyser's transducer, empty when unknown
  std::string bilingual;  // the bilingual dictionary's transducer
  bool HasDictionary() const { return !analyser.empty() && !bilingual.empty(); }
};

struct Settings {
  // Folders searched for mode files, in order; the first of a name wins.
  std::vector<std::string> modeDirs;
  // A request whose answer takes longer counts as a hung pipeline.
  int timeoutMs = 30000;
  // Replaces the direction's pipeline (bash command, $1 "-n"), for tests
  // that need a pipeline that hangs or crashes.
  std::string pipelineCommand;
  // Runs the stages of a direction inside this process where the in-process
  // runner knows them all; off, every direction uses the process pipeline.
  bool inProcess = true;

  // $PELORANT_APERTIUM_MODES (folders separated by ":") or Apertium's
  // standard folders; $PELORANT_APERTIUM_TIMEOUT_MS;
  // $PELORANT_APERTIUM_IN_PROCESS "0" turns the in-process runner off.
  static Settings FromEnvironment();
};

// The installed directions, sorted by id.
std::vector<ApertiumPair> FindPairs(const std::vector<std::string>& modeDirs);

// The pipeline command of the pair's mode file ("" when unreadable).
std::string ModeCommand(const ApertiumPair& pair);

// The list entry of a pair as the factory reports it.
engine_server::EngineListEntry ListEntry(const ApertiumPair& pair);

class ApertiumEngine : public engine_server::ServerEngine {
 public:
  ApertiumEngine(ApertiumPair pair, Settings settings);
  ~ApertiumEngine() override;

  // Starts the translation pipeline and waits until it answers; run by the
  // factory's open request.
  engine_server::RequestOutcome WarmUp(const engine_server::CancelToken& token);

  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override;
  HRESULT Cancel() override;
  HRESULT ErrorCode(LONG* code) override;
  HRESULT Info(LONG* flags) override;
  HRESULT Translate(const std::wstring& text, LONG mode,
                    std::shared_ptr<engine_server::ITranslationResult>* result) override;
  // Announced texts go through the pipeline back to back on a worker of
  // their own while the client writes the translations it has.
  HRESULT TranslateAhead(const std::vector<std::wstring>& texts, LONG mode) override;
  HRESULT DropAhead() override;
  HRESULT LookupDictionary(const std::wstring& word,
                           std::shared_ptr<engine_server::IDictionaryResult>* result) override;

  // The translation pipeline's process id (0 when not running, and always
  // when the stages run in process), so tests can kill it from outside.
  pid_t PipelineProcessId() const;

 private:
  struct Impl;
  // Shared with the request's worker, which may outlive this object.
  std::shared_ptr<Impl> mImpl;
  engine_server::AsyncRequest mRequest;
  // The worker that translates announced texts (destroyed first).
  engine_server::AsyncRequest mAhead;
};

class ApertiumFactory : public engine_server::ServerFactory {
 public:
  explicit ApertiumFactory(Settings settings) : mSettings(std::move(settings)) {}

  HRESULT GetEngineList(const std::wstring& engineId, const std::wstring& reserved1,
                        const std::wstring& reserved2, LONG flags,
                        std::shared_ptr<engine_server::IEngineList>* list) override;
  HRESULT GetEngine(const std::shared_ptr<engine_server::IEngineListItem>& item,
                    std::shared_ptr<engine_server::ITranslationEngine>* engine) override;

 private:
  Settings mSettings;
};

// Registers "Apertium" in the in-process class table, listed whenever at
// least one direction is installed. The program does this at start-up by
// itself (see ApertiumRegistration.cpp); tests may call it again.
void RegisterApertiumServer();

}  // namespace apertium
