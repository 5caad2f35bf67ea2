// A scriptable in-process engine server for tests. A test builds the engine
// side it wants (implementations, their pairs, translations, dictionary
// entries, correspondence groups) and scripts how each operation behaves
// (a failing call, a failing or cancelled request, an error code, a delay,
// a request that hangs until cancelled); afterwards it reads what the client
// did (texts sent, modes, client id, cancels).
//
//   fake_engine::FakeEngineSide side;
//   auto& impl = side.AddImplementation(L"FakeMT");
//   impl.AddPair({L"en-es", L"en", L"es", 0x9, L"English - Spanish", L"Fake MT", L"Fake"});
//   impl.SetTranslation(L"Hello.", L"Hola.");
//   impl.Script(fake_engine::Operation::Translate, {.status = 3, .errorCode = 30006});
//
// FakeEngineSide registers its implementations in the in-process class table
// and routes the Create* calls there (also under Wine, where they would go
// to COM) for its lifetime. Everything here is thread-safe.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "src/engine/server/EngineClasses.h"
#include "src/engine/server/EngineServer.h"

namespace fake_engine {

enum class Operation {
  SetImplementation,
  SetDisplayLanguage,
  Properties,
  GetEngineList,   // the listing call and its request
  GetEngine,       // opening an engine and its request
  Info,
  Translate,
  LookupDictionary,
  SplitSentences,
  SettingsDialog,
  DictionaryDialog,
};

struct Behaviour {
  HRESULT callResult = S_OK;                 // a failure is returned by the call itself
  LONG status = engine_server::kRequestDone;  // how the started request ends
  LONG errorCode = 0;                        // ErrorCode after status 3
  int delayMs = 0;                           // how long the request runs (cancel ends it early)
  bool hang = false;                         // runs until cancelled
  int times = -1;                            // calls it applies to; -1: every later call
  LONG engineErrorCode = 0;                  // GetEngine only: the engine's own ErrorCode
  // Runs first on the request's worker, deaf to Cancel (an engine that
  // ignores it); the request goes on as scripted once it returns.
  std::function<void()> hold = nullptr;
};

// Names of the list item properties, for failing reads.
enum class ItemProperty { EngineID, FromLang, ToLang, Flags, DisplayName, ProductName, ProductNameShort };

// What the engine makes of a text it has no whole-text translation for (and
// no translator is set).
enum class Transform {
  Uppercase,  // lengths and positions stay comparable
  Bracket,    // "⟦" + source + "⟧": a text translated twice, or never, shows
};

struct FakePair {
  std::wstring engineId;
  std::wstring fromLang;
  std::wstring toLang;
  LONG flags = engine_server::kPairFlagTranslate;
  std::wstring displayName;
  std::wstring productName;
  std::wstring productNameShort;
  // Reads of these properties fail with the HRESULT given.
  std::map<ItemProperty, HRESULT> failingReads = {};
  // The engine's Info flag word once opened. Its transforms leave Private
  // Use Area characters where they are.
  LONG infoFlags = engine_server::kInfoFlagTranslate | engine_server::kInfoFlagDictionary |
                   engine_server::kInfoFlagCorrespondence | engine_server::kInfoFlagKeepsPrivateUse;
  // The engine takes texts announced ahead (TranslateAhead); false: it
  // answers E_NOTIMPL, as engines without the extension do.
  bool translatesAhead = true;
};

// One request the client made of an opened engine.
struct TranslateCall {
  std::wstring engineId;
  std::wstring text;
  LONG mode = 0;
};

class FakeImplementation {
 public:
  explicit FakeImplementation(std::wstring name) : mName(std::move(name)) {}

  const std::wstring& Name() const { return mName; }

  FakeImplementation& AddPair(FakePair pair);
  // Scripts the next calls of an operation (see Behaviour::times).
  FakeImplementation& Script(Operation op, Behaviour behaviour);
  // Whole-text translations; other texts go through the translator, which
  // by default upper-cases (so lengths and positions stay comparable).
  FakeImplementation& SetTranslation(const std::wstring& source, const std::wstring& translation);
  FakeImplementation& SetTranslator(std::function<std::wstring(const std::wstring&)> translator);
  FakeImplementation& SetTransform(Transform transform);
  // Correspondence groups reported for a source text (mode 2 only). Without
  // one, a mode-2 translation reports one group per blank-separated word,
  // source word i to translation word i while both have one (with the
  // bracket transform, each source word to itself inside the brackets).
  FakeImplementation& SetCorrespondence(const std::wstring& source,
                                        std::vector<engine_server::WordCorrespondence> groups);
  FakeImplementation& AddDictionaryEntry(const std::wstring& word, const std::wstring& text);
  // Sentence splitting by the engine; without a splitter SplitSentences
  // answers S_FALSE (the caller splits itself).
  FakeImplementation& SetSplitter(
      std::function<std::vector<engine_server::SentenceSpan>(const std::wstring&)> splitter);
  // Client property names the factory offers (default: "ClientId").
  FakeImplementation& SetPropertyNames(std::vector<std::wstring> names);
  // Built-in detection: an unavailable implementation is not listed.
  FakeImplementation& SetAvailable(bool available);

