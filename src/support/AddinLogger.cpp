#include "src/support/AddinLogger.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "src/platform/Files.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/Log.h"

namespace support {

namespace {

constexpr size_t kMaxFolderChars = 260;
constexpr size_t kMaxSourceNameChars = 256;

struct HostNames {
  const wchar_t* fileNameValue;
  const wchar_t* baseName;
};

HostNames NamesForHost(int hostKind) {
  switch (hostKind) {
    case 1: return {L"WordLogFileName", L"TVWordAddinsLog"};
    case 2: return {L"ExcelLogFileName", L"TVExcelAddinsLog"};
    case 3: return {L"PPLogFileName", L"TVPPAddinsLog"};
    case 4: return {L"OutlookLogFileName", L"TVOutlookAddinsLog"};
    case 5: return {L"AccessLogFileName", L"TVAccessAddinsLog"};
    case 6: return {L"ProjectLogFileName", L"TVProjectAddinsLog"};
    default: return {L"LogFileName", AddinLogger::kGenericBaseName};
  }
}

// One value from the user's key, else from the machine's: the first hive
// that holds it with the right type wins, whatever the value.
bool ReadRegistry(const std::wstring& keyPath, const std::wstring& name, platform::RegType type,
                  platform::RegValue* out) {
  for (platform::Hive hive : {platform::Hive::CurrentUser, platform::Hive::LocalMachine}) {
    platform::RegKey key;
    // Installers write these settings through the 32-bit view.
    if (platform::RegKey::Open(hive, keyPath, /*writable=*/false, &key, platform::RegView::Registry32) !=
        ERROR_SUCCESS)
      continue;
    platform::RegValue value;
    // A REG_DWORD that is not exactly 4 bytes counts as the wrong type.
    if (key.QueryValue(name, &value) != ERROR_SUCCESS || value.type != type || value.raw) continue;
    *out = std::move(value);
    return true;
  }
  return false;
}

bool ReadDword(const std::wstring& keyPath, const std::wstring& name, std::uint32_t* out) {
  platform::RegValue value;
  if (!ReadRegistry(keyPath, name, platform::RegType::Dword, &value)) return false;
  *out = value.dword;
  return true;
}

bool ReadText(const std::wstring& keyPath, const std::wstring& name, std::wstring* out) {
  platform::RegValue value;
  if (!ReadRegistry(keyPath, name, platform::RegType::Sz, &value)) return false;
  *out = value.text;
  return true;
}

std::wstring ExpandFolder(const std::wstring& folder) {
  std::wstring expanded = platform::ExpandEnvironment(folder);
  if (expanded.size() > kMaxFolderChars) return std::wstring();
  return platform::NormalizePath(expanded);
}

bool FolderUsable(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS;
}

// Set while the logger is busy on this thread, so that a diagnostic raised
// by the platform layer during configuration or writing (the registry
// reporting a broken file, say) does not re-enter it.
thread_local bool tInsideLogger = false;

class InsideLogger {
 public:
  InsideLogger() : mWasInside(tInsideLogger) { tInsideLogger = true; }
  ~InsideLogger() { tInsideLogger = mWasInside; }
  bool WasInside() const { return mWasInside; }

