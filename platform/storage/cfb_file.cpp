// CompoundFile: opening, locking, loading and committing files on disk.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/storage/cfb_tree.h"

namespace platform::storage {

namespace {

std::string errno_text(int err) { return std::strerror(err); }

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

// Opens and exclusively locks path. The lock is only good if the path still names the locked
// inode afterwards (a commit may have renamed a new file into place meanwhile), so that is
// checked and the open retried.
StgOr<int> open_locked(const std::string& path, int flags, bool writing) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) return open_error(path, errno, writing);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) {
        return StgResult(StgError::share_violation, "\"" + path + "\" is open elsewhere");
      }
      return StgResult(StgError::access_denied, "cannot lock \"" + path + "\": " + errno_text(err));
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      if (S_ISDIR(held.st_mode)) {
        ::close(fd);
        return StgResult(StgError::access_denied, "\"" + path + "\" is a folder");
      }
      return fd;
    }
    ::close(fd);
  }
  return StgResult(StgError::share_violation, "\"" + path + "\" keeps being replaced");
}

StgResult write_all(int fd, const std::vector<std::uint8_t>& bytes, const std::string& what) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return write_error(what, errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return write_error(what, errno);
  return {};
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

CompoundFile::CompoundFile(CompoundFile&& other) noexcept { *this = std::move(other); }

CompoundFile& CompoundFile::operator=(CompoundFile&& other) noexcept {
  if (this != &other) {
    close();
    root_node_ = std::move(other.root_node_);
    access_ = std::move(other.access_);
    path_ = std::move(other.path_);
    fd_ = other.fd_;
    other.fd_ = -1;
    other.root_node_.reset();
  }
  return *this;
}

CompoundFile::~CompoundFile() { close(); }

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
  int flags = O_RDWR | O_CREAT | (replace_existing ? 0 : O_EXCL);
  auto fd = open_locked(path, flags, true);
  if (!fd) return fd.result();
  CompoundFile file = create_in_memory();
  file.fd_ = *fd;
  file.path_ = path;
  if (::ftruncate(file.fd_, 0) != 0) return write_error("\"" + path + "\"", errno);
  if (auto r = write_all(file.fd_, file.to_bytes(), "\"" + path + "\""); !r) return r;
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

Storage CompoundFile::root() const { return Storage(root_node_, access_); }

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

  // A new file beside the old one, locked before it becomes visible under the name.
  std::string temp = path_ + ".tmpXXXXXX";
  int tfd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (tfd < 0) return open_error(temp, errno, true);
  auto fail = [&](StgResult r) {
    ::close(tfd);
    ::unlink(temp.c_str());
    return r;
  };
  struct stat st {};
  if (::fstat(fd_, &st) == 0) ::fchmod(tfd, st.st_mode & 07777);
  if (::flock(tfd, LOCK_EX | LOCK_NB) != 0) {
    return fail(StgResult(StgError::write_fault, "cannot lock \"" + temp + "\": " + errno_text(errno)));
  }
  if (auto r = write_all(tfd, to_bytes(), "\"" + temp + "\""); !r) return fail(r);
  if (::rename(temp.c_str(), path_.c_str()) != 0) {
    return fail(write_error("rename to \"" + path_ + "\"", errno));
  }
  int dfd = ::open(parent_of(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);  // makes the rename itself durable
    ::close(dfd);
  }
  ::close(fd_);
  fd_ = tfd;
  return {};
}

}  // namespace platform::storage
