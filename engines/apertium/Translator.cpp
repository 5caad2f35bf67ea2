#include "engines/apertium/Translator.h"

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

}  // namespace apertium
