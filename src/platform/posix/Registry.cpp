// The registry stand-in: one ".reg" text file per hive. Readers share a
// parsed copy of each file, re-parsed when the file's identity (inode, size,
// modification time) changes. Every change takes an exclusive flock on a
// lock file beside the hive, re-reads the hive under that lock, applies the
// one change and renames a complete new file into place, so concurrent
// writers in several processes each keep their values and readers never
// see half a file. A hive file that cannot be parsed is renamed aside
// (never overwritten) and reported once; one that is no regular file (a
// FIFO, a device) or is larger than any hive is refused, reported once,
// and neither read nor written.
//
// A batch (RegBatch) holds the lock from its start to its commit and keeps
// the thread's changes in memory, so a whole settings save is one rewrite.
#include "src/platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>

#include "src/platform/Files.h"
#include "src/platform/RegFile.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace platform {

using regfile::Key;

class RegKeyImpl {
 public:
  Hive hive;
  std::wstring path;  // components joined by '\\', no leading or trailing one
  bool writable;
};

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

const char* HiveFileName(Hive hive) {
  switch (hive) {
    case Hive::CurrentUser: return "HKCU.reg";
    case Hive::LocalMachine: return "HKLM.reg";
    case Hive::ClassesRoot: return "HKCR.reg";
  }
  return "HKCU.reg";
}

std::string HiveDir(Hive hive) {
  const char* dir = std::getenv("PELORANT_REGISTRY");
  if (dir && *dir) return dir;
  if (hive == Hive::CurrentUser) {
    std::string home = EnvOr("HOME", "/tmp");
    return EnvOr("XDG_CONFIG_HOME", home + "/.config") + "/pelorant";
  }
  return "/etc/pelorant";
}

// A hive file kept elsewhere through a symbolic link (a dotfiles folder)
// is updated where it lives instead of having its link replaced.
std::string HivePath(Hive hive) {
  std::string path = HiveDir(hive) + "/" + HiveFileName(hive);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
  }
  return path;
}

LONG ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC: return ERROR_WRITE_FAULT;
    default: return ERROR_CANTWRITE;
  }
}

bool ValidName(const std::wstring& name) {
  for (wchar_t c : name) {
    if (c < 0x20) return false;
  }
  return true;
}

std::wstring JoinKeyPath(const std::wstring& a, const std::wstring& b) {
  std::wstring out;
  for (const auto& part : regfile::SplitPath(a)) out += (out.empty() ? L"" : L"\\") + part;
  for (const auto& part : regfile::SplitPath(b)) out += (out.empty() ? L"" : L"\\") + part;
  return out;
}

struct Identity {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtimeNs = 0;
  bool operator<(const Identity& o) const {
    return std::tie(dev, ino, size, mtimeNs) < std::tie(o.dev, o.ino, o.size, o.mtimeNs);
  }
  bool operator==(const Identity& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs;
  }
};

Identity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

class Fd {
 public:
  explicit Fd(int fd = -1) : mFd(fd) {}
  ~Fd() {
    if (mFd >= 0) ::close(mFd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return mFd; }
  void reset(int fd) {
    if (mFd >= 0) ::close(mFd);
    mFd = fd;
  }

 private:
  int mFd;
};

// Larger files are no hives (option files have the same bound); refusing
// them keeps memory bounded.
constexpr off_t kMaxHiveBytes = 64 << 20;

DWORD MakeDirs(const std::string& dir) {
  return CreateFolderTree(FromUtf8(dir));
}

std::atomic<bool> gBatching{true};
std::atomic<std::uint64_t> gRewrites{0};

// The open batch of one thread on one hive.
struct Batch {
  int depth = 0;
  bool active = false;     // the lock is held and `root` is the hive's tree
  bool abandoned = false;  // an inner batch was abandoned: the outer one writes nothing
  bool changed = false;
  std::string path;
  std::unique_ptr<Fd> lock;
  Key root;
};

Batch& ThreadBatch(Hive hive) {
  thread_local Batch batches[3];
  return batches[static_cast<int>(hive)];
}

class HiveStore {
 public:
  static HiveStore& Instance() {
    static HiveStore* store = new HiveStore;  // lives to process exit; RegKeys may outlive statics
    return *store;
  }

