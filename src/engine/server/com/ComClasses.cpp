// The engine-side contract over the engine COM servers. The servers' dual
// interfaces are called early-bound through their virtual tables; only the
// positions the add-in relies on are named, the others are placeholders
// that are never called.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <vector>

#include "src/engine/server/PlatformClasses.h"
#include "src/platform/Strings.h"
#include "src/platform/win32/ComOwners.h"

namespace engine_server::detail {
namespace {

// {D2EF2BC4-DBAE-40FA-9657-3A37B8D8B53B}
const CLSID kClsidImplementations = {0xD2EF2BC4, 0xDBAE, 0x40FA, {0x96, 0x57, 0x3A, 0x37, 0xB8, 0xD8, 0xB5, 0x3B}};
// {D000C846-5B1A-4B0F-BA79-EE033AA1D7D7}
const IID kIidImplementations = {0xD000C846, 0x5B1A, 0x4B0F, {0xBA, 0x79, 0xEE, 0x03, 0x3A, 0xA1, 0xD7, 0xD7}};
// {0966145B-7DB5-4CB6-9CA1-341F6E85E95A}
const CLSID kClsidEngineFactory = {0x0966145B, 0x7DB5, 0x4CB6, {0x9C, 0xA1, 0x34, 0x1F, 0x6E, 0x85, 0xE9, 0x5A}};
// {7254AEC9-A349-469F-A906-6F1A10956E4B}
const IID kIidEngineFactory = {0x7254AEC9, 0xA349, 0x469F, {0xA9, 0x06, 0x6F, 0x1A, 0x10, 0x95, 0x6E, 0x4B}};

// {15C40F77-E2D3-4262-BD73-193FBE4A70FC}
const IID kIidFamilyHelper = {0x15C40F77, 0xE2D3, 0x4262, {0xBD, 0x73, 0x19, 0x3F, 0xBE, 0x4A, 0x70, 0xFC}};

// Class context 23: in-process server and handler, local and remote server.
constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                CLSCTX_REMOTE_SERVER;

}  // namespace

// Positions 7 onwards of each interface, in table order. Declared with
// external linkage: nothing in this program implements them, and for an
// interface of internal linkage the compiler may conclude that a call
// through it can never happen and drop it.
namespace com_abi {

struct ComImplementations : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* name) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE Count(LONG* count) = 0;           // 9
};

struct ComRequest : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE WaitForResult(LONG timeoutMs, LONG* status) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;                                    // 8
  virtual HRESULT STDMETHODCALLTYPE ErrorCode(LONG* code) = 0;                        // 9
};

struct ComClientProperty : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE PutValue(VARIANT value) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;      // 9
};

struct ComClientProperties : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Item(VARIANT index, ComClientProperty** property) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE Count(LONG* count) = 0;                                 // 9
};

struct ComEngineListItem : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE EngineID(BSTR* v) = 0;          // 7
  virtual HRESULT STDMETHODCALLTYPE FromLang(BSTR* v) = 0;          // 8
  virtual HRESULT STDMETHODCALLTYPE ToLang(BSTR* v) = 0;            // 9
  virtual HRESULT STDMETHODCALLTYPE Flags(LONG* v) = 0;             // 10
  virtual HRESULT STDMETHODCALLTYPE DisplayName(BSTR* v) = 0;       // 11
  virtual HRESULT STDMETHODCALLTYPE ProductName(BSTR* v) = 0;       // 12
  virtual HRESULT STDMETHODCALLTYPE ProductNameShort(BSTR* v) = 0;  // 13
};

struct ComEngineList : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, ComEngineListItem** item) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE Count(LONG* count) = 0;                          // 9
};

struct ComEngineInfo : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Flags(LONG* flags) = 0;  // 10
};

// One correspondence group: counts and ranges of source and translation.
struct ComCorrespondenceGroup : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE SourceCount(LONG* count) = 0;                             // 7
  virtual HRESULT STDMETHODCALLTYPE TranslationCount(LONG* count) = 0;                        // 8
  virtual HRESULT STDMETHODCALLTYPE SourceRange(LONG index, LONG* position, LONG* length) = 0;       // 9
  virtual HRESULT STDMETHODCALLTYPE TranslationRange(LONG index, LONG* position, LONG* length) = 0;  // 10
};

