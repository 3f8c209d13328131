// COM<n> to a tty path: the environment, then the registry store, then /dev/ttyS<n-1>.
#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/comm/comm.h"

#ifdef ZOR_COMM_HAS_REGISTRY
#include "platform/registry/registry.h"
#endif

namespace platform::comm {

namespace {

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The registry mapping: value "COM<n>" (a device path) under this key of HKEY_LOCAL_MACHINE.
constexpr std::string_view kRegistryKey = "\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::optional<std::string> from_registry([[maybe_unused]] int n) {
#ifdef ZOR_COMM_HAS_REGISTRY
    auto value = registry::query_value(registry::HKEY_LOCAL_MACHINE, kRegistryKey, "COM" + std::to_string(n));
    if (value && value->type == registry::DataType::string && !value->text.empty()) return value->text;
#endif
    return std::nullopt;
}

}  // namespace

int com_number(std::string_view name) {
    if (starts_with_nocase(name, "\\\\.\\")) name.remove_prefix(4);
    if (!starts_with_nocase(name, "COM")) return 0;
    name.remove_prefix(3);
    if (name.empty() || name.size() > 6) return 0;
    int n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<std::string> resolve_device_path(std::string_view name) {
    if (!name.empty() && name.front() == '/') return std::string(name);
    int n = com_number(name);
    if (n <= 0) return std::nullopt;
    std::string variable = "ZOR_COM" + std::to_string(n);
    if (const char* env = std::getenv(variable.c_str()); env != nullptr && *env != '\0')
        return std::string(env);
    if (auto mapped = from_registry(n)) return mapped;
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace platform::comm
