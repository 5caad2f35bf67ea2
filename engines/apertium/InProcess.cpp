#include "engines/apertium/InProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <thread>

#include "engines/apertium/Stages.h"

namespace apertium {

namespace {

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

std::atomic<bool> gLeaveDataToTheExit{false};

// Joins the stage threads of runners that are done with, on a thread of its
// own: their stages free their dictionaries as they end, which need not
// hold up whoever closed the engine (the program saving its document, say).
// The program's end waits for them.
class StageReaper {
 public:
  static StageReaper& Instance() {
    static StageReaper reaper;
    return reaper;
  }
  void Take(std::vector<std::thread> threads) {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      for (auto& t : threads) mThreads.push_back(std::move(t));
      if (!mWorker.joinable()) mWorker = std::thread([this] { Work(); });
    }
    mWake.notify_one();
  }
  ~StageReaper() {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mEnding = true;
    }
    mWake.notify_one();
    if (mWorker.joinable()) mWorker.join();
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
      mWake.wait(lock, [this] { return mEnding || !mThreads.empty(); });
      if (mThreads.empty()) return;
      std::thread t = std::move(mThreads.front());
      mThreads.pop_front();
      lock.unlock();
      t.join();
      lock.lock();
    }
  }
  std::mutex mMutex;
  std::condition_variable mWake;
  std::deque<std::thread> mThreads;
  std::thread mWorker;
  bool mEnding = false;
};

}  // namespace

void LeaveStageDataToTheExit() { gLeaveDataToTheExit = true; }

struct InProcessRunner::Running {
  std::vector<std::thread> threads;  // one a stage
  // Set when the engine closes rather than replaces them: only then may
  // the stages leave their data to the end of the process. A pipeline
  // replaced after a failure frees its own, however often that happens.
  std::shared_ptr<std::atomic<bool>> closing = std::make_shared<std::atomic<bool>>(false);
  int toStages = -1;                 // the first stage reads what is written here
  int fromStages = -1;               // the last stage's answers
};

InProcessRunner::InProcessRunner(std::vector<StagePlan> stages) : mStages(std::move(stages)) {}

InProcessRunner::~InProcessRunner() {
  if (!mRunning) return;
  // The stages end as soon as their input does; waiting for them to free
  // their data is the reaper's part.
  mRunning->closing->store(true);
  CloseFd(&mRunning->toStages);
  CloseFd(&mRunning->fromStages);
  StageReaper::Instance().Take(std::move(mRunning->threads));
  mRunning.reset();
}

void InProcessRunner::Reset() { Stop(true); }

bool InProcessRunner::Start() {
  // A socket, not a pipe, in front: a write to a first stage that has ended
  // fails (MSG_NOSIGNAL) instead of raising SIGPIPE in the caller's thread.
  int first[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, first) != 0) return false;
  auto running = std::make_unique<Running>();
  running->toStages = first[0];
  int upstream = first[1];  // what the next stage reads
  std::vector<std::future<bool>> loaded;
  bool ok = true;
  for (const StagePlan& plan : mStages) {
    int out[2];
    FILE* in = nullptr;
    FILE* o = nullptr;
    StageLink* link = nullptr;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, out) == 0) {
      link = StageLink::Open(upstream, out[1], &in, &o);
      upstream = out[0];
    } else {
      close(upstream);
      upstream = -1;
    }
    if (!in || !o) {
      if (in) fclose(in);
      if (o) fclose(o);
      ok = false;
      break;
    }
    std::promise<bool> ready;
    loaded.push_back(ready.get_future());
    // Each stage loads its data on its own thread, so the stages load side
    // by side, and owns it: a thread let go of after a cancel ends by itself.
    running->threads.emplace_back([plan, in, o, link, closing = running->closing, ready = std::move(ready)]() mutable {
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      std::unique_ptr<Stage> stage;
      try {
        stage = MakeStage(plan);
      } catch (const std::exception&) {
      }
      ready.set_value(stage != nullptr);
      if (!stage) {
        fclose(in);
        fclose(o);
        return;
      }
      try {
        stage->Stream(in, o, *link);
      } catch (const std::exception&) {
        // Its files are closed: the stages after it see the end of their
        // input, and the exchange that waits on them fails.
      }
      if (*closing && gLeaveDataToTheExit) static_cast<void>(stage.release());
    });
  }
  running->fromStages = upstream;
  for (auto& f : loaded) ok = f.get() && ok;
  mRunning = std::move(running);
  if (!ok || mRunning->fromStages < 0) {
    Stop(true);
    return false;
  }
  fcntl(mRunning->toStages, F_SETFL, fcntl(mRunning->toStages, F_GETFL) | O_NONBLOCK);
  return true;
}

void InProcessRunner::Stop(bool wait) {
  if (!mRunning) return;
  // The first stage sees the end of its input and the rest follow; the last
  // one's answers have nowhere to go.
  CloseFd(&mRunning->toStages);
  CloseFd(&mRunning->fromStages);
  for (auto& t : mRunning->threads) {
    if (wait) {
      t.join();
    } else {
      t.detach();
    }
  }
  mRunning.reset();
}

Translator::Result InProcessRunner::Exchange(const std::string& input, std::string* output,
                                             const engine_server::CancelToken& token,
                                             std::chrono::milliseconds timeout, size_t maxAnswer) {
  output->clear();
  std::vector<std::string> outputs;
  Result r = ExchangeMany({input}, &outputs, token, timeout, maxAnswer);
  if (r == Result::Ok) *output = std::move(outputs.front());
  return r;
}

Translator::Result InProcessRunner::ExchangeMany(const std::vector<std::string>& inputs,
                                                 std::vector<std::string>* outputs,
                                                 const engine_server::CancelToken& token,
                                                 std::chrono::milliseconds timeout, size_t maxAnswer,
                                                 const AnswerSink& onAnswer) {
  return ExchangeFed(inputs, outputs, token, timeout, maxAnswer, onAnswer, {});
}

Translator::Result InProcessRunner::ExchangeFed(const std::vector<std::string>& inputs,
                                                std::vector<std::string>* outputs,
                                                const engine_server::CancelToken& token,
                                                std::chrono::milliseconds timeout, size_t maxAnswer,
                                                const AnswerSink& onAnswer, const MoreInputs& more) {
  outputs->clear();
  mWake.Drain();
  if (token.Cancelled()) return Result::Cancelled;
  mWake.WakeOn(token);
  if (!mRunning && !Start()) return Result::StartFailed;
  Result r = ExchangeChunks({mRunning->toStages, mRunning->fromStages, mWake.ReadEnd(), true}, inputs, outputs, token,
                            std::chrono::steady_clock::now() + timeout, timeout, maxAnswer, onAnswer, more);
  // A stage that died has ended its followers; stages still busy with a
  // chunk nobody waits for are let go of and end by themselves.
  if (r != Result::Ok) {
    outputs->clear();
    Stop(r == Result::Died);
  }
  return r;
}

}  // namespace apertium