struct ComCorrespondenceItem : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Group(ComCorrespondenceGroup** group) = 0;  // 12
};

struct ComCorrespondenceList : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, ComCorrespondenceItem** item) = 0;  // 8
  virtual HRESULT STDMETHODCALLTYPE Count(LONG* count) = 0;                              // 9
};

struct ComTranslationResult : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Text(BSTR* text) = 0;                               // 7
  virtual HRESULT STDMETHODCALLTYPE Correspondence(ComCorrespondenceList** list) = 0;  // 8
};

struct ComDictionaryResult : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Text(BSTR* text) = 0;  // 7
};

struct ComSentence : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Position(LONG* position) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE Length(LONG* length) = 0;      // 8
};

struct ComSentenceList : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Count(LONG* count) = 0;                     // 7
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, ComSentence** item) = 0;  // 8
};

struct ComTranslationEngine : ComRequest {
  virtual HRESULT STDMETHODCALLTYPE Slot10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Info(ComEngineInfo** info) = 0;                                     // 12
  virtual HRESULT STDMETHODCALLTYPE Translate(BSTR text, LONG mode, ComTranslationResult** result) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE LookupDictionary(BSTR word, ComDictionaryResult** result) = 0;      // 14
  virtual HRESULT STDMETHODCALLTYPE Slot15() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot16() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot17() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot18() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot19() = 0;
  virtual HRESULT STDMETHODCALLTYPE SettingsDialog(LONG_PTR ownerWindow) = 0;  // 20
  virtual HRESULT STDMETHODCALLTYPE Slot21() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot22() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot23() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot24() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot25() = 0;
  virtual HRESULT STDMETHODCALLTYPE SplitSentences(BSTR text, LONG mode, ComSentenceList** list) = 0;  // 26
  virtual HRESULT STDMETHODCALLTYPE DictionaryDialog(LONG_PTR ownerWindow) = 0;                         // 27
};

struct ComEngineFactory : ComRequest {
  virtual HRESULT STDMETHODCALLTYPE Slot10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot12() = 0;
  virtual HRESULT STDMETHODCALLTYPE Slot13() = 0;
  virtual HRESULT STDMETHODCALLTYPE PutImplementation(BSTR name) = 0;  // 14
  virtual HRESULT STDMETHODCALLTYPE Slot15() = 0;
  virtual HRESULT STDMETHODCALLTYPE PutDisplayLanguage(BSTR language) = 0;         // 16
  virtual HRESULT STDMETHODCALLTYPE Properties(ComClientProperties** properties) = 0;  // 17
  virtual HRESULT STDMETHODCALLTYPE GetEngineList(BSTR engineId, BSTR reserved1, BSTR reserved2, LONG flags,
                                                  ComEngineList** list) = 0;  // 18
  virtual HRESULT STDMETHODCALLTYPE GetEngine(VARIANT item, ComTranslationEngine** engine) = 0;  // 19
};

// The helper of a built-in engine family. Its form is this add-in's own:
// position 7 answers a capability question by number, position 8 opens the
// engine of one of the family's EngineIDs (the engine's own WaitForResult
// reports when the open has ended).
struct ComFamilyHelper : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Supports(LONG capability, VARIANT_BOOL* yes) = 0;                // 7
  virtual HRESULT STDMETHODCALLTYPE OpenEngine(BSTR engineId, ComTranslationEngine** engine) = 0;  // 8
};

}  // namespace com_abi

namespace {

using namespace com_abi;
using platform::win::Bstr;
using platform::win::ComPtr;
using platform::win::Variant;

template <typename Getter>
HRESULT ReadText(Getter get, std::wstring* out) {
  if (!out) return E_POINTER;
  Bstr b;
  HRESULT hr = get(b.Out());
  if (SUCCEEDED(hr)) *out = b.Text();
  return hr;
}

class ComListItemAdapter : public IEngineListItem {
 public:
  explicit ComListItemAdapter(ComPtr<ComEngineListItem> p) : mP(std::move(p)) {}
  HRESULT EngineID(std::wstring* v) override { return ReadText([&](BSTR* b) { return mP->EngineID(b); }, v); }
  HRESULT FromLang(std::wstring* v) override { return ReadText([&](BSTR* b) { return mP->FromLang(b); }, v); }
  HRESULT ToLang(std::wstring* v) override { return ReadText([&](BSTR* b) { return mP->ToLang(b); }, v); }
  HRESULT Flags(LONG* v) override { return v ? mP->Flags(v) : E_POINTER; }
  HRESULT DisplayName(std::wstring* v) override { return ReadText([&](BSTR* b) { return mP->DisplayName(b); }, v); }
  HRESULT ProductName(std::wstring* v) override { return ReadText([&](BSTR* b) { return mP->ProductName(b); }, v); }
  HRESULT ProductNameShort(std::wstring* v) override {
    return ReadText([&](BSTR* b) { return mP->ProductNameShort(b); }, v);
  }
  ComEngineListItem* Raw() const { return mP.Get(); }

