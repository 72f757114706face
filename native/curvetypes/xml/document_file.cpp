#include "curvetypes/xml/document_file.h"

#include "common/errors.h"
#include "common/gil.h"
#include "curvetypes/module_state.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pykesta::curvetypes {

[[noreturn]] static void raise_errno(int error, PyObject* filename) {
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, filename);
    throw python_error{};
}

namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

struct FileId {
    dev_t device;
    ino_t inode;
    bool operator==(const FileId&) const = default;
};

// The files whose lock this thread holds. A save started from within another
// save of the same thread (an add or update override saving into the same
// file) goes ahead without the lock instead of waiting for its own caller.
thread_local std::vector<FileId> held_locks;

// Gives the file at fd the owner and group of `replaced`. A process without
// the privilege to give files away keeps its own (EPERM), the group too unless
// it belongs to that group.
int keep_owner(int fd, const struct stat& replaced) {
    if (::fchown(fd, replaced.st_uid, replaced.st_gid) == 0) return 0;
    if (errno == EPERM && ::fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) == 0) return 0;
    return errno == EPERM ? 0 : errno;
}

// A file in the target's folder, removed at scope exit unless renamed.
class TemporaryFile {
  public:
    TemporaryFile(const std::string& folder, PyObject* path) : path_(path) {
        static std::atomic<unsigned> counter;
        for (int attempt = 0; fd_.get() < 0; ++attempt) {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            char name[80];
            std::snprintf(name, sizeof name, "/.pykesta-%ld-%u-%lx.tmp",
                          static_cast<long>(getpid()), counter++,
                          static_cast<unsigned long>(now.tv_nsec));
            name_ = folder + name;
            fd_ = Descriptor(::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd_.get() < 0 && (errno != EEXIST || attempt == 100)) {
                int error = errno;
                name_.clear();
                raise_errno(error, path_);
            }
        }
    }
    ~TemporaryFile() {
        if (!name_.empty()) ::unlink(name_.c_str());
    }

    // Writes all of `data` and makes it durable, with the owner, group and mode
    // of the file it replaces (null: this process's and the umask's).
    void write_durably(const char* data, size_t size, const struct stat* replaced) {
        int error = 0;
        {
            // Blocking calls: other threads, the one holding the lock among them, go on.
            WithoutInterpreterLock unlocked;
            while (size > 0 && error == 0) {
                ssize_t written = ::write(fd_.get(), data, size);
                if (written >= 0) {
                    data += written;
                    size -= static_cast<size_t>(written);
                } else if (errno != EINTR) {
                    error = errno;
                }
            }
            // The owner first: fchown may clear the set-id bits that fchmod restores.
            if (error == 0 && replaced != nullptr) error = keep_owner(fd_.get(), *replaced);
            if (error == 0 && replaced != nullptr &&
                ::fchmod(fd_.get(), replaced->st_mode & 07777) != 0)
                error = errno;
            if (error == 0 && ::fsync(fd_.get()) != 0) error = errno;
            if (::close(fd_.release()) != 0 && error == 0) error = errno;
        }
        if (error != 0) raise_errno(error, path_);
    }

    // Renames the file to `target`, replacing whatever is there.
    void rename_to(const std::string& target) {
        if (::rename(name_.c_str(), target.c_str()) != 0) raise_errno(errno, path_);
        name_.clear();
    }

    // Gives the file the name `target` unless that name exists meanwhile
    // (false). Where hard links are not supported, renames it.
    bool create_as(const std::string& target) {
        if (::link(name_.c_str(), target.c_str()) == 0) return true;
        if (errno == EEXIST) return false;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) raise_errno(errno, path_);
        rename_to(target);
        return true;
    }

  private:
    PyObject* path_;
    std::string name_;
    Descriptor fd_;
};

} // namespace

static std::string folder_of(const std::string& file) {
    std::string::size_type slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// The file `path` leads to, as bytes for the system calls.
static std::string resolved(PyObject* path) {
    Ref os_path = Ref::steal(PyObject_GetAttrString(module_state().os.get(), "path"));
    Ref real = Ref::steal(PyObject_CallMethod(os_path.get(), "realpath", "O", path));
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(real.get(), &encoded)) throw python_error{};
    Ref bytes = Ref::steal(encoded);
    return {PyBytes_AS_STRING(bytes.get()), static_cast<size_t>(PyBytes_GET_SIZE(bytes.get()))};
}

static void lock_exclusively(int fd, PyObject* path) {
    for (;;) {
        int status, error;
        {
            WithoutInterpreterLock unlocked;
            status = ::flock(fd, LOCK_EX);
            error = errno;
        }
        if (status == 0) return;
        if (error != EINTR) raise_errno(error, path);
        check_status(PyErr_CheckSignals());
    }
}

DocumentFile::DocumentFile(PyObject* path) : path_(Ref::borrow(path)), target_(resolved(path)) {
    for (;;) {
        // As os.path.isfile: whatever cannot be examined counts as absent.
        if (::stat(target_.c_str(), &found_) != 0) {
            state_ = State::absent;
            return;
        }
        if (!S_ISREG(found_.st_mode)) {
            state_ = State::other;
            return;
        }
        state_ = State::regular;
        FileId id{found_.st_dev, found_.st_ino};
        if (std::ranges::find(held_locks, id) != held_locks.end()) return;

        // Opened for writing where allowed, as some file systems lock only such
        // descriptors; a read-only file is still locked, and refused at publish.
        writable_ = true;
        Descriptor fd(::open(target_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
        if (fd.get() < 0 && (errno == EACCES || errno == EROFS)) {
            writable_ = false;
            fd = Descriptor(::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        }
        if (fd.get() < 0) {
            if (errno == ENOENT) continue;
            raise_errno(errno, path);
        }
        lock_exclusively(fd.get(), path);
        // The save that held the lock before may have renamed a new version
        // over the file: then the lock to take is the new file's.
        struct stat locked, current;
        if (::fstat(fd.get(), &locked) != 0) raise_errno(errno, path);
        if (::stat(target_.c_str(), &current) != 0 || current.st_dev != locked.st_dev ||
            current.st_ino != locked.st_ino)
            continue;
        found_ = locked;
        held_locks.push_back({locked.st_dev, locked.st_ino});
        lock_fd_ = fd.release();
        return;
    }
}

DocumentFile::~DocumentFile() {
    if (lock_fd_ < 0) return;
    auto held = std::ranges::find(held_locks, FileId{found_.st_dev, found_.st_ino});
    if (held != held_locks.end()) held_locks.erase(held);
    ::close(lock_fd_); // releases the lock
}

// Makes a rename or link in `folder` durable; a file system that cannot sync
// a folder loses nothing but that guarantee.
static void sync_folder(const std::string& folder) {
    WithoutInterpreterLock unlocked;
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

bool DocumentFile::publish(PyObject* contents) {
    if (state_ == State::other) raise_errno(S_ISDIR(found_.st_mode) ? EISDIR : EEXIST, path_.get());
    if (!writable_) raise_errno(EACCES, path_.get());
    char* data;
    Py_ssize_t size;
    check_status(PyBytes_AsStringAndSize(contents, &data, &size));
    std::string folder = folder_of(target_);
    TemporaryFile temporary(folder, path_.get());
    bool replacing = state_ == State::regular;
    temporary.write_durably(data, static_cast<size_t>(size), replacing ? &found_ : nullptr);
    if (replacing) {
        temporary.rename_to(target_);
    } else if (!temporary.create_as(target_)) {
        return false;
    }
    sync_folder(folder);
    return true;
}

} // namespace pykesta::curvetypes
