// platform/registry: the registry as the system uses it, on Linux.
//
// The model
// ---------
// Three roots, HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, each a tree of keys.
// A key holds named, typed values: strings (REG_SZ), 32-bit integers (REG_DWORD) and byte blocks
// (REG_BINARY). The value with the empty name is the key's default value.
//
// - Key paths use "\" between names. A path that begins with "\" is absolute (from the root); one
//   that does not is relative to the key the Registry object has open (from the root when none is
//   open), as the familiar registry class of the form framework does. The functional API further
//   down always takes paths from the root, with or without the leading "\". A trailing "\" is
//   ignored; an empty name inside a path ("a\\b") makes the path invalid.
// - Key and value names are Windows-1252 bytes. They are stored as first given and compared without
//   regard to letter case (ASCII letters and the letters of Windows-1252). Rewriting a value under a
//   name that differs only in case keeps the first spelling.
// - Values are enumerated in the order they were created; rewriting a value (even with another
//   type) keeps its place; deleting and writing it again puts it last. Subkeys are enumerated in
//   case-folded byte order, as the system registry does.
// - Text is stored as given (Windows-1252); the conversion to UTF-8 belongs to the display edge
//   (the zorreg tool does it).
//
// The store
// ---------
// One SQLite database file: $ZOR_REGISTRY when set and not empty, else $XDG_CONFIG_HOME/zor/registry.db,
// else $HOME/.config/zor/registry.db (the folder is created for the two default places, not for
// $ZOR_REGISTRY). It is in WAL mode; every write is one `BEGIN IMMEDIATE` transaction with a 5 s busy
// time-out, so several processes (Zorrun, the plug-in inside its host, zorreg) use it at the same
// time, the last writer of a value wins, and a process killed at any moment leaves either the whole
// write or none of it.
//
// Each process keeps one connection, opened on first use and kept open, so an open-read-close
// cycle costs a few microseconds. The path is resolved again at each use: when $ZOR_REGISTRY (or
// the other variables) point elsewhere, the old connection is closed and the new file opened.
// `reset_store()` forces that explicitly (tests call it between cases). A child after fork() never
// uses its parent's connection: it opens its own.
//
// A store that cannot be opened (folder not writable, file not a registry database, disk error)
// behaves as a registry in which no key can be opened: `open_key` and `key_exists` return false,
// reads find nothing, and the failure text is in `last_store_error()`. Nothing crashes. Writes
// that cannot be carried out raise RegistryError.
//
// Threads: the store is safe to use from several processes and threads (one lock per process
// guards the connection). A Registry object belongs to the thread that uses it; in this system
// that is the main thread.

#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// Raised by reads of a missing or mistyped value, by writes on a read-only key or on a key that has
// been deleted meanwhile, and by writes the store could not carry out. `what()` names the value.
class RegistryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The roots, with the numeric handles the system gives them.
enum class RootKey : std::uint32_t {
    classes_root = 0x80000000u,
    current_user = 0x80000001u,
    local_machine = 0x80000002u,
};
inline constexpr RootKey HKEY_CLASSES_ROOT = RootKey::classes_root;
inline constexpr RootKey HKEY_CURRENT_USER = RootKey::current_user;
inline constexpr RootKey HKEY_LOCAL_MACHINE = RootKey::local_machine;

// "HKEY_CURRENT_USER" etc.
std::string_view root_name(RootKey root);
// Accepts "HKEY_CURRENT_USER", "HKCU", "HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CLASSES_ROOT", "HKCR" in any
// letter case; nullopt for anything else.
std::optional<RootKey> parse_root_name(std::string_view name);

// Value types, numbered as the system numbers them (REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4).
// `unknown` stands for "no such value".
enum class DataType : std::uint32_t {
    unknown = 0,
    string = 1,
    binary = 3,
    integer = 4,
};
inline constexpr DataType REG_SZ = DataType::string;
inline constexpr DataType REG_BINARY = DataType::binary;
inline constexpr DataType REG_DWORD = DataType::integer;

// "REG_SZ", "REG_BINARY", "REG_DWORD" ("REG_NONE" for unknown).
std::string_view data_type_name(DataType type);

