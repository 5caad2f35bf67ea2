// What the in-process runner runs: each stage of a direction on a thread of
// its own, between the two sockets of its link, over a stream of NUL-ended
// chunks. The stages themselves live by kind: the library stages, the
// tagger and the wordbound blank stages.
#pragma once

#include <stdio_ext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <lttoolbox/input_file.h>
#include <unicode/ustdio.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engines/apertium/InProcess.h"

namespace apertium {

// A stage's data file, for the library's loader: it is closed with the
// handle, also when the loader throws. Throws when it cannot be read.
inline std::unique_ptr<FILE, int (*)(FILE*)> OpenData(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot read " + path);
  return {f, fclose};
}

// The two sockets a stage works between. What the stage writes waits here
// while more input is at hand and goes out when the stage would otherwise
// wait for input, has much to say, or ends: chunks that arrive together
// leave together, one wake-up of the next stage instead of one a chunk,
// while a lone chunk still goes out as soon as it is answered.
class StageLink {
 public:
  StageLink(int in, int out) : mIn(in), mOut(out) {}
  // Takes over both sockets and gives the files a stage reads and writes
  // through; the link goes with the last of them closed. Null when out of
  // memory, with the sockets closed.
  static StageLink* Open(int in, int out, FILE** reader, FILE** writer) {
    auto* link = new StageLink(in, out);
    cookie_io_functions_t r = {Read, nullptr, nullptr, CloseReader};
    cookie_io_functions_t w = {nullptr, Write, nullptr, CloseWriter};
    *reader = fopencookie(link, "r", r);
    *writer = *reader ? fopencookie(link, "w", w) : nullptr;
    if (*reader && *writer) {
      // Each file is used by its stage's thread alone: no lock a character.
      __fsetlocking(*reader, FSETLOCKING_BYCALLER);
      __fsetlocking(*writer, FSETLOCKING_BYCALLER);
      link->mUsers = 2;
      return link;
    }
    if (*reader) {
      link->mUsers = 1;
      fclose(*reader);  // closes in and frees the link
      close(out);
    } else {
      close(in);
      close(out);
      delete link;
    }
    *reader = *writer = nullptr;
    return nullptr;
  }
  // At most size bytes of what has come in, waiting only when nothing has.
  ssize_t ReadSome(char* data, size_t size) {
    for (;;) {
      ssize_t r = recv(mIn, data, size, MSG_DONTWAIT);
      if (r >= 0) return r;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
      // Everything answered so far goes out before the stage waits.
      Flush();
      do {
        r = recv(mIn, data, size, 0);
      } while (r < 0 && errno == EINTR);
      return r;
    }
  }

 private:
  static constexpr size_t kMostHeld = 1024;

  static ssize_t Read(void* cookie, char* data, size_t size) {
    return static_cast<StageLink*>(cookie)->ReadSome(data, size);
  }
  static ssize_t Write(void* cookie, const char* data, size_t size) {
    auto* link = static_cast<StageLink*>(cookie);
    if (link->mBroken) return -1;
    link->mHeld.append(data, size);
    if (link->mHeld.size() >= kMostHeld && !link->Flush()) return -1;
    return static_cast<ssize_t>(size);
  }
  static int CloseReader(void* cookie) {
    auto* link = static_cast<StageLink*>(cookie);
    int rc = close(link->mIn);
    link->Release();
    return rc;
  }
  static int CloseWriter(void* cookie) {
    auto* link = static_cast<StageLink*>(cookie);
    bool sent = link->Flush();
    int rc = close(link->mOut);
    link->Release();
    return sent ? rc : -1;
  }
  // Written with MSG_NOSIGNAL: once the reader is gone (the runner stopped,
  // a stage let go of after a cancel), a write fails instead of raising
  // SIGPIPE, also when the program's exit flushes what a stage left.
  bool Flush() {
    size_t sent = 0;
    while (!mBroken && sent < mHeld.size()) {
      ssize_t w = send(mOut, mHeld.data() + sent, mHeld.size() - sent, MSG_NOSIGNAL);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) mBroken = true;
      else sent += static_cast<size_t>(w);
    }
    mHeld.clear();
    return !mBroken;
  }
  void Release() {
    if (--mUsers == 0) delete this;
  }

  int mIn, mOut;
  std::string mHeld;
  bool mBroken = false;
  int mUsers = 0;
};

// A stage runs on a thread of its own over a stream of NUL-ended chunks,
// as its program does in null-flush mode, until the stream ends.
class Stage {
 public:
  virtual ~Stage() = default;
  // Takes over both files, which are over link.
  virtual void Stream(FILE* in, FILE* out, StageLink& link) = 0;
};

// The library's own null-flush loop: it answers each chunk with one chunk
// and flushes at every NUL.
class LibraryStage : public Stage {
 public:
  void Stream(FILE* in, FILE* out, StageLink&) override {
    InputFile input;
    input.wrap(in);  // closes it
    UFILE* output = u_finit(out, nullptr, "UTF-8");
    if (!output) {
      fclose(out);
      throw std::runtime_error("no memory for a stage's output");
    }
    try {
      Process(input, output);
    } catch (...) {
      u_fclose(output);  // leaves out open
      fclose(out);
      throw;
    }
    u_fclose(output);
    fclose(out);
  }

 protected:
  virtual void Process(InputFile& input, UFILE* output) = 0;
};

// A stage that handles a whole chunk at a time. It reads its descriptor
// itself, so that the chunks already waiting (texts announced ahead come
// several at once) are handed to it together.
class ChunkStage : public Stage {
 public:
  void Stream(FILE* in, FILE* out, StageLink& link) override {
    std::unique_ptr<FILE, int (*)(FILE*)> input(in, fclose), output(out, fclose);
    std::string pending;
    char buffer[65536];
    for (;;) {
      ssize_t n = link.ReadSome(buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      const size_t end = pending.rfind('\0');
      if (end == std::string::npos) continue;
      std::vector<std::string> chunks;
      for (size_t from = 0; from <= end;) {
        const size_t nul = pending.find('\0', from);
        chunks.push_back(pending.substr(from, nul - from));
        from = nul + 1;
      }
      pending.erase(0, end + 1);
      std::string answer;
      for (const std::string& a : Chunks(chunks)) {
        answer += a;
        answer.push_back('\0');
      }
      if (fwrite(answer.data(), 1, answer.size(), out) != answer.size() || fflush(out) != 0) break;
    }
  }

 protected:
  virtual std::string Chunk(const std::string& chunk) = 0;
  // One answer a chunk, in order.
  virtual std::vector<std::string> Chunks(const std::vector<std::string>& chunks) {
    std::vector<std::string> answers;
    for (const std::string& c : chunks) answers.push_back(Chunk(c));
    return answers;
  }
};

// The stage a plan names; throws when its data cannot be loaded.
std::unique_ptr<Stage> MakeStage(const StagePlan& plan);
std::unique_ptr<Stage> MakeTaggerStage(const StagePlan& plan);
std::unique_ptr<Stage> MakeBlankStage(bool attach);

}  // namespace apertium
