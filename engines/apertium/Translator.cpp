#include "engines/apertium/Translator.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace apertium {

Translator::Result Translator::ExchangeMany(const std::vector<std::string>& inputs, std::vector<std::string>* outputs,
                                            const engine_server::CancelToken& token,
                                            std::chrono::milliseconds timeout, size_t maxAnswer,
                                            const AnswerSink& onAnswer) {
  outputs->clear();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (const std::string& input : inputs) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Result::TimedOut;
    std::string answer;
    Result r = Exchange(input, &answer, token, left, maxAnswer);
    if (r != Result::Ok) return r;
    if (onAnswer) onAnswer(outputs->size(), answer);
    outputs->push_back(std::move(answer));
  }
  return Result::Ok;
}

Translator::Result Translator::ExchangeChunks(const ChunkEnds& ends, const std::vector<std::string>& inputs,
                                              std::vector<std::string>* outputs,
                                              const engine_server::CancelToken& token,
                                              std::chrono::steady_clock::time_point deadline,
                                              std::chrono::milliseconds timeout, size_t maxAnswer,
                                              const AnswerSink& onAnswer, const MoreInputs& more, bool* answered) {
  outputs->clear();
  if (answered) *answered = false;
  std::string request;
  size_t expected = 0;
  auto add = [&](const std::vector<std::string>& lot) {
    for (const std::string& input : lot) {
      request += input;
      request.push_back('\0');
    }
    expected += lot.size();
  };
  add(inputs);
  size_t written = 0;
  std::string pending;  // the answer being read, up to its NUL
  char buffer[65536];
  for (;;) {
    if (written == request.size() && more) {
      // Everything asked is in the stages: whatever has come up since
      // follows it before they run dry.
      request.clear();
      written = 0;
      std::vector<std::string> lot;
      maxAnswer = std::max(maxAnswer, more(&lot));
      add(lot);
      if (!lot.empty()) deadline = std::max(deadline, std::chrono::steady_clock::now() + timeout);
    }
    if (outputs->size() == expected) return Result::Ok;
    if (token.Cancelled()) return Result::Cancelled;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Result::TimedOut;
    struct pollfd fds[3];
    int n = 0;
    fds[n++] = {ends.from, POLLIN, 0};
    fds[n++] = {ends.wake, POLLIN, 0};
    if (written < request.size()) fds[n++] = {ends.to, POLLOUT, 0};
    int ready = poll(fds, n, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Result::Died;
    }
    if (n == 3 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const char* data = request.data() + written;
      const size_t size = request.size() - written;
      ssize_t w = ends.socket ? send(ends.to, data, size, MSG_NOSIGNAL) : write(ends.to, data, size);
      if (w < 0 && errno != EAGAIN && errno != EINTR) return Result::Died;
      if (w > 0) written += static_cast<size_t>(w);
    }
    if (!(fds[0].revents & (POLLIN | POLLERR | POLLHUP))) continue;
    ssize_t r = read(ends.from, buffer, sizeof buffer);
    if (r <= 0) {
      if (r < 0 && errno == EINTR) continue;
      return Result::Died;
    }
    if (answered) *answered = true;
    const size_t got = static_cast<size_t>(r);
    for (size_t from = 0; from < got;) {
      // Anything after the last answer means the stages are out of step
      // with our requests; a fresh start is the only safe state.
      if (outputs->size() == expected) return Result::Died;
      const char* nul = static_cast<const char*>(memchr(buffer + from, '\0', got - from));
      const size_t end = nul ? static_cast<size_t>(nul - buffer) : got;
      pending.append(buffer + from, end - from);
      // A runaway stage would fill memory until the time-out.
      if (pending.size() > maxAnswer) return Result::TooLong;
      if (!nul) break;
      if (onAnswer) onAnswer(outputs->size(), pending);
      outputs->push_back(std::move(pending));
      pending.clear();
      from = end + 1;
    }
    // So does an answer to a request not yet written whole.
    if (outputs->size() == expected && written < request.size()) return Result::Died;
  }
}

}  // namespace apertium
