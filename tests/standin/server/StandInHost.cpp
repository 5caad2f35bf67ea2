// The Linux half of the Windows PowerPoint stand-in: starts the Windows
// program given after "--" (under Wine) with its standard input and output
// on pipes, and serves every object-model call it sends from the .pptx
// document host, until the program closes its output. Exits with the
// program's status; 3 when it could not start it or the protocol broke.
//
//   standin_host [--version 16.0] [--report-version 9.0] -- WINE PROGRAM.exe ARGS...
//
// --report-version makes Application.Version answer a version the document
// host does not play itself (an old host's), for what the add-in decides by
// it alone, such as how it sets button faces.
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

// The document host under another version number.
class ReportedVersion : public host::Application {
 public:
  ReportedVersion(host::Ptr<host::Application> inner, std::wstring version)
      : mInner(std::move(inner)), mVersion(std::move(version)) {}
  std::wstring Version() override { return mVersion; }
  std::wstring Name() override { return mInner->Name(); }
  host::Ptr<host::Presentations> Presentations() override { return mInner->Presentations(); }
  host::Ptr<host::Presentation> ActivePresentation() override { return mInner->ActivePresentation(); }
  host::Ptr<host::DocumentWindows> Windows() override { return mInner->Windows(); }
  host::Ptr<host::DocumentWindow> ActiveWindow() override { return mInner->ActiveWindow(); }
  host::Ptr<host::SlideShowWindows> SlideShowWindows() override { return mInner->SlideShowWindows(); }
  host::Ptr<host::CommandBars> CommandBars() override { return mInner->CommandBars(); }
  std::wstring Run(const std::wstring& name, const std::vector<std::wstring>& args) override {
    return mInner->Run(name, args);
  }

 private:
  host::Ptr<host::Application> mInner;
  std::wstring mVersion;
};

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
  std::wstring reported;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string a = argv[first];
    if (a == "--") {
      ++first;
      break;
    }
    if (a == "--version" && first + 1 < argc) {
      options.version = platform::FromUtf8(argv[++first]);
    } else if (a == "--report-version" && first + 1 < argc) {
      reported = platform::FromUtf8(argv[++first]);
    } else {
      std::cerr << "standin_host: unknown argument " << a << "\n";
      return 3;
    }
  }
  if (first >= argc) {
    std::cerr << "usage: standin_host [--version V] [--report-version V] -- PROGRAM ARGS...\n";
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
    host::Ptr<host::Application> application = host::pptx::CreateApplication(options);
    if (!reported.empty()) application = std::make_shared<ReportedVersion>(application, reported);
    standin::ObjectServer server(application);
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
