#include "platform/storage/cfb_error.h"

namespace platform::storage {

std::string_view to_string(StgError error) {
    switch (error) {
        case StgError::ok:
            return "ok";
        case StgError::file_not_found:
            return "file_not_found";
        case StgError::path_not_found:
            return "path_not_found";
        case StgError::access_denied:
            return "access_denied";
        case StgError::share_violation:
            return "share_violation";
        case StgError::already_exists:
            return "already_exists";
        case StgError::not_found:
            return "not_found";
        case StgError::invalid_name:
            return "invalid_name";
        case StgError::invalid_header:
            return "invalid_header";
        case StgError::file_corrupt:
            return "file_corrupt";
        case StgError::read_fault:
            return "read_fault";
        case StgError::write_fault:
            return "write_fault";
        case StgError::medium_full:
            return "medium_full";
        case StgError::invalid_argument:
            return "invalid_argument";
    }
    return "unknown";
}

std::string StgResult::describe() const {
    std::string text(to_string(error_));
    if (!message_.empty()) {
        text += ": ";
        text += message_;
    }
    return text;
}

}  // namespace platform::storage
