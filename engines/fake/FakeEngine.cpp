#include "engines/fake/FakeEngine.h"

#include <algorithm>
#include <cwctype>
#include <deque>

#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/ServerObjects.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

namespace fake_engine {

using namespace engine_server;

namespace {

// Plays a scripted request: holds, then hangs or sleeps (ending early when
// cancelled), then ends as scripted. Done means the caller fills the result.
RequestOutcome Play(const Behaviour& b, const CancelToken& token) {
  if (b.hold) b.hold();
  if (b.hang) {
    while (!token.SleepFor(std::chrono::milliseconds(50))) {
    }
    return RequestOutcome::Cancelled();
  }
  if (b.delayMs > 0 && token.SleepFor(std::chrono::milliseconds(b.delayMs))) {
    return RequestOutcome::Cancelled();
  }
  if (token.Cancelled()) return RequestOutcome::Cancelled();
  return {b.status, b.errorCode};
}

const std::wstring kOpenBracket = L"\u27E6";
const std::wstring kCloseBracket = L"\u27E7";

struct Word {
  LONG position;
  LONG length;
};

std::vector<Word> Words(const std::wstring& text) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::iswspace(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !std::iswspace(text[i])) ++i;
    if (i > start) words.push_back({static_cast<LONG>(start), static_cast<LONG>(i - start)});
  }
  return words;
}

class FakeListItem : public EngineListItem {
 public:
  FakeListItem(EngineListEntry entry, std::map<ItemProperty, HRESULT> failing)
      : EngineListItem(std::move(entry)), mFailing(std::move(failing)) {}
  HRESULT EngineID(std::wstring* v) override { return Read(ItemProperty::EngineID, [&] { return EngineListItem::EngineID(v); }); }
  HRESULT FromLang(std::wstring* v) override { return Read(ItemProperty::FromLang, [&] { return EngineListItem::FromLang(v); }); }
  HRESULT ToLang(std::wstring* v) override { return Read(ItemProperty::ToLang, [&] { return EngineListItem::ToLang(v); }); }
  HRESULT Flags(LONG* v) override { return Read(ItemProperty::Flags, [&] { return EngineListItem::Flags(v); }); }
  HRESULT DisplayName(std::wstring* v) override { return Read(ItemProperty::DisplayName, [&] { return EngineListItem::DisplayName(v); }); }
  HRESULT ProductName(std::wstring* v) override { return Read(ItemProperty::ProductName, [&] { return EngineListItem::ProductName(v); }); }
  HRESULT ProductNameShort(std::wstring* v) override {
    return Read(ItemProperty::ProductNameShort, [&] { return EngineListItem::ProductNameShort(v); });
  }

 private:
  template <typename F>
  HRESULT Read(ItemProperty p, F read) {
    auto it = mFailing.find(p);
    return it != mFailing.end() ? it->second : read();
  }
  std::map<ItemProperty, HRESULT> mFailing;
};

EngineListEntry ToEntry(const FakePair& p) {
  return {p.engineId, p.fromLang, p.toLang, p.flags, p.displayName, p.productName, p.productNameShort};
}

}  // namespace

class FakeTranslationEngine : public ITranslationEngine {
 public:
  FakeTranslationEngine(std::shared_ptr<FakeImplementation> impl, FakePair pair)
      : mImpl(std::move(impl)), mPair(std::move(pair)) {}