 private:
  ComPtr<ComEngineListItem> mP;
};

class ComListAdapter : public IEngineList {
 public:
  explicit ComListAdapter(ComPtr<ComEngineList> p) : mP(std::move(p)) {}
  HRESULT Count(LONG* count) override { return count ? mP->Count(count) : E_POINTER; }
  HRESULT Item(LONG index, std::shared_ptr<IEngineListItem>* item) override {
    if (!item) return E_POINTER;
    ComPtr<ComEngineListItem> p;
    HRESULT hr = mP->Item(index, p.Out());
    if (FAILED(hr)) return hr;
    if (!p) return E_POINTER;
    *item = std::make_shared<ComListItemAdapter>(p);
    return S_OK;
  }

 private:
  ComPtr<ComEngineList> mP;
};

class ComPropertyAdapter : public IClientProperty {
 public:
  explicit ComPropertyAdapter(ComPtr<ComClientProperty> p) : mP(std::move(p)) {}
  HRESULT Name(std::wstring* name) override { return ReadText([&](BSTR* b) { return mP->GetName(b); }, name); }
  HRESULT SetValue(const std::wstring& value) override {
    Variant v(value);
    return mP->PutValue(v.Get());
  }

 private:
  ComPtr<ComClientProperty> mP;
};

class ComPropertiesAdapter : public IClientProperties {
 public:
  explicit ComPropertiesAdapter(ComPtr<ComClientProperties> p) : mP(std::move(p)) {}
  HRESULT Count(LONG* count) override { return count ? mP->Count(count) : E_POINTER; }
  HRESULT Item(LONG index, std::shared_ptr<IClientProperty>* property) override {
    if (!property) return E_POINTER;
    Variant v(index);
    ComPtr<ComClientProperty> p;
    HRESULT hr = mP->Item(v.Get(), p.Out());
    if (FAILED(hr)) return hr;
    if (!p) return E_POINTER;
    *property = std::make_shared<ComPropertyAdapter>(p);
    return S_OK;
  }

 private:
  ComPtr<ComClientProperties> mP;
};

class ComTranslationResultAdapter : public ITranslationResult {
 public:
  explicit ComTranslationResultAdapter(ComPtr<ComTranslationResult> p) : mP(std::move(p)) {}
  HRESULT Text(std::wstring* text) override { return ReadText([&](BSTR* b) { return mP->Text(b); }, text); }
  HRESULT Correspondence(std::vector<WordCorrespondence>* groups) override {
    if (!groups) return E_POINTER;
    groups->clear();
    ComPtr<ComCorrespondenceList> list;
    HRESULT hr = mP->Correspondence(list.Out());
    if (FAILED(hr)) return hr;
    if (!list) return S_OK;
    LONG count = 0;
    hr = list->Count(&count);
    if (FAILED(hr)) return hr;
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<ComCorrespondenceItem> item;
      hr = list->Item(i, item.Out());
      if (FAILED(hr)) return hr;
      if (!item) continue;
      ComPtr<ComCorrespondenceGroup> group;
      hr = item->Group(group.Out());
      if (FAILED(hr)) return hr;
      if (!group) continue;
      WordCorrespondence g;
      LONG s = 0, t = 0;
      if (FAILED(hr = group->SourceCount(&s)) || FAILED(hr = group->TranslationCount(&t))) return hr;
      for (LONG k = 1; k <= s; ++k) {
        TextRange r;
        if (FAILED(hr = group->SourceRange(k, &r.position, &r.length))) return hr;
        g.source.push_back(r);
      }
      for (LONG k = 1; k <= t; ++k) {
        TextRange r;
        if (FAILED(hr = group->TranslationRange(k, &r.position, &r.length))) return hr;
        g.translation.push_back(r);
      }
      groups->push_back(std::move(g));
    }
    return S_OK;
  }

