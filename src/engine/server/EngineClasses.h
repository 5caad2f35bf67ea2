// How the add-in creates the engine-side objects, and how in-process engine
// servers make themselves known.
//
// On Windows the three Create* calls go to COM (CoCreateInstance with class
// context 23, ProgIDs through CLSIDFromProgID). On Linux they go to the
// in-process table below, where the servers of engines/ register: the
// Implementations object lists every registered implementation whose
// built-in detection finds it usable (so Apertium pairs a user installed
// appear without any configuration), and the EngineFactory forwards to the
// implementation that SetImplementation names.
//
// Tests replace the creation calls through ClassHooks: to inject a failing
// CoCreateInstance, or to reach the in-process servers under Wine.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/engine/server/EngineServer.h"

namespace engine_server {

// Create an EngineFactory / Implementations object, or the helper object of
// a built-in family by its registered identifier (ProgID). Failures are the
// HRESULTs CoCreateInstance gives (REGDB_E_CLASSNOTREG when nothing is
// registered). Never throw.
HRESULT CreateEngineFactory(std::shared_ptr<IEngineFactory>* factory);
HRESULT CreateImplementations(std::shared_ptr<IImplementations>* implementations);
HRESULT CreateFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper);

// Prepares the calling thread for engine-side objects (COM in a
// single-threaded apartment on Windows; nothing on Linux). Every successful
// call is matched by one UninitializeEngineThread on the same thread.
HRESULT InitializeEngineThread();
void UninitializeEngineThread();

// The servers an implementation reaches over the network, as the user adds
// and removes them (the options dialog's engine panel). Rows never carry a
// server's secret key. User-interface thread; a call may wait for the
// server's answer up to its time-out.
struct ServerRow {
  std::wstring name;
  std::wstring url;
  std::wstring api;  // the protocol's short name, as the user types it
};
struct NewServer {
  std::wstring name;
  std::wstring url;
  std::wstring api;      // empty: the implementation's default
  std::wstring keyFile;  // empty: no key
};
class IServerSettings {
 public:
  virtual ~IServerSettings() = default;
  // The stored servers in name order.
  virtual std::vector<ServerRow> Servers() = 0;
  // Checks what the user gave, asks the server for its pairs and stores it
  // (replacing a server of that name). False with the reason, naming the
  // server, when any step fails; nothing is stored then.
  virtual bool Add(const NewServer& server, std::wstring* error) = 0;
  // False with the reason when no server has that name or it stays stored.
  virtual bool Remove(const std::wstring& name, std::wstring* error) = 0;
};

// One implementation served in-process.
struct InProcessImplementation {
  // The name Implementations lists and SetImplementation selects (compared
  // without regard to case).
  std::wstring name;
  // Built-in detection, asked whenever an Implementations object is made:
  // false leaves the implementation out of the list. Empty: always listed.
  std::function<bool()> available;
  // A fresh factory object for this implementation. The in-process
  // EngineFactory passes it SetImplementation with the name the client
  // gave, then the display language, and forwards every later call.
  std::function<std::shared_ptr<IEngineFactory>()> makeFactory;
  // The implementation's stored servers, for those that keep a list the
  // user edits; empty for the others.
  std::function<std::shared_ptr<IServerSettings>()> makeServerSettings;
};

// Registration is process-wide and thread-safe. Registering a name again
// replaces the earlier entry in place (its position in the list stays).
void RegisterImplementation(InProcessImplementation implementation);
void UnregisterImplementation(const std::wstring& name);
// Names of the registered implementations, in registration order,
// whether available or not.
std::vector<std::wstring> RegisteredImplementations();

using FamilyHelperMaker = std::function<std::shared_ptr<IFamilyHelper>()>;
void RegisterFamilyHelper(const std::wstring& progId, FamilyHelperMaker make);
void UnregisterFamilyHelper(const std::wstring& progId);

// The in-process engine side itself (what Linux uses by default).
HRESULT CreateInProcessEngineFactory(std::shared_ptr<IEngineFactory>* factory);
HRESULT CreateInProcessImplementations(std::shared_ptr<IImplementations>* implementations);
// An EngineFactory that forwards to the factory of the implementation the
// client chooses: one served in process, or else `others` (the COM
// servers' factory on Windows, null on Linux), which also serves until the
// client chooses. Without others, a name nothing serves leaves the factory
// with no engine; when others could not be made, othersResult is why, and
// every call answers it until an in-process implementation is chosen.
std::shared_ptr<IEngineFactory> MakeDispatchingFactory(std::shared_ptr<IEngineFactory> others, HRESULT othersResult);
// The server settings of the first registered implementation that has
// them; REGDB_E_CLASSNOTREG when none has.
HRESULT CreateServerSettings(std::shared_ptr<IServerSettings>* settings);
// A fixed list of implementation names, as the Implementations class answers.
std::shared_ptr<IImplementations> MakeImplementationList(std::vector<std::wstring> names);
HRESULT CreateInProcessFamilyHelper(const std::wstring& progId,
                                    std::shared_ptr<IFamilyHelper>* helper);

// Replacements for the three Create* calls; an empty member keeps the
// platform's own way.
struct ClassHooks {
  std::function<HRESULT(std::shared_ptr<IEngineFactory>*)> createEngineFactory;
  std::function<HRESULT(std::shared_ptr<IImplementations>*)> createImplementations;
  std::function<HRESULT(const std::wstring&, std::shared_ptr<IFamilyHelper>*)> createFamilyHelper;
};

// Installs hooks process-wide and returns the ones they replace.
ClassHooks SetClassHooks(ClassHooks hooks);
// Hooks that reach the in-process servers (on either platform).
ClassHooks InProcessClassHooks();

// Installs hooks for a scope and puts the earlier ones back at its end.
class ScopedClassHooks {
 public:
  explicit ScopedClassHooks(ClassHooks hooks) : mPrevious(SetClassHooks(std::move(hooks))) {}
  ~ScopedClassHooks() { SetClassHooks(std::move(mPrevious)); }
  ScopedClassHooks(const ScopedClassHooks&) = delete;
  ScopedClassHooks& operator=(const ScopedClassHooks&) = delete;

 private:
  ClassHooks mPrevious;
};

}  // namespace engine_server