  // The open as the engine's own request (the family helper path).
  void StartOpen(const Behaviour& b) {
    mRequest.Start([b](const CancelToken& token) {
      RequestOutcome o = Play(b, token);
      if (o.status == kRequestFailed && b.engineErrorCode != 0) o.errorCode = b.engineErrorCode;
      return o;
    });
  }
  void SetOpenErrorCode(LONG code) { mOpenErrorCode = code; }

  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override { return mRequest.WaitForResult(timeoutMs, status); }
  HRESULT Cancel() override {
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      ++mImpl->mCancels;
      ForgetAhead();
    }
    return mRequest.Cancel();
  }
  HRESULT ErrorCode(LONG* code) override {
    if (!code) return E_POINTER;
    if (mOpenErrorCode != 0 && !mStarted) {
      *code = mOpenErrorCode;
      return S_OK;
    }
    return mRequest.ErrorCode(code);
  }

  HRESULT Info(LONG* flags) override {
    if (!flags) return E_POINTER;
    Behaviour b = mImpl->Take(Operation::Info);
    if (FAILED(b.callResult)) return b.callResult;
    *flags = mPair.infoFlags;
    return S_OK;
  }

  HRESULT Translate(const std::wstring& text, LONG mode, std::shared_ptr<ITranslationResult>* result) override {
    if (!result) return E_POINTER;
    Behaviour b = mImpl->Take(Operation::Translate);
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      mImpl->mTranslateCalls.push_back({mPair.engineId, text, mode});
      auto it = std::find_if(mAhead.begin(), mAhead.end(),
                             [&](const TranslateCall& c) { return c.text == text && c.mode == mode; });
      if (it != mAhead.end()) {
        mImpl->mDroppedAhead += static_cast<int>(it - mAhead.begin());
        ++mImpl->mAnsweredAhead;
        mAhead.erase(mAhead.begin(), it + 1);
      }
    }
    if (FAILED(b.callResult)) return b.callResult;
    auto res = std::make_shared<TranslationResult>();
    *result = res;
    mStarted = true;
    auto impl = mImpl;
    mRequest.Start([b, impl, res, text, mode](const CancelToken& token) {
      RequestOutcome o = Play(b, token);
      if (o.status == kRequestDone) {
        std::wstring translation = impl->TranslateText(text);
        std::vector<WordCorrespondence> groups;
        if (mode == kTranslateModeCorrespondence) groups = impl->CorrespondenceFor(text, translation);
        res->Set(std::move(translation), std::move(groups));
      }
      return o;
    });
    return S_OK;
  }

  HRESULT TranslateAhead(const std::vector<std::wstring>& texts, LONG mode) override {
    if (!mPair.translatesAhead) return E_NOTIMPL;
    std::lock_guard<std::mutex> lock(mImpl->mMutex);
    if (!texts.empty()) mImpl->mAheadCalls.push_back(texts);
    for (const auto& t : texts) mAhead.push_back({mPair.engineId, t, mode});
    mImpl->mMostAhead = std::max(mImpl->mMostAhead, static_cast<int>(mAhead.size()));
    return S_OK;
  }

  HRESULT DropAhead() override {
    if (!mPair.translatesAhead) return E_NOTIMPL;
    std::lock_guard<std::mutex> lock(mImpl->mMutex);
    ForgetAhead();
    return S_OK;
  }

  HRESULT LookupDictionary(const std::wstring& word, std::shared_ptr<IDictionaryResult>* result) override {
    if (!result) return E_POINTER;
    Behaviour b = mImpl->Take(Operation::LookupDictionary);
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      mImpl->mLookups.push_back(word);
    }
    if (FAILED(b.callResult)) return b.callResult;
    auto res = std::make_shared<DictionaryResult>();
    *result = res;
    mStarted = true;
    auto impl = mImpl;
    mRequest.Start([b, impl, res, word](const CancelToken& token) {
      RequestOutcome o = Play(b, token);
      if (o.status != kRequestDone) return o;
      std::lock_guard<std::mutex> lock(impl->mMutex);
      auto it = impl->mDictionary.find(word);
      if (it == impl->mDictionary.end()) return RequestOutcome::Failed(kEngineErrorWordNotFound);
      res->Set(it->second);
      return o;
    });
    return S_OK;
  }

  HRESULT SplitSentences(const std::wstring& text, LONG mode, std::vector<SentenceSpan>* sentences) override {
    if (!sentences) return E_POINTER;
    Behaviour b = mImpl->Take(Operation::SplitSentences);
    if (FAILED(b.callResult)) return b.callResult;
    std::function<std::vector<SentenceSpan>(const std::wstring&)> splitter;
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      splitter = mImpl->mSplitter;
    }
    sentences->clear();
    if (!splitter) return S_FALSE;
    *sentences = splitter(text);
    return S_OK;
  }

  HRESULT ShowSettingsDialog(std::uintptr_t) override {
    Behaviour b = mImpl->Take(Operation::SettingsDialog);
    std::lock_guard<std::mutex> lock(mImpl->mMutex);
    if (SUCCEEDED(b.callResult)) ++mImpl->mSettingsDialogs;
    return b.callResult;
  }

  HRESULT ShowDictionaryDialog(std::uintptr_t) override {
    Behaviour b = mImpl->Take(Operation::DictionaryDialog);
    std::lock_guard<std::mutex> lock(mImpl->mMutex);
    if (SUCCEEDED(b.callResult)) ++mImpl->mDictionaryDialogs;
    return b.callResult;
  }

 private:
  // Forgets the announced texts (mImpl->mMutex held).
  void ForgetAhead() {
    mImpl->mDroppedAhead += static_cast<int>(mAhead.size());
    mAhead.clear();
  }

  std::shared_ptr<FakeImplementation> mImpl;
  FakePair mPair;
  AsyncRequest mRequest;
  // Announced, not asked for yet; under mImpl->mMutex. Answered from the front,
  // so a deque: a vector would shift the rest of a long announcement at every answer.
  std::deque<TranslateCall> mAhead;
  LONG mOpenErrorCode = 0;
  bool mStarted = false;
};

