#include "src/engine/Engine.h"

#include <algorithm>
#include <chrono>

#include "resources/MessageIds.h"
#include "src/engine/EngineEnumeration.h"
#include "src/engine/EngineFamilies.h"
#include "src/engine/SentenceSplitter.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/ComError.h"
#include "src/platform/MessagePump.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace engine {

namespace msg = resources::msg;

using namespace engine_server;

namespace {

constexpr int kPollMs = 1;
constexpr wchar_t kSource[] = L"Engine";

void Check(HRESULT hr, const wchar_t* what) {
  if (FAILED(hr)) throw platform::ComError(hr, std::wstring(L"engine call failed: ") + what);
}

template <typename T>
void CheckOut(const std::shared_ptr<T>& p, const wchar_t* what) {
  if (!p) throw platform::ComError(E_POINTER, std::wstring(L"engine returned no object: ") + what);
}

Engine::Connectors DefaultConnectors() {
  Engine::Connectors c;
  c.createFactory = [](std::shared_ptr<IEngineFactory>* f) { return CreateEngineFactory(f); };
  c.createFamilyHelper = [](const std::wstring& progId, std::shared_ptr<IFamilyHelper>* h) {
    return CreateFamilyHelper(progId, h);
  };
  c.loadAbbreviations = [](const std::wstring& lang, std::vector<std::wstring>* entries) {
    return LoadAbbreviations(lang, entries);
  };
  return c;
}

// A group can hold at most nine ranges; when the engine reports more, the
// side with more ranges gives some up, so both sides keep at least one.
void FitRanges(std::vector<TextRange>* src, std::vector<TextRange>* dst) {
  while (src->size() + dst->size() > static_cast<size_t>(StyleCorrespondenceGroup::kMaxRanges)) {
    if (src->size() >= dst->size()) src->pop_back();
    else dst->pop_back();
  }
}

std::vector<TextRange> ValidRanges(const std::vector<TextRange>& ranges, size_t textLength) {
  std::vector<TextRange> kept;
  for (const TextRange& r : ranges) {
    if (r.position < 0 || r.length <= 0) continue;
    if (static_cast<size_t>(r.position) + static_cast<size_t>(r.length) > textLength) continue;
    kept.push_back(r);
  }
  return kept;
}

}  // namespace

Engine::Engine() : Engine(DefaultConnectors()) {}

Engine::Engine(Connectors connectors, int cancelGraceMs)
    : mConnectors(std::move(connectors)), mCancelGraceMs(cancelGraceMs) {
  Connectors defaults = DefaultConnectors();
  if (!mConnectors.createFactory) mConnectors.createFactory = defaults.createFactory;
  if (!mConnectors.createFamilyHelper) mConnectors.createFamilyHelper = defaults.createFamilyHelper;
  if (!mConnectors.loadAbbreviations) mConnectors.loadAbbreviations = defaults.loadAbbreviations;
}

Engine::~Engine() {
  try {
    CloseEngine();
  } catch (...) {
  }
}

Engine& Engine::Instance() {
  static Engine instance;
  return instance;
}

LONG Engine::WaitForRequest(IRequest& request) {
  LONG status = kRequestRunning;
  Check(request.WaitForResult(kPollMs, &status), L"WaitForResult");
  bool forwarded = false;
  auto cancelledAt = std::chrono::steady_clock::now();
  while (status == kRequestRunning) {
    if (!forwarded && mCancelRequested.load()) {
      // The cancel was raised on another thread; the engine object is
      // called only from here, the thread that created it.
      HRESULT hr = request.Cancel();
      if (FAILED(hr)) LOG_WARNING(kSource, L"Cancel failed");
      forwarded = true;
      cancelledAt = std::chrono::steady_clock::now();
    }
    platform::DrainMessageQueue();
    Check(request.WaitForResult(kPollMs, &status), L"WaitForResult");
    if (status == kRequestRunning && forwarded &&
        std::chrono::steady_clock::now() - cancelledAt > std::chrono::milliseconds(mCancelGraceMs)) {
      LOG_WARNING(kSource, L"the engine did not end its cancelled request; giving up on it");
      status = kRequestCancelled;
    }
  }
  return status;
}

