// The engine-side contract: what the add-in calls on a translation engine
// server. On Windows these interfaces are adapted onto the engine COM servers
// (com/); on Linux the servers in engines/ implement them in-process.
//
// Conventions shared by every interface here:
// - Every call returns an HRESULT and writes its "out" arguments only on
//   success. Out arguments are never null (callers pass real storage).
// - Objects are shared: the engine side may keep a result object alive while
//   its request is running, so everything travels as std::shared_ptr.
// - Indexes are 1-based, as the COM collections count.
// - Threads: every object is used from the thread that created it, except
//   IRequest::Cancel, which the in-process servers accept from any thread.
//   (A COM adapter must only be called from its creating thread; callers that
//   cancel from a watchdog forward the cancel to that thread.)
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/platform/Types.h"

namespace engine_server {

// Statuses that WaitForResult reports.
enum RequestStatus : LONG {
  kRequestRunning = 0,
  kRequestDone = 1,
  kRequestCancelled = 2,
  kRequestFailed = 3,
};

// Engine error codes that ErrorCode gives after status 3 (0: nothing to
// report). The error list turns them into messages.
constexpr LONG kEngineErrorClient = 30000;         // error in the translation client
constexpr LONG kEngineErrorInvalidEngineId = 30001; // the engine id is not valid
constexpr LONG kEngineErrorNotReady = 30002;       // engine not ready (no message of its own)
constexpr LONG kEngineErrorWordNotFound = 30003;   // dictionary: word not found
constexpr LONG kEngineErrorNetwork = 30004;
constexpr LONG kEngineErrorRemoteServer = 30005;
constexpr LONG kEngineErrorEngine = 30006;         // the translation engine itself failed
constexpr LONG kEngineErrorFirst = kEngineErrorClient;
constexpr LONG kEngineErrorLast = kEngineErrorEngine;

// GetEngineList fails with this when the implementation has no usable engine.
constexpr HRESULT ENGINE_E_UNAVAILABLE = static_cast<HRESULT>(0x80040402L);

// Bits of an engine list item's Flags word as the servers in engines/ set
// them (other servers may set more bits; the cache keeps the word as is).
constexpr LONG kPairFlagTranslate = 0x1;
constexpr LONG kPairFlagDictionary = 0x8;

// Bits of TranslationEngine::Info's flag word.
constexpr LONG kInfoFlagTranslate = 0x1;
// Set: Translate accepts mode kTranslateModeCorrespondence and then reports
// word correspondence on its result.
constexpr LONG kInfoFlagCorrespondence = 0x4;
// Set: LookupDictionary works.
constexpr LONG kInfoFlagDictionary = 0x8;
// Set: characters of the Private Use Area (U+E000-U+F8FF) come back
// unchanged, each once, at their place in the sentence.
constexpr LONG kInfoFlagKeepsPrivateUse = 0x10;

// Translate's mode argument.
constexpr LONG kTranslateModePlain = 0;
constexpr LONG kTranslateModeCorrespondence = 2;

// The class and interface ids the add-in uses, in registry spelling.
namespace ids {
constexpr wchar_t kClsidImplementations[] = L"{D2EF2BC4-DBAE-40FA-9657-3A37B8D8B53B}";
constexpr wchar_t kIidImplementations[] = L"{D000C846-5B1A-4B0F-BA79-EE033AA1D7D7}";
constexpr wchar_t kClsidEngineFactory[] = L"{0966145B-7DB5-4CB6-9CA1-341F6E85E95A}";
constexpr wchar_t kIidEngineFactory[] = L"{7254AEC9-A349-469F-A906-6F1A10956E4B}";
constexpr wchar_t kIidRequest[] = L"{0CC65E0A-6390-49A7-BC17-B1718A8E7213}";
constexpr wchar_t kIidClientProperties[] = L"{F3591C00-2802-4F79-AEC6-BD42EA5DDE7A}";
constexpr wchar_t kIidClientProperty[] = L"{B98C5787-8CBE-4593-90AC-5FEE8C6B6B69}";
constexpr wchar_t kIidEngineList[] = L"{3D531EBE-0FD7-4B72-8F47-33ADEFCF5753}";
constexpr wchar_t kIidTranslationEngine[] = L"{1EDD4724-D958-468E-B354-A10626665B5A}";
constexpr wchar_t kIidTranslationResult[] = L"{AA9529C6-D953-4791-BDBE-C989F4B0F738}";
constexpr wchar_t kIidWordCorrespondenceList[] = L"{9B2C3133-121B-4975-9E6E-C13D0B0C629C}";
constexpr wchar_t kIidWordCorrespondence[] = L"{34650958-3381-489A-9EBC-CBC4AAEFB132}";
constexpr wchar_t kIidDictionaryResult[] = L"{2A42950B-D6EF-4709-B39A-81F2068778D6}";
}  // namespace ids

// The request base shared by the factory and the engine. One request runs
// at a time per object: GetEngineList and GetEngine on the factory,
// Translate and LookupDictionary on the engine.
class IRequest {
 public:
  virtual ~IRequest() = default;
  // Waits up to timeoutMs milliseconds (-1: no limit) for the running request
  // and reports its status. With no request started the status is 1.
  virtual HRESULT WaitForResult(LONG timeoutMs, LONG* status) = 0;
  // Asks the running request to end soon with a status other than 0. Safe
  // from any thread for in-process servers; harmless when nothing runs.
  virtual HRESULT Cancel() = 0;
  // After status 3: 0, or an engine error code 30000-30006.
  virtual HRESULT ErrorCode(LONG* code) = 0;
  // Optional: after status 3, what failed in words a user can act on (for
  // a remote server: which server, and what it did). Servers without it
  // answer E_NOTIMPL and the error code's message stands alone.
  virtual HRESULT ErrorText(std::wstring* text) { return E_NOTIMPL; }
};

class IImplementations {
 public:
  virtual ~IImplementations() = default;
  virtual HRESULT Count(LONG* count) = 0;
  // The implementation's name; an empty text stands for a null name.
  virtual HRESULT Item(LONG index, std::wstring* name) = 0;
};

class IClientProperty {
 public:
  virtual ~IClientProperty() = default;
  virtual HRESULT Name(std::wstring* name) = 0;
  // The value travels as a text (VT_BSTR on COM).
  virtual HRESULT SetValue(const std::wstring& value) = 0;
};

class IClientProperties {
 public:
  virtual ~IClientProperties() = default;
  virtual HRESULT Count(LONG* count) = 0;
  virtual HRESULT Item(LONG index, std::shared_ptr<IClientProperty>* property) = 0;
};

// One language pair of an implementation. Each read may fail on its own.
class IEngineListItem {
 public:
  virtual ~IEngineListItem() = default;
  virtual HRESULT EngineID(std::wstring* value) = 0;
  virtual HRESULT FromLang(std::wstring* value) = 0;
  virtual HRESULT ToLang(std::wstring* value) = 0;
  virtual HRESULT Flags(LONG* value) = 0;
  virtual HRESULT DisplayName(std::wstring* value) = 0;
  virtual HRESULT ProductName(std::wstring* value) = 0;
  virtual HRESULT ProductNameShort(std::wstring* value) = 0;
};

// Filled by the factory's listing request; valid once WaitForResult reports
// status 0 or 1.
class IEngineList {
 public:
  virtual ~IEngineList() = default;
  virtual HRESULT Count(LONG* count) = 0;
  virtual HRESULT Item(LONG index, std::shared_ptr<IEngineListItem>* item) = 0;
};

// A character range; positions count from 0 in the text they refer to.
struct TextRange {
  LONG position = 0;
  LONG length = 0;
  bool operator==(const TextRange&) const = default;
};

// One group of word correspondence: source ranges (in the text handed to
// Translate) that correspond to translation ranges (in the result text).
struct WordCorrespondence {
  std::vector<TextRange> source;
  std::vector<TextRange> translation;
  bool operator==(const WordCorrespondence&) const = default;
};

// One sentence as the engine cuts a text: position and length in that text.
struct SentenceSpan {
  LONG position = 0;
  LONG length = 0;
  bool operator==(const SentenceSpan&) const = default;
};

class ITranslationResult {
 public:
  virtual ~ITranslationResult() = default;
  // The translation; valid once the engine's request reported status 1.
  virtual HRESULT Text(std::wstring* text) = 0;
  // The word correspondence of this translation, in the engine's order. An
  // engine that gives none answers S_OK with an empty list.
  virtual HRESULT Correspondence(std::vector<WordCorrespondence>* groups) = 0;
};

class IDictionaryResult {
 public:
  virtual ~IDictionaryResult() = default;
  // The dictionary entry text; valid once the request reported status 1.
  virtual HRESULT Text(std::wstring* text) = 0;
};

class ITranslationEngine : public IRequest {
 public:
  // The engine's flag word (kInfoFlag* bits).
  virtual HRESULT Info(LONG* flags) = 0;
  // Starts translating text; mode is kTranslateModePlain or
  // kTranslateModeCorrespondence. The result is filled when the request ends.
  virtual HRESULT Translate(const std::wstring& text, LONG mode,
                            std::shared_ptr<ITranslationResult>* result) = 0;
  // Optional: texts the client will ask Translate for next, in order and
  // in the given mode, so the engine can work on them while the client is
  // busy elsewhere. Each call adds to the texts announced before. Translate
  // still has to be asked for every one; it answers from this work when its
  // text is among them (announced texts before it were skipped and are
  // forgotten) and leaves them all as they are when it is not. Cancel and
  // DropAhead forget them. Engines without it answer E_NOTIMPL and the
  // client asks one text at a time.
  virtual HRESULT TranslateAhead(const std::vector<std::wstring>& texts, LONG mode) { return E_NOTIMPL; }
  // Forgets every announced text not asked for yet.
  virtual HRESULT DropAhead() { return E_NOTIMPL; }
  // Starts a dictionary lookup of word. A word the dictionary lacks ends the
  // request with status 3 and error code kEngineErrorWordNotFound.
  virtual HRESULT LookupDictionary(const std::wstring& word,
                                   std::shared_ptr<IDictionaryResult>* result) = 0;
  // Cuts text into sentences (synchronous). The spans cover the text in
  // order. S_FALSE with an empty list: the engine does not split; the caller
  // uses its own splitter. mode 1 is what the add-in passes.
  virtual HRESULT SplitSentences(const std::wstring& text, LONG mode,
                                 std::vector<SentenceSpan>* sentences) = 0;
  // The engine's own settings dialog and its dictionary registration
  // dialog, owned by the given window (0: none). Modal; they return when
  // closed.
  virtual HRESULT ShowSettingsDialog(std::uintptr_t ownerWindow) = 0;
  virtual HRESULT ShowDictionaryDialog(std::uintptr_t ownerWindow) = 0;
};

class IEngineFactory : public IRequest {
 public:
  // Selects the implementation whose pairs are listed and opened.
  virtual HRESULT SetImplementation(const std::wstring& name) = 0;
  // Language code in which display names are wanted.
  virtual HRESULT SetDisplayLanguage(const std::wstring& language) = 0;
  virtual HRESULT Properties(std::shared_ptr<IClientProperties>* properties) = 0;
  // Starts listing the implementation's pairs. engineId empty lists all
  // pairs, otherwise only that pair (an open uses this). Fails with
  // ENGINE_E_UNAVAILABLE when the implementation has no usable engine.
  virtual HRESULT GetEngineList(const std::wstring& engineId, const std::wstring& reserved1,
                                const std::wstring& reserved2, LONG flags,
                                std::shared_ptr<IEngineList>* list) = 0;
  // Starts opening the engine of a listed item; the engine is usable once
  // the factory's WaitForResult reports 1. On status 3 the engine's
  // ErrorCode (or else the factory's) tells why.
  virtual HRESULT GetEngine(const std::shared_ptr<IEngineListItem>& item,
                            std::shared_ptr<ITranslationEngine>* engine) = 0;
};

// The helper object of a built-in engine family (its registered engine
// identifier or helper class). It opens engines by the family's EngineID
// with the same contract as the factory path.
class IFamilyHelper {
 public:
  virtual ~IFamilyHelper() = default;
  // Answers a capability question by number (14: the Japanese pairs of a
  // European family are available).
  virtual HRESULT Supports(LONG capability, bool* yes) = 0;
  // Opens the engine of one of the family's EngineIDs. The engine's own
  // WaitForResult reports when the open has ended (1 done, 3 failed).
  virtual HRESULT OpenEngine(const std::wstring& engineId,
                             std::shared_ptr<ITranslationEngine>* engine) = 0;
};

// Capability number that confirms a European family's Japanese pairs.
constexpr LONG kFamilyCapabilityJapanesePairs = 14;

}  // namespace engine_server