namespace {

class FakeProperties : public IClientProperties {
 public:
  FakeProperties(std::shared_ptr<FakeImplementation> impl, const std::vector<std::wstring>& names,
                 std::function<void(const std::wstring&, const std::wstring&)> record) {
    for (const auto& n : names) mItems.push_back(std::make_shared<Property>(n, record));
  }
  HRESULT Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(mItems.size());
    return S_OK;
  }
  HRESULT Item(LONG index, std::shared_ptr<IClientProperty>* property) override {
    if (!property) return E_POINTER;
    if (index < 1 || index > static_cast<LONG>(mItems.size())) return DISP_E_BADINDEX;
    *property = mItems[index - 1];
    return S_OK;
  }

 private:
  class Property : public IClientProperty {
   public:
    Property(std::wstring name, std::function<void(const std::wstring&, const std::wstring&)> record)
        : mName(std::move(name)), mRecord(std::move(record)) {}
    HRESULT Name(std::wstring* name) override {
      if (!name) return E_POINTER;
      *name = mName;
      return S_OK;
    }
    HRESULT SetValue(const std::wstring& value) override {
      mRecord(mName, value);
      return S_OK;
    }

   private:
    std::wstring mName;
    std::function<void(const std::wstring&, const std::wstring&)> mRecord;
  };
  std::vector<std::shared_ptr<Property>> mItems;
};

}  // namespace

class FakeFactory : public IEngineFactory {
 public:
  explicit FakeFactory(std::shared_ptr<FakeImplementation> impl) : mImpl(std::move(impl)) {}

  HRESULT SetImplementation(const std::wstring&) override {
    return mImpl->Take(Operation::SetImplementation).callResult;
  }

  HRESULT SetDisplayLanguage(const std::wstring& language) override {
    Behaviour b = mImpl->Take(Operation::SetDisplayLanguage);
    if (FAILED(b.callResult)) return b.callResult;
    std::lock_guard<std::mutex> lock(mImpl->mMutex);
    mImpl->mDisplayLanguage = language;
    return S_OK;
  }