 private:
  ComPtr<ComTranslationResult> mP;
};

class ComDictionaryResultAdapter : public IDictionaryResult {
 public:
  explicit ComDictionaryResultAdapter(ComPtr<ComDictionaryResult> p) : mP(std::move(p)) {}
  HRESULT Text(std::wstring* text) override { return ReadText([&](BSTR* b) { return mP->Text(b); }, text); }

 private:
  ComPtr<ComDictionaryResult> mP;
};

class ComEngineAdapter : public ITranslationEngine {
 public:
  explicit ComEngineAdapter(ComPtr<ComTranslationEngine> p) : mP(std::move(p)) {}
  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override {
    return status ? mP->WaitForResult(timeoutMs, status) : E_POINTER;
  }
  HRESULT Cancel() override { return mP->Cancel(); }
  HRESULT ErrorCode(LONG* code) override { return code ? mP->ErrorCode(code) : E_POINTER; }
  HRESULT Info(LONG* flags) override {
    if (!flags) return E_POINTER;
    ComPtr<ComEngineInfo> info;
    HRESULT hr = mP->Info(info.Out());
    if (FAILED(hr)) return hr;
    if (!info) return E_POINTER;
    return info->Flags(flags);
  }
  HRESULT Translate(const std::wstring& text, LONG mode, std::shared_ptr<ITranslationResult>* result) override {
    if (!result) return E_POINTER;
    Bstr b(text);
    ComPtr<ComTranslationResult> r;
    HRESULT hr = mP->Translate(b.Get(), mode, r.Out());
    if (FAILED(hr)) return hr;
    if (!r) return E_POINTER;
    *result = std::make_shared<ComTranslationResultAdapter>(r);
    return S_OK;
  }
  HRESULT LookupDictionary(const std::wstring& word, std::shared_ptr<IDictionaryResult>* result) override {
    if (!result) return E_POINTER;
    Bstr b(word);
    ComPtr<ComDictionaryResult> r;
    HRESULT hr = mP->LookupDictionary(b.Get(), r.Out());
    if (FAILED(hr)) return hr;
    if (!r) return E_POINTER;
    *result = std::make_shared<ComDictionaryResultAdapter>(r);
    return S_OK;
  }
  HRESULT SplitSentences(const std::wstring& text, LONG mode, std::vector<SentenceSpan>* sentences) override {
    if (!sentences) return E_POINTER;
    sentences->clear();
    Bstr b(text);
    ComPtr<ComSentenceList> list;
    HRESULT hr = mP->SplitSentences(b.Get(), mode, list.Out());
    if (hr == E_NOTIMPL || (SUCCEEDED(hr) && !list)) return S_FALSE;
    if (FAILED(hr)) return hr;
    LONG count = 0;
    if (FAILED(hr = list->Count(&count))) return hr;
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<ComSentence> s;
      if (FAILED(hr = list->Item(i, s.Out()))) return hr;
      if (!s) return E_POINTER;
      SentenceSpan span;
      if (FAILED(hr = s->Position(&span.position)) || FAILED(hr = s->Length(&span.length))) return hr;
      sentences->push_back(span);
    }
    return sentences->empty() ? S_FALSE : S_OK;
  }
  HRESULT ShowSettingsDialog(std::uintptr_t ownerWindow) override {
    return mP->SettingsDialog(static_cast<LONG_PTR>(ownerWindow));
  }
  HRESULT ShowDictionaryDialog(std::uintptr_t ownerWindow) override {
    return mP->DictionaryDialog(static_cast<LONG_PTR>(ownerWindow));
  }

 private:
  ComPtr<ComTranslationEngine> mP;
};

