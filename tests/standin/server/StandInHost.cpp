// The Linux half of the Windows PowerPoint stand-in: starts the Windows
// program given after "--" (under Wine) with its standard input and output
// on pipes, and serves every object-model call it sends from the .pptx
// document host, until the program closes its output. Exits with the
// program's status; 3 when it could not start it or the protocol broke.
//
//   standin_host [--version 16.0] -- WINE PROGRAM.exe ARGS...
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "src/host/pptx/PptxApplication.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "tests/standin/server/ObjectServer.h"

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  host::pptx::ApplicationOptions options;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string a = argv[first];
    if (a == "--") {
      ++first;
      break;
    }
    if (a == "--version" && first + 1 < argc) {
      options.version = platform::FromUtf8(argv[++first]);
    } else {
      std::cerr << "standin_host: unknown argument " << a << "\n";
      return 3;
    }
  }
  if (first >= argc) {
    std::cerr << "usage: standin_host [--version V] -- PROGRAM ARGS...\n";
    return 3;
  }
  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
    std::perror("standin_host: pipe");
    return 3;
  }
  const pid_t child = fork();
  if (child < 0) {
    std::perror("standin_host: fork");
    return 3;
  }
  if (child == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    close(toChild[0]);
    close(toChild[1]);
    close(fromChild[0]);
    close(fromChild[1]);
    execvp(argv[first], argv + first);
    std::perror("standin_host: exec");
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);

  int status = 3;
  {
    standin::ObjectServer server(host::pptx::CreateApplication(options));
    FILE* in = fdopen(fromChild[0], "r");
    std::string line;
    bool broken = false;
    for (int c; in && (c = std::fgetc(in)) != EOF;) {
      if (c != '\n') {
        line += static_cast<char>(c);
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!WriteAll(toChild[1], server.Serve(line) + "\n")) {
        broken = true;
        break;
      }
      line.clear();
    }
    if (in) std::fclose(in);
    close(toChild[1]);
    int childStatus = 0;
    while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    status = WIFEXITED(childStatus) ? WEXITSTATUS(childStatus) : 3;
    if (broken) status = 3;
    if (status == 0 && server.LiveHandles() > 1) {
      // Everything the program held is released at its end; what stays is a leak.
      std::cerr << "standin_host: " << server.LiveHandles() - 1 << " object(s) were never released\n";
    }
  }
  return status;
}