  HRESULT Properties(std::shared_ptr<IClientProperties>* properties) override {
    if (!properties) return E_POINTER;
    Behaviour b = mImpl->Take(Operation::Properties);
    if (FAILED(b.callResult)) return b.callResult;
    std::vector<std::wstring> names;
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      names = mImpl->mPropertyNames;
    }
    auto impl = mImpl;
    *properties = std::make_shared<FakeProperties>(mImpl, names, [impl](const std::wstring& n, const std::wstring& v) {
      if (n != L"ClientId") return;
      std::lock_guard<std::mutex> lock(impl->mMutex);
      impl->mClientId = v;
    });
    return S_OK;
  }

  HRESULT GetEngineList(const std::wstring& engineId, const std::wstring&, const std::wstring&, LONG flags,
                        std::shared_ptr<IEngineList>* list) override {
    if (!list) return E_POINTER;
    Behaviour b = mImpl->Take(Operation::GetEngineList);
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      mImpl->mListingFlags.push_back(flags);
    }
    if (FAILED(b.callResult)) return b.callResult;
    auto filled = std::make_shared<EngineList>();
    *list = filled;
    auto impl = mImpl;
    mRequest.Start([b, impl, filled, engineId](const CancelToken& token) {
      RequestOutcome o = Play(b, token);
      if (o.status != kRequestDone) return o;
      std::lock_guard<std::mutex> lock(impl->mMutex);
      for (const auto& p : impl->mPairs) {
        if (engineId.empty() || p.engineId == engineId) {
          filled->Append(std::make_shared<FakeListItem>(ToEntry(p), p.failingReads));
        }
      }
      LONG count = 0;
      filled->Count(&count);
      if (!engineId.empty() && count == 0) return RequestOutcome::Failed(kEngineErrorInvalidEngineId);
      return o;
    });
    return S_OK;
  }

  HRESULT GetEngine(const std::shared_ptr<IEngineListItem>& item, std::shared_ptr<ITranslationEngine>* engine) override {
    if (!engine) return E_POINTER;
    if (!item) return E_INVALIDARG;
    Behaviour b = mImpl->Take(Operation::GetEngine);
    if (FAILED(b.callResult)) return b.callResult;
    std::wstring id;
    HRESULT hr = item->EngineID(&id);
    if (FAILED(hr)) return hr;
    FakePair pair;
    bool found = false;
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      for (const auto& p : mImpl->mPairs) {
        if (p.engineId == id) {
          pair = p;
          found = true;
          break;
        }
      }
      if (found) ++mImpl->mEngines;
    }
    auto made = std::make_shared<FakeTranslationEngine>(mImpl, pair);
    made->SetOpenErrorCode(b.engineErrorCode);
    *engine = made;
    if (!found) {
      mRequest.Complete(RequestOutcome::Failed(kEngineErrorInvalidEngineId));
      return S_OK;
    }
    mRequest.Start([b](const CancelToken& token) { return Play(b, token); });
    return S_OK;
  }

  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override { return mRequest.WaitForResult(timeoutMs, status); }
  HRESULT Cancel() override {
    {
      std::lock_guard<std::mutex> lock(mImpl->mMutex);
      ++mImpl->mCancels;
    }
    return mRequest.Cancel();
  }
  HRESULT ErrorCode(LONG* code) override { return mRequest.ErrorCode(code); }

 private:
  std::shared_ptr<FakeImplementation> mImpl;
  AsyncRequest mRequest;
};

FakeImplementation& FakeImplementation::AddPair(FakePair pair) {
  std::lock_guard<std::mutex> lock(mMutex);
  mPairs.push_back(std::move(pair));
  return *this;
}

FakeImplementation& FakeImplementation::Script(Operation op, Behaviour behaviour) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (behaviour.times == 0) {
    mScript.erase(op);
  } else {
    mScript[op] = behaviour;
  }
  return *this;
}

Behaviour FakeImplementation::Take(Operation op) {
  std::lock_guard<std::mutex> lock(mMutex);
  auto it = mScript.find(op);
  if (it == mScript.end()) return {};
  Behaviour b = it->second;
  if (it->second.times > 0 && --it->second.times == 0) mScript.erase(it);
  return b;
}

