// The process's one connection to a translation engine. A translation run
// opens it for its option set (OpenEngine), translates any number of
// sentences, and closes it (CloseEngine); at most one engine is open.
//
// Everything runs on the user-interface thread that opened the engine,
// except CancelEngine, which any thread may call (the progress dialog's
// thread, the time-out watchdog): it only raises an atomic request that the
// waiting thread forwards to the engine side at its next 1 ms poll, so the
// engine objects are only ever called from the thread that created them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/engine/ProtectedText.h"
#include "src/engine/server/EngineServer.h"

namespace engine {

struct BuiltInFamily;

// One group of style correspondence: header pair (source range count s,
// translation range count t), then s source ranges and t translation ranges
// as (position, length); s + t is at most 9 and later pairs are zero.
struct StyleCorrespondenceGroup {
  static constexpr int kPairs = 10;
  static constexpr int kMaxRanges = kPairs - 1;
  std::array<std::array<std::int32_t, 2>, kPairs> pairs{};

  int SourceCount() const { return pairs[0][0]; }
  int TranslationCount() const { return pairs[0][1]; }
  // Pair index of source range i / translation range i (both 0-based).
  std::array<std::int32_t, 2>& Source(int i) { return pairs[1 + i]; }
  std::array<std::int32_t, 2>& Translation(int i) { return pairs[1 + SourceCount() + i]; }
  const std::array<std::int32_t, 2>& Source(int i) const { return pairs[1 + i]; }
  const std::array<std::int32_t, 2>& Translation(int i) const { return pairs[1 + SourceCount() + i]; }
  bool operator==(const StyleCorrespondenceGroup&) const = default;
};
using StyleCorrespondence = std::vector<StyleCorrespondenceGroup>;

// A stretch of a segment's source that came back untranslated, and where it
// stands in the translation; positions count from 0 in the segment's source
// and in its final translation.
struct KeptSpan {
  std::int32_t sourcePosition = 0;
  std::int32_t sourceLength = 0;
  std::int32_t translationPosition = 0;
  std::int32_t translationLength = 0;
  bool held = false;
  bool operator==(const KeptSpan&) const = default;
};

// One sentence-sized piece of a text. Positions count characters of the
// enclosing text; end is the position of the last character.
struct TranslationSegment {
  std::wstring source;
  std::optional<std::wstring> translation;
  std::int32_t start = 0;
  std::int32_t end = -1;
  std::int32_t targetStart = 0;
  std::int32_t targetEnd = 0;
  std::optional<StyleCorrespondence> styleCorrespondence;
  // What the host holds as objects in the source (fields, links shown as
  // their address), positions from 0 in source; the caller fills it.
  std::vector<ProtectedSpan> held;
  // The caller needs the word correspondence even without keep-style (a
  // link to carry onto the words that translate it).
  bool wantsCorrespondence = false;
  // Filled by TranslateText: every protected stretch where the translation
  // has it, in order. Empty when a macro rewrote the text.
  std::vector<KeptSpan> kept;
};

class Engine {
 public:
  // How the engine side is reached; the defaults are the engine_server
  // Create* calls. Tests pass their own.
  struct Connectors {
    std::function<HRESULT(std::shared_ptr<engine_server::IEngineFactory>*)> createFactory;
    std::function<HRESULT(const std::wstring& progId, std::shared_ptr<engine_server::IFamilyHelper>*)>
        createFamilyHelper;
    // Abbreviation entries for a language code (LoadAbbreviations by default).
    std::function<bool(const std::wstring& langCode, std::vector<std::wstring>*)> loadAbbreviations;
  };

  // A request that was cancelled and still runs is given this long to end
  // before the wait gives up on it (an engine that ignores Cancel must not
  // hang the host for ever).
  static constexpr int kCancelGraceMs = 10000;

  Engine();
  explicit Engine(Connectors connectors, int cancelGraceMs = kCancelGraceMs);
  virtual ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  static Engine& Instance();

  // Opens the engine of a pair: a built-in family's when the group names
  // one, the engine factory's otherwise. fromLang chooses the abbreviation
  // table of the add-in's own sentence splitter. On failure adds the engine's
  // message (EngineErrorToMessageId) when the engine side gave one, leaves
  // no engine open and returns false. Engine-side calls that fail with an
  // HRESULT raise ComError.
  virtual bool OpenEngine(const std::wstring& engineGroup, const std::wstring& engineID,
                          const std::wstring& displayLanguage, const std::wstring& fromLang = std::wstring());
  virtual void CloseEngine();
  // Starts the open OpenEngine will be asked for with the same arguments,
  // so the engine side loads while the caller prepares other things; it
  // goes only as far as the engine side's own open request, which is left
  // running. OpenEngine then carries on from there, and reports what went
  // wrong on the way as it would have itself. Built-in families are opened
  // by OpenEngine alone. CloseEngine and DropOpenAhead forget it.
  virtual void OpenAhead(const std::wstring& engineGroup, const std::wstring& engineID,
                         const std::wstring& displayLanguage);
  void DropOpenAhead();
  virtual bool IsOpen() const { return mEngine != nullptr; }

