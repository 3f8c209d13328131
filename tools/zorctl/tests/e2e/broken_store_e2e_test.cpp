// Zorrun, zorctl and zorhost with a settings store they cannot use (a file of garbage, a store
// cut short, a folder in its place): each names the file and what is wrong with it, at start
// and in the error its caller gets, and none of them writes into it.
#include <fstream>
#include <random>

#include "tools/zorctl/tests/e2e/zorctl_fixture.h"

namespace zorctl_test {
namespace {

namespace fs = std::filesystem;

struct Broken {
    std::string kind;
    std::string fault;  // what the programs must say about it
};

// The file's bytes, or for a folder its entries: what must be the same afterwards.
std::string contents(const fs::path& path) {
    if (fs::is_directory(path)) {
        std::string names = "folder:";
        for (const auto& entry : fs::directory_iterator(path))
            names += entry.path().filename().string() + ";";
        return names;
    }
    return read_file(path);
}

using ZorctlBrokenStore = ZorctlE2E;

TEST_F(ZorctlBrokenStore, every_program_names_the_store_and_its_fault_and_leaves_it_as_it_was) {
    // SetUp made a real store (settings and Zorrun's registration); its last user has ended,
    // so all of it is in the main file.
    const std::string sound = read_file(folder / "registry.db");
    ASSERT_GT(sound.size(), 4096u * 4);
    for (const Broken& broken :
         {Broken{"garbage", "file is not a database"}, Broken{"cut", "the file is damaged"},
          Broken{"folder", "it is a folder, not a file"}}) {
        SCOPED_TRACE(broken.kind);
        const fs::path store = folder / (broken.kind + ".db");
        if (broken.kind == "garbage") {
            std::mt19937 rng(1252);
            std::string bytes;
            for (int i = 0; i < 32768; ++i) bytes += static_cast<char>(rng());
            std::ofstream(store, std::ios::binary) << bytes;
        } else if (broken.kind == "cut") {
            std::ofstream(store, std::ios::binary) << sound.substr(0, sound.size() / 2);
        } else {
            fs::create_directory(store);
        }
        const std::string before = contents(store);
        const std::vector<std::string> env = {"ZOR_REGISTRY=" + store.string(),
                                              "ZOR_COM1=" + (folder / "COM1").string(),
                                              "XDG_DATA_HOME=" + (folder / "data").string()};
        const auto names_it = [&](const std::string& said) {
            return said.find(store.string()) != std::string::npos &&
                   said.find(broken.fault) != std::string::npos;
        };

        Finished f = run_program({ZORCTL_PATH, "status"}, env, 60s);
        EXPECT_NE(f.exit_code, 0);
        EXPECT_TRUE(names_it(f.err)) << "zorctl said: " << f.err;

#ifdef ZORHOST_PATH
        f = run_program({ZORHOST_PATH, "vial", "Tray1:5"}, env, 60s);
        EXPECT_NE(f.exit_code, 0);
        EXPECT_TRUE(names_it(f.err)) << "zorhost said: " << f.err;
#endif

        // Zorrun says it at start, still takes its bus name, and every caller hears the reason.
        const fs::path err = folder / ("zorrun-" + broken.kind + ".err");
        {
            Background zorrun_here({ZORRUN_PATH}, env, folder / "zorrun.out", err);
            ASSERT_TRUE(wait_until([&] { return zorrun_on_bus() || !zorrun_here.running(); }, 20s));
            EXPECT_TRUE(names_it(read_file(err))) << "Zorrun said at start: " << read_file(err);
            f = busctl(
                {"call", "com.hox.Zorrun", "/com/hox/Zorrun/IZor", "com.hox.Zorrun.IIZor", "Initialize"});
            EXPECT_NE(f.exit_code, 0);
            EXPECT_TRUE(names_it(f.err)) << "the caller of Zorrun heard: " << f.err;
            zorrun_here.stop();
        }
        ASSERT_TRUE(wait_until([&] { return !zorrun_on_bus(); }, 20s));
        EXPECT_TRUE(contents(store) == before) << "the store was written into";
    }
}

}  // namespace
}  // namespace zorctl_test
