// A pipe a cancel writes to, so that a blocking poll on its read end ends.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include "src/engine/server/AsyncRequest.h"

namespace apertium {

class WakePipe {
 public:
  WakePipe() {
    if (pipe2(mFds, O_CLOEXEC | O_NONBLOCK) != 0) mFds[0] = mFds[1] = -1;
  }
  ~WakePipe() {
    for (int fd : mFds)
      if (fd >= 0) close(fd);
  }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  int ReadEnd() const { return mFds[0]; }

  // Wake-ups left from an earlier cancel would end the next poll at once.
  void Drain() {
    char drain[64];
    while (mFds[0] >= 0 && read(mFds[0], drain, sizeof drain) > 0) {
    }
  }

  void WakeOn(const engine_server::CancelToken& token) {
    int wakeWrite = mFds[1];
    token.OnCancel([wakeWrite] {
      if (wakeWrite >= 0) {
        char c = 1;
        (void)!write(wakeWrite, &c, 1);
      }
    });
  }

 private:
  int mFds[2] = {-1, -1};
};

}  // namespace apertium