class ComFactoryAdapter : public IEngineFactory {
 public:
  explicit ComFactoryAdapter(ComPtr<ComEngineFactory> p) : mP(std::move(p)) {}
  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override {
    return status ? mP->WaitForResult(timeoutMs, status) : E_POINTER;
  }
  HRESULT Cancel() override { return mP->Cancel(); }
  HRESULT ErrorCode(LONG* code) override { return code ? mP->ErrorCode(code) : E_POINTER; }
  HRESULT SetImplementation(const std::wstring& name) override {
    Bstr b(name);
    return mP->PutImplementation(b.Get());
  }
  HRESULT SetDisplayLanguage(const std::wstring& language) override {
    Bstr b(language);
    return mP->PutDisplayLanguage(b.Get());
  }
  HRESULT Properties(std::shared_ptr<IClientProperties>* properties) override {
    if (!properties) return E_POINTER;
    ComPtr<ComClientProperties> p;
    HRESULT hr = mP->Properties(p.Out());
    if (FAILED(hr)) return hr;
    if (!p) return E_POINTER;
    *properties = std::make_shared<ComPropertiesAdapter>(p);
    return S_OK;
  }
  HRESULT GetEngineList(const std::wstring& engineId, const std::wstring& reserved1, const std::wstring& reserved2,
                        LONG flags, std::shared_ptr<IEngineList>* list) override {
    if (!list) return E_POINTER;
    Bstr a(engineId), b(reserved1), c(reserved2);
    ComPtr<ComEngineList> l;
    HRESULT hr = mP->GetEngineList(a.Get(), b.Get(), c.Get(), flags, l.Out());
    if (FAILED(hr)) return hr;
    if (!l) return E_POINTER;
    *list = std::make_shared<ComListAdapter>(l);
    return S_OK;
  }
  HRESULT GetEngine(const std::shared_ptr<IEngineListItem>& item,
                    std::shared_ptr<ITranslationEngine>* engine) override {
    if (!engine) return E_POINTER;
    // Only an item this factory listed can be handed back to it.
    auto* listed = dynamic_cast<ComListItemAdapter*>(item.get());
    if (!listed) return E_INVALIDARG;
    Variant v(static_cast<IDispatch*>(listed->Raw()));
    ComPtr<ComTranslationEngine> e;
    HRESULT hr = mP->GetEngine(v.Get(), e.Out());
    if (FAILED(hr)) return hr;
    if (!e) return E_POINTER;
    *engine = std::make_shared<ComEngineAdapter>(e);
    return S_OK;
  }

 private:
  ComPtr<ComEngineFactory> mP;
};

class ComImplementationsAdapter : public IImplementations {
 public:
  explicit ComImplementationsAdapter(ComPtr<ComImplementations> p) : mP(std::move(p)) {}
  HRESULT Count(LONG* count) override { return count ? mP->Count(count) : E_POINTER; }
  HRESULT Item(LONG index, std::wstring* name) override {
    return ReadText([&](BSTR* b) { return mP->Item(index, b); }, name);
  }

 private:
  ComPtr<ComImplementations> mP;
};

class ComFamilyHelperAdapter : public IFamilyHelper {
 public:
  explicit ComFamilyHelperAdapter(ComPtr<ComFamilyHelper> p) : mP(std::move(p)) {}
  HRESULT Supports(LONG capability, bool* yes) override {
    if (!yes) return E_POINTER;
    VARIANT_BOOL answer = VARIANT_FALSE;
    HRESULT hr = mP->Supports(capability, &answer);
    if (SUCCEEDED(hr)) *yes = answer != VARIANT_FALSE;
    return hr;
  }
  HRESULT OpenEngine(const std::wstring& engineId, std::shared_ptr<ITranslationEngine>* engine) override {
    if (!engine) return E_POINTER;
    Bstr id(engineId);
    ComPtr<ComTranslationEngine> e;
    HRESULT hr = mP->OpenEngine(id.Get(), e.Out());
    if (FAILED(hr)) return hr;
    if (!e) return E_POINTER;
    *engine = std::make_shared<ComEngineAdapter>(e);
    return S_OK;
  }

 private:
  ComPtr<ComFamilyHelper> mP;
};

HRESULT ComCreateEngineFactory(std::shared_ptr<IEngineFactory>* factory) {
  ComPtr<ComEngineFactory> p;
  HRESULT hr = CoCreateInstance(kClsidEngineFactory, nullptr, kClassContext, kIidEngineFactory,
                                reinterpret_cast<void**>(p.Out()));
  if (FAILED(hr)) return hr;
  if (!p) return E_NOINTERFACE;
  *factory = std::make_shared<ComFactoryAdapter>(p);
  return S_OK;
}

