// Files written here, read by other tools (python3-olefile, libgsf's gsf), and a file written
// by gsf read here. Each test skips when its tool is not installed.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/storage/cfb_file.h"
#include "platform/storage/tests/cfb_fixture_hex.h"
#include "platform/storage/tests/cfb_test_util.h"

using namespace platform::storage;
using cfb_test::pattern;
using cfb_test::put_stream;

namespace {

// Runs a shell command; returns its exit status and fills out with its stdout.
int run(const std::string& command, std::string* out = nullptr) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) text.append(buf, n);
    int status = ::pclose(pipe);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have_olefile() {
    return run("/usr/bin/python3 -c 'import olefile' 2>/dev/null") == 0;
}
bool have_gsf() {
    return run("command -v gsf >/dev/null 2>&1") == 0;
}

// What the sample document holds: path -> contents.
std::map<std::string, std::vector<std::uint8_t>> sample_contents() {
    std::map<std::string, std::vector<std::uint8_t>> m;
    m["Zor/Data"] = pattern(40000);
    m["Zor/Empty"] = {};
    const std::size_t lengths[] = {1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 100000};
    for (std::size_t n : lengths)
        m["Sub/Deep/Len" + std::to_string(n)] = pattern(n, static_cast<std::uint8_t>(n));
    for (int i = 0; i < 40; ++i)
        m["Many/Item" + std::to_string(i)] =
            pattern(static_cast<std::size_t>(i * 101), static_cast<std::uint8_t>(i));
    m["Top"] = pattern(77);
    return m;
}

// Creates the storages on the way and writes the stream.
void put_path(Storage root, const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::stringstream parts(path);
    std::vector<std::string> names;
    for (std::string p; std::getline(parts, p, '/');) names.push_back(p);
    Storage s = root;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        auto next = s.open_storage(names[i]);
        if (!next) next = s.create_storage(names[i]);
        ASSERT_TRUE(next) << next.describe();
        s = *next;
    }
    put_stream(s, names.back(), bytes);
}

std::string write_sample(const cfb_test::TempDir& dir) {
    const std::string path = dir.file("sample.zor");
    auto file = CompoundFile::create(path);
    EXPECT_TRUE(file) << file.describe();
    for (const auto& [p, bytes] : sample_contents()) put_path(file->root(), p, bytes);
    EXPECT_TRUE(file->commit());
    return path;
}

TEST(CfbInterop, OlefileReadsWhatWeWrite) {
    if (!have_olefile())
        GTEST_SKIP() << "python3-olefile is not installed (/usr/bin/python3 -c 'import olefile')";
    cfb_test::TempDir dir;
    const std::string path = write_sample(dir);
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    // Strict mode: olefile raises on any defect it would otherwise only note.
    const std::string script = dir.file("dump.py");
    {
        std::ofstream py(script);
        py << "import olefile, sys, os\n"
              "o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
              "for e in o.listdir(streams=True, storages=True):\n"
              "    p = '/'.join(e)\n"
              "    t = o.get_type(p)\n"
              "    if t == olefile.STGTY_STREAM:\n"
              "        data = o.openstream(p).read()\n"
              "        assert len(data) == o.get_size(p)\n"
              "        open(os.path.join(sys.argv[2], p.replace('/', '__')), 'wb').write(data)\n"
              "        print('f', p)\n"
              "    else:\n"
              "        print('d', p)\n";
    }
    std::string listing;
    ASSERT_EQ(run("/usr/bin/python3 " + script + " " + path + " " + out + " 2>&1", &listing), 0) << listing;
    auto expected = sample_contents();
    std::size_t streams = 0;
    std::istringstream lines(listing);
    for (std::string kind, name; lines >> kind >> name;) {
        if (kind != "f") continue;
        ++streams;
        ASSERT_TRUE(expected.count(name)) << "olefile lists an unknown stream " << name;
        std::string file_name;
        for (char c : name) file_name += c == '/' ? std::string("__") : std::string(1, c);
        EXPECT_EQ(cfb_test::read_file(out + "/" + file_name), expected[name]) << name;
    }
    EXPECT_EQ(streams, expected.size()) << listing;
    EXPECT_NE(listing.find("d Sub/Deep"), std::string::npos) << listing;
}

TEST(CfbInterop, GsfListsAndCatsWhatWeWrite) {
    if (!have_gsf()) GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    cfb_test::TempDir dir;
    const std::string path = write_sample(dir);
    std::string listing;
    ASSERT_EQ(run("gsf list " + path + " 2>&1", &listing), 0) << listing;
    auto expected = sample_contents();
    for (const auto& [name, bytes] : expected) {
        // "f  <date> <time>  <size> <path>", or "f  <size> <path>" when there is no date.
        EXPECT_NE(listing.find(" " + std::to_string(bytes.size()) + " " + name + "\n"), std::string::npos)
            << name << " missing from:\n"
            << listing;
        std::string contents;
        ASSERT_EQ(run("gsf cat " + path + " " + name, &contents), 0) << name;
        EXPECT_EQ(std::vector<std::uint8_t>(contents.begin(), contents.end()), bytes) << name;
    }
}

