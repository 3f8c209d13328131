// A second process for the store tests. It writes through the registry API and reports each write
// that has returned by printing its number on a line of its own on standard output.
//
//   registry_child write TAG COUNT    COUNT open-write-close cycles: "\Stress" value "TAG<i>" = i
//   registry_child batch RUN COUNT    COUNT batches, each in one transaction: key "\Crash\RUN\i<i>"
//                                     and the values "a".."h" = i plus a 4 KB string in "\Crash\RUN"
// The store is the one ZOR_REGISTRY names. Exit code 0 when every write succeeded.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry/registry.h"

namespace reg = platform::registry;

namespace {

void report(long i) {
    std::string line = std::to_string(i) + "\n";
    if (::write(STDOUT_FILENO, line.data(), line.size()) < 0) std::_Exit(3);
}

int write_values(const std::string& tag, long count) {
    for (long i = 0; i < count; ++i) {
        reg::Registry r(reg::HKEY_CURRENT_USER);
        if (!r.open_key("\\Stress", true)) {
            std::fprintf(stderr, "registry_child: cannot open \\Stress: %s\n",
                         reg::last_store_error().c_str());
            return 1;
        }
        r.write_integer(tag + std::to_string(i), static_cast<std::int32_t>(i));
        r.close_key();
        report(i);
    }
    return 0;
}

int write_batches(const std::string& run, long count) {
    const std::string key = "Crash\\" + run;
    const std::string filler(4096, 'f');
    for (long i = 0; i < count; ++i) {
        reg::WriteBatch batch;
        batch.create_key(reg::HKEY_CURRENT_USER, key + "\\i" + std::to_string(i));
        for (char name = 'a'; name <= 'h'; ++name) {
            batch.set_integer(reg::HKEY_CURRENT_USER, key, std::string(1, name),
                              static_cast<std::int32_t>(i));
        }
        batch.set_string(reg::HKEY_CURRENT_USER, key, "filler", filler + std::to_string(i));
        if (!batch.commit()) return 1;
        report(i);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s write TAG COUNT | batch RUN COUNT\n", argv[0]);
        return 2;
    }
    std::string mode = argv[1];
    long count = std::strtol(argv[3], nullptr, 10);
    try {
        if (mode == "write") return write_values(argv[2], count);
        if (mode == "batch") return write_batches(argv[2], count);
    } catch (const reg::RegistryError& e) {
        std::fprintf(stderr, "registry_child: %s\n", e.what());
        return 1;
    }
    return 2;
}
