// POSIX files. A replacement is written to a hidden temporary file in the same
// folder (a rename across file systems is no rename), synced, given the old
// file's permissions and renamed over it; the folder is synced after, so the
// rename reaches the disk too.
#include "src/platform/Files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/platform/SystemFiles.h"

namespace platform {

namespace {

DWORD FromErrno(int err) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EEXIST: return ERROR_FILE_EXISTS;
    default: return ERROR_WRITE_FAULT;
  }
}

class Fd {
 public:
  explicit Fd(int fd) : mFd(fd) {}
  ~Fd() {
    if (mFd >= 0) ::close(mFd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return mFd; }
  // Closes now and reports whether the close succeeded (NFS reports write
  // errors only there).
  bool Close() {
    int fd = mFd;
    mFd = -1;
    return ::close(fd) == 0;
  }

 private:
  int mFd;
};

// A temporary file that cannot be made in a missing folder means the path
// is not found, as Windows says it.
DWORD FromCreateErrno(int err) { return err == ENOENT ? ERROR_PATH_NOT_FOUND : FromErrno(err); }

std::string Utf8Path(const std::wstring& path) { return ToUtf8(NormalizePath(path)); }

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TempTemplate(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + "." + name + ".tmp-XXXXXX";
}

mode_t ModeFor(const std::string& path, const WriteOptions& options) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  if (options.ownerOnly) return 0600;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Gives the finished temporary file its mode, syncs it and renames it over
// `path`; removes it on failure.
DWORD Commit(const std::string& temp, const std::string& path, mode_t mode) {
  Fd fd(::open(temp.c_str(), O_RDWR | O_CLOEXEC));
  bool ok = fd.get() >= 0 && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
  ok = fd.get() >= 0 && fd.Close() && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    int err = errno;
    ::unlink(temp.c_str());
    return FromErrno(err);
  }
  Fd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return ERROR_SUCCESS;
}

class PosixFiles : public SystemFiles {
 public:
  FileKind Kind(const std::wstring& path) override {
    struct stat st;
    if (::stat(Utf8Path(path).c_str(), &st) != 0) return FileKind::Missing;
    if (S_ISREG(st.st_mode)) return FileKind::Regular;
    return S_ISDIR(st.st_mode) ? FileKind::Folder : FileKind::Other;
  }

  DWORD ReadFile(const std::wstring& path, std::size_t maxBytes, std::string* out) override {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    Fd fd(::open(Utf8Path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return FromErrno(errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return ERROR_READ_FAULT;
    if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return ERROR_FILE_TOO_LARGE;
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    std::string bytes;
    bytes.reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
      ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ERROR_READ_FAULT;
      if (n == 0) break;
      bytes.append(chunk, static_cast<size_t>(n));
      // The file may grow after its size was checked.
      if (bytes.size() > maxBytes) return ERROR_FILE_TOO_LARGE;
    }
    *out = std::move(bytes);
    return ERROR_SUCCESS;
  }

  DWORD WriteAtomically(const std::wstring& path, std::string_view bytes, const WriteOptions& options) override {
    const std::string target = Utf8Path(path);
    std::string temp = TempTemplate(target);
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return FromCreateErrno(errno);
    if (!WriteAll(fd.get(), bytes) || !fd.Close()) {
      int err = errno;
      ::unlink(temp.c_str());
      return err == ENOSPC ? ERROR_WRITE_FAULT : FromErrno(err);
    }
    return Commit(temp, target, ModeFor(target, options));
  }

  DWORD WriteAtomicallyWith(const std::wstring& path, const std::function<bool(const std::wstring& temp)>& fill,
                            const WriteOptions& options) override {
    const std::string target = Utf8Path(path);
    std::string temp = TempTemplate(target);
    // The name is reserved by an empty file that the writer replaces.
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return FromCreateErrno(errno);
    fd.Close();
    bool filled = false;
    try {
      filled = fill(FromUtf8(temp));
    } catch (...) {
      ::unlink(temp.c_str());
      throw;
    }
    if (!filled) {
      ::unlink(temp.c_str());
      return ERROR_WRITE_FAULT;
    }
    return Commit(temp, target, ModeFor(target, options));
  }

  DWORD MoveWithoutReplacing(const std::wstring& fromPath, const std::wstring& toPath) override {
    const std::string from = Utf8Path(fromPath);
    const std::string to = Utf8Path(toPath);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return ERROR_SUCCESS;
    if (errno != EINVAL && errno != ENOSYS) return FromErrno(errno);
    // A file system without the no-replace rename: a hard link never
    // replaces either.
    if (::link(from.c_str(), to.c_str()) != 0) return FromErrno(errno);
    ::unlink(from.c_str());
    return ERROR_SUCCESS;
  }
};

}  // namespace

Files& PlatformFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace platform
