// What the engine asks of whatever runs a direction's stages: one chunk of
// Apertium's stream format in, one out. The process pipeline and the
// in-process runner both answer it, so the engine picks one per direction.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "src/engine/server/AsyncRequest.h"

namespace apertium {

class Translator {
 public:
  virtual ~Translator() = default;

  enum class Result { Ok, Cancelled, StartFailed, Died, TimedOut, TooLong };

  // Translates input (which must not contain NUL) into *output. An answer
  // longer than maxAnswer bytes ends the exchange (TooLong). Not
  // re-entrant: one exchange at a time. A cancel of token ends the exchange
  // as soon as the runner can stop.
  virtual Result Exchange(const std::string& input, std::string* output, const engine_server::CancelToken& token,
                          std::chrono::milliseconds timeout, size_t maxAnswer) = 0;

  // Told of each answer of ExchangeMany as soon as it is complete, with
  // the index of its input, so a caller can hand it on before the rest.
  using AnswerSink = std::function<void(size_t index, const std::string& answer)>;

  // Each input in turn within one time limit; *outputs gets one answer per
  // input, in order. On any result but Ok it holds at most the answers that
  // were complete before the exchange ended (a runner may keep none);
  // onAnswer has been told of every answer that was complete.
  virtual Result ExchangeMany(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                              const engine_server::CancelToken& token, std::chrono::milliseconds timeout,
                              size_t maxAnswer, const AnswerSink& onAnswer = {});

  // Asked, whenever everything handed over so far is in the stages, for the
  // inputs that have come up since; they are appended to *more and answered
  // after the others, with the indices that follow. Returns the cap their
  // answers need (as maxAnswer), or 0.
  using MoreInputs = std::function<size_t(std::vector<std::string>* more)>;

  // ExchangeMany that keeps taking inputs while it runs, so that the stages
  // do not run dry between one lot and the next; each lot taken gives the
  // exchange the time limit again. A runner that cannot take inputs while
  // it works answers those it was given.
  virtual Result ExchangeFed(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                             const engine_server::CancelToken& token, std::chrono::milliseconds timeout,
                             size_t maxAnswer, const AnswerSink& onAnswer, const MoreInputs& more) {
    (void)more;
    return ExchangeMany(inputs, outputs, token, timeout, maxAnswer, onAnswer);
  }

  // Drops the runner's state (a process, loaded data) so that the next
  // exchange starts afresh; called after an answer that cannot be trusted.
  virtual void Reset() = 0;

  // The process that serves the exchanges, or 0 when none runs (also when
  // the runner works inside this process).
  virtual pid_t ProcessId() const = 0;

 protected:
  // The ends of running stages that answer each NUL-ended chunk written to
  // `to` with one NUL-ended chunk read from `from`; a cancel makes `wake`
  // readable. A socket in front is written with MSG_NOSIGNAL, so a first
  // stage that has ended fails the write instead of raising SIGPIPE.
  struct ChunkEnds {
    int to = -1;
    int from = -1;
    int wake = -1;
    bool socket = false;
  };

  // The exchange both runners share: the requests are written while the
  // answers come back, so a batch larger than the buffers cannot leave both
  // ends waiting on each other. Lots from `more` extend the deadline by
  // timeout each. The ends are left as they are whatever the result; on
  // any but Ok the stages cannot be trusted with another exchange.
  // *answered (if given) tells whether any byte came back.
  static Result ExchangeChunks(const ChunkEnds& ends, const std::vector<std::string>& inputs,
                               std::vector<std::string>* outputs, const engine_server::CancelToken& token,
                               std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds timeout,
                               size_t maxAnswer, const AnswerSink& onAnswer, const MoreInputs& more,
                               bool* answered = nullptr);
};

}  // namespace apertium
