// The Linux half of the Windows PowerPoint stand-in: starts the Windows
// program given after "--" (under Wine) with its standard input and output
// on pipes, and serves every object-model call it sends from the .pptx
// document host, until the program closes its output. Exits with the
// program's status; 1 when the program ended well but left objects
// unreleased; 3 when it could not start it or the protocol broke.
//
//   standin_host [--report-version 9.0] -- WINE PROGRAM.exe ARGS...
//
// --report-version makes Application.Version answer a version the document
// host does not play itself (an old host's), for what the add-in decides by
// it alone, such as how it sets button faces.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"
#include "tests/standin/server/ObjectServer.h"

int main(int argc, char** argv) {
  const bool report = argc > 2 && std::string(argv[1]) == "--report-version";
  const std::wstring reported = report ? platform::FromUtf8(argv[2]) : L"";
  int first = report ? 3 : 1;
  if (first >= argc || std::string(argv[first++]) != "--" || first >= argc)
    return std::cerr << "usage: standin_host [--report-version V] -- PROGRAM ARGS...\n", 3;
  // The pipes close themselves in the child but for its standard input
  // and output.
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return std::perror("standin_host: pipe"), 3;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[first], &actions, nullptr, argv + first, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0)
    return std::cerr << "standin_host: cannot start " << argv[first] << ": " << std::strerror(spawned) << "\n", 3;
  close(toChild[0]);
  close(fromChild[1]);
  // A program that stops reading must not end this one on the spot: the
  // step would be judged on a log the program is still writing.
  std::signal(SIGPIPE, SIG_IGN);

  standin::ObjectServer server(host::pptx::CreateApplication(), reported);
  FILE* in = fdopen(fromChild[0], "r");
  FILE* out = fdopen(toChild[1], "w");
  char* line = nullptr;
  size_t size = 0;
  bool broken = false;
  for (ssize_t n; !broken && in && out && (n = getline(&line, &size, in)) > 0;) {
    std::string request(line, static_cast<size_t>(n));
    while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) request.pop_back();
    broken = std::fputs((server.Serve(request) + "\n").c_str(), out) < 0 || std::fflush(out) != 0;
  }
  std::free(line);
  if (in) std::fclose(in);
  if (out) std::fclose(out);
  int childStatus = 0;
  while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
  }
  const int status = WIFEXITED(childStatus) && !broken ? WEXITSTATUS(childStatus) : 3;
  // Say why a run ends without a word of its own.
  if (broken) std::cerr << "standin_host: the program stopped reading the answers\n";
  if (WIFSIGNALED(childStatus)) std::cerr << "standin_host: the program ended on signal " << WTERMSIG(childStatus) << "\n";
  if (status == 0 && server.LiveHandles() > 0) {
    // Everything the program held is released at its end; what stays is a leak.
    std::cerr << "standin_host: " << server.LiveHandles() << " object(s) were never released\n";
    return 1;
  }
  return status;
}