 private:
  bool mWasInside;
};

}  // namespace

AddinLogger& AddinLogger::Instance() {
  static AddinLogger* instance = [] {
    static AddinLogger logger;
    // Problems that the platform layer finds with no caller waiting (a
    // registry file moved aside) also go to the log.
    auto previous = std::make_shared<platform::DiagnosticSink>();
    *previous = platform::SetDiagnosticSink([previous](const std::wstring& message) {
      if (*previous) (*previous)(message);
      LOG_WARNING(L"Platform", message);
    });
    return &logger;
  }();
  return *instance;
}

static std::mutex& LoggerMutex() {
  static std::mutex mutex;
  return mutex;
}

void AddinLogger::Initialize(int hostKind) {
  std::lock_guard<std::mutex> lock(LoggerMutex());
  if (mInitialized) return;
  mInitialized = true;
  InsideLogger inside;
  try {
    Configure(hostKind);
  } catch (...) {
    mLevel = kOff;
  }
}

void AddinLogger::Configure(int hostKind) {
  mSettings = LogSettings();
  HostNames host = NamesForHost(hostKind);
  mSettings.fileNameValue = host.fileNameValue;
  mBaseName = host.baseName;
  mLevel = kDefaultLevel;
  mFileCount = kDefaultFileCount;
  mRotationSize = kDefaultRotationSize;
  mFolder = kDefaultFolder;
  mExtension = kDefaultExtension;
  const std::wstring& key = mSettings.keyPath;

  std::uint32_t number = 0;
  if (!ReadDword(key, mSettings.switchValue, &number) || number == 0) {
    mLevel = kOff;
    return;
  }
  if (ReadDword(key, mSettings.rotationSizeValue, &number)) {
    number = std::max<std::uint32_t>(number, kMinRotationSize);
    number = std::min<std::uint32_t>(number, static_cast<std::uint32_t>(kOff));
    mRotationSize = static_cast<std::int32_t>(number);
  }
  std::wstring text;
  if (ReadText(key, mSettings.fileNameValue, &text)) mBaseName = text.empty() ? kGenericBaseName : text;
  if (ReadDword(key, mSettings.fileCountValue, &number)) mFileCount = std::min(number, kMaxFileCount);
  if (ReadDword(key, mSettings.levelValue, &number))
    mLevel = static_cast<std::int32_t>(std::min<std::uint32_t>(number, static_cast<std::uint32_t>(kOff)));
  if (ReadText(key, mSettings.extensionValue, &text)) mExtension = text.empty() ? kDefaultExtension : text;
  if (ReadText(key, mSettings.folderValue, &text)) mFolder = text.empty() ? kDefaultFolder : text;

  mFolder = ExpandFolder(mFolder);
  if (!FolderUsable(platform::CreateFolderTree(mFolder))) {
    mFolder = ExpandFolder(kDefaultFolder);
    if (!FolderUsable(platform::CreateFolderTree(mFolder))) {
      mLevel = kOff;
      return;
    }
  }
  mCurrentPath = platform::JoinPath(mFolder, mBaseName + L"0" + mExtension);
  if (mCurrentPath.empty()) mLevel = kOff;
}

void AddinLogger::Detail(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept {
  if (!IsEnabled(log::kDetail)) return;
  try { Write(log::kDetail, message, sourceFile, line); } catch (...) {}
}

void AddinLogger::Info(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept {
  if (!IsEnabled(log::kInfo)) return;
  try { Write(log::kInfo, message, sourceFile, line); } catch (...) {}
}

void AddinLogger::Warning(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept {
  if (!IsEnabled(log::kWarning)) return;
  try { Write(log::kWarning, message, sourceFile, line); } catch (...) {}
}

void AddinLogger::Error(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept {
  if (!IsEnabled(log::kError)) return;
  try { Write(log::kError, message, sourceFile, line); } catch (...) {}
}

std::wstring AddinLogger::SourceBaseName(const std::wstring& sourceFile) {
  size_t start = sourceFile.find_last_of(L"/\\");
  std::wstring name = start == std::wstring::npos ? sourceFile : sourceFile.substr(start + 1);
  size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  if (name.size() > kMaxSourceNameChars) name.resize(kMaxSourceNameChars);
  return name;
}

std::wstring AddinLogger::FormatLine(const LogTime& t, int level, const std::wstring& message,
                                     const std::wstring& sourceFile, unsigned line) {
  std::wstring out;
  out += std::to_wstring(t.year) + L"/" + std::to_wstring(t.month) + L"/" + std::to_wstring(t.day) + L" ";
  out += std::to_wstring(t.hour) + L":" + std::to_wstring(t.minute) + L":" + std::to_wstring(t.second) + L"." +
         std::to_wstring(t.milliseconds);
  out += L"  " + std::to_wstring(level) + L" " + message + L" " + SourceBaseName(sourceFile) + L" " +
         std::to_wstring(line);
  return out;
}

LogTime AddinLogger::Now() const {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // std::localtime shares one buffer per process; lines may come from the
  // progress and watchdog threads as well.
  static std::mutex mutex;
  std::tm local{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (std::tm* p = std::localtime(&seconds)) local = *p;
  }
  LogTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.milliseconds = static_cast<int>(ms < 0 ? ms + 1000 : ms);
  return t;
}

std::wstring AddinLogger::NumberedPath(std::uint32_t number) const {
  return platform::JoinPath(mFolder, mBaseName + std::to_wstring(number) + mExtension);
}

void AddinLogger::RotateIfNeeded() {
  if (mFileCount == 0) return;
  std::error_code ec;
  std::uintmax_t size = std::filesystem::file_size(platform::NativePath(mCurrentPath), ec);
  if (ec) size = 0;
  if (size <= static_cast<std::uintmax_t>(mRotationSize)) return;
  // Failed steps are ignored: the next line goes into whatever file is current.
  std::filesystem::remove(platform::NativePath(NumberedPath(mFileCount)), ec);
  for (std::uint32_t i = mFileCount; i-- > 0;) {
    auto from = platform::NativePath(NumberedPath(i));
    auto to = platform::NativePath(NumberedPath(i + 1));
    if (std::filesystem::exists(from, ec) && !std::filesystem::exists(to, ec)) std::filesystem::rename(from, to, ec);
  }
}

void AddinLogger::Write(int level, const std::wstring& message, const std::wstring& sourceFile, unsigned line) {
  // Lines may come from the progress and watchdog threads too; one line and
  // its rotation at a time keeps them whole.
  std::lock_guard<std::mutex> lock(LoggerMutex());
  InsideLogger inside;
  RotateIfNeeded();
  std::wstring text = FormatLine(Now(), level, message, sourceFile, line);
  // The file is Japanese ANSI text (code page 932) as the log readers expect.
  std::string bytes;
  if (!platform::WideToMultiByte(932, text, &bytes)) {
    bytes.clear();
    for (wchar_t c : text) bytes += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  bytes += "\r\n";
  std::ofstream out(platform::NativePath(mCurrentPath), std::ios::binary | std::ios::app);
  if (!out) return;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
}

namespace log {

void Write(int level, const std::wstring& source, const std::wstring& message, const char* file,
           int line) noexcept {
  if (tInsideLogger) return;
  // Error reports after a command test the thread's last-error code; reading
  // the registry or opening the file must not plant or erase one.
  struct KeepLastError {
    DWORD code = platform::GetLastErrorCode();
    ~KeepLastError() { platform::SetLastErrorCode(code); }
  } keep;
  try {
    AddinLogger& logger = AddinLogger::Instance();
    logger.Initialize(static_cast<int>(LogHostKind::PowerPoint));
    if (!logger.IsEnabled(level)) return;
    // The source name says where (e.g. "AddinMain:TranSheetClick"), the
    // message what; the line carries both.
    std::wstring text = source.empty() ? message : message.empty() ? source : source + L" " + message;
    std::wstring sourceFile = platform::FromUtf8(file ? file : "");
    unsigned lineNumber = line < 0 ? 0u : static_cast<unsigned>(line);
    switch (level) {
      case kDetail: logger.Detail(text, sourceFile, lineNumber); break;
      case kInfo: logger.Info(text, sourceFile, lineNumber); break;
      case kWarning: logger.Warning(text, sourceFile, lineNumber); break;
      case kError: logger.Error(text, sourceFile, lineNumber); break;
      default:
        // Other levels exist only in settings; write them like the nearest
        // operation below so nothing a caller asks for is lost.
        if (level >= kError) logger.Error(text, sourceFile, lineNumber);
        else if (level >= kWarning) logger.Warning(text, sourceFile, lineNumber);
        else if (level >= kInfo) logger.Info(text, sourceFile, lineNumber);
        else logger.Detail(text, sourceFile, lineNumber);
        break;
    }
  } catch (...) {
  }
}

}  // namespace log

}  // namespace support
