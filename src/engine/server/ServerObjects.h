// Plain implementations of the contract's data objects, for in-process
// engine servers: a client property bag, an engine list that a listing job
// fills, and result objects that a translating job fills. Each is safe to
// fill on the worker thread while the client holds it, because the client
// reads only after WaitForResult has reported the end of the request.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/EngineServer.h"

namespace engine_server {

class ClientProperties : public IClientProperties {
 public:
  // Properties with the given names, all without a value.
  explicit ClientProperties(std::vector<std::wstring> names = {L"ClientId"});

  HRESULT Count(LONG* count) override;
  HRESULT Item(LONG index, std::shared_ptr<IClientProperty>* property) override;

  // The value last set on the named property (empty when none).
  std::wstring Value(const std::wstring& name) const;

 private:
  class Property;
  std::vector<std::shared_ptr<Property>> mItems;
};

// One language pair as a server lists it.
struct EngineListEntry {
  std::wstring engineId;
  std::wstring fromLang;
  std::wstring toLang;
  LONG flags = 0;
  std::wstring displayName;
  std::wstring productName;
  std::wstring productNameShort;
};

class EngineListItem : public IEngineListItem {
 public:
  explicit EngineListItem(EngineListEntry entry) : mEntry(std::move(entry)) {}
  HRESULT EngineID(std::wstring* value) override;
  HRESULT FromLang(std::wstring* value) override;
  HRESULT ToLang(std::wstring* value) override;
  HRESULT Flags(LONG* value) override;
  HRESULT DisplayName(std::wstring* value) override;
  HRESULT ProductName(std::wstring* value) override;
  HRESULT ProductNameShort(std::wstring* value) override;

  const EngineListEntry& Entry() const { return mEntry; }

 protected:
  EngineListEntry mEntry;
};

class EngineList : public IEngineList {
 public:
  HRESULT Count(LONG* count) override;
  HRESULT Item(LONG index, std::shared_ptr<IEngineListItem>* item) override;

  void Append(std::shared_ptr<IEngineListItem> item);
  void Append(EngineListEntry entry) { Append(std::make_shared<EngineListItem>(std::move(entry))); }

 private:
  mutable std::mutex mMutex;
  std::vector<std::shared_ptr<IEngineListItem>> mItems;
};

class TranslationResult : public ITranslationResult {
 public:
  HRESULT Text(std::wstring* text) override;
  HRESULT Correspondence(std::vector<WordCorrespondence>* groups) override;

  void Set(std::wstring text, std::vector<WordCorrespondence> groups = {});

 private:
  mutable std::mutex mMutex;
  std::wstring mText;
  std::vector<WordCorrespondence> mGroups;
};

// The word a dictionary lookup asks for: a selection often carries the
// blank or the punctuation next to the word, which are cut off.
std::wstring LookupWord(std::wstring selection);

class DictionaryResult : public IDictionaryResult {
 public:
  HRESULT Text(std::wstring* text) override;
  void Set(std::wstring text);

 private:
  mutable std::mutex mMutex;
  std::wstring mText;
};

// What the engines of the in-process servers share: sentences are left to
// the client's splitter, and there are no dialogs.
class ServerEngine : public ITranslationEngine {
 public:
  HRESULT SplitSentences(const std::wstring& text, LONG mode, std::vector<SentenceSpan>* sentences) override;
  HRESULT ShowSettingsDialog(std::uintptr_t) override { return E_NOTIMPL; }
  HRESULT ShowDictionaryDialog(std::uintptr_t) override { return E_NOTIMPL; }
};

// What the factories of the in-process servers share: they need neither
// the implementation name nor a display language, hand out one property
// bag, and run their requests on mRequest.
class ServerFactory : public IEngineFactory {
 public:
  HRESULT SetImplementation(const std::wstring&) override { return S_OK; }
  HRESULT SetDisplayLanguage(const std::wstring&) override { return S_OK; }
  HRESULT Properties(std::shared_ptr<IClientProperties>* properties) override;
  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override { return mRequest.WaitForResult(timeoutMs, status); }
  HRESULT Cancel() override { return mRequest.Cancel(); }
  HRESULT ErrorCode(LONG* code) override { return mRequest.ErrorCode(code); }

 protected:
  AsyncRequest mRequest;

 private:
  std::shared_ptr<ClientProperties> mProperties = std::make_shared<ClientProperties>();
};

}  // namespace engine_server