  // The hive's current tree for reading; inside a batch, with the batch's
  // changes.
  LONG Read(Hive hive, std::shared_ptr<const Key>* out) {
    std::string path = HivePath(hive);
    Batch& batch = ThreadBatch(hive);
    if (batch.active && batch.path == path) {
      // Not owned: used by the caller at once, while the batch lives.
      *out = std::shared_ptr<const Key>(std::shared_ptr<const Key>(), &batch.root);
      return ERROR_SUCCESS;
    }
    return Load(hive, path, /*locked=*/false, out);
  }

  // Applies one change under the hive's lock. `change` returns an error to
  // abandon the change (before touching the tree), and sets `changed` when
  // the file must be rewritten. Inside a batch the change stays in memory.
  LONG Change(Hive hive, const std::function<LONG(Key& root, bool* changed)>& change) {
    std::string path = HivePath(hive);
    Batch& batch = ThreadBatch(hive);
    if (batch.active && batch.path == path) {
      bool changed = false;
      LONG rc = change(batch.root, &changed);
      if (rc == ERROR_SUCCESS && changed) batch.changed = true;
      return rc;
    }
    Fd lock(-1);
    LONG rc = Lock(path, &lock);
    if (rc != ERROR_SUCCESS) return rc;
    std::shared_ptr<const Key> current;
    rc = Load(hive, path, /*locked=*/true, &current);
    if (rc != ERROR_SUCCESS) return rc;
    Key next = *current;
    bool changed = false;
    rc = change(next, &changed);
    if (rc != ERROR_SUCCESS || !changed) return rc;
    return Store(hive, path, std::move(next));
  }

  LONG BeginBatch(Hive hive) {
    Batch& batch = ThreadBatch(hive);
    if (batch.depth++ > 0 || !gBatching) return ERROR_SUCCESS;
    std::string path = HivePath(hive);
    auto lock = std::make_unique<Fd>(-1);
    LONG rc = Lock(path, lock.get());
    std::shared_ptr<const Key> current;
    if (rc == ERROR_SUCCESS) rc = Load(hive, path, /*locked=*/true, &current);
    // Without the batch every change goes to the file on its own, and
    // fails there the same way.
    if (rc != ERROR_SUCCESS) return rc;
    batch.path = path;
    batch.lock = std::move(lock);
    batch.root = *current;
    batch.changed = false;
    batch.abandoned = false;
    batch.active = true;
    return ERROR_SUCCESS;
  }

  LONG EndBatch(Hive hive, bool commit) {
    Batch& batch = ThreadBatch(hive);
    if (batch.depth == 0) return ERROR_INVALID_HANDLE;
    if (!commit) batch.abandoned = true;
    if (--batch.depth > 0 || !batch.active) return ERROR_SUCCESS;
    LONG rc = ERROR_SUCCESS;
    if (batch.abandoned) rc = commit ? ERROR_CANCELLED : ERROR_SUCCESS;
    else if (batch.changed) rc = Store(hive, batch.path, std::move(batch.root));
    batch.active = false;
    batch.root = Key();
    batch.lock.reset();
    return rc;
  }

 private:
  struct Cached {
    Identity id;
    std::shared_ptr<const Key> root;
  };

  // Takes the hive's exclusive lock, making its folder when needed.
  static LONG Lock(const std::string& path, Fd* lock) {
    std::string dir = path.substr(0, path.rfind('/'));
    DWORD made = MakeDirs(dir);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) return static_cast<LONG>(made);
    lock->reset(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock->get() < 0) return ErrnoToWin32(errno);
    while (::flock(lock->get(), LOCK_EX) != 0) {
      if (errno != EINTR) return ErrnoToWin32(errno);
    }
    return ERROR_SUCCESS;
  }

  static std::shared_ptr<const Key> EmptyHive(Hive hive) {
    auto k = std::make_shared<Key>();
    k->name = HiveLongName(hive);
    return k;
  }