void Engine::LoadAbbreviationsFor(const std::wstring& fromLang) {
  if (fromLang.empty() || fromLang == mAbbreviationLang) return;
  std::vector<std::wstring> entries;
  if (mConnectors.loadAbbreviations && mConnectors.loadAbbreviations(fromLang, &entries)) {
    mAbbreviations = std::move(entries);
  } else {
    mAbbreviations.clear();
  }
  mAbbreviationLang = fromLang;
}

bool Engine::OpenEngine(const std::wstring& engineGroup, const std::wstring& engineID,
                        const std::wstring& displayLanguage, const std::wstring& fromLang) {
  // A cancel raised before the open (the watchdog may fire while the run is
  // still preparing) must reach the open too; runs forget old cancels
  // through ResetCancel when they start.
  std::optional<OpenStart> started = std::move(mOpenAhead);
  mOpenAhead.reset();
  if (started && (started->group != engineGroup || started->engineID != engineID ||
                  started->displayLanguage != displayLanguage)) {
    started.reset();
  }
  CloseEngine();
  mLastErrorCode = 0;
  mLastErrorText.clear();
  mFailedRequests = 0;
  LoadAbbreviationsFor(fromLang);
  bool ok = false;
  try {
    if (const BuiltInFamily* family = FindBuiltInFamily(engineGroup)) {
      ok = OpenThroughFamily(*family, engineID);
    } else if (started) {
      // Carries on where OpenAhead stopped, with what it met on the way.
      if (started->failure) std::rethrow_exception(started->failure);
      mFactory = std::move(started->factory);
      mEngine = std::move(started->engine);
      ok = started->begun &&
           EndFactoryOpen(started->status == kRequestDone ? WaitForRequest(*mFactory) : started->status);
    } else {
      ok = OpenThroughFactory(engineGroup, engineID, displayLanguage);
    }
  } catch (...) {
    CloseEngine();
    throw;
  }
  if (!ok) {
    CloseEngine();
    return false;
  }
  mGroup = engineGroup;
  mEngineID = engineID;
  LOG_INFO(kSource, L"opened " + engineGroup + L":" + engineID);
  return true;
}

void Engine::OpenAhead(const std::wstring& engineGroup, const std::wstring& engineID,
                       const std::wstring& displayLanguage) {
  mOpenAhead.reset();
  if (mEngine || FindBuiltInFamily(engineGroup)) return;
  OpenStart start;
  start.group = engineGroup;
  start.engineID = engineID;
  start.displayLanguage = displayLanguage;
  try {
    start.begun = BeginFactoryOpen(engineGroup, engineID, displayLanguage, &start.status);
  } catch (...) {
    start.failure = std::current_exception();
  }
  start.factory = std::move(mFactory);
  start.engine = std::move(mEngine);
  mFactory.reset();
  mEngine.reset();
  mOpenAhead = std::move(start);
}

void Engine::DropOpenAhead() { mOpenAhead.reset(); }

bool Engine::OpenThroughFactory(const std::wstring& group, const std::wstring& engineID,
                                const std::wstring& displayLanguage) {
  LONG status = kRequestFailed;
  if (!BeginFactoryOpen(group, engineID, displayLanguage, &status)) return false;
  if (status == kRequestDone) status = WaitForRequest(*mFactory);
  return EndFactoryOpen(status);
}

