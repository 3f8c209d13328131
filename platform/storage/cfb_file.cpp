// CompoundFile: opening, locking, loading and committing files on disk.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/storage/cfb_tree.h"

namespace platform::storage {

namespace {

std::string errno_text(int err) {
    return std::strerror(err);
}

std::string parent_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

StgResult open_error(const std::string& path, int err, bool writing) {
    switch (err) {
        case ENOENT: {
            struct stat st {};
            if (::stat(parent_of(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                return StgResult(StgError::path_not_found, "folder of \"" + path + "\" does not exist");
            }
            return StgResult(StgError::file_not_found, "\"" + path + "\" does not exist");
        }
        case ENOTDIR:
        case ENAMETOOLONG:
            return StgResult(StgError::path_not_found, "bad path \"" + path + "\": " + errno_text(err));
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return StgResult(StgError::access_denied, "\"" + path + "\": " + errno_text(err));
        case EEXIST:
            return StgResult(StgError::already_exists, "\"" + path + "\" already exists");
        case ENOSPC:
        case EDQUOT:
            return StgResult(StgError::medium_full, "\"" + path + "\": " + errno_text(err));
        default:
            return StgResult(writing ? StgError::write_fault : StgError::read_fault,
                             "\"" + path + "\": " + errno_text(err));
    }
}

StgResult write_error(const std::string& what, int err) {
    if (err == ENOSPC || err == EDQUOT) {
        return StgResult(StgError::medium_full, what + ": " + errno_text(err));
    }
    return StgResult(StgError::write_fault, what + ": " + errno_text(err));
}

// What a file that is no regular file is, in words; "" for a regular file.
std::string kind_of_special_file(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "no regular file";
}

// Opens and exclusively locks path. The open never waits (a FIFO without a writer, a terminal
// or a device would block a blocking open or its reads for ever), and only a regular file is
// kept. The lock is only good if the path still names the locked inode afterwards (a commit
// may have renamed a new file into place meanwhile), so that is checked and the open retried.
StgOr<int> open_locked(const std::string& path, int flags, bool writing) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
        if (fd < 0) return open_error(path, errno, writing);
        struct stat opened {};
        if (::fstat(fd, &opened) != 0) {
            int err = errno;
            ::close(fd);
            return open_error(path, err, writing);
        }
        if (const std::string kind = kind_of_special_file(opened.st_mode); !kind.empty()) {
            ::close(fd);
            return StgResult(StgError::access_denied,
                             "\"" + path + "\" is " + kind + ", not a document file");
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) {
                return StgResult(StgError::share_violation, "\"" + path + "\" is open elsewhere");
            }
            return StgResult(StgError::access_denied, "cannot lock \"" + path + "\": " + errno_text(err));
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            return fd;
        }
        ::close(fd);
    }
    return StgResult(StgError::share_violation, "\"" + path + "\" keeps being replaced");
}

// Counts the steps of one commit and asks the hook about each.
class IoSteps {
  public:
    explicit IoSteps(const IoHook& hook) : hook_(hook) {}
    int ask(IoStep step) { return hook_ ? hook_(step, next_++) : 0; }