FakeImplementation& FakeImplementation::SetTranslation(const std::wstring& source, const std::wstring& translation) {
  std::lock_guard<std::mutex> lock(mMutex);
  mTranslations[source] = translation;
  return *this;
}

FakeImplementation& FakeImplementation::SetTranslator(std::function<std::wstring(const std::wstring&)> translator) {
  std::lock_guard<std::mutex> lock(mMutex);
  mTranslator = std::move(translator);
  return *this;
}

FakeImplementation& FakeImplementation::SetCorrespondence(const std::wstring& source,
                                                          std::vector<WordCorrespondence> groups) {
  std::lock_guard<std::mutex> lock(mMutex);
  mCorrespondence[source] = std::move(groups);
  return *this;
}

FakeImplementation& FakeImplementation::AddDictionaryEntry(const std::wstring& word, const std::wstring& text) {
  std::lock_guard<std::mutex> lock(mMutex);
  mDictionary[word] = text;
  return *this;
}

FakeImplementation& FakeImplementation::SetSplitter(
    std::function<std::vector<SentenceSpan>(const std::wstring&)> splitter) {
  std::lock_guard<std::mutex> lock(mMutex);
  mSplitter = std::move(splitter);
  return *this;
}

FakeImplementation& FakeImplementation::SetPropertyNames(std::vector<std::wstring> names) {
  std::lock_guard<std::mutex> lock(mMutex);
  mPropertyNames = std::move(names);
  return *this;
}

FakeImplementation& FakeImplementation::SetAvailable(bool available) {
  std::lock_guard<std::mutex> lock(mMutex);
  mAvailable = available;
  return *this;
}

FakeImplementation& FakeImplementation::SetTransform(Transform transform) {
  std::lock_guard<std::mutex> lock(mMutex);
  mTransform = transform;
  return *this;
}

std::wstring FakeImplementation::TranslateText(const std::wstring& text) const {
  std::function<std::wstring(const std::wstring&)> translator;
  Transform transform;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mTranslations.find(text);
    if (it != mTranslations.end()) return it->second;
    translator = mTranslator;
    transform = mTransform;
  }
  if (translator) return translator(text);
  if (transform == Transform::Bracket) return kOpenBracket + text + kCloseBracket;
  std::wstring upper = text;
  for (auto& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

std::vector<WordCorrespondence> FakeImplementation::CorrespondenceFor(const std::wstring& source,
                                                                      const std::wstring& translation) const {
  Transform transform;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = mCorrespondence.find(source);
    if (it != mCorrespondence.end()) return it->second;
    transform = mTransform;
  }
  auto from = Words(source);
  std::vector<WordCorrespondence> groups;
  if (transform == Transform::Bracket && translation == kOpenBracket + source + kCloseBracket) {
    for (const Word& w : from) groups.push_back({{{w.position, w.length}}, {{w.position + 1, w.length}}});
    return groups;
  }
  auto to = Words(translation);
  for (size_t i = 0; i < from.size() && i < to.size(); ++i) {
    groups.push_back({{{from[i].position, from[i].length}}, {{to[i].position, to[i].length}}});
  }
  return groups;
}

