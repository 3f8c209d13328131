// The SQLite store: one connection per process, the schema, statements and transactions.

#include "platform/registry/store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace platform::registry::detail {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr std::int64_t kApplicationId = 0x5A4F5252;  // "ZORR"
constexpr std::int64_t kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
    id     INTEGER PRIMARY KEY AUTOINCREMENT,
    root   INTEGER NOT NULL,
    parent INTEGER,
    name   BLOB NOT NULL,
    path   BLOB NOT NULL,
    folded BLOB NOT NULL,
    UNIQUE(root, folded));
CREATE INDEX keys_by_parent ON keys(parent, folded);
CREATE TABLE vals(
    id     INTEGER PRIMARY KEY,
    key    INTEGER NOT NULL,
    name   BLOB NOT NULL,
    folded BLOB NOT NULL,
    type   INTEGER NOT NULL,
    data,
    UNIQUE(key, folded));
CREATE INDEX vals_by_key ON vals(key);
INSERT INTO keys(id, root, parent, name, path, folded) VALUES
    (1, 2147483648, NULL, x'', x'', x''),
    (2, 2147483649, NULL, x'', x'', x''),
    (3, 2147483650, NULL, x'', x'', x'');
PRAGMA application_id = 1515147858;
PRAGMA user_version = 1;
)sql";

// Every global of the store, in one place (see "Unit state" in the architecture notes).
struct StoreState {
    std::mutex mutex;
    sqlite3* db = nullptr;
    std::string path;  // the file `db` was opened on
    pid_t pid = 0;     // the process that opened it
    std::unordered_map<const char*, sqlite3_stmt*> statements;
    std::string last_error;

    ~StoreState() { close(); }

    void close() {
        for (auto& [sql, st] : statements) sqlite3_finalize(st);
        statements.clear();
        if (db != nullptr) sqlite3_close_v2(db);
        db = nullptr;
        path.clear();
    }

    // After fork() the child must not touch the parent's connection, not even to close it (that
    // could disturb the parent's locks): forget it and let the child open its own.
    void abandon() {
        statements.clear();
        db = nullptr;
        path.clear();
    }
};

StoreState& store_state() {
    static StoreState state;
    return state;
}

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : nullptr;
}

// Where the store lives, and whether that is one of the default places (whose folder we create).
struct Place {
    std::string path;
    bool is_default = false;
};

Place resolve_place() {
    if (const char* p = env("ZOR_REGISTRY")) return {p, false};
    if (const char* x = env("XDG_CONFIG_HOME"); x != nullptr && x[0] == '/') {
        return {std::string(x) + "/zor/registry.db", true};
    }
    const char* home = env("HOME");
    if (home == nullptr) {
        if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) home = pw->pw_dir;
    }
    if (home == nullptr) return {};
    return {std::string(home) + "/.config/zor/registry.db", true};
}

// mkdir -p of the folder that holds `file`.
void make_parent_folders(const std::string& file) {
    for (std::size_t pos = 1; (pos = file.find('/', pos)) != std::string::npos; ++pos) {
        std::string folder = file.substr(0, pos);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;  // sqlite3_open reports it
    }
}

std::string message_of(sqlite3* db, int rc) {
    std::string m = sqlite3_errstr(rc);
    if (db != nullptr) {
        const char* detail = sqlite3_errmsg(db);
        if (detail != nullptr && m != detail) m += std::string(": ") + detail;
    }
    if ((rc & 0xff) == SQLITE_BUSY)
        m = "the registry store is busy: another process has held it for more than 5 s";
    return m;
}

std::int64_t pragma_int(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (rc != SQLITE_OK) throw StoreFailure(message_of(db, rc));
    rc = sqlite3_step(st);
    std::int64_t v = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw StoreFailure(message_of(db, rc));
    return v;
}

void exec(sqlite3* db, const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw StoreFailure(message_of(db, rc));
}

// Setting the journal mode takes the file's lock without asking the busy handler, so a process
// opening the store while another one switches or reads it would fail at once. Waits here as the
// busy handler would, up to the same limit.
void exec_waiting_for_lock(sqlite3* db, const char* sql) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (int pause_ms = 1;; pause_ms = std::min(pause_ms * 2, 10)) {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return;
        if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= give_up)
            throw StoreFailure(message_of(db, rc));
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    }
}

