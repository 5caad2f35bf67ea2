#include "src/engine/server/AsyncRequest.h"

#include <exception>

namespace engine_server {

// One state for the object's whole life; each Start opens a new generation
// so that a token of a job that was superseded reads as cancelled and can
// no longer touch the current request.
struct CancelToken::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t generation = 0;
  LONG status = kRequestDone;
  LONG errorCode = 0;
  bool cancelled = false;
  std::function<void()> cancelAction;
};

bool CancelToken::Cancelled() const {
  std::lock_guard<std::mutex> lock(mState->mutex);
  return mState->generation != mGeneration || mState->cancelled;
}

bool CancelToken::SleepFor(std::chrono::milliseconds d) const {
  std::unique_lock<std::mutex> lock(mState->mutex);
  return mState->changed.wait_for(lock, d, [&] {
    return mState->generation != mGeneration || mState->cancelled;
  });
}

void CancelToken::OnCancel(std::function<void()> action) const {
  std::unique_lock<std::mutex> lock(mState->mutex);
  if (mState->generation != mGeneration || mState->cancelled) {
    lock.unlock();
    if (action) action();
    return;
  }
  mState->cancelAction = std::move(action);
}

AsyncRequest::AsyncRequest() : mState(std::make_shared<CancelToken::State>()) {}

struct AsyncRequest::Mailbox {
  std::mutex mutex;
  std::condition_variable posted;
  Job job;
  std::uint64_t generation = 0;
  bool quit = false;
};

AsyncRequest::~AsyncRequest() {
  ReleaseWorker();
  if (!mWorker.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mMailbox->mutex);
    mMailbox->quit = true;
  }
  mMailbox->posted.notify_one();
  mWorker.join();
}

void AsyncRequest::ReleaseWorker() {
  if (!mWorker.joinable()) return;
  bool givenUp = false;
  {
    std::lock_guard<std::mutex> lock(mState->mutex);
    givenUp = mState->status == kRequestRunning && mState->cancelled;
  }
  Cancel();
  bool ended = false;
  {
    std::unique_lock<std::mutex> lock(mState->mutex);
    auto done = [&] { return mState->status != kRequestRunning; };
    ended = givenUp ? done() : mState->changed.wait_for(lock, std::chrono::milliseconds(kReleaseGraceMs), done);
  }
  if (ended) return;
  // The worker ends once its job does; its job may no longer report.
  {
    std::lock_guard<std::mutex> lock(mMailbox->mutex);
    mMailbox->quit = true;
  }
  mWorker.detach();
  mMailbox.reset();
}

void AsyncRequest::Start(Job job) {
  ReleaseWorker();
  std::uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(mState->mutex);
    generation = ++mState->generation;
    mState->status = kRequestRunning;
    mState->errorCode = 0;
    mState->cancelled = false;
    mState->cancelAction = nullptr;
  }
  if (!mWorker.joinable()) {
    mMailbox = std::make_shared<Mailbox>();
    mWorker = std::thread([state = mState, box = mMailbox] {
      for (;;) {
        Job next;
        std::uint64_t generation = 0;
        {
          std::unique_lock<std::mutex> lock(box->mutex);
          box->posted.wait(lock, [&] { return box->job || box->quit; });
          if (!box->job) return;
          next = std::move(box->job);
          box->job = nullptr;
          generation = box->generation;
        }
        RequestOutcome outcome;
        try {
          outcome = next(CancelToken(state, generation));
        } catch (...) {
          outcome = RequestOutcome::Failed(kEngineErrorEngine);
        }
        // Whoever sees the end may count on the job's captures being gone.
        next = nullptr;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->generation != generation) continue;
        state->status = outcome.status == kRequestRunning ? kRequestFailed : outcome.status;
        state->errorCode = outcome.errorCode;
        state->cancelAction = nullptr;
        state->changed.notify_all();
      }
    });
  }
  {
    std::lock_guard<std::mutex> lock(mMailbox->mutex);
    mMailbox->job = std::move(job);
    mMailbox->generation = generation;
  }
  mMailbox->posted.notify_one();
}

void AsyncRequest::Complete(RequestOutcome outcome) {
  ReleaseWorker();
  std::lock_guard<std::mutex> lock(mState->mutex);
  ++mState->generation;
  mState->status = outcome.status;
  mState->errorCode = outcome.errorCode;
  mState->cancelled = false;
  mState->cancelAction = nullptr;
  mState->changed.notify_all();
}

HRESULT AsyncRequest::WaitForResult(LONG timeoutMs, LONG* status) {
  if (!status) return E_POINTER;
  std::unique_lock<std::mutex> lock(mState->mutex);
  auto ended = [&] { return mState->status != kRequestRunning; };
  if (timeoutMs < 0) {
    mState->changed.wait(lock, ended);
  } else {
    mState->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended);
  }
  *status = mState->status;
  return S_OK;
}

HRESULT AsyncRequest::Cancel() {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> lock(mState->mutex);
    if (mState->status != kRequestRunning || mState->cancelled) return S_OK;
    mState->cancelled = true;
    action = std::move(mState->cancelAction);
    mState->cancelAction = nullptr;
    mState->changed.notify_all();
  }
  if (action) action();
  return S_OK;
}

HRESULT AsyncRequest::ErrorCode(LONG* code) {
  if (!code) return E_POINTER;
  std::lock_guard<std::mutex> lock(mState->mutex);
  *code = mState->errorCode;
  return S_OK;
}

LONG AsyncRequest::Status() const {
  std::lock_guard<std::mutex> lock(mState->mutex);
  return mState->status;
}

}  // namespace engine_server