std::wstring FakeImplementation::ClientId() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mClientId;
}
std::wstring FakeImplementation::DisplayLanguage() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mDisplayLanguage;
}
std::vector<TranslateCall> FakeImplementation::Translations() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mTranslateCalls;
}
std::vector<std::vector<std::wstring>> FakeImplementation::AheadCalls() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mAheadCalls;
}
int FakeImplementation::AnsweredAhead() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mAnsweredAhead;
}
int FakeImplementation::MostAhead() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mMostAhead;
}
int FakeImplementation::DroppedAhead() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mDroppedAhead;
}
std::vector<std::wstring> FakeImplementation::Lookups() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mLookups;
}
std::vector<LONG> FakeImplementation::ListingFlags() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mListingFlags;
}
int FakeImplementation::FactoriesMade() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mFactories;
}
int FakeImplementation::EnginesOpened() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mEngines;
}
int FakeImplementation::Cancels() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mCancels;
}
int FakeImplementation::SettingsDialogsShown() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mSettingsDialogs;
}
int FakeImplementation::DictionaryDialogsShown() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mDictionaryDialogs;
}
void FakeImplementation::ClearRecord() {
  std::lock_guard<std::mutex> lock(mMutex);
  mClientId.clear();
  mDisplayLanguage.clear();
  mTranslateCalls.clear();
  mLookups.clear();
  mListingFlags.clear();
  mAheadCalls.clear();
  mFactories = mEngines = mCancels = mSettingsDialogs = mDictionaryDialogs = mAnsweredAhead = mDroppedAhead = mMostAhead = 0;
}

FakeFamilyHelper::FakeFamilyHelper(std::wstring progId)
    : mProgId(std::move(progId)), mEngines(std::make_shared<FakeImplementation>(mProgId)) {}

FakeFamilyHelper& FakeFamilyHelper::SetCapability(LONG capability, bool yes) {
  (*mCapabilities)[capability] = yes;
  return *this;
}

FakeFamilyHelper& FakeFamilyHelper::FailCreation(HRESULT hr) {
  *mCreateFailure = hr;
  return *this;
}

LONG FakeFamilyHelper::RegisterInClassesRoot(const std::wstring& clsid, const std::wstring& serverFile) {
  using platform::Hive;
  using platform::RegKey;
  using platform::RegValue;
  RegKey key;
  LONG rc = RegKey::Create(Hive::ClassesRoot, mProgId + L"\\CLSID", &key);
  if (rc != ERROR_SUCCESS) return rc;
  mRegisteredClsids.push_back(clsid);
  if ((rc = key.SetValue(L"", RegValue::String(clsid))) != ERROR_SUCCESS) return rc;
  RegKey server;
  rc = RegKey::Create(Hive::ClassesRoot, L"CLSID\\" + clsid + L"\\InprocServer32", &server);
  if (rc != ERROR_SUCCESS) return rc;
  return server.SetValue(L"", RegValue::String(serverFile));
}

namespace {

class FamilyHelperObject : public IFamilyHelper {
 public:
  FamilyHelperObject(std::shared_ptr<FakeImplementation> engines, std::shared_ptr<std::map<LONG, bool>> caps)
      : mEngines(std::move(engines)), mCaps(std::move(caps)) {}

  HRESULT Supports(LONG capability, bool* yes) override {
    if (!yes) return E_POINTER;
    auto it = mCaps->find(capability);
    *yes = it != mCaps->end() && it->second;
    return S_OK;
  }

  HRESULT OpenEngine(const std::wstring& engineId, std::shared_ptr<ITranslationEngine>* engine) override;

 private:
  std::shared_ptr<FakeImplementation> mEngines;
  std::shared_ptr<std::map<LONG, bool>> mCaps;
};

}  // namespace

// The helper reaches FakeImplementation's internals through this friend.
class FakeEngineSideAccess {
 public:
  static HRESULT Open(const std::shared_ptr<FakeImplementation>& impl, const std::wstring& engineId,
                      std::shared_ptr<ITranslationEngine>* engine);
};

struct FakeEngineSide::Shared {
  std::mutex mutex;
  int factoryCreations = 0;
  HRESULT factoryFailure = S_OK;
  int factoryFailFrom = 0;
  int factoryFailTimes = 0;
  HRESULT implementationsFailure = S_OK;
  HRESULT countFailure = S_OK;
  std::map<LONG, HRESULT> itemFailures;
  std::vector<std::shared_ptr<FakeImplementation>> implementations;
  std::vector<std::pair<std::wstring, std::shared_ptr<HRESULT>>> helperFailures;
};

