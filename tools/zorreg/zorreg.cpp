#include "tools/zorreg/zorreg.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <ostream>

#include "platform/registry/registry.h"
#include "tools/zorreg/cp1252.h"

namespace zorreg {
namespace {

namespace reg = platform::registry;

constexpr const char* kUsage =
    "zorreg: edits the Zor registry store (the file named by ZOR_REGISTRY, else\n"
    "$XDG_CONFIG_HOME/zor/registry.db, else ~/.config/zor/registry.db).\n"
    "\n"
    "  zorreg query  KEY [/v NAME | /ve] [/s]\n"
    "  zorreg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_BINARY] [/d DATA] [/f]\n"
    "  zorreg delete KEY [/v NAME | /ve | /va] /f\n"
    "\n"
    "KEY     ROOT\\PATH, ROOT one of HKCU, HKLM, HKCR (or HKEY_CURRENT_USER, ...)\n"
    "/v      the value NAME; /ve the default (unnamed) value; /va every value of the key\n"
    "/s      query the key and all its subkeys\n"
    "/t /d   the type (REG_SZ when not given) and data of the value to add;\n"
    "        REG_DWORD data is decimal or 0x hexadecimal, REG_BINARY data hexadecimal digits\n"
    "/f      overwrite an existing value / delete without asking (required: zorreg never asks)\n"
    "add without /v creates the key only; delete without /v deletes the key with its subkeys.\n";

constexpr const char* kNotFound = "The system was unable to find the specified registry key or value.";
constexpr const char* kDone = "The operation completed successfully.";

struct Failure {
    std::string message;
};

struct Options {
    std::string command;
    std::string key_arg;  // as typed (UTF-8), for messages
    reg::RootKey root = reg::HKEY_CURRENT_USER;
    std::string path;  // Windows-1252, without the root and without a leading "\"
    std::optional<std::string> value_name;
    bool all_values = false;
    std::optional<std::string> type;
    std::optional<std::string> data;
    bool force = false;
    bool recursive = false;
};

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string to_store(const std::string& utf8, const char* what) {
    std::string bad;
    auto text = utf8_to_cp1252(utf8, &bad);
    if (!text) {
        throw Failure{std::string(what) + " '" + utf8 + "' holds " + bad +
                      ", which the store cannot hold: its names and texts are Windows-1252"};
    }
    return *text;
}

void parse_key(Options& o, const std::string& arg) {
    o.key_arg = arg;
    std::string key = to_store(arg, "the key");
    std::size_t cut = key.find('\\');
    auto root = reg::parse_root_name(key.substr(0, cut));
    if (!root) throw Failure{"invalid key name '" + arg + "': begin it with HKCU, HKLM or HKCR"};
    o.root = *root;
    o.path = cut == std::string::npos ? std::string() : key.substr(cut + 1);
    while (!o.path.empty() && o.path.back() == '\\') o.path.pop_back();
    std::size_t start = 0;
    while (!o.path.empty() && start <= o.path.size()) {
        std::size_t end = o.path.find('\\', start);
        if (end == std::string::npos) end = o.path.size();
        std::size_t len = end - start;
        if (len == 0 || len > 255) {
            throw Failure{"invalid key path '" + arg +
                          "': key names are 1 to 255 bytes, between single \"\\\""};
        }
        start = end + 1;
    }
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    o.command = lower(args[0]);
    if (o.command != "query" && o.command != "add" && o.command != "delete") {
        throw Failure{"unknown command '" + args[0] + "': use query, add or delete (zorreg /? tells more)"};
    }
    bool have_key = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool is_switch = a.size() >= 2 && (a[0] == '/' || a[0] == '-');
        if (!is_switch) {
            if (have_key)
                throw Failure{"Invalid syntax: more than one key ('" + o.key_arg + "', '" + a + "')"};
            parse_key(o, a);
            have_key = true;
            continue;
        }
        std::string sw = lower(a.substr(1));
        auto operand = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw Failure{"Invalid syntax: " + a + " needs a word after it"};
            return args[++i];
        };
        if (sw == "v") {
            o.value_name = to_store(operand(), "the value name");
        } else if (sw == "ve") {
            o.value_name = std::string();
        } else if (sw == "va" && o.command == "delete") {
            o.all_values = true;
        } else if (sw == "t" && o.command == "add") {
            o.type = operand();
        } else if (sw == "d" && o.command == "add") {
            o.data = to_store(operand(), "the data");
        } else if (sw == "f" && o.command != "query") {
            o.force = true;
        } else if (sw == "s" && o.command == "query") {
            o.recursive = true;
        } else {
            throw Failure{"Invalid syntax: " + a + " is not a switch of " + o.command};
        }
    }
    if (!have_key)
        throw Failure{"Invalid syntax: " + o.command + " needs a key, such as HKCU\\SOFTWARE\\Hox"};
    if (o.value_name && o.all_values) throw Failure{"Invalid syntax: /va goes without /v and /ve"};
    if ((o.type || o.data) && !o.value_name)
        throw Failure{"Invalid syntax: /t and /d go with /v NAME or /ve"};
    return o;
}