  // What the client did.
  std::wstring ClientId() const;
  std::wstring DisplayLanguage() const;
  std::vector<TranslateCall> Translations() const;
  // The lists of texts announced ahead, one per TranslateAhead call that
  // announced any; how many Translate calls found their text announced; how
  // many announced texts were forgotten unasked (skipped, dropped, cancelled).
  std::vector<std::vector<std::wstring>> AheadCalls() const;
  int AnsweredAhead() const;
  int DroppedAhead() const;
  // The most texts announced and not asked for yet at any one time.
  int MostAhead() const;
  std::vector<std::wstring> Lookups() const;
  std::vector<LONG> ListingFlags() const;
  int FactoriesMade() const;
  int EnginesOpened() const;
  int Cancels() const;
  int SettingsDialogsShown() const;
  int DictionaryDialogsShown() const;
  void ClearRecord();

 private:
  friend class FakeFactory;
  friend class FakeTranslationEngine;
  friend class FakeEngineSide;
  friend class FakeEngineSideAccess;

  // Takes the behaviour for one call of op (counting down its times).
  Behaviour Take(Operation op);
  std::wstring TranslateText(const std::wstring& text) const;
  std::vector<engine_server::WordCorrespondence> CorrespondenceFor(const std::wstring& source,
                                                                   const std::wstring& translation) const;

  std::wstring mName;
  mutable std::mutex mMutex;
  std::vector<FakePair> mPairs;
  std::map<Operation, Behaviour> mScript;
  std::map<std::wstring, std::wstring> mTranslations;
  std::function<std::wstring(const std::wstring&)> mTranslator;
  Transform mTransform = Transform::Uppercase;
  std::map<std::wstring, std::vector<engine_server::WordCorrespondence>> mCorrespondence;
  std::map<std::wstring, std::wstring> mDictionary;
  std::function<std::vector<engine_server::SentenceSpan>(const std::wstring&)> mSplitter;
  std::vector<std::wstring> mPropertyNames{L"ClientId"};
  bool mAvailable = true;

  std::wstring mClientId;
  std::wstring mDisplayLanguage;
  std::vector<TranslateCall> mTranslateCalls;
  std::vector<std::vector<std::wstring>> mAheadCalls;
  int mAnsweredAhead = 0;
  int mDroppedAhead = 0;
  int mMostAhead = 0;
  std::vector<std::wstring> mLookups;
  std::vector<LONG> mListingFlags;
  int mFactories = 0;
  int mEngines = 0;
  int mCancels = 0;
  int mSettingsDialogs = 0;
  int mDictionaryDialogs = 0;
};

// A built-in family's helper object: it opens the engines of the pairs it
// holds (by EngineID) with the same scripted behaviour as an implementation.
class FakeFamilyHelper {
 public:
  explicit FakeFamilyHelper(std::wstring progId);
  const std::wstring& ProgId() const { return mProgId; }
  // The engine side behind the helper (pairs, script, record).
  FakeImplementation& Engines() { return *mEngines; }
  // The answer to capability questions (14: Japanese pairs).
  FakeFamilyHelper& SetCapability(LONG capability, bool yes);
  FakeFamilyHelper& FailCreation(HRESULT hr);
  // Registers the helper's class in the classes root of the registry, as
  // its installer would (ProgID -> class id -> InprocServer32 = serverFile),
  // so the add-in's installation test finds it. Removed again when the
  // side ends. Returns the registry's error code.
  LONG RegisterInClassesRoot(const std::wstring& clsid, const std::wstring& serverFile);

 private:
  friend class FakeEngineSide;
  std::wstring mProgId;
  std::vector<std::wstring> mRegisteredClsids;
  std::shared_ptr<FakeImplementation> mEngines;
  std::shared_ptr<std::map<LONG, bool>> mCapabilities = std::make_shared<std::map<LONG, bool>>();
  std::shared_ptr<HRESULT> mCreateFailure = std::make_shared<HRESULT>(S_OK);
};

class FakeEngineSide {
 public:
  FakeEngineSide();
  // Unregisters everything it registered and restores the earlier hooks.
  ~FakeEngineSide();
  FakeEngineSide(const FakeEngineSide&) = delete;
  FakeEngineSide& operator=(const FakeEngineSide&) = delete;

  // Listed by Implementations in the order added.
  FakeImplementation& AddImplementation(const std::wstring& name);
  FakeFamilyHelper& AddFamilyHelper(const std::wstring& progId);

  // Creating the classes fails (as CoCreateInstance would): the callNumber-th
  // creation of an EngineFactory (1-based, counting from now) and the
  // following times-1 ones.
  void FailFactoryCreation(HRESULT hr, int callNumber = 1, int times = 1);
  void FailImplementationsCreation(HRESULT hr);
  // The Implementations object's Count or Item calls fail.
  void FailImplementationsCount(HRESULT hr);
  void FailImplementationsItem(LONG index, HRESULT hr);
  int FactoryCreations() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> mShared;
  std::vector<std::shared_ptr<FakeImplementation>> mImplementations;
  std::vector<std::unique_ptr<FakeFamilyHelper>> mHelpers;
  engine_server::ClassHooks mPreviousHooks;
};

// Registers fake implementations described by the file that the environment
// variable PELORANT_FAKE_ENGINE names (the program calls it once per
// command); false with a message in *error when the file is missing or
// cannot be read or parsed, true with nothing done when the variable is not
// set or the file is empty. The registrations last for the process. See
// FakeScript.cpp for the format.
bool RegisterFromEnvironment(std::wstring* error);
// The same from a file.
bool RegisterFromFile(const std::string& path, std::wstring* error);

}  // namespace fake_engine
