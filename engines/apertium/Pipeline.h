// A persistent pipeline of child processes (the Apertium stages of a mode,
// run in null-flush mode) that answers one NUL-terminated chunk with one
// NUL-terminated chunk. It starts on first use and is killed whenever an
// exchange does not end cleanly (cancelled, crashed, hung, out of step, an
// answer too long), so the next exchange starts a fresh one.
//
// Every stage is a child of this process, all in one process group: a kill
// reaches the whole group (and whatever a stage started), and every stage is
// reaped here, so none is left for a subreaper or init to collect.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "engines/apertium/Translator.h"
#include "engines/apertium/WakePipe.h"
#include "src/engine/server/AsyncRequest.h"

namespace apertium {

// The stages of a shell pipeline, split at each "|" outside quotes. A
// command whose syntax needs the shell as a whole ("||", "|&", subshells,
// command substitution, an unclosed quote) stays one stage.
std::vector<std::string> SplitStages(const std::string& command);

class Pipeline : public Translator {
 public:
  // Each stage of command runs under /bin/bash -c with args as $1, $2, ...
  Pipeline(std::string command, std::vector<std::string> args);
  ~Pipeline() override;
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // Sends input (which must not contain NUL) and reads the answer up to its
  // NUL. An answer longer than maxAnswer bytes ends the exchange (TooLong).
  // Not re-entrant: one exchange at a time. A cancel of token ends the
  // exchange at once.
  Result Exchange(const std::string& input, std::string* output, const engine_server::CancelToken& token,
                  std::chrono::milliseconds timeout, size_t maxAnswer) override;
  // The same for several chunks written back to back, so that every stage
  // works on its own chunk at the same time; outputs gets one answer per
  // input, in order. The time limit and maxAnswer hold for the whole call
  // and for each answer. On any result but Ok, outputs holds the answers
  // that were complete before the exchange ended.
  Result ExchangeMany(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                      const engine_server::CancelToken& token, std::chrono::milliseconds timeout,
                      size_t maxAnswer, const AnswerSink& onAnswer = {}) override;

  // Kills the running process group, if any, and reaps its stages. Called
  // by the thread that runs the exchanges (a cancel from elsewhere goes
  // through the token).
  void Kill();
  void Reset() override { Kill(); }
  // The first stage's process id (the group's id), or 0 when not running.
  pid_t ProcessId() const override;

 private:
  bool Start();
  // True when a stage has ended while the pipeline was idle.
  bool StageEnded();
  void CloseStreams();

  std::string mCommand;
  std::vector<std::string> mArgs;
  mutable std::mutex mMutex;  // guards the process ids against readers on other threads
  std::vector<pid_t> mStages;  // stages not reaped yet
  pid_t mGroup = 0;
  int mToChild = -1;
  int mFromChild = -1;
  WakePipe mWake;
};

}  // namespace apertium
