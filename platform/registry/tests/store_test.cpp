// What the store promises: where it lives, that an unusable store is only a key that cannot be
// opened, that several processes can write at once without losing a write, and that a process
// killed in the middle of a write leaves a sound database with every completed write in it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/tests/registry_fixture.h"

extern char** environ;

namespace platform::registry {
namespace {

using ::testing::HasSubstr;
using testing::TempStore;

// ---- helpers ----

// A raw SQLite connection to the store file, as another program would have.
class Raw {
  public:
    explicit Raw(const std::string& path) { EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK); }
    ~Raw() { sqlite3_close(db_); }
    std::string text(const char* sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &st, nullptr) != SQLITE_OK) return "prepare failed";
        std::string out = sqlite3_step(st) == SQLITE_ROW
                              ? reinterpret_cast<const char*>(sqlite3_column_text(st, 0))
                              : "no row";
        sqlite3_finalize(st);
        return out;
    }
    int exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

  private:
    sqlite3* db_ = nullptr;
};

// A running registry_child with its standard output on a pipe.
class Child {
  public:
    explicit Child(const std::vector<std::string>& args) {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<std::string> all{REGISTRY_CHILD};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, REGISTRY_CHILD, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            wait();
        }
        close(out_);
    }

    // Reads report lines until at least `lines` of them have come (or the pipe ends); returns how
    // many came.
    long read_reports(long lines) {
        char buf[4096];
        while (reports_ < lines) {
            ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\n') {
                    last_ = std::stol(partial_);
                    partial_.clear();
                    ++reports_;
                } else {
                    partial_ += buf[i];
                }
            }
        }
        return reports_;
    }
    long last_reported() const { return last_; }

    void kill_now() { kill(pid_, SIGKILL); }

    // Waits for the end; the exit code, or 128 + signal.
    int wait() {
        int status = 0;
        EXPECT_EQ(waitpid(pid_, &status, 0), pid_);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string partial_;
    long reports_ = 0;
    long last_ = -1;
};

class StoreTest : public TempStore {};

// ---- where the store lives ----

TEST_F(StoreTest, TheStoreIsTheFileThatZorRegistryNames) {
    EXPECT_EQ(store_path(), db_);
    ASSERT_TRUE(set_integer_value(HKEY_CURRENT_USER, "K", "v", 1));
    EXPECT_TRUE(std::filesystem::exists(db_));
    Raw raw(db_);
    EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
}

TEST_F(StoreTest, WithoutZorRegistryTheStoreIsInTheConfigFolderWhichIsCreated) {
    unsetenv("ZOR_REGISTRY");
    std::string xdg = (dir_ / "config").string();
    setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    reset_store();
    EXPECT_EQ(store_path(), xdg + "/zor/registry.db");
    EXPECT_TRUE(set_integer_value(HKEY_CURRENT_USER, "K", "v", 1));
    EXPECT_TRUE(std::filesystem::exists(xdg + "/zor/registry.db"));

    unsetenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    std::string saved_home = home != nullptr ? home : "";
    std::string new_home = (dir_ / "home").string();
    setenv("HOME", new_home.c_str(), 1);
    EXPECT_EQ(store_path(), new_home + "/.config/zor/registry.db");
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, "K"));  // another file, reopened by itself
    EXPECT_TRUE(set_integer_value(HKEY_CURRENT_USER, "K", "v", 1));
    EXPECT_TRUE(std::filesystem::exists(new_home + "/.config/zor/registry.db"));
    if (home != nullptr) {
        setenv("HOME", saved_home.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

TEST_F(StoreTest, ChangingZorRegistryReopensOnTheNextUse) {
    ASSERT_TRUE(set_string_value(HKEY_CURRENT_USER, "K", "where", "first"));
    std::string second = (dir_ / "second.db").string();
    setenv("ZOR_REGISTRY", second.c_str(), 1);  // no reset_store(): noticed by itself
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, "K"));
    ASSERT_TRUE(set_string_value(HKEY_CURRENT_USER, "K", "where", "second"));
    setenv("ZOR_REGISTRY", db_.c_str(), 1);
    EXPECT_EQ(query_value(HKEY_CURRENT_USER, "K", "where")->text, "first");
    reset_store();  // the explicit way gives the same
    EXPECT_EQ(query_value(HKEY_CURRENT_USER, "K", "where")->text, "first");
}