HRESULT ComCreateImplementations(std::shared_ptr<IImplementations>* implementations) {
  ComPtr<ComImplementations> p;
  HRESULT hr = CoCreateInstance(kClsidImplementations, nullptr, kClassContext, kIidImplementations,
                                reinterpret_cast<void**>(p.Out()));
  if (FAILED(hr)) return hr;
  if (!p) return E_NOINTERFACE;
  *implementations = std::make_shared<ComImplementationsAdapter>(p);
  return S_OK;
}

// Servers of engines/ that the DLL carries (shared translation servers)
// are served in-process beside the COM servers: their names join the COM
// list, and the factory forwards to the in-process side once the client
// chooses one of them. Without such a server both behave as COM alone.
std::vector<std::wstring> InProcessNames() {
  std::shared_ptr<IImplementations> own;
  std::vector<std::wstring> names;
  LONG count = 0;
  if (FAILED(CreateInProcessImplementations(&own)) || FAILED(own->Count(&count))) return names;
  for (LONG i = 1; i <= count; ++i) {
    std::wstring name;
    if (SUCCEEDED(own->Item(i, &name))) names.push_back(std::move(name));
  }
  return names;
}

bool ServedInProcess(const std::wstring& name) {
  for (const auto& registered : RegisteredImplementations()) {
    if (platform::EqualsNoCase(registered, name)) return true;
  }
  return false;
}

}  // namespace

HRESULT PlatformCreateEngineFactory(std::shared_ptr<IEngineFactory>* factory) {
  if (!factory) return E_POINTER;
  std::shared_ptr<IEngineFactory> com;
  HRESULT hr = ComCreateEngineFactory(&com);
  if (RegisteredImplementations().empty()) {
    if (SUCCEEDED(hr)) *factory = std::move(com);
    return hr;
  }
  if (FAILED(hr) && InProcessNames().empty()) return hr;
  *factory = MakeDispatchingFactory(std::move(com), hr);
  return S_OK;
}

HRESULT PlatformCreateImplementations(std::shared_ptr<IImplementations>* implementations) {
  if (!implementations) return E_POINTER;
  std::shared_ptr<IImplementations> com;
  HRESULT hr = ComCreateImplementations(&com);
  std::vector<std::wstring> names = InProcessNames();
  if (names.empty()) {
    if (SUCCEEDED(hr)) *implementations = std::move(com);
    return hr;
  }
  std::vector<std::wstring> joined;
  LONG count = 0;
  if (SUCCEEDED(hr) && SUCCEEDED(com->Count(&count))) {
    for (LONG i = 1; i <= count; ++i) {
      std::wstring name;
      if (SUCCEEDED(com->Item(i, &name)) && !ServedInProcess(name)) joined.push_back(std::move(name));
    }
  }
  joined.insert(joined.end(), names.begin(), names.end());
  *implementations = MakeImplementationList(std::move(joined));
  return S_OK;
}

// A family's registered identifier (engine identifier or helper ProgID)
// gives its class; an unregistered one is REGDB_E_CLASSNOTREG, a class that
// does not speak the helper interface E_NOINTERFACE (installed, not usable).
HRESULT PlatformCreateFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper) {
  if (!helper) return E_POINTER;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) return REGDB_E_CLASSNOTREG;
  ComPtr<ComFamilyHelper> p;
  HRESULT hr = CoCreateInstance(clsid, nullptr, kClassContext, kIidFamilyHelper, p.OutVoid());
  if (FAILED(hr)) return hr;
  if (!p) return E_NOINTERFACE;
  *helper = std::make_shared<ComFamilyHelperAdapter>(std::move(p));
  return S_OK;
}

// Whether each InitializeEngineThread of this thread owes a CoUninitialize:
// a thread already in the multi-threaded apartment keeps working in it and
// must not be uninitialized on its owner's behalf.
thread_local std::vector<bool> tOwesUninitialize;

HRESULT PlatformInitializeThread() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (hr == RPC_E_CHANGED_MODE) {
    tOwesUninitialize.push_back(false);
    return S_FALSE;
  }
  if (FAILED(hr)) return hr;
  tOwesUninitialize.push_back(true);
  return hr;
}

void PlatformUninitializeThread() {
  if (tOwesUninitialize.empty()) return;
  bool owes = tOwesUninitialize.back();
  tOwesUninitialize.pop_back();
  if (owes) CoUninitialize();
}

}  // namespace engine_server::detail