  LONG Load(Hive hive, const std::string& path, bool locked, std::shared_ptr<const Key>* out) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
      if (errno == ENOENT) {
        *out = EmptyHive(hive);
        return ERROR_SUCCESS;
      }
      return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return ERROR_CANTREAD;
    Identity id = IdentityOf(st);
    if (!S_ISREG(st.st_mode)) return Refuse(hive, path, id, "it is not a regular file", locked, out);
    if (st.st_size > kMaxHiveBytes) return Refuse(hive, path, id, "it is too large for a registry file", locked, out);
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    {
      std::lock_guard<std::mutex> g(mMutex);
      auto it = mCache.find(path);
      if (it != mCache.end() && it->second.id == id) {
        *out = it->second.root;
        return ERROR_SUCCESS;
      }
    }
    // Through the file table, so that a read the disk refuses can be shown
    // to leave the hive alone. The file may grow after its size was checked.
    std::string text;
    DWORD read = CurrentFiles().ReadFile(FromUtf8(path), static_cast<std::size_t>(kMaxHiveBytes), &text);
    if (read == ERROR_FILE_TOO_LARGE) return Refuse(hive, path, id, "it is too large for a registry file", locked, out);
    if (read != ERROR_SUCCESS) return ERROR_CANTREAD;
    auto root = std::make_shared<Key>();
    root->name = HiveLongName(hive);
    regfile::ParseResult parsed = regfile::Parse(text, root->name, root.get());
    if (!parsed.ok) return SetAside(hive, path, id, parsed, locked, out);
    std::lock_guard<std::mutex> g(mMutex);
    mCache[path] = Cached{id, root};
    *out = root;
    return ERROR_SUCCESS;
  }

  // What is in the hive's place is no hive file, and may not even be the
  // user's (a device reached through a link): it is left exactly as it is.
  // Readers see an empty hive; writers fail.
  LONG Refuse(Hive hive, const std::string& path, const Identity& id, const char* why, bool locked,
              std::shared_ptr<const Key>* out) {
    bool first;
    {
      std::lock_guard<std::mutex> g(mMutex);
      first = mReported.insert(id).second;
    }
    if (first) {
      ReportDiagnostic(L"The registry file \"" + FromUtf8(path) + L"\" cannot be used: " + FromUtf8(why) +
                       L". " + HiveLongName(hive) + L" reads as empty and will not be written.");
    }
    *out = EmptyHive(hive);
    return locked ? ERROR_BADDB : ERROR_SUCCESS;
  }

  // A hive file that cannot be parsed is the user's data: it is renamed
  // aside so that the next write starts a new file instead of overwriting
  // it. If it cannot be moved, readers see an empty hive and writers fail.
  LONG SetAside(Hive hive, const std::string& path, const Identity& id, const regfile::ParseResult& parsed,
                bool locked, std::shared_ptr<const Key>* out) {
    std::string moved;
    std::unique_ptr<Fd> lock;
    if (!locked) {
      lock = std::make_unique<Fd>(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
      if (lock->get() >= 0) {
        while (::flock(lock->get(), LOCK_EX) != 0 && errno == EINTR) {
        }
      }
    }
    if (locked || (lock && lock->get() >= 0)) {
      struct stat st;
      // Only the very file that failed: another process may have replaced it.
      if (::stat(path.c_str(), &st) == 0 && IdentityOf(st) == id) {
        char stamp[32];
        std::time_t now = std::time(nullptr);
        struct tm tmv;
        localtime_r(&now, &tmv);
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmv);
        std::wstring target;
        if (CurrentFiles().KeepAside(FromUtf8(path), L".bad-" + FromUtf8(stamp), &target) == ERROR_SUCCESS)
          moved = ToUtf8(target);
      } else {
        // Someone replaced the file meanwhile; read what is there now.
        lock.reset();
        return Load(hive, path, locked, out);
      }
    }
    bool first;
    {
      std::lock_guard<std::mutex> g(mMutex);
      first = mReported.insert(id).second;
    }
    if (first) {
      std::wstring message = L"The registry file \"" + FromUtf8(path) + L"\" cannot be read (line " +
                             std::to_wstring(parsed.line) + L": " + FromUtf8(parsed.message) + L"). ";
      if (!moved.empty())
        message += L"It was moved to \"" + FromUtf8(moved) + L"\" and an empty " + HiveLongName(hive) +
                   L" is used.";
      else
        message += L"It could not be moved aside, so " + HiveLongName(hive) +
                   L" reads as empty and will not be written.";
      ReportDiagnostic(message);
    }
    *out = EmptyHive(hive);
    return moved.empty() && locked ? ERROR_BADDB : ERROR_SUCCESS;
  }

  LONG Store(Hive hive, const std::string& path, Key next) {
    std::string text = regfile::Serialize(next, HiveLongName(hive));
    // A hive no reader would accept is not written.
    if (text.size() > static_cast<size_t>(kMaxHiveBytes)) return ERROR_NOT_ENOUGH_MEMORY;
    ++gRewrites;
    WriteOptions options;
    options.ownerOnly = hive == Hive::CurrentUser;
    LONG rc = static_cast<LONG>(CurrentFiles().WriteAtomically(FromUtf8(path), text, options));
    if (rc != ERROR_SUCCESS) return rc;
    // Writers hold the hive's lock, so what is there now is what was written.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return ErrnoToWin32(errno);
    std::lock_guard<std::mutex> g(mMutex);
    mCache[path] = Cached{IdentityOf(st), std::make_shared<const Key>(std::move(next))};
    return ERROR_SUCCESS;
  }

  std::mutex mMutex;
  std::map<std::string, Cached> mCache;
  std::set<Identity> mReported;
};

}  // namespace