  // Translates one sentence, waiting in 1 ms polls and draining the thread's
  // message queue between them. On failure `translation` is the source.
  virtual bool TranslateSentence(const std::wstring& source, std::wstring* translation);
  // Tells the engine which sentences TranslateSentence will be asked for
  // next, in order and after those announced before, so that an engine
  // able to work ahead translates them meanwhile. Each is still asked for,
  // waited on and cancellable as usual. False when the engine does not take
  // them (it then works one sentence at a time).
  virtual bool TranslateAhead(const std::vector<std::wstring>& sources);
  // Forgets the announced sentences not asked for yet (a run or a range
  // cut short by a cancel or a failure, or at its end).
  virtual void DropAhead();
  // The word correspondence of the last successful translation as groups.
  virtual bool GetStyleCorrespondence(const std::wstring& translation, const std::wstring& source,
                                      StyleCorrespondence* out);
  // Any thread: asks the running request (or the next one) to stop.
  virtual void CancelEngine();
  // Forgets an earlier cancel request; a run calls it (through
  // AppCommon::SetCancel(false)) when it starts. OpenEngine keeps a pending
  // request, so a cancel raised while a run prepares stops a hanging open.
  void ResetCancel() { mCancelRequested.store(false); }

  virtual bool LookupWord(const std::wstring& word, std::wstring* result);
  virtual bool ShowOptionDialog(std::uintptr_t ownerWindow = 0);
  virtual bool ShowDictionaryDialog(std::uintptr_t ownerWindow = 0);

  // Cuts text into sentences: the engine's own splitting when an engine is
  // open and gives one, the add-in's splitter with the abbreviation table
  // otherwise. first/last are the positions the text occupies in the
  // enclosing text.
  virtual bool SplitSentences(const std::wstring& text, std::int32_t first, std::int32_t last,
                              std::vector<TranslationSegment>* segments);

  // The engine error code (30000-30006) of the last failed request, 0 when
  // the engine gave none.
  LONG LastErrorCode() const { return mLastErrorCode; }
  // The engine's own words for the last failed request, empty when it gave
  // none.
  const std::wstring& LastErrorText() const { return mLastErrorText; }
  // Requests that failed or were cancelled since OpenEngine.
  int FailedRequests() const { return mFailedRequests; }
  // The remembered bit 0x8 of the engine's flag word (dictionary available).
  bool HasDictionary() const { return mDictionaryFlag; }
  // The open engine keeps Private Use Area characters at their place in the
  // sentence (kInfoFlagKeepsPrivateUse), so protected text can travel
  // inside the sentence as placeholders.
  bool KeepsPlaceholders() const { return mKeepsPlaceholders; }
  const std::wstring& OpenGroup() const { return mGroup; }
  const std::wstring& OpenEngineID() const { return mEngineID; }

  // The abbreviation entries the own splitter uses (tests, and hosts that
  // split without an open engine).
  void SetAbbreviations(std::vector<std::wstring> entries) { mAbbreviations = std::move(entries); }
  const std::vector<std::wstring>& Abbreviations() const { return mAbbreviations; }

 private:
  // Waits on a request object until it is no longer running; returns its
  // final status.
  LONG WaitForRequest(engine_server::IRequest& request);
  bool OpenThroughFactory(const std::wstring& group, const std::wstring& engineID,
                          const std::wstring& displayLanguage);
  // A factory open up to the engine's open request, left running (*listStatus
  // is the engine list's request status; the request is started only when it
  // is done); false when there is nothing to go on with. Then its end: the
  // status of the engine's open request, reported as failed or finished.
  bool BeginFactoryOpen(const std::wstring& group, const std::wstring& engineID,
                        const std::wstring& displayLanguage, LONG* listStatus);
  bool EndFactoryOpen(LONG status);
  bool OpenThroughFamily(const BuiltInFamily& family, const std::wstring& engineID);
  bool FinishOpen();
  // Translate's mode for the open engine's flag word.
  LONG TranslateMode();
  void LoadAbbreviationsFor(const std::wstring& fromLang);

  // An open started by OpenAhead, and what it met on the way.
  struct OpenStart {
    std::wstring group, engineID, displayLanguage;
    bool begun = false;
    LONG status = engine_server::kRequestFailed;
    std::exception_ptr failure;
    std::shared_ptr<engine_server::IEngineFactory> factory;
    std::shared_ptr<engine_server::ITranslationEngine> engine;
  };
  std::optional<OpenStart> mOpenAhead;

  Connectors mConnectors;
  std::shared_ptr<engine_server::IEngineFactory> mFactory;
  std::shared_ptr<engine_server::IFamilyHelper> mFamilyHelper;
  std::shared_ptr<engine_server::ITranslationEngine> mEngine;
  std::shared_ptr<engine_server::ITranslationResult> mLastResult;
  std::wstring mGroup;
  std::wstring mEngineID;
  bool mIsFamily = false;
  bool mDictionaryFlag = false;
  bool mKeepsPlaceholders = false;
  bool mAheadPending = false;  // the engine holds announced sentences
  LONG mLastErrorCode = 0;
  std::wstring mLastErrorText;
  int mFailedRequests = 0;
  std::wstring mAbbreviationLang;
  std::vector<std::wstring> mAbbreviations;
  // Raised by CancelEngine on any thread; taken by the polling thread.
  std::atomic<bool> mCancelRequested{false};
  const int mCancelGraceMs;
};

}  // namespace engine