// One value with its data: `text` holds the bytes of a string or binary value, `integer` the
// number of an integer value (the other field is empty or 0).
struct Value {
    std::string name;
    DataType type = DataType::unknown;
    std::string text;
    std::int32_t integer = 0;
};

// ---------------------------------------------------------------------------------------------
// The registry object
// ---------------------------------------------------------------------------------------------
//
// Shaped like the form framework's registry class: set the root, open one key, read and write its
// values, close it. At most one key is open at a time; opening another closes the previous one.
// With no key open, value operations act on the root itself. Creating and destroying the object
// costs nothing; it holds no store resources. Main thread (one thread per object).
class Registry {
  public:
    // The root starts as HKEY_CURRENT_USER unless given.
    explicit Registry(RootKey root = HKEY_CURRENT_USER) : root_(root) {}
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    ~Registry() = default;

    // The root that the next absolute open starts from. Setting it closes the open key.
    RootKey root_key() const { return root_; }
    void set_root_key(RootKey root);

    // Opens the key at `path` (absolute or relative, see the model) for reading and writing. When it
    // is missing: creates it and every missing key above it if `can_create`, else returns false.
    // False also for an invalid path, a name longer than 255 bytes, or a store that cannot be
    // opened. On false the key that was open stays open. Never raises.
    bool open_key(std::string_view path, bool can_create);

    // Opens an existing key for reading only; never creates. Writes on it raise RegistryError and
    // deletes on it return false. False as open_key(path, false). Never raises.
    bool open_key_read_only(std::string_view path);

    // Closes the open key (nothing when none is open). The root is the current key again.
    void close_key();

    // True when a key is open.
    bool has_current_key() const { return key_id_ != 0; }
    // True when the open key was opened read-only.
    bool read_only() const { return key_id_ != 0 && read_only_; }

    // The open key's path from its root, without a leading "\" and spelled as the keys were
    // created ("SOFTWARE\Hox\Zor\Task Weaver\1"); empty when no key is open.
    std::string current_path() const { return key_id_ != 0 ? path_ : std::string(); }

    // True when the key at `path` (absolute or relative) exists. Never raises.
    bool key_exists(std::string_view path) const;

    // Deletes the key at `path` (absolute or relative) with all its subkeys and values, in one
    // transaction. False when it does not exist, when the path names a root, when the open key is
    // read-only and the path is relative, or when the store fails. A Registry that had the deleted
    // key open keeps its handle: reads find nothing, writes raise. Never raises.
    bool delete_key(std::string_view path);

    // True when the current key has a value of this name (of any type). Never raises.
    bool value_exists(std::string_view name) const;

    // The value's type; DataType::unknown when it does not exist. Never raises.
    DataType get_data_type(std::string_view name) const;

    // The size of the value's data in bytes: 4 for an integer, the byte count of a binary value, and
    // for a string its length plus one for the terminating NUL, as the system counts; -1 when it
    // does not exist. Never raises.
    int get_data_size(std::string_view name) const;

    // The integer value. Raises RegistryError when it is missing or not an integer.
    std::int32_t read_integer(std::string_view name) const;

    // The string value; "" when it is missing. Raises RegistryError when it is not a string.
    std::string read_string(std::string_view name) const;

    // read_integer(name) != 0. Raises as read_integer.
    bool read_bool(std::string_view name) const { return read_integer(name) != 0; }

    // The bytes of a binary value. Raises RegistryError when it is missing or not binary.
    std::string read_binary_data(std::string_view name) const;

    // Creates or replaces the value (a replaced value keeps its place and its spelling). Raises
    // RegistryError on a read-only key, on a key deleted meanwhile, or when the store fails.
    void write_integer(std::string_view name, std::int32_t value);
    void write_string(std::string_view name, std::string_view value);
    void write_bool(std::string_view name, bool value) { write_integer(name, value ? 1 : 0); }
    void write_binary_data(std::string_view name, std::string_view bytes);

    // Deletes the value of the current key. False when it does not exist, when the key is
    // read-only, or when the store fails. Never raises.
    bool delete_value(std::string_view name);

    // Replaces the list's contents with the names of the current key's values, in creation order.
    // Empty when the store fails. Never raises.
    void get_value_names(std::vector<std::string>& names) const;

