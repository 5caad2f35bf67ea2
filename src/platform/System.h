// Operating-system services the core needs beyond the registry: the thread's
// last-error code, well-known folders, environment expansion, code pages,
// languages, message boxes and the beep. Each call does one whole job and
// never throws; soft failures come back as empty results or false.
//
// On Windows these are thin layers over the Win32 API; on Linux they stand
// in for it (see posix/System.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "src/platform/Types.h"

namespace platform {

// The calling thread's last-error code (GetLastError/SetLastError on Windows,
// a thread_local on posix). Other threads never see it.
DWORD GetLastErrorCode();
void SetLastErrorCode(DWORD code);

// The system's message text for an error code in the default language, as
// the system gives it (Windows texts end with "\r\n"). Empty when the system
// has no text for the code.
std::wstring SystemErrorText(DWORD code);

// The user's temporary folder, with a trailing separator (Windows:
// GetTempPathW; posix: $TMPDIR or /tmp/).
std::wstring TempFolder();
// The user's roaming application-data folder, without a trailing separator
// (Windows: %APPDATA%; posix: $XDG_CONFIG_HOME or ~/.config). Empty when
// it cannot be determined.
std::wstring RoamingAppDataFolder();
// The folder of the module file that holds this code (the add-in DLL on
// Windows, the program on Linux), drive and directory, with a trailing
// separator, so that a file name can be appended directly.
std::wstring ModuleFolder();
// Full path of that module file.
std::wstring ModuleFilePath();

// The platform's folder separator: L'\\' on Windows, L'/' on posix.
wchar_t PathSeparator();
// Joins a folder and a name with one separator between them (PathCombine
// rules for the simple cases): an empty folder gives the name, an absolute
// name wins over the folder.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// Replaces %NAME% references by the environment variable's value, as
// ExpandEnvironmentStringsW does: names compare case-insensitively, an
// unknown name stays as written (both "%" kept, scanning goes on after
// the second), "%%" is not special. On posix "%temp%" and
// "%tmp%" give the temporary folder (without trailing separator) when no
// such variable is set, "%appdata%" the roaming folder, "%userprofile%"
// the home folder and "%localappdata%" $XDG_DATA_HOME (~/.local/share). Backslashes in
// the text after a posix expansion are left alone; callers that build paths
// should use NormalizePath.
std::wstring ExpandEnvironment(const std::wstring& text);
// The process environment. An empty value removes the variable. Names are
// case-insensitive on Windows only.
std::wstring GetEnvironmentValue(const std::wstring& name);
bool SetEnvironmentValue(const std::wstring& name, const std::wstring& value);

// On posix, turns the backslashes of a Windows-style path into slashes (a
// registry value such as "%temp%\Talvoren\AddinLog" becomes a usable path);
// on Windows, returns the path unchanged.
std::wstring NormalizePath(const std::wstring& path);

// Creates a folder and any missing parents. Returns ERROR_SUCCESS when it
// was created, ERROR_ALREADY_EXISTS when it existed already, or the error
// that stopped it (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED ...). Sets the
// thread's last-error code to the same value. On posix a path starting with
// a Windows drive ("D:\...") gives ERROR_PATH_NOT_FOUND.
DWORD CreateFolderTree(const std::wstring& path);

// True when the file or folder exists.
bool PathExists(const std::wstring& path);
// Deletes a file; true when it is gone afterwards (also when it never
// existed). Leaves the thread's last-error code as it was.
bool DeleteFileAt(const std::wstring& path);

// Code page conversion (932, 874, 936, 949, 950, 1250-1258, 65001 and 20127
// at least). Returns false for a code page the system cannot convert.
// Undecodable bytes become U+FFFD (posix) or the system's default; characters
// the code page cannot represent become '?'.
bool MultiByteToWide(unsigned codePage, std::string_view bytes, std::wstring* out);
bool WideToMultiByte(unsigned codePage, std::wstring_view text, std::string* out);
bool IsCodePageSupported(unsigned codePage);

// The system's default language id (GetSystemDefaultLangID on Windows; on
// posix from LC_ALL, then LC_MESSAGES, then LANG: "ja_JP.UTF-8" gives 1041,
// "en_US" 1033, "C"/"POSIX"/unset 1033).
LANGID SystemDefaultLangId();
// The language id for a POSIX locale name ("ja_JP.UTF-8", "de", "zh_TW"),
// 0 when unknown. Portable: tests and posix code use it.
LANGID LangIdFromLocaleName(std::string_view locale);
// The default ANSI code page of a language id (1252 for English, 932 for
// Japanese ...); 1252 for ids the system does not know.
unsigned DefaultAnsiCodePage(LANGID langId);

// A message box request: the text, the caption (already decided by the
// caller: the platform does not substitute a title), the MB_* style (buttons
// in the low nibble, icon in 0xF0, default button in 0xF00), the language
// of the box's buttons and the window that owns the box (a native window
// handle, 0 for none; the owner takes no input while the box is open).
struct MessageBoxRequest {
  std::wstring text;
  std::wstring caption;
  unsigned style = 0;
  LANGID langId = 0;
  std::uintptr_t owner = 0;
};

// Shows a message box over its owner (or none), topmost, and returns the button
// pressed: IDOK, IDCANCEL, IDYES or IDNO. Windows: MessageBoxExW. Posix: the
// text on stderr with its icon kind; a question is answered from the terminal
// when stdin is one, else from PELORANT_ANSWER=yes|no (also ok|cancel),
// else the default button is taken and stderr says so.
int ShowMessageBox(const MessageBoxRequest& request);
// The alert sound for an MB_ICON* kind (MessageBeep on Windows; posix: a line
// on stderr naming the kind).
void AlertBeep(unsigned iconType);

// Opens a compiled help file in the system's help viewer, without owner
// window, at its default topic; false when nothing could show it. Windows:
// the HTML Help control's display-topic command, else the shell's handler
// for the file. Posix: false (the program's own help is its usage text).
bool OpenHelpFile(const std::wstring& path);

// Replaces how message boxes and beeps are shown, for tests and for hosts
// that show messages their own way; an empty function restores the system's.
// Returns the previous handler. Process-wide; set it before other threads
// show messages.
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;
using BeepHandler = std::function<void(unsigned iconType)>;
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
BeepHandler SetBeepHandler(BeepHandler handler);

// The button a box answers with when nobody can be asked: the MB_DEFBUTTONn
// button of its button set (IDOK for MB_OK, IDYES/IDNO for MB_YESNO ...).
int DefaultButton(unsigned style);

// Where the platform layer reports a problem that no caller is waiting for
// (a registry file that cannot be parsed and was moved aside). The default
// writes the text to stderr; the log installs itself here so such problems
// also reach the log file. Returns the previous sink.
using DiagnosticSink = std::function<void(const std::wstring& message)>;
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);
void ReportDiagnostic(const std::wstring& message);

}  // namespace platform
