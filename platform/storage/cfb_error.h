// Error codes and results of the structured storage layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform::storage {

enum class StgError {
    ok,
    file_not_found,    // the file is not there
    path_not_found,    // a folder on the way is not there
    access_denied,     // permissions, or a write through a read-only open
    share_violation,   // another open (this or another process) holds the file
    already_exists,    // an element of that name exists and replacing was not asked for
    not_found,         // no element of that name (or of that kind) in the storage
    invalid_name,      // empty, too long, bad characters or not valid UTF-8
    invalid_header,    // reserved for callers that tell "not a compound file" apart; the reader reports
                       // file_corrupt
    file_corrupt,      // damaged or hostile contents
    read_fault,        // the operating system failed a read
    write_fault,       // the operating system failed a write, sync or rename
    medium_full,       // no space left on the device or quota exceeded
    invalid_argument,  // a size or position the format cannot hold, a closed handle
};

// The code's name, e.g. "already_exists".
std::string_view to_string(StgError error);

// An error code and a message saying what failed and where.
class StgResult {
  public:
    StgResult() = default;
    StgResult(StgError error, std::string message) : error_(error), message_(std::move(message)) {}

    static StgResult success() { return {}; }

    bool ok() const { return error_ == StgError::ok; }
    explicit operator bool() const { return ok(); }
    StgError error() const { return error_; }
    const std::string& message() const { return message_; }
    // "file_corrupt: directory entry 7: sibling id 912 is out of range"
    std::string describe() const;

  private:
    StgError error_ = StgError::ok;
    std::string message_;
};

// A value or the failure that prevented it.
template <class T>
class StgOr {
  public:
    StgOr(T value) : value_(std::move(value)) {}              // NOLINT: implicit by design
    StgOr(StgResult failure) : result_(std::move(failure)) {  // NOLINT: implicit by design
        if (result_.ok()) result_ = StgResult(StgError::invalid_argument, "empty result");
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    StgError error() const { return result_.error(); }
    const StgResult& result() const { return result_; }
    std::string describe() const { return result_.describe(); }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }

  private:
    std::optional<T> value_;
    StgResult result_;
};

}  // namespace platform::storage
