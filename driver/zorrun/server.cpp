#include "driver/zorrun/server.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "driver/zorrun/tizor.h"
#include "platform/com/activation.h"
#include "platform/com/bus.h"

namespace zorrun {

namespace com = platform::com;

namespace {

std::uint32_t class_cookie = 0;

}  // namespace

std::string own_program_path() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

std::string service_file_path() {
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        data = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    return data + "/dbus-1/services/" + izor::bus_name + ".service";
}

std::string service_file_text(const std::string& program_path) {
    // The bus splits Exec as a shell would; a path with other characters goes in single quotes.
    const bool plain = std::all_of(program_path.begin(), program_path.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._+-", c);
    });
    std::string exec;
    if (plain) {
        exec = program_path;
    } else {
        exec = "'";
        for (char c : program_path) exec += (c == '\'') ? std::string("'\\''") : std::string(1, c);
        exec += "'";
    }
    return "[D-BUS Service]\nName=" + std::string(izor::bus_name) + "\nExec=" + exec + "\n";
}

namespace {

com::HRESULT write_service_file(const std::string& program_path, std::string& error) {
    const std::string path = service_file_path();
    if (path.empty()) {
        error = "neither XDG_DATA_HOME nor HOME is set: no place for the bus service file";
        return com::E_FAIL;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    // Written beside and renamed over, so the bus never reads half a file.
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << service_file_text(program_path);
        out.close();
        if (!out) {
            error = "cannot write " + temporary + ": " + std::strerror(errno);
            fs::remove(temporary, ec);
            return com::E_FAIL;
        }
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        fs::remove(temporary, ec);
        return com::E_FAIL;
    }
    return com::S_OK;
}

}  // namespace

com::HRESULT register_server(const std::string& program_path, std::string& error) {
    if (program_path.empty() || program_path.front() != '/' || program_path.find('\n') != std::string::npos) {
        error = "not an absolute program path: " + program_path;
        return com::E_INVALIDARG;
    }
    if (const com::HRESULT hr = izor::register_server(program_path); com::failed(hr)) {
        error = "cannot write the class registration into the settings store";
        return hr;
    }
    return write_service_file(program_path, error);
}

com::HRESULT unregister_server(std::string& error) {
    const com::HRESULT hr = izor::unregister_server();
    if (com::failed(hr)) error = "cannot remove the class registration from the settings store";
    const std::string path = service_file_path();
    std::error_code ec;
    if (!path.empty() && !std::filesystem::remove(path, ec) && ec) {
        error = "cannot remove " + path + ": " + ec.message();
        return com::E_FAIL;
    }
    return hr;
}

com::HRESULT start_serving() {
    if (const com::HRESULT hr = com::join_session_bus(); com::failed(hr)) return hr;
    com::ComPtr<com::IClassFactory> factory = make_tizor_factory();
    return izor::register_class_object(factory.get(), &class_cookie);
}

void stop_serving() {
    if (class_cookie) com::co_revoke_class_object(class_cookie);
    class_cookie = 0;
    com::leave_session_bus();
}

}  // namespace zorrun