// Makes sure the file holds our schema: creates it in an empty database, refuses anything else.
void prepare_schema(sqlite3* db) {
    auto ours = [&] {
        std::int64_t app = pragma_int(db, "PRAGMA application_id");
        std::int64_t version = pragma_int(db, "PRAGMA user_version");
        if (app == kApplicationId && version == kSchemaVersion) return true;
        if (app == kApplicationId) {
            throw StoreFailure("the registry store has schema version " + std::to_string(version) +
                               ", this program knows version " + std::to_string(kSchemaVersion));
        }
        if (app != 0 || pragma_int(db, "SELECT count(*) FROM sqlite_master") != 0) {
            throw StoreFailure("the file is an SQLite database of another program, not a registry store");
        }
        return false;
    };
    // Each look happens inside one transaction: the three reads of ours() must see one state of
    // the file, or a schema another process commits between them looks like a stranger's database.
    auto within = [&](const char* begin, auto&& body) {
        exec(db, begin);
        try {
            body();
            exec(db, "COMMIT");
        } catch (...) {
            if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    };
    bool made = false;
    within("BEGIN", [&] { made = ours(); });
    if (made) return;
    within("BEGIN IMMEDIATE", [&] {
        if (!ours()) exec(db, kSchema);  // another process may have made it meanwhile
    });
}

// A store cut short or damaged inside must be refused before anything writes into it: a write
// that lands in an intact page would change a file that is broken anyway and may be someone's
// only copy to repair. The store is small, so the check costs little once per connection.
void check_sound(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    const auto damaged = [&](int rc) { return StoreFailure("the file is damaged: " + message_of(db, rc)); };
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &st, nullptr);
    if ((rc & 0xff) == SQLITE_CORRUPT) throw damaged(rc);
    if (rc != SQLITE_OK) throw StoreFailure(message_of(db, rc));
    rc = sqlite3_step(st);
    std::string verdict;
    if (rc == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(st, 0);
        verdict = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_finalize(st);
    if ((rc & 0xff) == SQLITE_CORRUPT) throw damaged(rc);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw StoreFailure(message_of(db, rc));
    if (verdict != "ok") throw StoreFailure("the file is damaged: " + verdict);
}

// Opens the store at the resolved place; leaves state.db null and the reason noted on failure.
void open_store(StoreState& state, const Place& place) {
    if (place.path.empty()) {
        state.last_error = "no place for the registry store: neither ZOR_REGISTRY nor HOME is set";
        return;
    }
    if (place.is_default) make_parent_folders(place.path);
    if (struct stat st{}; stat(place.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        state.last_error = "cannot open the registry store " + place.path + ": it is a folder, not a file";
        return;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(place.path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    try {
        if (rc != SQLITE_OK) throw StoreFailure(message_of(db, rc));
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        check_sound(db);
        exec_waiting_for_lock(db, "PRAGMA journal_mode=WAL");
        exec(db, "PRAGMA synchronous=NORMAL");
        prepare_schema(db);
    } catch (const StoreFailure& e) {
        state.last_error = "cannot open the registry store " + place.path + ": " + e.what();
        sqlite3_close_v2(db);
        return;
    }
    state.db = db;
    state.path = place.path;
    state.pid = getpid();
}

}  // namespace

std::string fold(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 'a' && b <= 'z') {
            b -= 0x20;
        } else if (b >= 0xE0 && b != 0xF7 && b != 0xFF) {  // à..þ, not ÷
            b -= 0x20;
        } else if (b == 0x9A || b == 0x9C || b == 0x9E) {  // š œ ž
            b -= 0x10;
        } else if (b == 0xFF) {  // ÿ
            b = 0x9F;
        }
        c = static_cast<char>(b);
    }
    return out;
}

std::optional<std::vector<std::string_view>> split_path(std::string_view path) {
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    std::vector<std::string_view> names;
    if (path.empty()) return names;
    for (;;) {
        std::size_t cut = path.find('\\');
        std::string_view name = path.substr(0, cut);
        if (name.empty() || name.size() > 255 || name.find('\0') != std::string_view::npos)
            return std::nullopt;
        names.push_back(name);
        if (cut == std::string_view::npos) return names;
        path.remove_prefix(cut + 1);
    }
}

std::int64_t root_row_id(RootKey root) {
    switch (root) {
        case RootKey::classes_root:
            return 1;
        case RootKey::current_user:
            return 2;
        case RootKey::local_machine:
            return 3;
    }
    return 2;
}

std::string join_path(std::string_view base, const std::vector<std::string_view>& names) {
    std::string out(base);
    for (std::string_view n : names) {
        if (!out.empty()) out += '\\';
        out += n;
    }
    return out;
}

void note_failure(std::string_view what) {
    store_state().last_error = what;
}

// ---- Stmt ----

Stmt::~Stmt() {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
}

Stmt& Stmt::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(st_, index, value);
    return *this;
}

