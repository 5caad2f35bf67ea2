// An engine side whose every answer a test decides: which implementations
// exist, what each listing returns or how it fails, which property reads of
// which pair fail. It counts what the add-in asked so tests can tell whether
// the engine side was contacted at all.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "src/engine/server/EngineClasses.h"

namespace enginetest {

using namespace engine_server;

struct ScriptPair {
  std::wstring engineID, fromLang, toLang, displayName, productName, productNameShort;
  LONG flags = 1;
  std::set<std::wstring> failingReads;  // "DisplayName", "EngineID", ...
};

struct ScriptImplementation {
  std::wstring name;
  HRESULT getEngineListHr = S_OK;
  LONG status = kRequestDone;
  LONG errorCode = 0;
  HRESULT setImplementationHr = S_OK;
  bool hasClientId = true;
  std::vector<ScriptPair> pairs;
};

struct EngineScript {
  HRESULT createFactoryHr = S_OK;
  int failFactoryAfter = -1;  // creations that succeed before they start failing; -1: never
  HRESULT createImplementationsHr = S_OK;
  std::vector<ScriptImplementation> implementations;

  int factoriesCreated = 0;
  int getEngineListCalls = 0;
  std::vector<std::wstring> clientIds;
  std::vector<std::wstring> displayLanguages;
  std::vector<LONG> enumFlags;
};

class ScriptItem : public IEngineListItem {
 public:
  explicit ScriptItem(ScriptPair p) : mPair(std::move(p)) {}
  HRESULT EngineID(std::wstring* v) override { return Read(L"EngineID", mPair.engineID, v); }
  HRESULT FromLang(std::wstring* v) override { return Read(L"FromLang", mPair.fromLang, v); }
  HRESULT ToLang(std::wstring* v) override { return Read(L"ToLang", mPair.toLang, v); }
  HRESULT Flags(LONG* v) override {
    if (mPair.failingReads.count(L"Flags")) return E_FAIL;
    *v = mPair.flags;
    return S_OK;
  }
  HRESULT DisplayName(std::wstring* v) override { return Read(L"DisplayName", mPair.displayName, v); }
  HRESULT ProductName(std::wstring* v) override { return Read(L"ProductName", mPair.productName, v); }
  HRESULT ProductNameShort(std::wstring* v) override {
    return Read(L"ProductNameShort", mPair.productNameShort, v);
  }

 private:
  HRESULT Read(const wchar_t* what, const std::wstring& value, std::wstring* out) {
    if (mPair.failingReads.count(what)) return E_FAIL;
    *out = value;
    return S_OK;
  }
  ScriptPair mPair;
};

class ScriptList : public IEngineList {
 public:
  explicit ScriptList(std::vector<ScriptPair> pairs) : mPairs(std::move(pairs)) {}
  HRESULT Count(LONG* c) override {
    *c = static_cast<LONG>(mPairs.size());
    return S_OK;
  }
  HRESULT Item(LONG i, std::shared_ptr<IEngineListItem>* item) override {
    if (i < 1 || i > static_cast<LONG>(mPairs.size())) return E_INVALIDARG;
    *item = std::make_shared<ScriptItem>(mPairs[i - 1]);
    return S_OK;
  }

 private:
  std::vector<ScriptPair> mPairs;
};

class ScriptProperty : public IClientProperty {
 public:
  ScriptProperty(std::wstring name, EngineScript* script) : mName(std::move(name)), mScript(script) {}
  HRESULT Name(std::wstring* n) override {
    *n = mName;
    return S_OK;
  }
  HRESULT SetValue(const std::wstring& v) override {
    if (mName == L"ClientId") mScript->clientIds.push_back(v);
    return S_OK;
  }

 private:
  std::wstring mName;
  EngineScript* mScript;
};

class ScriptProperties : public IClientProperties {
 public:
  ScriptProperties(bool hasClientId, EngineScript* script) {
    mItems.push_back(std::make_shared<ScriptProperty>(L"Other", script));
    if (hasClientId) mItems.push_back(std::make_shared<ScriptProperty>(L"ClientId", script));
  }
  HRESULT Count(LONG* c) override {
    *c = static_cast<LONG>(mItems.size());
    return S_OK;
  }
  HRESULT Item(LONG i, std::shared_ptr<IClientProperty>* p) override {
    if (i < 1 || i > static_cast<LONG>(mItems.size())) return E_INVALIDARG;
    *p = mItems[i - 1];
    return S_OK;
  }

