// Requests to the Apertium engine as the suite makes them: the installed
// eng-spa direction, either runner of its stages, and answers waited for.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/apertium/ApertiumServer.h"
#include "src/platform/Strings.h"

namespace apertiumtest {

using namespace engine_server;

// Waits for a request to end, at most `limitMs`; a request still running
// then fails the test and is cancelled.
inline LONG Wait(IRequest& r, LONG limitMs = 120000) {
  LONG status = -1;
  EXPECT_EQ(S_OK, r.WaitForResult(limitMs, &status));
  if (status == kRequestRunning) {
    ADD_FAILURE() << "the request did not end within " << limitMs << " ms";
    r.Cancel();
    r.WaitForResult(limitMs, &status);
  }
  return status;
}

inline LONG Code(IRequest& r) {
  LONG code = 0;
  r.ErrorCode(&code);
  return code;
}

struct Answer {
  LONG status = -1;
  LONG error = 0;
  std::wstring text;
  std::vector<WordCorrespondence> groups;
};

inline Answer Ask(ITranslationEngine& engine, const std::wstring& text, LONG mode = kTranslateModePlain) {
  Answer a;
  std::shared_ptr<ITranslationResult> result;
  EXPECT_EQ(S_OK, engine.Translate(text, mode, &result));
  a.status = Wait(engine);
  a.error = Code(engine);
  if (a.status == kRequestDone) {
    result->Text(&a.text);
    result->Correspondence(&a.groups);
  }
  return a;
}

// The translation of a request that must succeed.
inline std::wstring Translate(ITranslationEngine& engine, const std::wstring& text, LONG mode = kTranslateModePlain,
                              std::vector<WordCorrespondence>* groups = nullptr) {
  Answer a = Ask(engine, text, mode);
  EXPECT_EQ(kRequestDone, a.status) << platform::ToUtf8(text);
  if (groups) *groups = a.groups;
  return a.text;
}

// Looks `word` up and gives the request's final status and the entry's text.
inline LONG LookUp(ITranslationEngine& engine, const std::wstring& word, std::wstring* text) {
  std::shared_ptr<IDictionaryResult> result;
  EXPECT_EQ(S_OK, engine.LookupDictionary(word, &result));
  LONG status = Wait(engine);
  if (status == kRequestDone) result->Text(text);
  return status;
}

inline bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// The stages in process, or as one pipeline of processes.
inline apertium::Settings Runner(bool inProcess) {
  apertium::Settings s = apertium::Settings::FromEnvironment();
  s.inProcess = inProcess;
  return s;
}

inline apertium::ApertiumPair PairNamed(const std::wstring& id,
                                        const std::vector<std::string>& modeDirs = Runner(true).modeDirs) {
  for (auto& p : apertium::FindPairs(modeDirs)) {
    if (p.id == id) return p;
  }
  ADD_FAILURE() << "no pair " << platform::ToUtf8(id);
  return {};
}

}  // namespace apertiumtest