    // Replaces the list's contents with the names of the current key's subkeys, in case-folded
    // order. Never raises.
    void get_key_names(std::vector<std::string>& names) const;

    // The current key's values with their data, in creation order, read in one snapshot. Never
    // raises.
    std::vector<Value> get_values() const;

    // True when the current key has at least one subkey. Never raises.
    bool has_subkeys() const;

  private:
    // The key that value operations act on: the open key, else the root.
    std::int64_t value_key_id() const;
    void check_writable(std::string_view name) const;

    RootKey root_;
    std::int64_t key_id_ = 0;  // 0: no key open
    RootKey key_root_ = HKEY_CURRENT_USER;
    std::string path_;
    bool read_only_ = false;
};

// ---------------------------------------------------------------------------------------------
// Functional API (paths always from the root; "\" in front optional)
// ---------------------------------------------------------------------------------------------

// True when the key exists. Never raises.
bool key_exists(RootKey root, std::string_view path);

// The value, or nullopt when the key or the value does not exist. Never raises.
std::optional<Value> query_value(RootKey root, std::string_view path, std::string_view name);

// The key's values in creation order and its subkeys' names in folded order; nullopt when the key
// does not exist or the store fails. Never raises.
std::optional<std::vector<Value>> list_values(RootKey root, std::string_view path);
std::optional<std::vector<std::string>> list_subkeys(RootKey root, std::string_view path);

// A group of writes carried out in one transaction: all of them or none. Intended for COM
// registration ("-RegServer" writes a dozen keys under HKEY_CLASSES_ROOT; a process killed half-way
// leaves no half registration). Build it, then commit(). Each set_* creates the key and every
// missing key above it. Deleting something that does not exist is not an error.
class WriteBatch {
  public:
    WriteBatch& create_key(RootKey root, std::string_view path);
    WriteBatch& set_string(RootKey root, std::string_view path, std::string_view name,
                           std::string_view value);
    WriteBatch& set_integer(RootKey root, std::string_view path, std::string_view name, std::int32_t value);
    WriteBatch& delete_value(RootKey root, std::string_view path, std::string_view name);
    // Deletes every value of the key as it stands when the batch runs, values written meanwhile by
    // another process included; its subkeys stay. Nothing when the key does not exist.
    WriteBatch& clear_values(RootKey root, std::string_view path);
    // Deletes the key with its subkeys and values. A root itself cannot be deleted: the path must
    // name a key below it.
    WriteBatch& delete_tree(RootKey root, std::string_view path);

    // Carries out every step in order, in one BEGIN IMMEDIATE transaction. True when all were done;
    // false (and nothing written) when a path is invalid or the store fails. The batch is emptied
    // either way. Never raises.
    bool commit();

    bool empty() const { return steps_.empty(); }

    struct Step {
        enum class Kind { create_key, set_value, delete_value, clear_values, delete_tree } kind;
        RootKey root;
        std::string path;
        Value value;  // set_value: name, type and data; delete_value: name
    };

  private:
    std::vector<Step> steps_;
};

// One-step batches: create a key; write one value (creating the key); delete one value (false when it
// did not exist); delete a key with its subkeys (false when it did not exist). Never raise.
bool create_key(RootKey root, std::string_view path);
bool set_string_value(RootKey root, std::string_view path, std::string_view name, std::string_view value);
bool set_integer_value(RootKey root, std::string_view path, std::string_view name, std::int32_t value);
bool delete_value(RootKey root, std::string_view path, std::string_view name);
bool delete_tree(RootKey root, std::string_view path);

// ---------------------------------------------------------------------------------------------
// The store
// ---------------------------------------------------------------------------------------------

// The file the store uses now, resolved from the environment (see "The store" above); empty when
// none of the variables is set.
std::string store_path();

// Closes this process's connection; the next use resolves the path again and reopens. Call it after
// changing $ZOR_REGISTRY by hand when the same path may now hold another file, and between tests.
void reset_store();

// Opens the store when it is not open yet; false when it cannot be opened (see last_store_error).
bool store_available();

// Why the store could not be opened, or the last store failure; empty when there was none.
std::string last_store_error();

// Name comparison as the store does it: case folded for ASCII and Windows-1252 letters.
bool same_name(std::string_view a, std::string_view b);

}  // namespace platform::registry