 private:
  std::vector<std::shared_ptr<IClientProperty>> mItems;
};

class ScriptFactory : public IEngineFactory {
 public:
  explicit ScriptFactory(EngineScript* script) : mScript(script) {}
  HRESULT WaitForResult(LONG, LONG* status) override {
    *status = mCurrent ? mCurrent->status : kRequestDone;
    return S_OK;
  }
  HRESULT Cancel() override { return S_OK; }
  HRESULT ErrorCode(LONG* code) override {
    *code = mCurrent ? mCurrent->errorCode : 0;
    return S_OK;
  }
  HRESULT SetImplementation(const std::wstring& name) override {
    for (auto& impl : mScript->implementations) {
      if (impl.name == name) {
        mCurrent = &impl;
        return impl.setImplementationHr;
      }
    }
    return E_INVALIDARG;
  }
  HRESULT SetDisplayLanguage(const std::wstring& language) override {
    mScript->displayLanguages.push_back(language);
    return S_OK;
  }
  HRESULT Properties(std::shared_ptr<IClientProperties>* p) override {
    *p = std::make_shared<ScriptProperties>(mCurrent ? mCurrent->hasClientId : true, mScript);
    return S_OK;
  }
  HRESULT GetEngineList(const std::wstring&, const std::wstring&, const std::wstring&, LONG flags,
                        std::shared_ptr<IEngineList>* list) override {
    ++mScript->getEngineListCalls;
    mScript->enumFlags.push_back(flags);
    if (!mCurrent) return E_UNEXPECTED;
    if (FAILED(mCurrent->getEngineListHr)) return mCurrent->getEngineListHr;
    *list = std::make_shared<ScriptList>(mCurrent->pairs);
    return S_OK;
  }
  HRESULT GetEngine(const std::shared_ptr<IEngineListItem>&, std::shared_ptr<ITranslationEngine>*) override {
    return E_NOTIMPL;
  }

 private:
  EngineScript* mScript;
  ScriptImplementation* mCurrent = nullptr;
};

class ScriptImplementations : public IImplementations {
 public:
  explicit ScriptImplementations(EngineScript* script) : mScript(script) {}
  HRESULT Count(LONG* c) override {
    *c = static_cast<LONG>(mScript->implementations.size());
    return S_OK;
  }
  HRESULT Item(LONG i, std::wstring* name) override {
    if (i < 1 || i > static_cast<LONG>(mScript->implementations.size())) return E_INVALIDARG;
    *name = mScript->implementations[i - 1].name;
    return S_OK;
  }

 private:
  EngineScript* mScript;
};

inline ClassHooks ScriptHooks(EngineScript* script) {
  ClassHooks hooks;
  hooks.createEngineFactory = [script](std::shared_ptr<IEngineFactory>* out) -> HRESULT {
    if (FAILED(script->createFactoryHr)) return script->createFactoryHr;
    if (script->failFactoryAfter >= 0 && script->factoriesCreated >= script->failFactoryAfter) {
      return REGDB_E_CLASSNOTREG;
    }
    ++script->factoriesCreated;
    *out = std::make_shared<ScriptFactory>(script);
    return S_OK;
  };
  hooks.createImplementations = [script](std::shared_ptr<IImplementations>* out) -> HRESULT {
    if (FAILED(script->createImplementationsHr)) return script->createImplementationsHr;
    *out = std::make_shared<ScriptImplementations>(script);
    return S_OK;
  };
  hooks.createFamilyHelper = [](const std::wstring&, std::shared_ptr<IFamilyHelper>*) -> HRESULT {
    return REGDB_E_CLASSNOTREG;
  };
  return hooks;
}

inline ScriptPair Pair(std::wstring id, std::wstring from, std::wstring to, std::wstring display,
                       std::wstring product = L"Prod") {
  ScriptPair p;
  p.engineID = std::move(id);
  p.fromLang = std::move(from);
  p.toLang = std::move(to);
  p.displayName = std::move(display);
  p.productName = std::move(product);
  p.productNameShort = L"P";
  return p;
}

}  // namespace enginetest
