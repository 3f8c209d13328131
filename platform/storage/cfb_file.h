// Compound files: a file system inside one file, made of storages (folders) and streams
// (byte sequences), in the 512-byte-sector layout (version 3) that other tools read.
//
// The whole file is loaded into an in-memory tree when it is opened; changes live in that tree
// until commit() writes the whole file again: to a temp file in the same folder, fsync, rename,
// fsync of the folder. The rename is the one moment the file changes, so a failure or a crash
// anywhere in a commit leaves either the complete old file or the complete new one, never a
// mix; writing in place could not promise that without a journal of its own. Temp files that a
// crashed commit left behind are removed by the next commit. Dropping a CompoundFile without
// commit() discards the changes.
//
// Sharing is exclusive: an open takes flock(LOCK_EX | LOCK_NB) on the file, so a second open of
// the same file, from this process or another, fails with share_violation. commit() takes the
// lock on the new file before renaming it into place and keeps it; an opener that raced with a
// rename notices the path now names another inode and retries on the new one.
//
// Names are UTF-8 here and UTF-16 in the file: 1 to 31 UTF-16 units, no NUL, '/', '\\', ':', '!'
// (control characters such as the leading 0x05 of property set streams are allowed). Look-ups
// ignore case (Latin, Greek and Cyrillic letters, by their simple upper-case forms).
//
// Handles (Storage, Stream) are cheap to copy and share the tree; one CompoundFile and its
// handles are used from one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/storage/cfb_error.h"

namespace platform::storage {

namespace detail {
struct Node;
struct Access;
}  // namespace detail

enum class Mode { read_only, read_write };
enum class ElementKind { storage, stream };
enum class SeekOrigin { begin, current, end };

// The system calls a commit (and create) makes, in order: create_temp, then write (once per
// chunk of at most 64 KiB), sync, rename, sync_folder.
enum class IoStep { create_temp, write, sync, rename, sync_folder };
// Called before each step with the step and its number within this commit (from 0). Returning
// 0 lets the step run; an errno value fails it with that error as if the system had returned it
// (a failed write first writes half of its chunk, as a disk that fills up does). Tests use it
// to fail the Nth write, or to end the process there.
using IoHook = std::function<int(IoStep step, std::size_t index)>;

struct ElementInfo {
    std::string name;  // UTF-8
    ElementKind kind = ElementKind::stream;
    std::uint64_t size = 0;  // bytes of a stream; 0 for a storage
};

class Stream {
  public:
    Stream() = default;

    std::string name() const;
    // Reads up to n bytes at the position and moves it on; returns the count (0 at the end).
    std::size_t read(void* buffer, std::size_t n);
    // Writes n bytes at the position (growing the stream, zero-filling a gap) and moves it on.
    StgResult write(const void* data, std::size_t n);
    // Any position is allowed; reads past the end return 0, writes there grow the stream.
    StgResult seek(std::uint64_t position);
    // Moves relative to the start, the position or the end; invalid_argument (position kept)
    // when the result would be negative. Returns the new position.
    StgOr<std::uint64_t> seek(std::int64_t offset, SeekOrigin origin);
    std::uint64_t position() const { return position_; }
    std::uint64_t size() const;
    // Truncates or zero-extends; the position is kept.
    StgResult set_size(std::uint64_t size);
    // The whole contents, whatever the position.
    std::vector<std::uint8_t> read_all() const;

  private:
    friend class Storage;
    Stream(std::shared_ptr<detail::Node> node, std::shared_ptr<detail::Access> access)
        : node_(std::move(node)), access_(std::move(access)) {}
    StgResult check_writable() const;

    std::shared_ptr<detail::Node> node_;
    std::shared_ptr<detail::Access> access_;
    std::uint64_t position_ = 0;
};

class Storage {
  public:
    Storage() = default;

    std::string name() const;
    StgOr<Storage> open_storage(std::string_view name) const;
    // already_exists when an element of that name exists.
    StgOr<Storage> create_storage(std::string_view name);
    StgOr<Stream> open_stream(std::string_view name) const;
    // An existing element of that name: replaced (by an empty stream) when replace_existing,
    // otherwise already_exists.
    StgOr<Stream> create_stream(std::string_view name, bool replace_existing);
    // Removes a stream, or a storage with everything in it; handles to it stop working.
    StgResult destroy_element(std::string_view name);
    // The direct children, in the order the file keeps them (shorter names first).
    std::vector<ElementInfo> elements() const;
    std::vector<ElementInfo> enumerate() const { return elements(); }
    // The class id stored with the storage (all zero unless a file set one).
    std::array<std::uint8_t, 16> clsid() const;

  private:
    friend class CompoundFile;
    Storage(std::shared_ptr<detail::Node> node, std::shared_ptr<detail::Access> access)
        : node_(std::move(node)), access_(std::move(access)) {}
    StgResult check_writable() const;

    std::shared_ptr<detail::Node> node_;
    std::shared_ptr<detail::Access> access_;
};

class CompoundFile {
  public:
    CompoundFile() = default;
    CompoundFile(CompoundFile&&) noexcept;
    CompoundFile& operator=(CompoundFile&&) noexcept;
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;
    ~CompoundFile();

    // Creates (or, when replace_existing, truncates) the file, locks it and writes an empty
    // compound file to it; opened read-write.
    static StgOr<CompoundFile> create(const std::string& path, bool replace_existing = true);
    static StgOr<CompoundFile> open(const std::string& path, Mode mode);
    // A read-write compound file held in memory only: commit() is a no-op, to_bytes() saves it.
    static StgOr<CompoundFile> open_bytes(std::span<const std::uint8_t> bytes);
    // A new, empty compound file in memory.
    static CompoundFile create_in_memory();

    bool is_open() const { return static_cast<bool>(root_node_); }
    Storage root() const;
    // The file as it would be written by commit().
    std::vector<std::uint8_t> to_bytes() const;
    // Writes the whole file; access_denied when opened read-only. The laid-out bytes pass
    // validate_compound_file() before anything is written. On a failure before the rename the
    // file on disk is the old one, the tree keeps the changes and the lock is still held, so
    // commit() may be retried; a failure to sync the folder after the rename is reported as
    // write_fault with the new file already in place.
    StgResult commit();
    // Installs (or, with an empty function, removes) the hook for this file's later commits.
    void set_io_hook(IoHook hook) { io_hook_ = std::move(hook); }
    // Releases the file and its lock; handles keep the tree but can no longer change it.
    void close();

  private:
    StgResult write_file();

    std::shared_ptr<detail::Node> root_node_;
    std::shared_ptr<detail::Access> access_;
    std::string path_;
    int fd_ = -1;
    IoHook io_hook_;
};

// The same entry points under the names the rest of the platform uses.
inline StgOr<CompoundFile> create_compound_file(const std::string& path) {
    return CompoundFile::create(path);
}
inline StgOr<CompoundFile> open_compound_file(const std::string& path, Mode mode) {
    return CompoundFile::open(path, mode);
}

// A strict check of a whole compound file, stricter than opening it: every sector belongs to
// exactly one chain or is marked free, FAT and DIFAT sectors are marked as such, chains are as
// long as their contents need, header counts match, every directory entry is reachable once,
// sibling trees are red-black trees in name order, unused entries and fields are clear. Run
// after every write (commit() does, the tests do on every saved buffer); it also serves as the
// integrity check after a crash. file_corrupt with the first problem found. Every walk is
// bounded by the file's own size, so hostile input ends quickly too.
StgResult validate_compound_file(std::span<const std::uint8_t> bytes);

}  // namespace platform::storage
