// Texts a client announces ahead (TranslateAhead) on their way through an
// engine server: a worker of the engine's own translates them in the
// client's order while the client still writes the translations it has,
// and a request for an announced text takes its answer from here. Every
// engine server keeps the same rules:
// - a text announced again (same mode) while not failed shares its entry;
// - asking for a text takes its first announcement; announcements before it
//   were skipped by the client and are forgotten, and an entry nobody wants
//   any more is taken out of the worker's way;
// - entries the worker leaves behind when it stops (cancelled, out of work,
//   its engine gave up) fail, and the request that wants one translates it
//   on its own.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/ServerObjects.h"

namespace engine_server {

struct AheadEntry {
  enum class State { Queued, Running, Done, Failed };
  std::wstring text;
  LONG mode = kTranslateModePlain;
  State state = State::Queued;
  int announced = 0;      // announcements of it neither asked for nor skipped yet
  bool asked = false;     // a request waits for it
  bool timedOut = false;  // Failed by an engine that hung: not worth a second wait
  std::wstring translation;
  std::vector<WordCorrespondence> groups;
  // Still worth the engine's time.
  bool Wanted() const { return announced > 0 || asked; }
};

// Made with std::make_shared: a request's cancel wakes its wait through a
// reference of its own.
class AheadQueue : public std::enable_shared_from_this<AheadQueue> {
 public:
  using Entry = std::shared_ptr<AheadEntry>;
  using Batch = std::vector<Entry>;
  // How the worker's translate function ended a batch: entries it did not
  // settle fail (TimedOut marks them so); Stop ends the worker's turn.
  enum class BatchEnd { Translated, TimedOut, Stop };

  // Adds texts behind those announced before; true when the worker is to
  // be started (it is then counted as running).
  bool Announce(const std::vector<std::wstring>& texts, LONG mode);
  // Forgets the announced texts not yet asked for. A batch on its way
  // finishes; nobody takes its answers.
  void Drop();
  // The entry for a text the client asks for, or null when it asked for
  // something else (every announcement then stays).
  Entry Take(const std::wstring& text, LONG mode);
  // Waits until entry is Done or Failed; false when cancelled first.
  bool Wait(const AheadEntry& entry, const CancelToken& token);
  // Hands a Done entry's translation to result; false when not Done.
  bool Answer(const AheadEntry& entry, TranslationResult* result);

  // The worker: batches of at most `most` entries, front first, until none
  // is left, the token is cancelled or translate says Stop.
  RequestOutcome Work(const CancelToken& token, size_t most, const std::function<BatchEnd(Batch&)>& translate);
  // For translate: moves queued entries onto batch until it holds `size`.
  void Fill(Batch* batch, size_t size);
  void Settle(AheadEntry& entry, std::wstring translation, std::vector<WordCorrespondence> groups = {});

 private:
  void FillLocked(Batch* batch, size_t size);
  void ForgetUnwanted();
  void StopWorking();

  // Announced entries not asked for yet, in the client's order (an entry
  // once per announcement); the entries waiting for the worker, in the
  // order it takes them; and whether the worker is on its way through
  // them. mChanged tells waiting requests that an entry moved on.
  std::mutex mMutex;
  std::condition_variable mChanged;
  std::deque<Entry> mAnnounced;
  std::deque<Entry> mQueue;
  bool mWorking = false;
};

}  // namespace engine_server
