// The request machinery of an in-process engine server: one job at a time
// runs on the request's worker thread, which stays for the next job (a run
// asks hundreds of requests of one engine object, and a thread started for
// each cost more than the document's own work), WaitForResult waits for it
// with a real time-out,
// and Cancel (from any thread) raises a flag the job watches and runs the
// job's cancel action (closing a pipe, killing a child) so that a job
// blocked in a read ends at once.
//
// A job that ignores its cancel is never waited for without bound: the
// request lets go of its worker, which ends on its own later. A job must
// therefore own (share) everything it touches; the request object itself
// may be gone by the time it ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "src/engine/server/EngineServer.h"

namespace engine_server {

struct RequestOutcome {
  LONG status = kRequestDone;
  LONG errorCode = 0;

  static RequestOutcome Done() { return {kRequestDone, 0}; }
  static RequestOutcome Cancelled() { return {kRequestCancelled, 0}; }
  static RequestOutcome Failed(LONG code) { return {kRequestFailed, code}; }
};

// What a running job sees of its request.
class CancelToken {
 public:
  bool Cancelled() const;
  // Sleeps for d unless cancelled first; true when cancelled.
  bool SleepFor(std::chrono::milliseconds d) const;
  // Runs action once if the request is cancelled while the job is running
  // (at once when it already is). Cleared when the job ends. The action runs
  // on the cancelling thread and must be thread-safe.
  void OnCancel(std::function<void()> action) const;

 private:
  friend class AsyncRequest;
  struct State;
  CancelToken(std::shared_ptr<State> state, std::uint64_t generation)
      : mState(std::move(state)), mGeneration(generation) {}
  std::shared_ptr<State> mState;
  std::uint64_t mGeneration;
};

class AsyncRequest {
 public:
  using Job = std::function<RequestOutcome(const CancelToken&)>;

  // How long a job that is cancelled only as its request ends or is replaced
  // is waited for before it is left to end on its own.
  static constexpr int kReleaseGraceMs = 2000;

  AsyncRequest();
  // Cancels a running job and waits for it to end: up to kReleaseGraceMs,
  // and not at all when it was cancelled earlier and still runs (its
  // client has given up on it already).
  ~AsyncRequest();
  AsyncRequest(const AsyncRequest&) = delete;
  AsyncRequest& operator=(const AsyncRequest&) = delete;

  // Starts job on the worker thread. A job still running is cancelled and
  // let go of as by the destructor, together with its thread, and the job
  // runs on a new one; the two may then run side by side, and a server whose
  // jobs share state serialises them itself. A job that throws ends the
  // request with status 3 and kEngineErrorEngine. A job and its captures are
  // destroyed before the request reports its end.
  void Start(Job job);
  // Ends a request at once without a worker (answers known up front).
  void Complete(RequestOutcome outcome);

  HRESULT WaitForResult(LONG timeoutMs, LONG* status);
  HRESULT Cancel();
  HRESULT ErrorCode(LONG* code);

  LONG Status() const;

 private:
  struct Mailbox;

  // Cancels a running job and waits for it as the destructor does; a job
  // that does not end in time is left to end on its own, and its worker
  // with it.
  void ReleaseWorker();

  std::shared_ptr<CancelToken::State> mState;
  // The worker waits here for its next job, or for the word to end.
  std::shared_ptr<Mailbox> mMailbox;
  std::thread mWorker;
};

}  // namespace engine_server
