// The registry object and the functional API over the store.

#include "platform/registry/registry.h"

#include "platform/registry/store.h"

namespace platform::registry {
namespace {

using detail::Session;
using detail::StoreFailure;

// Runs `body` on an open store; `fallback` when the store cannot be opened or fails.
template <class R, class Body>
R guarded(R fallback, Body&& body) {
    Session s;
    if (!s) return fallback;
    try {
        return body(s);
    } catch (const StoreFailure& e) {
        detail::note_failure(e.what());
        return fallback;
    }
}

// Runs `body` on an open store; a store failure becomes RegistryError(prefix + reason).
template <class Body>
auto raising(const std::string& prefix, Body&& body) {
    Session s;
    if (!s) throw RegistryError(prefix + ": " + s.failure());
    try {
        return body(s);
    } catch (const StoreFailure& e) {
        detail::note_failure(e.what());
        throw RegistryError(prefix + ": " + e.what());
    }
}

std::string quoted(std::string_view name) {
    return "'" + std::string(name) + "'";
}
std::string get_failed(std::string_view name) {
    return "Failed to get data for " + quoted(name);
}
std::string set_failed(std::string_view name) {
    return "Failed to set data for " + quoted(name);
}

// A path resolved against a base key: where it lives and what it is called, folded.
struct Target {
    RootKey root;
    std::string base_path;  // spelled path of the base key ("" for the root)
    std::vector<std::string_view> names;
    std::string folded;
};

std::optional<Target> absolute_target(RootKey root, std::string_view path) {
    auto names = detail::split_path(path);
    if (!names) return std::nullopt;
    std::string folded = detail::fold(detail::join_path("", *names));
    return Target{root, {}, std::move(*names), std::move(folded)};
}

}  // namespace

// ---- names ----

std::string_view root_name(RootKey root) {
    switch (root) {
        case RootKey::classes_root:
            return "HKEY_CLASSES_ROOT";
        case RootKey::current_user:
            return "HKEY_CURRENT_USER";
        case RootKey::local_machine:
            return "HKEY_LOCAL_MACHINE";
    }
    return "HKEY_CURRENT_USER";
}

std::optional<RootKey> parse_root_name(std::string_view name) {
    std::string f = detail::fold(name);
    if (f == "HKEY_CURRENT_USER" || f == "HKCU") return HKEY_CURRENT_USER;
    if (f == "HKEY_LOCAL_MACHINE" || f == "HKLM") return HKEY_LOCAL_MACHINE;
    if (f == "HKEY_CLASSES_ROOT" || f == "HKCR") return HKEY_CLASSES_ROOT;
    return std::nullopt;
}

std::string_view data_type_name(DataType type) {
    switch (type) {
        case DataType::string:
            return "REG_SZ";
        case DataType::binary:
            return "REG_BINARY";
        case DataType::integer:
            return "REG_DWORD";
        case DataType::unknown:
            break;
    }
    return "REG_NONE";
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && detail::fold(a) == detail::fold(b);
}

// ---- Registry ----

namespace {
// Resolves a path as the registry object sees it: absolute from `root`, or relative to the open key.
std::optional<Target> resolve(std::string_view path, RootKey root, bool key_open, RootKey key_root,
                              const std::string& key_path) {
    bool relative = key_open && !(path.size() > 0 && path.front() == '\\');
    if (!relative) return absolute_target(root, path);
    auto names = detail::split_path(path);
    if (!names) return std::nullopt;
    std::string folded = detail::fold(detail::join_path(key_path, *names));
    return Target{key_root, key_path, std::move(*names), std::move(folded)};
}
}  // namespace

void Registry::set_root_key(RootKey root) {
    close_key();
    root_ = root;
}

bool Registry::open_key(std::string_view path, bool can_create) {
    auto t = resolve(path, root_, key_id_ != 0, key_root_, path_);
    if (!t) return false;
    auto row = guarded(std::optional<detail::KeyRow>(), [&](Session& s) {
        auto found = detail::find_key(s, t->root, t->folded);
        if (!found && can_create) {
            found =
                s.write_transaction([&] { return detail::ensure_key(s, t->root, t->base_path, t->names); });
        }
        return found;
    });
    if (!row) return false;
    key_id_ = row->id;
    key_root_ = t->root;
    path_ = std::move(row->path);
    read_only_ = false;
    return true;
}

bool Registry::open_key_read_only(std::string_view path) {
    if (!open_key(path, false)) return false;
    read_only_ = true;
    return true;
}

void Registry::close_key() {
    key_id_ = 0;
    path_.clear();
    read_only_ = false;
}

bool Registry::key_exists(std::string_view path) const {
    auto t = resolve(path, root_, key_id_ != 0, key_root_, path_);
    if (!t) return false;
    return guarded(false, [&](Session& s) { return detail::find_key(s, t->root, t->folded).has_value(); });
}

bool Registry::delete_key(std::string_view path) {
    bool relative = key_id_ != 0 && !(path.size() > 0 && path.front() == '\\');
    if (relative && read_only_) return false;
    auto t = resolve(path, root_, key_id_ != 0, key_root_, path_);
    if (!t || t->folded.empty()) return false;
    return guarded(false, [&](Session& s) {
        return s.write_transaction([&] { return detail::delete_key_tree(s, t->root, t->folded); });
    });
}

std::int64_t Registry::value_key_id() const {
    return key_id_ != 0 ? key_id_ : detail::root_row_id(root_);
}

void Registry::check_writable(std::string_view name) const {
    if (read_only()) throw RegistryError(set_failed(name) + ": the key is open read-only");
}

bool Registry::value_exists(std::string_view name) const {
    return guarded(false,
                   [&](Session& s) { return detail::find_value(s, value_key_id(), name).has_value(); });
}

DataType Registry::get_data_type(std::string_view name) const {
    return guarded(DataType::unknown, [&](Session& s) {
        auto v = detail::find_value(s, value_key_id(), name);
        return v ? v->type : DataType::unknown;
    });
}

int Registry::get_data_size(std::string_view name) const {
    return guarded(-1, [&](Session& s) {
        auto v = detail::find_value(s, value_key_id(), name);
        if (!v) return -1;
        if (v->type == DataType::integer) return 4;
        int size = static_cast<int>(v->text.size());
        return v->type == DataType::string ? size + 1 : size;  // a string counts its terminating NUL
    });
}

namespace {
Value read_typed(std::int64_t key_id, std::string_view name, DataType type, bool missing_ok) {
    auto v = raising(get_failed(name), [&](Session& s) { return detail::find_value(s, key_id, name); });
    if (!v) {
        if (missing_ok) return Value{std::string(name), type, {}, 0};
        throw RegistryError(get_failed(name));
    }
    if (v->type != type) throw RegistryError("Invalid data type for " + quoted(name));
    return *v;
}
}  // namespace

std::int32_t Registry::read_integer(std::string_view name) const {
    return read_typed(value_key_id(), name, DataType::integer, false).integer;
}

std::string Registry::read_string(std::string_view name) const {
    return read_typed(value_key_id(), name, DataType::string, true).text;
}

std::string Registry::read_binary_data(std::string_view name) const {
    return read_typed(value_key_id(), name, DataType::binary, false).text;
}

namespace {
void write_typed(std::int64_t key_id, const Value& value) {
    raising(set_failed(value.name), [&](Session& s) {
        s.write_transaction([&] {
            if (!detail::key_row_exists(s, key_id)) {
                throw RegistryError(set_failed(value.name) + ": the key has been deleted");
            }
            detail::put_value(s, key_id, value);
        });
    });
}
}  // namespace

void Registry::write_integer(std::string_view name, std::int32_t value) {
    check_writable(name);
    write_typed(value_key_id(), Value{std::string(name), DataType::integer, {}, value});
}

void Registry::write_string(std::string_view name, std::string_view value) {
    check_writable(name);
    write_typed(value_key_id(), Value{std::string(name), DataType::string, std::string(value), 0});
}

void Registry::write_binary_data(std::string_view name, std::string_view bytes) {
    check_writable(name);
    write_typed(value_key_id(), Value{std::string(name), DataType::binary, std::string(bytes), 0});
}

bool Registry::delete_value(std::string_view name) {
    if (read_only()) return false;
    return guarded(false, [&](Session& s) {
        return s.write_transaction([&] { return detail::remove_value(s, value_key_id(), name); });
    });
}

void Registry::get_value_names(std::vector<std::string>& names) const {
    names.clear();
    for (Value& v : get_values()) names.push_back(std::move(v.name));
}

void Registry::get_key_names(std::vector<std::string>& names) const {
    names = guarded(std::vector<std::string>(),
                    [&](Session& s) { return detail::subkey_names(s, value_key_id()); });
}

std::vector<Value> Registry::get_values() const {
    return guarded(std::vector<Value>(), [&](Session& s) { return detail::key_values(s, value_key_id()); });
}

bool Registry::has_subkeys() const {
    return guarded(false, [&](Session& s) {
        auto st = s.prepare("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        return st.bind(1, value_key_id()).step();
    });
}

// ---- functional API ----

bool key_exists(RootKey root, std::string_view path) {
    auto t = absolute_target(root, path);
    if (!t) return false;
    return guarded(false, [&](Session& s) { return detail::find_key(s, root, t->folded).has_value(); });
}

std::optional<Value> query_value(RootKey root, std::string_view path, std::string_view name) {
    auto t = absolute_target(root, path);
    if (!t) return std::nullopt;
    return guarded(std::optional<Value>(), [&](Session& s) -> std::optional<Value> {
        auto key = detail::find_key(s, root, t->folded);
        if (!key) return std::nullopt;
        return detail::find_value(s, key->id, name);
    });
}

std::optional<std::vector<Value>> list_values(RootKey root, std::string_view path) {
    auto t = absolute_target(root, path);
    if (!t) return std::nullopt;
    return guarded(std::optional<std::vector<Value>>(), [&](Session& s) -> std::optional<std::vector<Value>> {
        auto key = detail::find_key(s, root, t->folded);
        if (!key) return std::nullopt;
        return detail::key_values(s, key->id);
    });
}

std::optional<std::vector<std::string>> list_subkeys(RootKey root, std::string_view path) {
    auto t = absolute_target(root, path);
    if (!t) return std::nullopt;
    return guarded(std::optional<std::vector<std::string>>(),
                   [&](Session& s) -> std::optional<std::vector<std::string>> {
                       auto key = detail::find_key(s, root, t->folded);
                       if (!key) return std::nullopt;
                       return detail::subkey_names(s, key->id);
                   });
}

// ---- WriteBatch ----

namespace {
using Step = WriteBatch::Step;

// Carries out the steps in one transaction. nullopt when a path is invalid or the store fails;
// else whether the last step changed something (a delete found its target).
std::optional<bool> run_steps(const std::vector<Step>& steps) {
    std::vector<Target> targets;
    targets.reserve(steps.size());
    for (const Step& step : steps) {
        auto t = absolute_target(step.root, step.path);
        if (!t || (step.kind == Step::Kind::delete_tree && t->folded.empty())) return std::nullopt;
        targets.push_back(std::move(*t));
    }
    return guarded(std::optional<bool>(), [&](Session& s) {
        return std::optional<bool>(s.write_transaction([&] {
            bool done = true;
            for (std::size_t i = 0; i < steps.size(); ++i) {
                const Step& step = steps[i];
                const Target& t = targets[i];
                switch (step.kind) {
                    case Step::Kind::create_key:
                        detail::ensure_key(s, t.root, "", t.names);
                        done = true;
                        break;
                    case Step::Kind::set_value:
                        detail::put_value(s, detail::ensure_key(s, t.root, "", t.names).id, step.value);
                        done = true;
                        break;
                    case Step::Kind::delete_value: {
                        auto key = detail::find_key(s, t.root, t.folded);
                        done = key && detail::remove_value(s, key->id, step.value.name);
                        break;
                    }
                    case Step::Kind::clear_values: {
                        auto key = detail::find_key(s, t.root, t.folded);
                        done = key.has_value();
                        if (key)
                            for (const Value& value : detail::key_values(s, key->id))
                                detail::remove_value(s, key->id, value.name);
                        break;
                    }
                    case Step::Kind::delete_tree:
                        done = detail::delete_key_tree(s, t.root, t.folded);
                        break;
                }
            }
            return done;
        }));
    });
}

Value make_value(std::string_view name, DataType type, std::string_view text, std::int32_t integer) {
    return Value{std::string(name), type, std::string(text), integer};
}
}  // namespace

WriteBatch& WriteBatch::create_key(RootKey root, std::string_view path) {
    steps_.push_back(Step{Step::Kind::create_key, root, std::string(path), {}});
    return *this;
}

WriteBatch& WriteBatch::set_string(RootKey root, std::string_view path, std::string_view name,
                                   std::string_view value) {
    steps_.push_back(
        Step{Step::Kind::set_value, root, std::string(path), make_value(name, DataType::string, value, 0)});
    return *this;
}

WriteBatch& WriteBatch::set_integer(RootKey root, std::string_view path, std::string_view name,
                                    std::int32_t value) {
    steps_.push_back(
        Step{Step::Kind::set_value, root, std::string(path), make_value(name, DataType::integer, {}, value)});
    return *this;
}

WriteBatch& WriteBatch::delete_value(RootKey root, std::string_view path, std::string_view name) {
    steps_.push_back(
        Step{Step::Kind::delete_value, root, std::string(path), make_value(name, DataType::unknown, {}, 0)});
    return *this;
}

WriteBatch& WriteBatch::clear_values(RootKey root, std::string_view path) {
    steps_.push_back(Step{Step::Kind::clear_values, root, std::string(path), {}});
    return *this;
}

WriteBatch& WriteBatch::delete_tree(RootKey root, std::string_view path) {
    steps_.push_back(Step{Step::Kind::delete_tree, root, std::string(path), {}});
    return *this;
}

bool WriteBatch::commit() {
    std::vector<Step> steps = std::move(steps_);
    steps_.clear();
    return run_steps(steps).has_value();
}

bool create_key(RootKey root, std::string_view path) {
    return WriteBatch().create_key(root, path).commit();
}

bool set_string_value(RootKey root, std::string_view path, std::string_view name, std::string_view value) {
    return WriteBatch().set_string(root, path, name, value).commit();
}

bool set_integer_value(RootKey root, std::string_view path, std::string_view name, std::int32_t value) {
    return WriteBatch().set_integer(root, path, name, value).commit();
}

bool delete_value(RootKey root, std::string_view path, std::string_view name) {
    return run_steps({Step{Step::Kind::delete_value, root, std::string(path),
                           make_value(name, DataType::unknown, {}, 0)}})
        .value_or(false);
}

bool delete_tree(RootKey root, std::string_view path) {
    return run_steps({Step{Step::Kind::delete_tree, root, std::string(path), {}}}).value_or(false);
}

}  // namespace platform::registry