namespace {

class ScriptedImplementations : public IImplementations {
 public:
  ScriptedImplementations(std::vector<std::wstring> names, HRESULT countFailure, std::map<LONG, HRESULT> itemFailures)
      : mNames(std::move(names)), mCountFailure(countFailure), mItemFailures(std::move(itemFailures)) {}
  HRESULT Count(LONG* count) override {
    if (!count) return E_POINTER;
    if (FAILED(mCountFailure)) return mCountFailure;
    *count = static_cast<LONG>(mNames.size());
    return S_OK;
  }
  HRESULT Item(LONG index, std::wstring* name) override {
    if (!name) return E_POINTER;
    auto it = mItemFailures.find(index);
    if (it != mItemFailures.end()) return it->second;
    if (index < 1 || index > static_cast<LONG>(mNames.size())) return DISP_E_BADINDEX;
    *name = mNames[index - 1];
    return S_OK;
  }

 private:
  std::vector<std::wstring> mNames;
  HRESULT mCountFailure;
  std::map<LONG, HRESULT> mItemFailures;
};

}  // namespace

FakeEngineSide::FakeEngineSide() : mShared(std::make_shared<Shared>()) {
  auto shared = mShared;
  ClassHooks hooks;
  hooks.createEngineFactory = [shared](std::shared_ptr<IEngineFactory>* factory) {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      int n = ++shared->factoryCreations;
      if (FAILED(shared->factoryFailure) && n >= shared->factoryFailFrom &&
          n < shared->factoryFailFrom + shared->factoryFailTimes) {
        return shared->factoryFailure;
      }
    }
    return CreateInProcessEngineFactory(factory);
  };
  hooks.createImplementations = [shared](std::shared_ptr<IImplementations>* out) {
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (FAILED(shared->implementationsFailure)) return shared->implementationsFailure;
    std::vector<std::wstring> names;
    for (const auto& impl : shared->implementations) {
      std::lock_guard<std::mutex> implLock(impl->mMutex);
      if (impl->mAvailable) names.push_back(impl->mName);
    }
    *out = std::make_shared<ScriptedImplementations>(std::move(names), shared->countFailure, shared->itemFailures);
    return S_OK;
  };
  hooks.createFamilyHelper = [shared](const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper) {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      for (const auto& [id, failure] : shared->helperFailures) {
        if (platform::EqualsNoCase(id, progId) && FAILED(*failure)) return *failure;
      }
    }
    return CreateInProcessFamilyHelper(progId, helper);
  };
  mPreviousHooks = SetClassHooks(std::move(hooks));
}

FakeEngineSide::~FakeEngineSide() {
  for (const auto& impl : mImplementations) UnregisterImplementation(impl->Name());
  for (const auto& h : mHelpers) {
    UnregisterFamilyHelper(h->ProgId());
    if (!h->mRegisteredClsids.empty()) platform::DeleteKeyTree(platform::Hive::ClassesRoot, h->ProgId());
    for (const auto& clsid : h->mRegisteredClsids) {
      platform::DeleteKeyTree(platform::Hive::ClassesRoot, L"CLSID\\" + clsid);
    }
  }
  SetClassHooks(std::move(mPreviousHooks));
}

FakeImplementation& FakeEngineSide::AddImplementation(const std::wstring& name) {
  auto impl = std::make_shared<FakeImplementation>(name);
  mImplementations.push_back(impl);
  {
    std::lock_guard<std::mutex> lock(mShared->mutex);
    mShared->implementations.push_back(impl);
  }
  InProcessImplementation reg;
  reg.name = name;
  reg.available = [impl] {
    std::lock_guard<std::mutex> lock(impl->mMutex);
    return impl->mAvailable;
  };
  reg.makeFactory = [impl]() -> std::shared_ptr<IEngineFactory> {
    {
      std::lock_guard<std::mutex> lock(impl->mMutex);
      ++impl->mFactories;
    }
    return std::make_shared<FakeFactory>(impl);
  };
  RegisterImplementation(std::move(reg));
  return *impl;
}