bool Engine::BeginFactoryOpen(const std::wstring& group, const std::wstring& engineID,
                              const std::wstring& displayLanguage, LONG* listStatus) {
  HRESULT hr = mConnectors.createFactory(&mFactory);
  if (FAILED(hr) || !mFactory) {
    LOG_ERROR(kSource, L"the engine factory could not be created");
    mFactory.reset();
    return false;
  }
  if (!displayLanguage.empty()) Check(mFactory->SetDisplayLanguage(displayLanguage), L"DisplayLanguage");
  Check(mFactory->SetImplementation(group), L"Implementation");

  std::shared_ptr<IClientProperties> properties;
  Check(mFactory->Properties(&properties), L"Properties");
  if (properties) {
    LONG count = 0;
    Check(properties->Count(&count), L"Properties.Count");
    for (LONG i = 1; i <= count; ++i) {
      std::shared_ptr<IClientProperty> property;
      Check(properties->Item(i, &property), L"Properties.Item");
      std::wstring name;
      if (property) Check(property->Name(&name), L"Property.Name");
      if (name == L"ClientId") {
        Check(property->SetValue(ClientIdText()), L"Property.Value");
        break;
      }
    }
  }

  std::shared_ptr<IEngineList> list;
  Check(mFactory->GetEngineList(engineID, L"", L"", 0, &list), L"GetEngineList");
  LONG status = WaitForRequest(*mFactory);
  *listStatus = status;
  if (status == kRequestDone) {
    CheckOut(list, L"GetEngineList");
    LONG count = 0;
    Check(list->Count(&count), L"EngineList.Count");
    if (count != 1) {
      LOG_ERROR(kSource, L"the engine list for " + engineID + L" holds " + std::to_wstring(count) + L" entries");
      return false;
    }
    std::shared_ptr<IEngineListItem> item;
    Check(list->Item(1, &item), L"EngineList.Item");
    CheckOut(item, L"EngineList.Item");
    Check(mFactory->GetEngine(item, &mEngine), L"GetEngine");
  }
  return true;
}

bool Engine::EndFactoryOpen(LONG status) {
  if (status == kRequestFailed) {
    LONG code = 0;
    if (mEngine) Check(mEngine->ErrorCode(&code), L"ErrorCode");
    if (code == 0) Check(mFactory->ErrorCode(&code), L"ErrorCode");
    mLastErrorCode = code;
    std::wstring text;
    if (!mEngine || FAILED(mEngine->ErrorText(&text)) || text.empty()) {
      if (FAILED(mFactory->ErrorText(&text))) text.clear();
    }
    mLastErrorText = text;
    support::ErrorList::Add(support::ErrorList::EngineErrorToMessageId(code), text);
    return false;
  }
  if (status != kRequestDone || !mEngine) return false;
  return FinishOpen();
}

bool Engine::OpenThroughFamily(const BuiltInFamily& family, const std::wstring& engineID) {
  // A Chinese family has one engine identifier per direction; a European
  // one is reached through its helper.
  std::wstring progId;
  if (family.kind == FamilyKind::European) {
    progId = family.helperIdentifier ? family.helperIdentifier : L"";
  } else {
    for (const FamilyPair& pair : family.pairs) {
      if (engineID == pair.engineID && pair.part >= 0 &&
          static_cast<size_t>(pair.part) < family.engineIdentifiers.size()) {
        progId = family.engineIdentifiers[pair.part];
        break;
      }
    }
  }
  if (progId.empty()) return false;
  HRESULT hr = mConnectors.createFamilyHelper(progId, &mFamilyHelper);
  if (FAILED(hr) || !mFamilyHelper) {
    LOG_ERROR(kSource, L"the family helper " + progId + L" could not be created");
    mFamilyHelper.reset();
    return false;
  }
  Check(mFamilyHelper->OpenEngine(engineID, &mEngine), L"OpenEngine");
  CheckOut(mEngine, L"OpenEngine");
  LONG status = WaitForRequest(*mEngine);
  if (status == kRequestFailed) {
    LONG code = 0;
    Check(mEngine->ErrorCode(&code), L"ErrorCode");
    mLastErrorCode = code;
    support::ErrorList::Add(support::ErrorList::EngineErrorToMessageId(code), L"");
    return false;
  }
  if (status != kRequestDone) return false;
  mIsFamily = true;
  return FinishOpen();
}

bool Engine::FinishOpen() {
  LONG flags = 0;
  Check(mEngine->Info(&flags), L"Info");
  mDictionaryFlag = (flags & kInfoFlagDictionary) != 0;
  mKeepsPlaceholders = (flags & kInfoFlagKeepsPrivateUse) != 0;
  return true;
}

void Engine::CloseEngine() {
  mOpenAhead.reset();
  mLastResult.reset();
  mEngine.reset();
  mFactory.reset();
  mFamilyHelper.reset();
  mIsFamily = false;
  mDictionaryFlag = false;
  mKeepsPlaceholders = false;
  mAheadPending = false;
  mGroup.clear();
  mEngineID.clear();
}