TEST_F(StoreTest, ValuesOutliveTheConnection) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\P", true));
    reg.write_integer("b", 2);
    reg.write_integer("a", 1);
    reset_store();
    std::vector<std::string> names;
    reg.get_value_names(names);
    EXPECT_THAT(names, ::testing::ElementsAre("b", "a"));
    EXPECT_EQ(reg.read_integer("a"), 1);
}

// ---- a store that cannot be opened ----

void expect_unusable() {
    EXPECT_FALSE(store_available());
    EXPECT_FALSE(last_store_error().empty());
    Registry reg;
    EXPECT_FALSE(reg.open_key("\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1", true));
    EXPECT_FALSE(reg.open_key_read_only("\\SOFTWARE"));
    EXPECT_FALSE(reg.has_current_key());
    EXPECT_FALSE(reg.key_exists("\\SOFTWARE"));
    EXPECT_FALSE(reg.value_exists("Port"));
    EXPECT_EQ(reg.get_data_type("Port"), DataType::unknown);
    EXPECT_EQ(reg.get_data_size("Port"), -1);
    EXPECT_FALSE(reg.delete_value("Port"));
    EXPECT_FALSE(reg.delete_key("\\SOFTWARE"));
    std::vector<std::string> names{"x"};
    reg.get_value_names(names);
    EXPECT_TRUE(names.empty());
    reg.get_key_names(names);
    EXPECT_TRUE(names.empty());
    EXPECT_THROW(reg.read_integer("Port"), RegistryError);
    EXPECT_THROW(reg.write_integer("Port", 1), RegistryError);  // on the root: a write that fails
    EXPECT_FALSE(set_string_value(HKEY_CURRENT_USER, "K", "v", "x"));
    EXPECT_FALSE(query_value(HKEY_CURRENT_USER, "K", "v").has_value());
    EXPECT_FALSE(list_values(HKEY_CURRENT_USER, "K").has_value());
}

TEST_F(StoreTest, AStoreInAFolderThatCannotBeMadeIsUnusable) {
    use_store("/dev/null/zor/registry.db");
    expect_unusable();
    EXPECT_THAT(last_store_error(), HasSubstr("/dev/null/zor/registry.db"));
}

TEST_F(StoreTest, ADefaultPlaceThatCannotBeMadeIsUnusable) {
    unsetenv("ZOR_REGISTRY");
    setenv("XDG_CONFIG_HOME", "/dev/null/config", 1);
    reset_store();
    expect_unusable();
    unsetenv("XDG_CONFIG_HOME");
}

TEST_F(StoreTest, AFolderInPlaceOfTheFileIsUnusable) {
    use_store(dir_.string());
    expect_unusable();
}

