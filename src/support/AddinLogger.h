// The process-wide log writer behind the LOG_* macros of Log.h. Logging is
// off unless "OfficeAddinLog" is set in the registry; the settings are read
// once per process, and nothing here ever lets a failure reach the caller.
#pragma once

#include <cstdint>
#include <string>

namespace support {

// Which Office host the log is for; it picks the registry value of the file
// name and the default base name. This add-in always uses PowerPoint.
enum class LogHostKind : int { Word = 1, Excel = 2, PowerPoint = 3, Outlook = 4, Host5 = 5, Host6 = 6 };

struct LogSettings {
  std::wstring keyPath = L"SOFTWARE\\Talvoren\\OfficeAddIn";
  std::wstring switchValue = L"OfficeAddinLog";
  std::wstring rotationSizeValue = L"LogLotationSize";
  std::wstring fileNameValue = L"LogFileName";
  std::wstring fileCountValue = L"LogFileCount";
  std::wstring levelValue = L"LogLevel";
  std::wstring extensionValue = L"LogExtention";
  std::wstring folderValue = L"LogFolderPath";
};

struct LogTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class AddinLogger {
 public:
  static constexpr std::int32_t kOff = 2147483647;
  static constexpr std::int32_t kDefaultLevel = 1001;
  static constexpr std::uint32_t kDefaultFileCount = 1;
  static constexpr std::int32_t kDefaultRotationSize = 104857600;
  static constexpr std::uint32_t kMaxFileCount = 9;
  static constexpr std::int32_t kMinRotationSize = 100;
  static constexpr const wchar_t* kDefaultFolder = L"%temp%\\Talvoren\\AddinLog";
  static constexpr const wchar_t* kGenericBaseName = L"TVAddinsLog";
  static constexpr const wchar_t* kDefaultExtension = L".txt";

  AddinLogger() = default;
  virtual ~AddinLogger() = default;

  static AddinLogger& Instance();

  // Configures once from the registry; later calls return at once.
  void Initialize(int hostKind);

  bool IsEnabled(int level) const { return level >= mLevel; }
  void Detail(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept;
  void Info(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept;
  void Warning(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept;
  void Error(const std::wstring& message, const std::wstring& sourceFile, unsigned line) noexcept;

  // "2013/5/7 9:3:7.45  2000 GetTranslationOptions AddinApplication 574":
  // numbers without leading zeros, two blanks after the milliseconds.
  static std::wstring FormatLine(const LogTime& time, int level, const std::wstring& message,
                                 const std::wstring& sourceFile, unsigned line);
  // File name without folder and extension, at most 256 characters.
  static std::wstring SourceBaseName(const std::wstring& sourceFile);

  bool IsInitialized() const { return mInitialized; }
  std::int32_t GetLevel() const { return mLevel; }
  std::uint32_t GetFileCount() const { return mFileCount; }
  std::int32_t GetRotationSize() const { return mRotationSize; }
  const std::wstring& GetFolder() const { return mFolder; }
  const std::wstring& GetBaseName() const { return mBaseName; }
  const std::wstring& GetExtension() const { return mExtension; }
  const std::wstring& GetCurrentPath() const { return mCurrentPath; }

 protected:
  virtual LogTime Now() const;

 private:
  void Configure(int hostKind);
  void Write(int level, const std::wstring& message, const std::wstring& sourceFile, unsigned line);
  void RotateIfNeeded();
  std::wstring NumberedPath(std::uint32_t number) const;

  std::wstring mCurrentPath;
  bool mInitialized = false;
  LogSettings mSettings;
  std::int32_t mLevel = kDefaultLevel;
  std::uint32_t mFileCount = kDefaultFileCount;
  std::int32_t mRotationSize = kDefaultRotationSize;
  std::wstring mFolder = kDefaultFolder;
  std::wstring mBaseName = kGenericBaseName;
  std::wstring mExtension = kDefaultExtension;
};

}  // namespace support