LONG Engine::TranslateMode() {
  LONG flags = 0;
  Check(mEngine->Info(&flags), L"Info");
  return (flags & kInfoFlagCorrespondence) ? kTranslateModeCorrespondence : kTranslateModePlain;
}

bool Engine::TranslateAhead(const std::vector<std::wstring>& sources) {
  if (!mEngine || sources.empty()) return false;
  HRESULT hr = E_NOTIMPL;
  try {
    hr = mEngine->TranslateAhead(sources, TranslateMode());
  } catch (...) {
    hr = E_FAIL;
  }
  // Working ahead is only a speed-up: an engine that refuses it still
  // translates every sentence when asked. Earlier announcements stay.
  if (SUCCEEDED(hr)) mAheadPending = true;
  return SUCCEEDED(hr);
}

void Engine::DropAhead() {
  if (!mEngine || !mAheadPending) return;
  mAheadPending = false;
  try {
    mEngine->DropAhead();
  } catch (...) {
    LOG_WARNING(kSource, L"the engine could not drop the sentences sent ahead");
  }
}

bool Engine::TranslateSentence(const std::wstring& source, std::wstring* translation) {
  *translation = source;
  mLastResult.reset();
  if (!mEngine) return false;
  LONG mode = TranslateMode();
  platform::YieldThread();
  std::shared_ptr<ITranslationResult> result;
  Check(mEngine->Translate(source, mode, &result), L"Translate");
  CheckOut(result, L"Translate");
  LONG status = WaitForRequest(*mEngine);
  if (status != kRequestDone) {
    LONG code = 0;
    if (status == kRequestFailed && SUCCEEDED(mEngine->ErrorCode(&code))) mLastErrorCode = code;
    std::wstring text;
    if (status == kRequestFailed && SUCCEEDED(mEngine->ErrorText(&text)) && !text.empty()) mLastErrorText = text;
    ++mFailedRequests;
    LOG_WARNING(kSource, L"translation ended with status " + std::to_wstring(status) + L", engine code " +
                             std::to_wstring(code));
    return false;
  }
  std::wstring text;
  Check(result->Text(&text), L"TranslationResult.Text");
  *translation = text;
  mLastResult = result;
  return true;
}

bool Engine::GetStyleCorrespondence(const std::wstring& translation, const std::wstring& source,
                                    StyleCorrespondence* out) {
  out->clear();
  if (!mLastResult) return false;
  std::vector<WordCorrespondence> groups;
  if (FAILED(mLastResult->Correspondence(&groups))) return false;
  // Engine answers are checked: a range outside its text would make the
  // host copy formatting onto characters that do not exist.
  for (const WordCorrespondence& g : groups) {
    std::vector<TextRange> src = ValidRanges(g.source, source.size());
    std::vector<TextRange> dst = ValidRanges(g.translation, translation.size());
    if (src.empty() || dst.empty()) continue;
    FitRanges(&src, &dst);
    StyleCorrespondenceGroup group;
    group.pairs[0] = {static_cast<std::int32_t>(src.size()), static_cast<std::int32_t>(dst.size())};
    for (size_t i = 0; i < src.size(); ++i) group.Source(static_cast<int>(i)) = {src[i].position, src[i].length};
    for (size_t i = 0; i < dst.size(); ++i)
      group.Translation(static_cast<int>(i)) = {dst[i].position, dst[i].length};
    out->push_back(group);
  }
  return !out->empty();
}

void Engine::CancelEngine() { mCancelRequested.store(true); }

bool Engine::LookupWord(const std::wstring& word, std::wstring* result) {
  result->clear();
  if (!mEngine) return false;
  std::shared_ptr<IDictionaryResult> entry;
  Check(mEngine->LookupDictionary(word, &entry), L"LookupDictionary");
  CheckOut(entry, L"LookupDictionary");
  LONG status = WaitForRequest(*mEngine);
  if (status != kRequestDone) {
    LONG code = 0;
    if (status == kRequestFailed && SUCCEEDED(mEngine->ErrorCode(&code))) mLastErrorCode = code;
    ++mFailedRequests;
    return false;
  }
  Check(entry->Text(result), L"DictionaryResult.Text");
  return true;
}