std::string display_key(const Options& o, const std::string& stored_path) {
    std::string name(reg::root_name(o.root));
    if (!stored_path.empty()) name += "\\" + cp1252_to_utf8(stored_path);
    return name;
}

std::string hex_bytes(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string value_line(const reg::Value& v) {
    std::string data;
    switch (v.type) {
        case reg::DataType::integer: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v.integer));
            data = buf;
            break;
        }
        case reg::DataType::binary:
            data = hex_bytes(v.text);
            break;
        default:
            data = cp1252_to_utf8(v.text);
            break;
    }
    std::string name = v.name.empty() ? "(Default)" : cp1252_to_utf8(v.name);
    return "    " + name + "    " + std::string(reg::data_type_name(v.type)) + "    " + data;
}

std::string quoted_value(const Options& o) {
    return o.value_name->empty() ? std::string("the default value")
                                 : "the value '" + cp1252_to_utf8(*o.value_name) + "'";
}

reg::Value parse_value(const Options& o) {
    reg::Value v;
    v.name = *o.value_name;
    std::string type = o.type ? *o.type : "REG_SZ";
    std::string upper = type;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    std::string data = o.data.value_or("");
    if (upper == "REG_SZ") {
        v.type = reg::REG_SZ;
        v.text = data;
    } else if (upper == "REG_DWORD") {
        v.type = reg::REG_DWORD;
        std::string_view digits = data;
        bool negative = !digits.empty() && digits.front() == '-';
        if (negative) digits.remove_prefix(1);
        int base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        long long n = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
        if (data.empty()) {
            n = 0;
        } else if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
                   n > 0xFFFFFFFFLL || (negative && n > 0x80000000LL)) {
            throw Failure{
                "'" + cp1252_to_utf8(data) +
                "' is not a REG_DWORD number: give -2147483648 to 4294967295, decimal or 0x hexadecimal"};
        }
        if (negative) n = -n;
        v.integer = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
    } else if (upper == "REG_BINARY") {
        v.type = reg::REG_BINARY;
        auto nibble = [](char c) {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        if (data.size() % 2 != 0) throw Failure{"REG_BINARY data needs two hexadecimal digits per byte"};
        for (std::size_t i = 0; i < data.size(); i += 2) {
            int hi = nibble(data[i]);
            int lo = nibble(data[i + 1]);
            if (hi < 0 || lo < 0)
                throw Failure{"'" + cp1252_to_utf8(data) + "' is not hexadecimal REG_BINARY data"};
            v.text += static_cast<char>(hi * 16 + lo);
        }
    } else {
        throw Failure{"unsupported type '" + type + "': use REG_SZ, REG_DWORD or REG_BINARY"};
    }
    return v;
}

// Opens the key read-only, or fails with "not found".
void open_existing(reg::Registry& r, const Options& o) {
    r.set_root_key(o.root);
    if (!r.open_key_read_only("\\" + o.path)) throw Failure{kNotFound};
}