FakeFamilyHelper& FakeEngineSide::AddFamilyHelper(const std::wstring& progId) {
  mHelpers.push_back(std::make_unique<FakeFamilyHelper>(progId));
  FakeFamilyHelper* helper = mHelpers.back().get();
  auto engines = helper->mEngines;
  auto caps = helper->mCapabilities;
  {
    std::lock_guard<std::mutex> lock(mShared->mutex);
    mShared->helperFailures.emplace_back(progId, helper->mCreateFailure);
  }
  RegisterFamilyHelper(progId, [engines, caps]() -> std::shared_ptr<IFamilyHelper> {
    return std::make_shared<FamilyHelperObject>(engines, caps);
  });
  return *helper;
}

void FakeEngineSide::FailFactoryCreation(HRESULT hr, int callNumber, int times) {
  std::lock_guard<std::mutex> lock(mShared->mutex);
  mShared->factoryFailure = hr;
  mShared->factoryFailFrom = mShared->factoryCreations + callNumber;
  mShared->factoryFailTimes = times;
}

void FakeEngineSide::FailImplementationsCreation(HRESULT hr) {
  std::lock_guard<std::mutex> lock(mShared->mutex);
  mShared->implementationsFailure = hr;
}

void FakeEngineSide::FailImplementationsCount(HRESULT hr) {
  std::lock_guard<std::mutex> lock(mShared->mutex);
  mShared->countFailure = hr;
}

void FakeEngineSide::FailImplementationsItem(LONG index, HRESULT hr) {
  std::lock_guard<std::mutex> lock(mShared->mutex);
  mShared->itemFailures[index] = hr;
}

int FakeEngineSide::FactoryCreations() const {
  std::lock_guard<std::mutex> lock(mShared->mutex);
  return mShared->factoryCreations;
}

HRESULT FakeEngineSideAccess::Open(const std::shared_ptr<FakeImplementation>& impl, const std::wstring& engineId,
                                   std::shared_ptr<ITranslationEngine>* engine) {
  Behaviour b = impl->Take(Operation::GetEngine);
  if (FAILED(b.callResult)) return b.callResult;
  FakePair pair;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(impl->mMutex);
    for (const auto& p : impl->mPairs) {
      if (p.engineId == engineId) {
        pair = p;
        found = true;
        break;
      }
    }
    if (found) ++impl->mEngines;
  }
  auto made = std::make_shared<FakeTranslationEngine>(impl, pair);
  if (!found) {
    b.status = kRequestFailed;
    b.errorCode = kEngineErrorInvalidEngineId;
  }
  made->StartOpen(b);
  *engine = made;
  return S_OK;
}

namespace {
HRESULT FamilyHelperObject::OpenEngine(const std::wstring& engineId, std::shared_ptr<ITranslationEngine>* engine) {
  if (!engine) return E_POINTER;
  return FakeEngineSideAccess::Open(mEngines, engineId, engine);
}
}  // namespace

}  // namespace fake_engine

namespace fake_engine::detail {

// Implementations registered for the whole process (the program's end-to-end
// runs); they are never unregistered.
void RegisterForProcess(std::shared_ptr<FakeImplementation> impl) {
  static std::mutex keepMutex;
  static std::vector<std::shared_ptr<FakeImplementation>> keep;
  {
    std::lock_guard<std::mutex> lock(keepMutex);
    keep.push_back(impl);
  }
  InProcessImplementation reg;
  reg.name = impl->Name();
  reg.makeFactory = [impl]() -> std::shared_ptr<IEngineFactory> { return std::make_shared<FakeFactory>(impl); };
  RegisterImplementation(std::move(reg));
}

}  // namespace fake_engine::detail