namespace {

// Both engine dialogs fail the same way: message 1255, whatever the engine
// threw or returned.
bool ShowEngineDialog(ITranslationEngine& engine,
                      HRESULT (ITranslationEngine::*show)(std::uintptr_t), std::uintptr_t ownerWindow) {
  HRESULT hr = E_FAIL;
  try {
    hr = (engine.*show)(ownerWindow);
  } catch (...) {
    hr = E_FAIL;
  }
  if (FAILED(hr)) {
    support::ErrorList::Add(msg::kEngineSettingsFailed, L"");
    return false;
  }
  return true;
}

}  // namespace

bool Engine::ShowOptionDialog(std::uintptr_t ownerWindow) {
  if (!mEngine || mIsFamily) return false;
  return ShowEngineDialog(*mEngine, &ITranslationEngine::ShowSettingsDialog, ownerWindow);
}

bool Engine::ShowDictionaryDialog(std::uintptr_t ownerWindow) {
  if (!mEngine || mIsFamily) return false;
  return ShowEngineDialog(*mEngine, &ITranslationEngine::ShowDictionaryDialog, ownerWindow);
}

namespace {

bool IsLineEndAt(const std::wstring& text, std::int32_t i) {
  return text[i] == L'\r' || text[i] == L'\n' || text[i] == L'\x0B';
}

// An engine's sentence may hold line ends, which the engine takes for
// blanks: cut after each run of them, as the add-in's own splitter does, so
// that paragraphs and line breaks keep their places in the translation.
std::vector<TextSpan> CutAfterLineEnds(const std::wstring& text, const std::vector<TextSpan>& spans) {
  std::vector<TextSpan> out;
  for (const TextSpan& s : spans) {
    std::int32_t from = s.position;
    const std::int32_t end = s.position + s.length;
    for (std::int32_t i = from; i < end; ++i) {
      if (!IsLineEndAt(text, i)) continue;
      while (i + 1 < end && IsLineEndAt(text, i + 1)) ++i;
      if (i + 1 < end) {
        out.push_back({from, i + 1 - from});
        from = i + 1;
      }
    }
    out.push_back({from, end - from});
  }
  return out;
}

}  // namespace

bool Engine::SplitSentences(const std::wstring& text, std::int32_t first, std::int32_t last,
                            std::vector<TranslationSegment>* segments) {
  segments->clear();
  if (text.empty()) return true;
  std::vector<TextSpan> spans;
  if (mEngine) {
    std::vector<SentenceSpan> sentences;
    HRESULT hr = E_FAIL;
    try {
      hr = mEngine->SplitSentences(text, 1, &sentences);
    } catch (...) {
      hr = E_FAIL;
    }
    if (hr == S_OK && !sentences.empty()) {
      for (const SentenceSpan& s : sentences) spans.push_back({s.position, s.length});
      // Line ends that the engine put at the front of a sentence belong at
      // the end of the one before, where the host keeps paragraph breaks.
      for (size_t i = 1; i < spans.size(); ++i) {
        while (spans[i].length > 1 && spans[i].position >= 0 &&
               static_cast<size_t>(spans[i].position) < text.size() &&
               (text[spans[i].position] == L'\r' || text[spans[i].position] == L'\n' ||
                text[spans[i].position] == L'\x0B')) {
          ++spans[i - 1].length;
          ++spans[i].position;
          --spans[i].length;
        }
      }
      if (!SpansCoverText(spans, static_cast<std::int32_t>(text.size()))) {
        LOG_WARNING(kSource, L"the engine's sentence spans do not cover the text; splitting here instead");
        spans.clear();
      }
      spans = CutAfterLineEnds(text, spans);
    }
  }
  if (spans.empty()) spans = SplitIntoSentences(text, mAbbreviations);
  (void)last;
  for (const TextSpan& s : spans) {
    TranslationSegment seg;
    seg.source = text.substr(s.position, s.length);
    seg.start = first + s.position;
    seg.end = seg.start + s.length - 1;
    segments->push_back(std::move(seg));
  }
  return true;
}

}  // namespace engine