Stmt& Stmt::bind_blob(int index, std::string_view bytes) {
    static const char empty = 0;
    sqlite3_bind_blob(st_, index, bytes.empty() ? &empty : bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

bool Stmt::step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StoreFailure(message_of(sqlite3_db_handle(st_), rc));
}

std::int64_t Stmt::column_int(int index) const {
    return sqlite3_column_int64(st_, index);
}

std::string Stmt::column_blob(int index) const {
    const void* p = sqlite3_column_blob(st_, index);
    int n = sqlite3_column_bytes(st_, index);
    return p != nullptr ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
                        : std::string();
}

bool Stmt::column_is_null(int index) const {
    return sqlite3_column_type(st_, index) == SQLITE_NULL;
}

// ---- Session ----

Session::Session() {
    StoreState& state = store_state();
    lock_ = std::unique_lock<std::mutex>(state.mutex);
    if (state.db != nullptr && state.pid != getpid()) state.abandon();
    Place place = resolve_place();
    if (state.db != nullptr && state.path != place.path) state.close();
    if (state.db == nullptr) open_store(state, place);
    db_ = state.db;
}

Stmt Session::prepare(const char* sql) {
    auto& statements = store_state().statements;
    auto it = statements.find(sql);
    if (it != statements.end()) return Stmt(it->second);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) throw StoreFailure(message_of(db_, rc));
    statements.emplace(sql, st);
    return Stmt(st);
}

std::string Session::failure() const {
    return store_state().last_error;
}

int Session::changes() const {
    return sqlite3_changes(db_);
}
std::int64_t Session::last_insert_rowid() const {
    return sqlite3_last_insert_rowid(db_);
}

void Session::begin_immediate() {
    prepare("BEGIN IMMEDIATE").step();
}
void Session::commit() {
    prepare("COMMIT").step();
}
void Session::rollback() {
    if (sqlite3_get_autocommit(db_) != 0) return;  // nothing open (or SQLite rolled back already)
    try {
        prepare("ROLLBACK").step();
    } catch (const StoreFailure&) {
    }
}

// ---- keys ----

std::optional<KeyRow> find_key(Session& s, RootKey root, std::string_view folded_path) {
    if (folded_path.empty()) return KeyRow{root_row_id(root), {}};
    Stmt st = s.prepare("SELECT id, path FROM keys WHERE root = ?1 AND folded = ?2");
    st.bind(1, static_cast<std::int64_t>(root)).bind_blob(2, folded_path);
    if (!st.step()) return std::nullopt;
    return KeyRow{st.column_int(0), st.column_blob(1)};
}

KeyRow ensure_key(Session& s, RootKey root, std::string_view base_path,
                  const std::vector<std::string_view>& names) {
    std::vector<std::string_view> all = *split_path(base_path);  // a stored path is always valid
    all.insert(all.end(), names.begin(), names.end());
    KeyRow row{root_row_id(root), {}};
    std::string folded;
    for (std::string_view name : all) {
        if (!folded.empty()) folded += '\\';
        folded += fold(name);
        if (auto found = find_key(s, root, folded)) {
            row = std::move(*found);
            continue;
        }
        std::string path = row.path.empty() ? std::string(name) : row.path + '\\' + std::string(name);
        Stmt st = s.prepare("INSERT INTO keys(root, parent, name, path, folded) VALUES(?1, ?2, ?3, ?4, ?5)");
        st.bind(1, static_cast<std::int64_t>(root)).bind(2, row.id).bind_blob(3, name).bind_blob(4, path);
        st.bind_blob(5, folded).step();
        row = KeyRow{s.last_insert_rowid(), std::move(path)};
    }
    return row;
}

