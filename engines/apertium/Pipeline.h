// A persistent child process (a shell pipeline of Apertium stages run in
// null-flush mode) that answers one NUL-terminated chunk with one
// NUL-terminated chunk. It starts on first use and is killed, as a whole
// process group, whenever an exchange does not end cleanly (cancelled,
// crashed, hung, out of step), so the next exchange starts a fresh one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "engine/server/AsyncRequest.h"

namespace apertium {

class Pipeline {
 public:
  // command runs under /bin/bash -c with args as $1, $2, ...
  Pipeline(std::string command, std::vector<std::string> args);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  enum class Result { Ok, Cancelled, StartFailed, Died, TimedOut };

  // Sends input (which must not contain NUL) and reads the answer up to its
  // NUL. Not re-entrant: one exchange at a time. A cancel of token ends the
  // exchange at once.
  Result Exchange(const std::string& input, std::string* output, const engine_server::CancelToken& token,
                  std::chrono::milliseconds timeout);

  // Kills the running process group, if any. Called by the thread that
  // runs the exchanges (a cancel from elsewhere goes through the token).
  void Kill();
  // The process id of the running pipeline's shell, or 0.
  pid_t ProcessId() const;

 private:
  bool Start();
  void Reap();

  std::string mCommand;
  std::vector<std::string> mArgs;
  mutable std::mutex mMutex;  // guards mPid against Kill from other threads
  pid_t mPid = 0;
  int mToChild = -1;
  int mFromChild = -1;
  int mWake[2] = {-1, -1};  // a cancel writes here to end a blocking poll
};

}  // namespace apertium
