// Internal to platform/registry: the SQLite store under the registry API.
//
// One connection per process, behind one mutex. A Session holds the mutex for the length of one
// operation and hands out cached prepared statements. Store failures inside an operation are thrown
// as StoreFailure and turned into a false result or a RegistryError at the API's edge.
//
// Schema (application_id 'ZORR', user_version 1):
//   keys(id, root, parent, name, path, folded)   one row per key, and one row per root (parent NULL,
//                                                 empty path); `path` is the names from the root as
//                                                 first spelled, joined with "\"; `folded` the same
//                                                 case-folded; unique per root.
//   vals(id, key, name, folded, type, data)       one row per value; rowid order is creation order,
//                                                 and an update in place keeps it.

#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::registry::detail {

// A failure of the store (an SQLite error, a busy time-out, a store that cannot be opened).
class StoreFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Case folding of names: ASCII and the letters of Windows-1252 to upper case, byte by byte.
std::string fold(std::string_view name);

// The names of a key path, the leading and a trailing "\" removed; nullopt for an invalid path (an
// empty name inside, a name over 255 bytes, a NUL byte). "" and "\" give no names.
std::optional<std::vector<std::string_view>> split_path(std::string_view path);

// The keys row of a root.
std::int64_t root_row_id(RootKey root);

// A prepared statement borrowed from the session's cache; reset when it goes out of scope.
class Stmt {
  public:
    explicit Stmt(sqlite3_stmt* st) : st_(st) {}
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    ~Stmt();

    Stmt& bind(int index, std::int64_t value);
    Stmt& bind_blob(int index, std::string_view bytes);  // never NULL: "" binds an empty blob
    // True for a row, false at the end; throws StoreFailure on an error.
    bool step();
    std::int64_t column_int(int index) const;
    std::string column_blob(int index) const;
    bool column_is_null(int index) const;

  private:
    sqlite3_stmt* st_;
};

// One operation's hold on the store. Operator bool is false when the store cannot be opened.
class Session {
  public:
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    explicit operator bool() const { return db_ != nullptr; }
    // Why the store could not be opened (the session holds the lock that last_store_error takes).
    std::string failure() const;

    // A cached statement for this SQL text; `sql` must be a string literal (cached by address).
    Stmt prepare(const char* sql);
    int changes() const;
    std::int64_t last_insert_rowid() const;

    // Runs `body` inside BEGIN IMMEDIATE ... COMMIT; rolls back and rethrows when it throws.
    template <class Body>
    auto write_transaction(Body&& body) {
        begin_immediate();
        try {
            if constexpr (std::is_void_v<decltype(body())>) {
                body();
                commit();
            } else {
                auto result = body();
                commit();
                return result;
            }
        } catch (...) {
            rollback();
            throw;
        }
    }

  private:
    void begin_immediate();
    void commit();
    void rollback();

    std::unique_lock<std::mutex> lock_;
    sqlite3* db_ = nullptr;
};

// Records a failure for last_store_error().
void note_failure(std::string_view what);

// Key rows.
struct KeyRow {
    std::int64_t id = 0;
    std::string path;  // as spelled, from the root, without a leading "\"
};

// `base`, then "\" and each of `names` ("" base: the names alone).
std::string join_path(std::string_view base, const std::vector<std::string_view>& names);

// The key with this folded path under the root (the root row for ""), or nullopt.
std::optional<KeyRow> find_key(Session& s, RootKey root, std::string_view folded_path);
// The key at base + names, creating every missing key; call inside a write transaction.
// `base_path` is the spelled path of an existing key ("" for the root).
KeyRow ensure_key(Session& s, RootKey root, std::string_view base_path,
                  const std::vector<std::string_view>& names);
// Deletes the key and everything below it; false when it does not exist. Inside a write transaction.
bool delete_key_tree(Session& s, RootKey root, std::string_view folded_path);

// Values of a key row.
std::optional<Value> find_value(Session& s, std::int64_t key_id, std::string_view name);
std::vector<Value> key_values(Session& s, std::int64_t key_id);
std::vector<std::string> subkey_names(Session& s, std::int64_t key_id);
bool key_row_exists(Session& s, std::int64_t key_id);
// Creates or replaces; inside a write transaction.
void put_value(Session& s, std::int64_t key_id, const Value& value);
// False when it did not exist; inside a write transaction.
bool remove_value(Session& s, std::int64_t key_id, std::string_view name);

}  // namespace platform::registry::detail
