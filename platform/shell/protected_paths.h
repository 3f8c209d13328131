// Inside the shell unit: the checks of protected_paths.cpp for callers that look at many
// entries of one folder.
#pragma once

#include <optional>
#include <string>

namespace platform::shell {

// The path with every link resolved, or its normalised spelling when it cannot be resolved.
std::string real_or_normal(const std::string& path);
// change_refused for an entry of a folder whose real path (real_or_normal) the caller has:
// one resolution per folder rather than one per entry.
std::optional<std::string> change_refused(const std::string& path, const std::string& real_folder);

}  // namespace platform::shell
