// Asking an engine for a translation and waiting for its answer, for the
// Apertium engine's tests and for the bench that compares its two ways of
// running. What goes wrong on the way is handed to `fault`: a test fails
// with it, the bench counts the request's status instead.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/engine/server/EngineServer.h"

namespace testsupport {

using Fault = std::function<void(const std::string& what)>;

// Waits for the request to end, at most `limitMs`; one still running then
// is a fault, and is cancelled and waited for once more.
inline LONG WaitOrCancel(engine_server::IRequest& r, LONG limitMs, const Fault& fault) {
  LONG status = -1;
  if (r.WaitForResult(limitMs, &status) != S_OK) fault("waiting for the request failed");
  if (status == engine_server::kRequestRunning) {
    fault("the request did not end within " + std::to_string(limitMs) + " ms");
    r.Cancel();
    r.WaitForResult(limitMs, &status);
  }
  return status;
}

struct Answer {
  LONG status = -1;  // -1: the engine did not take the request
  LONG error = 0;
  std::wstring text;
  std::vector<engine_server::WordCorrespondence> groups;
};

// Translates `text` in `mode`, waiting at most two minutes.
inline Answer Ask(engine_server::ITranslationEngine& engine, const std::wstring& text, LONG mode,
                  const Fault& fault) {
  Answer a;
  std::shared_ptr<engine_server::ITranslationResult> result;
  if (engine.Translate(text, mode, &result) != S_OK) {
    fault("the engine did not take the request");
    return a;
  }
  a.status = WaitOrCancel(engine, 120000, fault);
  engine.ErrorCode(&a.error);
  if (a.status == engine_server::kRequestDone) {
    result->Text(&a.text);
    result->Correspondence(&a.groups);
  }
  return a;
}

}  // namespace testsupport