void print_key(std::ostream& out, const Options& o, const std::string& path) {
    reg::Registry r;
    r.set_root_key(o.root);
    if (!r.open_key_read_only("\\" + path)) return;  // deleted meanwhile
    out << "\n" << display_key(o, r.current_path()) << "\n";
    for (const reg::Value& v : r.get_values()) out << value_line(v) << "\n";
    std::vector<std::string> subkeys;
    r.get_key_names(subkeys);
    const std::string prefix = r.current_path().empty() ? std::string() : r.current_path() + "\\";
    if (o.recursive) {
        for (const std::string& s : subkeys) print_key(out, o, prefix + s);
        return;
    }
    if (!subkeys.empty()) out << "\n";
    for (const std::string& s : subkeys) out << display_key(o, prefix + s) << "\n";
}

int query(const Options& o, std::ostream& out) {
    reg::Registry r;
    open_existing(r, o);
    if (!o.value_name) {
        print_key(out, o, o.path);
        return 0;
    }
    for (const reg::Value& v : r.get_values()) {
        if (reg::same_name(v.name, *o.value_name)) {
            out << "\n" << display_key(o, r.current_path()) << "\n" << value_line(v) << "\n";
            return 0;
        }
    }
    throw Failure{kNotFound};
}

int add(const Options& o, std::ostream& out) {
    std::optional<reg::Value> value;
    if (o.value_name) value = parse_value(o);  // before anything is created
    reg::Registry r;
    r.set_root_key(o.root);
    if (!r.open_key("\\" + o.path, true)) {
        throw Failure{"cannot open or create the key '" + o.key_arg + "': " + reg::last_store_error()};
    }
    if (value) {
        const reg::Value& v = *value;
        if (!o.force && r.value_exists(v.name))
            throw Failure{quoted_value(o) + " exists already; use /f to overwrite it"};
        try {
            switch (v.type) {
                case reg::DataType::integer:
                    r.write_integer(v.name, v.integer);
                    break;
                case reg::DataType::binary:
                    r.write_binary_data(v.name, v.text);
                    break;
                default:
                    r.write_string(v.name, v.text);
                    break;
            }
        } catch (const reg::RegistryError& e) {
            throw Failure{e.what()};
        }
    }
    out << kDone << "\n";
    return 0;
}

int remove(const Options& o, std::ostream& out) {
    reg::Registry r;
    open_existing(r, o);
    const char* ask = "; use /f to delete without being asked";
    if (o.value_name) {
        if (!r.value_exists(*o.value_name)) throw Failure{kNotFound};
        if (!o.force) throw Failure{"deleting " + quoted_value(o) + " needs confirmation" + ask};
        r.open_key("\\" + o.path, false);
        if (!r.delete_value(*o.value_name)) throw Failure{"could not delete " + quoted_value(o)};
    } else if (o.all_values) {
        if (!o.force) throw Failure{"deleting every value of '" + o.key_arg + "' needs confirmation" + ask};
        r.open_key("\\" + o.path, false);
        std::vector<std::string> names;
        r.get_value_names(names);
        for (const std::string& n : names) r.delete_value(n);
    } else {
        if (o.path.empty()) throw Failure{"a root key cannot be deleted"};
        if (!o.force)
            throw Failure{"deleting the key '" + o.key_arg + "' and its subkeys needs confirmation" + ask};
        r.close_key();
        if (!r.delete_key("\\" + o.path)) throw Failure{"could not delete the key '" + o.key_arg + "'"};
    }
    out << kDone << "\n";
    return 0;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (const std::string& a : args) {
        if (a == "/?" || a == "-?" || a == "-h" || a == "--help") {
            out << kUsage;
            return 0;
        }
    }
    if (args.empty()) {
        err << kUsage;
        return 1;
    }
    try {
        Options o = parse(args);
        if (!reg::store_available()) throw Failure{reg::last_store_error()};
        if (o.command == "query") return query(o, out);
        if (o.command == "add") return add(o, out);
        return remove(o, out);
    } catch (const Failure& f) {
        err << "ERROR: " << f.message << "\n";
        return 1;
    }
}

}  // namespace zorreg