  private:
    const IoHook& hook_;
    std::size_t next_ = 0;
};

constexpr std::size_t kWriteChunk = 64 * 1024;

StgResult write_chunk(int fd, const std::uint8_t* data, std::size_t size, const std::string& what) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return write_error(what, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

StgResult write_all(int fd, const std::vector<std::uint8_t>& bytes, const std::string& what, IoSteps& steps) {
    for (std::size_t off = 0; off < bytes.size(); off += kWriteChunk) {
        std::size_t size = std::min(kWriteChunk, bytes.size() - off);
        if (int injected = steps.ask(IoStep::write)) {
            // What a filling disk does: part of the chunk lands, then the error.
            (void)write_chunk(fd, bytes.data() + off, size / 2, what);
            return write_error(what, injected);
        }
        if (auto r = write_chunk(fd, bytes.data() + off, size, what); !r) return r;
    }
    if (int injected = steps.ask(IoStep::sync)) return write_error(what, injected);
    if (::fsync(fd) != 0) return write_error(what, errno);
    return {};
}

std::string base_name(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes "<name>.tmpXXXXXX" files beside path that a crashed commit left. Only the holder of
// the file's lock commits, and the caller holds it, so any such file is stale; one that is
// locked all the same is left alone.
void remove_stale_temps(const std::string& path) {
    const std::string prefix = base_name(path) + ".tmp";
    const std::string folder = parent_of(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            stale.push_back(folder + "/" + name);
        }
    }
    ::closedir(dir);
    for (const auto& file : stale) {
        // Never waits on a FIFO of that name; only a regular file is a temp of ours.
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat st {};
        const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        if (regular && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(file.c_str());
        ::close(fd);
    }
}

StgOr<std::vector<std::uint8_t>> read_whole(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return StgResult(StgError::read_fault, "\"" + path + "\": " + errno_text(errno));
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return StgResult(StgError::read_fault, "\"" + path + "\": " + errno_text(errno));
        }
        if (n == 0) break;  // shrunk meanwhile; what is there is parsed
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace

CompoundFile::CompoundFile(CompoundFile&& other) noexcept {
    *this = std::move(other);
}

CompoundFile& CompoundFile::operator=(CompoundFile&& other) noexcept {
    if (this != &other) {
        close();
        root_node_ = std::move(other.root_node_);
        access_ = std::move(other.access_);
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        io_hook_ = std::move(other.io_hook_);
        other.fd_ = -1;
        other.root_node_.reset();
    }
    return *this;
}

CompoundFile::~CompoundFile() {
    close();
}

void CompoundFile::close() {
    if (access_) access_->closed = true;
    if (fd_ >= 0) ::close(fd_);  // also drops the lock
    fd_ = -1;
    root_node_.reset();
    access_.reset();
    path_.clear();
}

CompoundFile CompoundFile::create_in_memory() {
    CompoundFile file;
    file.root_node_ = detail::new_root();
    file.access_ = std::make_shared<detail::Access>();
    file.access_->writable = true;
    return file;
}

StgOr<CompoundFile> CompoundFile::create(const std::string& path, bool replace_existing) {
    if (path.empty()) return StgResult(StgError::invalid_argument, "empty path");
    // Lock the name first (a holder elsewhere means share_violation), then write the empty file
    // the way a commit does, so an existing file is replaced whole or not at all.
    bool made = true;
    auto fd = open_locked(path, O_RDWR | O_CREAT | O_EXCL, true);
    if (!fd && fd.error() == StgError::already_exists && replace_existing) {
        made = false;
        fd = open_locked(path, O_RDWR | O_CREAT, true);
    }
    if (!fd) return fd.result();
    CompoundFile file = create_in_memory();
    file.fd_ = *fd;
    file.path_ = path;
    if (auto r = file.write_file(); !r) {
        if (made) ::unlink(path.c_str());
        return r;
    }
    return file;
}

StgOr<CompoundFile> CompoundFile::open(const std::string& path, Mode mode) {
    if (path.empty()) return StgResult(StgError::invalid_argument, "empty path");
    bool writing = mode == Mode::read_write;
    auto fd = open_locked(path, writing ? O_RDWR : O_RDONLY, false);
    if (!fd) return fd.result();
    CompoundFile file;
    file.fd_ = *fd;  // closed by file's destructor on every failure below
    auto bytes = read_whole(file.fd_, path);
    if (!bytes) return bytes.result();
    auto root = detail::parse_compound_file(*bytes);
    if (!root) return StgResult(root.error(), "\"" + path + "\": " + root.result().message());
    file.root_node_ = std::move(*root);
    file.access_ = std::make_shared<detail::Access>();
    file.access_->writable = writing;
    file.path_ = path;
    return file;
}

StgOr<CompoundFile> CompoundFile::open_bytes(std::span<const std::uint8_t> bytes) {
    auto root = detail::parse_compound_file(bytes);
    if (!root) return root.result();
    CompoundFile file;
    file.root_node_ = std::move(*root);
    file.access_ = std::make_shared<detail::Access>();
    file.access_->writable = true;
    return file;
}

Storage CompoundFile::root() const {
    return Storage(root_node_, access_);
}

std::vector<std::uint8_t> CompoundFile::to_bytes() const {
    if (!root_node_) return detail::serialize_compound_file(*detail::new_root());
    return detail::serialize_compound_file(*root_node_);
}

StgResult CompoundFile::commit() {
    if (!root_node_) return StgResult(StgError::invalid_argument, "the compound file is not open");
    if (!access_->writable) {
        return StgResult(StgError::access_denied, "the compound file is open read-only");
    }
    if (path_.empty()) return {};  // held in memory only
    return write_file();
}

StgResult CompoundFile::write_file() {
    const auto bytes = to_bytes();
    if (auto check = validate_compound_file(bytes); !check) {
        return StgResult(StgError::write_fault,
                         "the laid-out file fails its check, nothing was written: " + check.message());
    }
    IoSteps steps(io_hook_);
    // A new file beside the old one, locked before it becomes visible under the name.
    std::string temp = path_ + ".tmpXXXXXX";
    if (int injected = steps.ask(IoStep::create_temp)) return open_error(temp, injected, true);
    int tfd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (tfd < 0) return open_error(temp, errno, true);
    auto fail = [&](StgResult r) {
        ::close(tfd);
        ::unlink(temp.c_str());
        return r;
    };
    struct stat st {};
    if (::fstat(fd_, &st) == 0) (void)::fchmod(tfd, st.st_mode & 07777);
    if (::flock(tfd, LOCK_EX | LOCK_NB) != 0) {
        return fail(StgResult(StgError::write_fault, "cannot lock \"" + temp + "\": " + errno_text(errno)));
    }
    if (auto r = write_all(tfd, bytes, "\"" + temp + "\"", steps); !r) return fail(r);
    if (int injected = steps.ask(IoStep::rename)) {
        return fail(write_error("rename to \"" + path_ + "\"", injected));
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        return fail(write_error("rename to \"" + path_ + "\"", errno));
    }
    // The new file is in place and locked through tfd; the old inode and its lock can go.
    ::close(fd_);
    fd_ = tfd;
    remove_stale_temps(path_);
    int err = steps.ask(IoStep::sync_folder);
    if (err == 0) {
        int dfd = ::open(parent_of(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            if (::fsync(dfd) != 0) err = errno;  // makes the rename itself durable
            ::close(dfd);
        }
    }
    if (err != 0) {
        return write_error("the new \"" + path_ +
                               "\" is in place, but its folder could not be synced (a power loss may "
                               "bring back the old one)",
                           err);
    }
    return {};
}

}  // namespace platform::storage