RegKey::RegKey() = default;
RegKey::~RegKey() = default;
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;

bool RegKey::IsOpen() const { return mImpl != nullptr; }
void RegKey::Close() { mImpl.reset(); }

LONG RegKey::Open(Hive hive, const std::wstring& path, bool writable, RegKey* out) {
  if (!out) return ERROR_INVALID_PARAMETER;
  out->Close();
  std::shared_ptr<const Key> root;
  LONG rc = HiveStore::Instance().Read(hive, &root);
  if (rc != ERROR_SUCCESS) return rc;
  if (!root->Find(path)) return ERROR_FILE_NOT_FOUND;
  out->mImpl.reset(new RegKeyImpl{hive, JoinKeyPath(path, L""), writable});
  return ERROR_SUCCESS;
}

LONG RegKey::Open(Hive hive, const std::wstring& path, bool writable, RegKey* out, RegView) {
  return Open(hive, path, writable, out);
}

LONG RegKey::Create(Hive hive, const std::wstring& path, RegKey* out) {
  if (!out) return ERROR_INVALID_PARAMETER;
  out->Close();
  std::vector<std::wstring> parts = regfile::SplitPath(path);
  for (const auto& p : parts) {
    if (!ValidName(p)) return ERROR_INVALID_PARAMETER;
  }
  std::shared_ptr<const Key> root;
  LONG rc = HiveStore::Instance().Read(hive, &root);
  // Creating a key that exists is a read: no lock, no rewrite.
  if (rc != ERROR_SUCCESS || !root->Find(path)) {
    rc = HiveStore::Instance().Change(hive, [&](Key& r, bool* changed) {
      Key* k = &r;
      for (const auto& p : parts) {
        Key* sub = k->FindSubkey(p);
        if (!sub) {
          sub = &k->AddSubkey(p);
          *changed = true;
        }
        k = sub;
      }
      return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
  }
  out->mImpl.reset(new RegKeyImpl{hive, JoinKeyPath(path, L""), true});
  return ERROR_SUCCESS;
}

LONG RegKey::OpenSubkey(const std::wstring& name, bool writable, RegKey* out) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (out == this) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<const Key> root;
  LONG rc = HiveStore::Instance().Read(mImpl->hive, &root);
  if (rc != ERROR_SUCCESS) return rc;
  if (!root->Find(mImpl->path)) return ERROR_KEY_DELETED;
  return Open(mImpl->hive, JoinKeyPath(mImpl->path, name), writable, out);
}

LONG RegKey::CreateSubkey(const std::wstring& name, RegKey* out) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (out == this) return ERROR_INVALID_PARAMETER;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  return Create(mImpl->hive, JoinKeyPath(mImpl->path, name), out);
}

LONG RegKey::QueryValue(const std::wstring& name, RegValue* out) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  std::shared_ptr<const Key> root;
  LONG rc = HiveStore::Instance().Read(mImpl->hive, &root);
  if (rc != ERROR_SUCCESS) return rc;
  const Key* k = root->Find(mImpl->path);
  if (!k) return ERROR_KEY_DELETED;
  const regfile::Value* v = k->FindValue(name);
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (out) *out = RegValueFromBytes(v->type, v->data);
  return ERROR_SUCCESS;
}

