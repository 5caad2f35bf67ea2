// Message boxes caught instead of shown: each request is kept and answered
// with `answer`; the handler before is back when the object goes.
#pragma once

#include <string>
#include <vector>

#include "src/platform/System.h"

namespace testsupport {

class MessageBoxes {
 public:
  explicit MessageBoxes(int answer = IDOK)
      : answer(answer), mPrevious(platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
          requests.push_back(r);
          return this->answer;
        })) {}
  ~MessageBoxes() { platform::SetMessageBoxHandler(mPrevious); }
  MessageBoxes(const MessageBoxes&) = delete;
  MessageBoxes& operator=(const MessageBoxes&) = delete;

  std::vector<std::wstring> Texts() const {
    std::vector<std::wstring> texts;
    for (const auto& r : requests) texts.push_back(r.text);
    return texts;
  }

  std::vector<platform::MessageBoxRequest> requests;
  int answer;

 private:
  platform::MessageBoxHandler mPrevious;
};

}  // namespace testsupport