bool delete_key_tree(Session& s, RootKey root, std::string_view folded_path) {
    if (folded_path.empty()) return false;  // a root stays
    auto row = find_key(s, root, folded_path);
    if (!row) return false;
    // Keys below sort between "<path>\" and "<path>]" (']' follows '\'), and no name holds a "\".
    std::string low = std::string(folded_path) + '\\';
    std::string high = std::string(folded_path) + ']';
    Stmt vals = s.prepare(
        "DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE root = ?1 AND "
        "(id = ?2 OR (folded >= ?3 AND folded < ?4)))");
    vals.bind(1, static_cast<std::int64_t>(root))
        .bind(2, row->id)
        .bind_blob(3, low)
        .bind_blob(4, high)
        .step();
    Stmt keys = s.prepare("DELETE FROM keys WHERE root = ?1 AND (id = ?2 OR (folded >= ?3 AND folded < ?4))");
    keys.bind(1, static_cast<std::int64_t>(root))
        .bind(2, row->id)
        .bind_blob(3, low)
        .bind_blob(4, high)
        .step();
    return true;
}

bool key_row_exists(Session& s, std::int64_t key_id) {
    Stmt st = s.prepare("SELECT 1 FROM keys WHERE id = ?1");
    return st.bind(1, key_id).step();
}

std::vector<std::string> subkey_names(Session& s, std::int64_t key_id) {
    Stmt st = s.prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY folded");
    st.bind(1, key_id);
    std::vector<std::string> names;
    while (st.step()) names.push_back(st.column_blob(0));
    return names;
}

// ---- values ----

namespace {
Value value_from_row(const Stmt& st) {
    Value v;
    v.name = st.column_blob(0);
    v.type = static_cast<DataType>(st.column_int(1));
    if (v.type == DataType::integer) {
        v.integer = static_cast<std::int32_t>(st.column_int(2));
    } else {
        v.text = st.column_blob(2);
    }
    return v;
}
}  // namespace

std::optional<Value> find_value(Session& s, std::int64_t key_id, std::string_view name) {
    Stmt st = s.prepare("SELECT name, type, data FROM vals WHERE key = ?1 AND folded = ?2");
    st.bind(1, key_id).bind_blob(2, fold(name));
    if (!st.step()) return std::nullopt;
    return value_from_row(st);
}

std::vector<Value> key_values(Session& s, std::int64_t key_id) {
    Stmt st = s.prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
    st.bind(1, key_id);
    std::vector<Value> values;
    while (st.step()) values.push_back(value_from_row(st));
    return values;
}

void put_value(Session& s, std::int64_t key_id, const Value& value) {
    Stmt st = s.prepare(
        "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    st.bind(1, key_id).bind_blob(2, value.name).bind_blob(3, fold(value.name));
    st.bind(4, static_cast<std::int64_t>(value.type));
    if (value.type == DataType::integer) {
        st.bind(5, value.integer);
    } else {
        st.bind_blob(5, value.text);
    }
    st.step();
}

bool remove_value(Session& s, std::int64_t key_id, std::string_view name) {
    Stmt st = s.prepare("DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    st.bind(1, key_id).bind_blob(2, fold(name)).step();
    return s.changes() > 0;
}

}  // namespace platform::registry::detail

namespace platform::registry {

std::string store_path() {
    return detail::resolve_place().path;
}

void reset_store() {
    auto& state = detail::store_state();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.db != nullptr && state.pid != getpid()) {
        state.abandon();
    } else {
        state.close();
    }
    state.last_error.clear();
}

bool store_available() {
    return static_cast<bool>(detail::Session());
}

std::string last_store_error() {
    auto& state = detail::store_state();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.last_error;
}

}  // namespace platform::registry