LONG RegKey::SetValue(const std::wstring& name, const RegValue& value) {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  if (!ValidName(name)) return ERROR_INVALID_PARAMETER;
  std::vector<std::uint8_t> data = RegValueBytes(value);
  return HiveStore::Instance().Change(mImpl->hive, [&](Key& r, bool* changed) {
    Key* k = r.Find(mImpl->path);
    if (!k) return ERROR_KEY_DELETED;
    const regfile::Value* old = k->FindValue(name);
    if (old && old->type == value.type && old->data == data && old->name == name) return ERROR_SUCCESS;
    k->SetValue(name, value.type, data);
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegKey::DeleteValue(const std::wstring& name) {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  return HiveStore::Instance().Change(mImpl->hive, [&](Key& r, bool* changed) {
    Key* k = r.Find(mImpl->path);
    if (!k) return ERROR_KEY_DELETED;
    if (!k->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}

LONG RegKey::EnumSubkeys(std::vector<std::wstring>* names) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  std::shared_ptr<const Key> root;
  LONG rc = HiveStore::Instance().Read(mImpl->hive, &root);
  if (rc != ERROR_SUCCESS) return rc;
  const Key* k = root->Find(mImpl->path);
  if (!k) return ERROR_KEY_DELETED;
  names->clear();
  for (const auto& s : k->subkeys) names->push_back(s.name);
  return ERROR_SUCCESS;
}

LONG RegKey::EnumValues(std::vector<std::wstring>* names) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  std::shared_ptr<const Key> root;
  LONG rc = HiveStore::Instance().Read(mImpl->hive, &root);
  if (rc != ERROR_SUCCESS) return rc;
  const Key* k = root->Find(mImpl->path);
  if (!k) return ERROR_KEY_DELETED;
  names->clear();
  for (const auto& v : k->values) names->push_back(v.name);
  return ERROR_SUCCESS;
}

namespace {
LONG RemoveTree(Hive hive, const std::wstring& keyPath, const std::wstring& name) {
  return HiveStore::Instance().Change(hive, [&](Key& r, bool* changed) {
    Key* k = r.Find(keyPath);
    if (!k) return ERROR_KEY_DELETED;
    std::vector<std::wstring> parts = regfile::SplitPath(name);
    if (parts.empty()) {
      // Like RegDeleteTree with no sub-key: empty the key, keep the key.
      if (k->values.empty() && k->subkeys.empty()) return ERROR_SUCCESS;
      k->values.clear();
      k->subkeys.clear();
      *changed = true;
      return ERROR_SUCCESS;
    }
    std::wstring parentPath;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parentPath += parts[i] + L"\\";
    Key* parent = k->Find(parentPath);
    if (!parent || !parent->RemoveSubkey(parts.back())) return ERROR_FILE_NOT_FOUND;
    *changed = true;
    return ERROR_SUCCESS;
  });
}
}  // namespace

LONG RegKey::DeleteSubkeyTree(const std::wstring& name) {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  return RemoveTree(mImpl->hive, mImpl->path, name);
}

LONG DeleteKeyTree(Hive hive, const std::wstring& path) {
  // The hive itself cannot be deleted.
  if (regfile::SplitPath(path).empty()) return ERROR_ACCESS_DENIED;
  LONG rc = RemoveTree(hive, L"", path);
  return rc == ERROR_KEY_DELETED ? ERROR_FILE_NOT_FOUND : rc;
}

std::wstring RegistryHiveFile(Hive hive) { return FromUtf8(HivePath(hive)); }

RegBatch::RegBatch(Hive hive) : mHive(hive) { HiveStore::Instance().BeginBatch(hive); }

RegBatch::~RegBatch() {
  if (!mEnded) HiveStore::Instance().EndBatch(mHive, /*commit=*/false);
}

LONG RegBatch::Commit() {
  if (mEnded) return ERROR_INVALID_HANDLE;
  mEnded = true;
  return HiveStore::Instance().EndBatch(mHive, /*commit=*/true);
}

void SetRegistryBatching(bool enabled) { gBatching = enabled; }
std::uint64_t RegistryRewriteCount() { return gRewrites; }

}  // namespace platform