TEST_F(StoreTest, AFileOfGarbageIsUnusableAndLeftAlone) {
    std::string garbage;
    std::mt19937 rng(1252);
    for (int i = 0; i < 65536; ++i) garbage += static_cast<char>(rng());
    {
        std::ofstream f(db_, std::ios::binary);
        f << garbage;
    }
    reset_store();
    expect_unusable();
    std::ifstream f(db_, std::ios::binary);
    std::string after((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(after, garbage);
}

TEST_F(StoreTest, AStoreCutShortIsUnusableNamedAndLeftAlone) {
    {
        Registry reg;
        ASSERT_TRUE(reg.open_key("\\Big", true));
        for (int i = 0; i < 200; ++i) reg.write_string("v" + std::to_string(i), std::string(500, 'x'));
    }
    reset_store();  // the last connection checkpoints: everything is in the main file now
    std::string whole;
    {
        std::ifstream f(db_, std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(whole.size(), 4096u * 8);
    const std::string cut = whole.substr(0, whole.size() / 2);
    {
        std::ofstream f(db_, std::ios::binary | std::ios::trunc);
        f << cut;
    }
    reset_store();
    expect_unusable();
    EXPECT_THAT(last_store_error(), HasSubstr(db_));
    EXPECT_THAT(last_store_error(), HasSubstr("the file is damaged"));
    std::ifstream f(db_, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(after == cut) << "the file was written into";
}

TEST_F(StoreTest, AFolderInPlaceOfTheFileIsNamedAsSuch) {
    use_store(dir_.string());
    EXPECT_FALSE(store_available());
    EXPECT_THAT(last_store_error(), HasSubstr(dir_.string() + ": it is a folder"));
}

TEST_F(StoreTest, AnotherProgramsDatabaseIsUnusableAndLeftAlone) {
    {
        Raw raw(db_);
        ASSERT_EQ(raw.exec("CREATE TABLE keys(x); INSERT INTO keys VALUES(42)"), SQLITE_OK);
    }
    reset_store();
    expect_unusable();
    EXPECT_THAT(last_store_error(), HasSubstr("another program"));
    Raw raw(db_);
    EXPECT_EQ(raw.text("SELECT x FROM keys"), "42");
}

TEST_F(StoreTest, AStoreDamagedInsideFailsWithoutCrashing) {
    {
        Registry reg;
        ASSERT_TRUE(reg.open_key("\\Big", true));
        for (int i = 0; i < 200; ++i) reg.write_string("v" + std::to_string(i), std::string(500, 'x'));
    }
    reset_store();  // the last connection checkpoints: everything is in the main file now
    {
        std::fstream f(db_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(4096 * 2);
        std::string junk(4096 * 8, '\x5A');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    reset_store();
    // Whatever the damage hits, every call returns; none crashes or throws where it promises not to.
    Registry reg;
    bool opened = reg.open_key("\\Big", false);
    std::vector<std::string> names;
    reg.get_value_names(names);
    (void)reg.value_exists("v1");
    (void)reg.key_exists("\\Big");
    if (opened) {
        try {
            reg.write_string("v1", "y");
        } catch (const RegistryError&) {
        }
    }
    SUCCEED();
}

TEST_F(StoreTest, TheStoreCanBeUsedAgainOnceItsPlaceIsFixed) {
    use_store("/dev/null/registry.db");
    EXPECT_FALSE(store_available());
    setenv("ZOR_REGISTRY", db_.c_str(), 1);
    EXPECT_TRUE(store_available());
    EXPECT_TRUE(Registry().open_key("\\K", true));
}

// ---- sharing with other connections and processes ----

TEST_F(StoreTest, AWriterIsWaitedForAndReadersAreNotBlocked) {
    ASSERT_TRUE(set_integer_value(HKEY_CURRENT_USER, "K", "v", 1));
    Raw other(db_);
    ASSERT_EQ(other.exec("PRAGMA busy_timeout=5000; BEGIN IMMEDIATE; UPDATE vals SET data = 99"), SQLITE_OK);
    EXPECT_EQ(query_value(HKEY_CURRENT_USER, "K", "v")->integer, 1);  // reads the last committed state
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.exec("COMMIT");
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(set_integer_value(HKEY_CURRENT_USER, "K", "w", 2));  // waits for the commit
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    committer.join();
    EXPECT_EQ(query_value(HKEY_CURRENT_USER, "K", "v")->integer, 99);
    EXPECT_EQ(query_value(HKEY_CURRENT_USER, "K", "w")->integer, 2);
}

TEST_F(StoreTest, AWriterHeldTooLongMakesTheWriteFailNotHang) {
    ASSERT_TRUE(create_key(HKEY_CURRENT_USER, "K"));
    Raw other(db_);
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\K", false));  // opening an existing key only reads
    auto start = std::chrono::steady_clock::now();
    try {
        reg.write_integer("v", 1);
        ADD_FAILURE() << "the write went through a held lock";
    } catch (const RegistryError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Failed to set data for 'v'"));
        EXPECT_THAT(e.what(), HasSubstr("busy"));
    }
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(4500));
    EXPECT_LT(waited, std::chrono::seconds(30));
    EXPECT_EQ(other.exec("ROLLBACK"), SQLITE_OK);
    EXPECT_NO_THROW(reg.write_integer("v", 1));
}

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNoWrite) {
    constexpr long kCount = 300;
    Child a({"write", "A", std::to_string(kCount)});
    Child b({"write", "B", std::to_string(kCount)});
    // And this process writes meanwhile too.
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(set_integer_value(HKEY_CURRENT_USER, "Stress", "C" + std::to_string(i), i));
    EXPECT_EQ(a.read_reports(kCount), kCount);
    EXPECT_EQ(b.read_reports(kCount), kCount);
    EXPECT_EQ(a.wait(), 0);
    EXPECT_EQ(b.wait(), 0);

    auto values = list_values(HKEY_CURRENT_USER, "Stress");
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->size(), static_cast<std::size_t>(2 * kCount + 100));
    for (const char* tag : {"A", "B"}) {
        for (long i = 0; i < kCount; ++i) {
            auto v = query_value(HKEY_CURRENT_USER, "Stress", tag + std::to_string(i));
            ASSERT_TRUE(v.has_value()) << tag << i;
            EXPECT_EQ(v->integer, i);
        }
    }
    Raw raw(db_);
    EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
}

TEST_F(StoreTest, ProcessesStartingAtOnceOnAFreshStoreAllOpenIt) {
    // A fresh store is switched to its journal mode by whichever process opens it first; the
    // others meet that switch (or each other's) and must wait for it, not fail at once.
    constexpr int kRounds = 12;
    constexpr int kChildren = 16;
    for (int round = 0; round < kRounds; ++round) {
        use_store((dir_ / ("fresh" + std::to_string(round) + ".db")).string());
        std::vector<std::unique_ptr<Child>> children;
        for (int c = 0; c < kChildren; ++c)
            children.push_back(
                std::make_unique<Child>(std::vector<std::string>{"write", "P" + std::to_string(c), "1"}));
        for (int c = 0; c < kChildren; ++c) {
            EXPECT_EQ(children[c]->read_reports(1), 1) << "round " << round << ", process " << c;
            EXPECT_EQ(children[c]->wait(), 0) << "round " << round << ", process " << c;
        }
        auto values = list_values(HKEY_CURRENT_USER, "Stress");
        ASSERT_TRUE(values.has_value());
        EXPECT_EQ(values->size(), static_cast<std::size_t>(kChildren)) << "round " << round;
    }
}

TEST_F(StoreTest, AChildKilledInTheMiddleOfWritesLeavesASoundStoreWithEveryCompletedWrite) {
    // In the manner of SQLite's crash tests: kill the writer at write N, for many N, at a random
    // moment of the write that follows, then check the file and every write that had returned.
    std::mt19937 rng(42);
    std::vector<long> kill_points{1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144};
    while (kill_points.size() < 40) kill_points.push_back(1 + static_cast<long>(rng() % 200));
    std::vector<long> completed;
    for (std::size_t run = 0; run < kill_points.size(); ++run) {
        Child child({"batch", "run" + std::to_string(run), "1000000"});
        ASSERT_GE(child.read_reports(kill_points[run]), kill_points[run]);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        child.kill_now();
        EXPECT_EQ(child.wait(), 128 + SIGKILL);
        child.read_reports(LONG_MAX);  // the reports still in the pipe, up to the last write that returned
        completed.push_back(child.last_reported());
    }

    {
        Raw raw(db_);
        EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
    }
    reset_store();
    for (std::size_t run = 0; run < kill_points.size(); ++run) {
        const std::string key = "Crash\\run" + std::to_string(run);
        auto a = query_value(HKEY_CURRENT_USER, key, "a");
        ASSERT_TRUE(a.has_value()) << key;
        // The last batch that had returned is there; at most the one in flight follows it.
        EXPECT_GE(a->integer, completed[run]) << key;
        EXPECT_LE(a->integer, completed[run] + 1) << key;
        // A batch is whole or absent: every value of the key holds the same number.
        for (char name = 'b'; name <= 'h'; ++name) {
            EXPECT_EQ(query_value(HKEY_CURRENT_USER, key, std::string(1, name))->integer, a->integer)
                << key << name;
        }
        EXPECT_EQ(query_value(HKEY_CURRENT_USER, key, "filler")->text,
                  std::string(4096, 'f') + std::to_string(a->integer));
        auto subkeys = list_subkeys(HKEY_CURRENT_USER, key);
        ASSERT_TRUE(subkeys.has_value());
        EXPECT_EQ(static_cast<long>(subkeys->size()), a->integer + 1) << key;
        for (long i = 0; i <= a->integer; ++i)
            EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, key + "\\i" + std::to_string(i)));
    }
    // And the store takes writes after the crashes.
    EXPECT_TRUE(set_integer_value(HKEY_CURRENT_USER, "After", "v", 1));
}

TEST_F(StoreTest, AForkedChildUsesAConnectionOfItsOwn) {
    ASSERT_TRUE(
        set_integer_value(HKEY_CURRENT_USER, "Fork", "parent", 1));  // the parent's connection is open
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        bool ok = true;
        for (int i = 0; i < 20; ++i)
            ok = ok && set_integer_value(HKEY_CURRENT_USER, "Fork", "child" + std::to_string(i), i);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(list_values(HKEY_CURRENT_USER, "Fork")->size(), 21u);
    EXPECT_TRUE(set_integer_value(HKEY_CURRENT_USER, "Fork", "parent", 2));
    Raw raw(db_);
    EXPECT_EQ(raw.text("PRAGMA integrity_check"), "ok");
}

}  // namespace
}  // namespace platform::registry
