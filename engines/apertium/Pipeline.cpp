#include "Pipeline.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace apertium {

namespace {

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
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

}  // namespace

Pipeline::Pipeline(std::string command, std::vector<std::string> args)
    : mCommand(std::move(command)), mArgs(std::move(args)) {
  if (pipe2(mWake, O_CLOEXEC | O_NONBLOCK) != 0) mWake[0] = mWake[1] = -1;
}

Pipeline::~Pipeline() {
  Kill();
  CloseFd(&mWake[0]);
  CloseFd(&mWake[1]);
}

pid_t Pipeline::ProcessId() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mPid;
}

bool Pipeline::Start() {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group, so that a kill reaches every stage.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);

  std::vector<std::string> argv = {"bash", "-c", mCommand, "apertium-pipeline"};
  argv.insert(argv.end(), mArgs.begin(), mArgs.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  // The stream is UTF-8; like Apertium's own wrapper, run the stages under
  // a UTF-8 locale whatever the program's own is, so that no stage of a
  // pair reads it through a single-byte one.
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    if (entry.rfind("LC_ALL=", 0) == 0) continue;
    env.push_back(std::move(entry));
  }
  env.push_back("LC_ALL=C.UTF-8");
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/bin/bash", &actions, &attr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(in[0]);
  close(out[1]);
  if (rc != 0) {
    close(in[1]);
    close(out[0]);
    return false;
  }
  std::lock_guard<std::mutex> lock(mMutex);
  mPid = pid;
  mToChild = in[1];
  mFromChild = out[0];
  fcntl(mToChild, F_SETFL, fcntl(mToChild, F_GETFL) | O_NONBLOCK);
  return true;
}

void Pipeline::Kill() {
  std::lock_guard<std::mutex> lock(mMutex);
  if (mPid > 0) {
    kill(-mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
    mPid = 0;
  }
  CloseFd(&mToChild);
  CloseFd(&mFromChild);
}

Pipeline::Result Pipeline::Exchange(const std::string& input, std::string* output,
                                    const engine_server::CancelToken& token, std::chrono::milliseconds timeout) {
  SigPipeBlock noSigPipe;
  output->clear();
  // Drain wake-ups left from an earlier cancel.
  char drain[64];
  while (mWake[0] >= 0 && read(mWake[0], drain, sizeof drain) > 0) {
  }
  if (token.Cancelled()) return Result::Cancelled;
  // A pipeline that died while idle (killed from outside, out of memory)
  // owes no answer to anyone: start a fresh one without failing.
  pid_t pid = ProcessId();
  if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) {
    kill(-pid, SIGKILL);  // stages that outlived the shell
    std::lock_guard<std::mutex> lock(mMutex);
    mPid = 0;
    CloseFd(&mToChild);
    CloseFd(&mFromChild);
  }
  if (ProcessId() == 0 && !Start()) return Result::StartFailed;

  int wakeWrite = mWake[1];
  token.OnCancel([wakeWrite] {
    if (wakeWrite >= 0) {
      char c = 1;
      (void)!write(wakeWrite, &c, 1);
    }
  });

  std::string request = input;
  request.push_back('\0');
  size_t written = 0;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[65536];
  for (;;) {
    if (token.Cancelled()) {
      Kill();
      return Result::Cancelled;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      Kill();
      return Result::TimedOut;
    }
    struct pollfd fds[3];
    int n = 0;
    fds[n++] = {mFromChild, POLLIN, 0};
    fds[n++] = {mWake[0], POLLIN, 0};
    if (written < request.size()) fds[n++] = {mToChild, POLLOUT, 0};
    int ready = poll(fds, n, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      Kill();
      return Result::Died;
    }
    if (n == 3 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = write(mToChild, request.data() + written, request.size() - written);
      if (w < 0 && errno != EAGAIN && errno != EINTR) {
        Kill();
        return Result::Died;
      }
      if (w > 0) written += static_cast<size_t>(w);
    }
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      ssize_t r = read(mFromChild, buffer, sizeof buffer);
      if (r <= 0) {
        if (r < 0 && errno == EINTR) continue;
        Kill();
        return Result::Died;
      }
      output->append(buffer, static_cast<size_t>(r));
      size_t nul = output->find('\0');
      if (nul != std::string::npos) {
        // Anything after the answer means the pipeline is out of step with
        // our requests; a fresh one is the only safe state.
        if (nul + 1 != output->size() || written < request.size()) {
          output->resize(nul);
          Kill();
          return Result::Died;
        }
        output->resize(nul);
        return Result::Ok;
      }
    }
  }
}

}  // namespace apertium
