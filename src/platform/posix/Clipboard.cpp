#include "src/platform/Clipboard.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/platform/Types.h"

namespace platform {
namespace {

constexpr char kMagic[] = "PELORANT-CLIPBOARD 1";
// A clipboard file larger than this is not ours to read.
constexpr std::size_t kMaxFile = 64u << 20;
// Named formats get numbers from the range Windows gives them.
constexpr unsigned kFirstNamed = 0xC000;

std::mutex gNamesLock;
std::map<std::wstring, unsigned> gNames;

std::wstring NameOf(unsigned format) {
  std::lock_guard<std::mutex> lock(gNamesLock);
  for (const auto& [name, number] : gNames)
    if (number == format) return name;
  return {};
}

std::string ClipboardFile() {
  std::wstring file = GetEnvironmentValue(L"PELORANT_CLIPBOARD_FILE");
  if (!file.empty()) return ToUtf8(file);
  const std::wstring folder = RoamingAppDataFolder();
  if (folder.empty()) return {};
  return ToUtf8(JoinPath(JoinPath(folder, L"pelorant"), L"clipboard"));
}

// Format names go into the file's header lines with their blanks, line
// breaks and percent signs escaped.
std::string EscapeName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '%') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapeName(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size() && std::isxdigit(static_cast<unsigned char>(name[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(name[i + 2]))) {
      out += static_cast<char>(std::strtol(name.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += name[i];
    }
  }
  return out;
}

bool ProgramOnPath(const std::string& name) {
  const std::string path = ToUtf8(GetEnvironmentValue(L"PATH"));
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool UseDesktop() {
  if (!GetEnvironmentValue(L"PELORANT_CLIPBOARD_FILE").empty()) return false;
  if (GetEnvironmentValue(L"DISPLAY").empty()) return false;
  return ProgramOnPath("xclip");
}

// --- the file stand-in ---

bool ReadFileClipboard(std::vector<ClipboardEntry>* entries) {
  const std::string file = ClipboardFile();
  if (file.empty()) return false;
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    entries->clear();  // nothing copied yet: an empty clipboard
    return true;
  }
  if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxFile) return false;
  std::ifstream in(file, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return false;
  std::size_t pos = all.find('\n');
  if (pos == std::string::npos || all.compare(0, pos, kMagic) != 0) {
    ReportDiagnostic(L"The clipboard file " + FromUtf8(file) + L" is not one of ours; it is left as it is.");
    return false;
  }
  ++pos;
  std::vector<ClipboardEntry> read;
  while (pos < all.size()) {
    const std::size_t end = all.find('\n', pos);
    if (end == std::string::npos) return false;
    std::istringstream header(all.substr(pos, end - pos));
    unsigned format = 0;
    std::string name;
    std::size_t length = 0;
    if (!(header >> format >> name >> length)) return false;
    pos = end + 1;
    // Every length is checked against what the file really holds.
    if (length > all.size() - pos || all.size() - pos - length < 1 || all[pos + length] != '\n') return false;
    ClipboardEntry e;
    e.format = name == "-" ? format : RegisterClipboardFormatName(FromUtf8(UnescapeName(name)));
    e.data = all.substr(pos, length);
    read.push_back(std::move(e));
    pos += length + 1;
  }
  *entries = std::move(read);
  return true;
}

bool WriteFileClipboard(const std::vector<ClipboardEntry>& entries) {
  const std::string file = ClipboardFile();
  if (file.empty()) return false;
  const std::string folder = file.substr(0, file.rfind('/'));
  if (!folder.empty()) {
    const DWORD made = CreateFolderTree(FromUtf8(folder));
    if (made != ERROR_SUCCESS && made != static_cast<DWORD>(ERROR_ALREADY_EXISTS)) return false;
  }
  std::string body = std::string(kMagic) + "\n";
  for (const ClipboardEntry& e : entries) {
    const std::string name = e.format >= kFirstNamed ? EscapeName(ToUtf8(NameOf(e.format))) : "-";
    if (name.empty()) continue;  // a number this process never registered
    body += std::to_string(e.format) + " " + name + " " + std::to_string(e.data.size()) + "\n" + e.data + "\n";
  }
  const std::string temp = file + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << body;
    out.flush();
    if (!out.good()) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// --- the desktop's clipboard through xclip ---

// Seconds the owner of the selection gets to answer: a bound against an owner
// that hangs, which is a failure, never an empty clipboard.
constexpr int kAnswerSeconds = 20;
// timeout(1)'s status when the bound ran out.
constexpr int kTimedOut = 124;

enum class Answer { kData, kNone, kFailed };

// Runs a fixed xclip command line asking the selection for one of our fixed
// target names.
Answer ReadCommand(const std::string& target, std::string* out) {
  const std::string command =
      "timeout " + std::to_string(kAnswerSeconds) + " xclip -selection clipboard -o -t '" + target + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return Answer::kFailed;
  std::string data;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    data.append(buffer, n);
    if (data.size() > kMaxFile) break;
  }
  const int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) == kTimedOut) return Answer::kFailed;
  if (WEXITSTATUS(status) != 0) return Answer::kNone;
  *out = std::move(data);
  return Answer::kData;
}

bool ReadDesktopClipboard(std::vector<ClipboardEntry>* entries) {
  std::string targets;
  std::vector<ClipboardEntry> read;
  // An empty clipboard answers TARGETS with an error: nothing to read.
  switch (ReadCommand("TARGETS", &targets)) {
    case Answer::kFailed: return false;
    case Answer::kNone: entries->clear(); return true;
    case Answer::kData: break;
  }
  bool failed = false;
  auto take = [&](const std::string& target, std::string* data) {
    if (("\n" + targets + "\n").find("\n" + target + "\n") == std::string::npos) return false;
    const Answer answer = ReadCommand(target, data);
    failed |= answer == Answer::kFailed;
    return answer == Answer::kData;
  };
  std::string data;
  if (take("UTF8_STRING", &data) || take("text/plain;charset=utf-8", &data) || take("STRING", &data)) {
    std::string wide = ToUtf16Le(FromUtf8(data));
    wide.append(2, '\0');
    read.push_back({kCfUnicodeText, wide});
  }
  if (take("text/html", &data)) read.push_back({RegisterClipboardFormatName(L"HTML Format"), data});
  if (take("text/rtf", &data)) read.push_back({RegisterClipboardFormatName(L"Rich Text Format"), data});
  if (failed) return false;
  *entries = std::move(read);
  return true;
}

// The desktop offers one target per owner process: the text, which is what
// other programs paste.
bool WriteDesktopClipboard(const std::vector<ClipboardEntry>& entries) {
  std::string text;
  for (const ClipboardEntry& e : entries) {
    if (e.format != kCfUnicodeText) continue;
    std::wstring wide = FromUtf16Le(std::string_view(e.data).substr(0, e.data.size() & ~std::size_t{1}));
    const std::size_t nul = wide.find(L'\0');
    text = ToUtf8(nul == std::wstring::npos ? wide : wide.substr(0, nul));
  }
  // xclip stays behind to serve the selection; it must not hold our output.
  FILE* pipe = popen("xclip -selection clipboard -i >/dev/null 2>&1", "w");
  if (!pipe) return false;
  const bool written = fwrite(text.data(), 1, text.size(), pipe) == text.size();
  if (pclose(pipe) != 0 || !written) return false;
  // xclip's parent returns before its background half has taken the
  // selection; the copy is done once the selection gives the text back.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kAnswerSeconds);
  std::string held;
  while (ReadCommand("UTF8_STRING", &held) != Answer::kData || held != text) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

unsigned RegisterClipboardFormatName(const std::wstring& name) {
  if (name.empty()) return 0;
  std::lock_guard<std::mutex> lock(gNamesLock);
  auto [it, added] = gNames.emplace(name, kFirstNamed + static_cast<unsigned>(gNames.size()));
  return it->second;
}

bool ReadClipboard(std::vector<ClipboardEntry>* entries) {
  return UseDesktop() ? ReadDesktopClipboard(entries) : ReadFileClipboard(entries);
}

bool WriteClipboard(const std::vector<ClipboardEntry>& entries) {
  return UseDesktop() ? WriteDesktopClipboard(entries) : WriteFileClipboard(entries);
}

std::wstring ClipboardKind() { return UseDesktop() ? L"desktop" : L"file"; }

}  // namespace platform