TEST(CfbInterop, WeReadWhatGsfWrites) {
    if (!have_gsf()) GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    cfb_test::TempDir dir;
    const std::string in = dir.file("in");
    std::filesystem::create_directories(in + "/Zor/Nested");
    std::map<std::string, std::vector<std::uint8_t>> files = {
        {"Zor/Data", pattern(40000)},          {"Zor/Small", pattern(63, 3)},
        {"Zor/Nested/Edge", pattern(4096, 5)}, {"Zor/Nested/Under", pattern(4095, 6)},
        {"Top", pattern(100000, 9)},           {"Tiny", pattern(1)},
    };
    for (const auto& [name, bytes] : files) cfb_test::write_file(in + "/" + name, bytes);
    const std::string ole = dir.file("made_by_gsf.ole");
    std::string log;
    ASSERT_EQ(run("cd " + in + " && gsf createole " + ole + " Zor Top Tiny 2>&1", &log), 0) << log;
    auto file = CompoundFile::open(ole, Mode::read_only);
    ASSERT_TRUE(file) << file.describe();
    for (const auto& [name, bytes] : files) {
        Storage s = file->root();
        std::string rest = name;
        for (auto slash = rest.find('/'); slash != std::string::npos; slash = rest.find('/')) {
            auto next = s.open_storage(rest.substr(0, slash));
            ASSERT_TRUE(next) << name << ": " << next.describe();
            s = *next;
            rest = rest.substr(slash + 1);
        }
        EXPECT_EQ(cfb_test::get_stream(s, rest), bytes) << name;
    }
    auto zor = file->root().open_storage("Zor");
    ASSERT_TRUE(zor);
    EXPECT_EQ(zor->elements().size(), 3u);
    // And what we save of it passes the strict check (saved() runs it) and is read by gsf.
    const std::string resaved = dir.file("resaved.ole");
    cfb_test::write_file(resaved, cfb_test::saved(*file));
    std::string contents;
    ASSERT_EQ(run("gsf cat " + resaved + " Zor/Data", &contents), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(contents.begin(), contents.end()), pattern(40000));
}

TEST(CfbInterop, OlefileAndGsfReadAFileWhoseDirectoryAndDifatSpill) {
    if (!have_olefile() || !have_gsf()) GTEST_SKIP() << "needs python3-olefile and gsf (libgsf-bin)";
    // 2,000 streams of 4,096 bytes: 501 directory sectors, and a FAT of more than 109 sectors.
    cfb_test::TempDir dir;
    const std::string path = dir.file("many.zor");
    {
        auto file = create_compound_file(path);
        ASSERT_TRUE(file);
        auto many = file->root().create_storage("Many");
        for (int i = 0; i < 2000; ++i) {
            put_stream(*many, "S" + std::to_string(i), pattern(4096, static_cast<std::uint8_t>(i)));
        }
        ASSERT_TRUE(file->commit());
    }
    cfb_test::checked_file(path);
    // Each stream Si must hold (position + i) mod 256.
    const std::string script =
        "import olefile, sys\n"
        "o = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
        "good = 0\n"
        "for e in o.listdir():\n"
        "    i = int(e[1][1:])\n"
        "    if o.openstream(e).read() == bytes((k + i) % 256 for k in range(4096)): good += 1\n"
        "print(len(o.listdir()), good)\n";
    std::ofstream(dir.file("many.py")) << script;
    std::string out;
    ASSERT_EQ(run("/usr/bin/python3 " + dir.file("many.py") + " " + path + " 2>&1", &out), 0) << out;
    EXPECT_EQ(out, "2000 2000\n");
    std::string listing;
    ASSERT_EQ(run("gsf list " + path, &listing), 0);
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 2000 + 3) << "header line, root, Many";
    std::string contents;
    ASSERT_EQ(run("gsf cat " + path + " Many/S1999", &contents), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(contents.begin(), contents.end()), pattern(4096, 1999 % 256));
}

TEST(CfbInterop, OthersReadTheHandMadeBaseFixture) {
    if (!have_olefile() || !have_gsf()) GTEST_SKIP() << "needs python3-olefile and gsf (libgsf-bin)";
    cfb_test::HexFixture fx;
    ASSERT_TRUE(cfb_test::load_hex_fixture(CFB_TEST_DATA, "minimal_document.hex", fx));
    cfb_test::TempDir dir;
    const std::string path = dir.file("minimal.cfb");
    cfb_test::write_file(path, fx.bytes);
    std::string out;
    ASSERT_EQ(run("/usr/bin/python3 -c \"import olefile, sys; o = olefile.OleFileIO(sys.argv[1], "
                  "raise_defects=olefile.DEFECT_INCORRECT); "
                  "sys.stdout.write(o.openstream('Zor/Data').read().hex())\" " +
                      path + " 2>&1",
                  &out),
              0)
        << out;
    EXPECT_EQ(out, "0001020304");
    ASSERT_EQ(run("gsf cat " + path + " Zor/Data", &out), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.end()), pattern(5));
}

}  // namespace
