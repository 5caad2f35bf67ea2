#include "engines/apertium/Pipeline.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace apertium {

namespace {

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

// A handler installed elsewhere without SA_RESTART must not make a stage
// look reaped when it is not.
void Reap(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// Writes to a pipe whose reader died must fail with EPIPE, not kill the
// process; SIGPIPE is blocked on the worker thread only and any pending one
// is consumed, so the rest of the program keeps its own signal handling.
class SigPipeBlock {
 public:
  SigPipeBlock() {
    sigemptyset(&mSet);
    sigaddset(&mSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &mSet, &mOld);
  }
  ~SigPipeBlock() {
    struct timespec zero = {0, 0};
    while (sigtimedwait(&mSet, nullptr, &zero) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &mOld, nullptr);
  }

 private:
  sigset_t mSet;
  sigset_t mOld;
};

// The stages run under a UTF-8 locale whatever the program's own is (as
// Apertium's own wrapper does), so that no stage reads the stream through a
// single-byte one.
std::vector<std::string> StageEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    if (entry.rfind("LC_ALL=", 0) == 0) continue;
    env.push_back(std::move(entry));
  }
  env.push_back("LC_ALL=C.UTF-8");
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (auto& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

// Spawns one stage reading fd `in` and writing fd `out`, in process group
// `group` (0: a new group led by the stage).
pid_t SpawnStage(const std::string& stage, const std::vector<std::string>& args, int in, int out, pid_t group,
                 std::vector<char*>& env) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, group);
  std::vector<std::string> argv = {"bash", "-c", stage, "apertium-pipeline"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv = Pointers(argv);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/bin/bash", &actions, &attr, cargv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : 0;
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

std::vector<std::string> SplitStages(const std::string& command) {
  const std::vector<std::string> whole = {command};
  std::vector<std::string> stages(1);
  char quote = 0;
  for (size_t i = 0; i < command.size(); ++i) {
    char c = command[i];
    const bool last = i + 1 >= command.size();
    if (quote == '\'') {
      if (c == '\'') quote = 0;
    } else if (c == '\\' && !last) {
      stages.back() += c;
      c = command[++i];
    } else if (quote == '"') {
      if (c == '"') quote = 0;
      if (c == '`' || (c == '$' && !last && command[i + 1] == '(')) return whole;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(' || c == ')' || c == '`' || c == '{' || c == '}') {
      return whole;
    } else if (c == '|') {
      if (!last && (command[i + 1] == '|' || command[i + 1] == '&')) return whole;
      stages.emplace_back();
      continue;
    }
    stages.back() += c;
  }
  if (quote) return whole;
  for (auto& s : stages) {
    s = Trimmed(s);
    if (s.empty()) return whole;
  }
  return stages;
}

Pipeline::Pipeline(std::string command, std::vector<std::string> args)
    : mCommand(std::move(command)), mArgs(std::move(args)) {}

Pipeline::~Pipeline() {
  Kill();
}

pid_t Pipeline::ProcessId() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mGroup;
}

bool Pipeline::Start() {
  std::vector<std::string> env = StageEnvironment();
  std::vector<char*> cenv = Pointers(env);
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  int upstream = in[0];  // what the next stage reads
  std::vector<pid_t> pids;
  pid_t group = 0;
  bool ok = true;
  for (const std::string& stage : SplitStages(mCommand)) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
      ok = false;
      break;
    }
    pid_t pid = SpawnStage(stage, mArgs, upstream, out[1], group, cenv);
    close(upstream);
    close(out[1]);
    upstream = out[0];
    if (pid == 0) {
      ok = false;
      break;
    }
    pids.push_back(pid);
    if (group == 0) group = pid;
  }
  if (!ok) {
    close(upstream);
    close(in[1]);
    if (group > 0) kill(-group, SIGKILL);
    for (pid_t pid : pids) Reap(pid);
    return false;
  }
  std::lock_guard<std::mutex> lock(mMutex);
  mStages = std::move(pids);
  mGroup = group;
  mToChild = in[1];
  mFromChild = upstream;
  fcntl(mToChild, F_SETFL, fcntl(mToChild, F_GETFL) | O_NONBLOCK);
  return true;
}

bool Pipeline::StageEnded() {
  std::lock_guard<std::mutex> lock(mMutex);
  for (auto it = mStages.begin(); it != mStages.end(); ++it) {
    pid_t r;
    do {
      r = waitpid(*it, nullptr, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == *it || (r < 0 && errno == ECHILD)) {
      mStages.erase(it);
      return true;
    }
  }
  return false;
}

void Pipeline::CloseStreams() {
  CloseFd(&mToChild);
  CloseFd(&mFromChild);
}

void Pipeline::Kill() {
  std::vector<pid_t> stages;
  pid_t group = 0;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    stages.swap(mStages);
    group = mGroup;
    mGroup = 0;
  }
  // While a stage is unreaped the group's id cannot belong to anyone else.
  if (!stages.empty()) {
    kill(-group, SIGKILL);
    for (pid_t pid : stages) Reap(pid);
    // What a stage started was orphaned by the kill; where this process is
    // the one that inherits orphans (PID 1, a subreaper), collect them too.
    while (waitpid(-group, nullptr, WNOHANG) > 0) {
    }
  }
  CloseStreams();
}

Pipeline::Result Pipeline::Exchange(const std::string& input, std::string* output,
                                    const engine_server::CancelToken& token, std::chrono::milliseconds timeout,
                                    size_t maxAnswer) {
  std::vector<std::string> outputs;
  Result r = ExchangeMany({input}, &outputs, token, timeout, maxAnswer);
  output->clear();
  if (!outputs.empty()) *output = std::move(outputs.front());
  return r;
}

Pipeline::Result Pipeline::ExchangeMany(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                                        const engine_server::CancelToken& token, std::chrono::milliseconds timeout,
                                        size_t maxAnswer, const AnswerSink& onAnswer) {
  SigPipeBlock noSigPipe;
  outputs->clear();
  if (inputs.empty()) return Result::Ok;
  mWake.Drain();
  if (token.Cancelled()) return Result::Cancelled;
  mWake.WakeOn(token);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // A pipeline that died while idle (killed from outside, out of memory)
  // owes no answer to anyone: start a fresh one without failing. Its death
  // may only show once the request is on its way (a kill not yet
  // delivered), so a pipeline that was already running and ends without a
  // byte of answer is given one fresh start within the same time limit.
  if (ProcessId() != 0 && StageEnded()) Kill();
  bool reused = ProcessId() != 0;
  for (;;) {
    if (ProcessId() == 0 && !Start()) return Result::StartFailed;
    bool answered = false;
    Result r = ExchangeChunks({mToChild, mFromChild, mWake.ReadEnd()}, inputs, outputs, token, deadline, timeout,
                              maxAnswer, onAnswer, {}, &answered);
    if (r != Result::Ok) Kill();
    if (r != Result::Died || !reused || answered) return r;
    reused = false;
  }
}

}  // namespace apertium
