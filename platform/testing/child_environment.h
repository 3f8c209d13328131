// The environment a test starts a child program with: this process's own, with some variables
// replaced. Made before the fork, because the child of a threaded process may only exec.
#pragma once

#include <string>
#include <vector>

extern char** environ;

namespace zor_testing {

class ChildEnvironment {
  public:
    // `changes` are "NAME=value" entries; each replaces the variable of its name, if any.
    explicit ChildEnvironment(const std::vector<std::string>& changes = {}) {
        const auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            bool replaced = false;
            for (const std::string& change : changes)
                replaced = replaced || name_of(change) == name_of(entry);
            if (!replaced) entries_.push_back(entry);
        }
        entries_.insert(entries_.end(), changes.begin(), changes.end());
        for (std::string& entry : entries_) pointers_.push_back(entry.data());
        pointers_.push_back(nullptr);
    }
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;

    // For execve: valid as long as this object.
    char* const* envp() const { return pointers_.data(); }

  private:
    std::vector<std::string> entries_;
    std::vector<char*> pointers_;
};

}  // namespace zor_testing
