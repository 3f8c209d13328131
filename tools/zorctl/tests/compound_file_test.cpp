// The method document file read back by readers that share no code with zorctl: Debian's
// python3-olefile (strict: any defect of the structure raises) and libgsf's "gsf" tool. Stream
// lengths cross the structures of the format; the bytes are "position mod 251", so a sector put
// in the wrong place shows.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/testing/temp_tree.h"
#include "tools/zorctl/document.h"

namespace {

namespace fs = std::filesystem;

// The first python3 that has olefile: Debian's own first, since a PATH python may be another.
std::string python_with_olefile() {
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        const std::string command = std::string(candidate) + " -c 'import olefile' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) return candidate;
    }
    return "";
}

// Runs a shell command; its exit status and standard output.
int run(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* olefile_check = R"(
import sys, olefile
path, expected_path = sys.argv[1], sys.argv[2]
expected = open(expected_path, 'rb').read()
ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
entries = sorted(ole.listdir(streams=True, storages=True))
assert entries == [['Zor'], ['Zor', 'Data']], entries
assert ole.get_type('Zor') == olefile.STGTY_STORAGE
assert ole.get_type('Zor/Data') == olefile.STGTY_STREAM
data = ole.openstream('Zor/Data').read()
assert ole.get_size('Zor/Data') == len(expected), (ole.get_size('Zor/Data'), len(expected))
assert data == expected, 'bytes differ at %d' % next(i for i in range(len(data)) if data[i:i+1] != expected[i:i+1])
print('ok', len(data))
)";

class ZorctlCompoundFile : public ::testing::Test {
  protected:
    void SetUp() override {
        python = python_with_olefile();
        if (python.empty()) GTEST_SKIP() << "no python3 with olefile (Debian package python3-olefile)";
        folder = zor_testing::make_temp_folder("zorctl-cfb");
        std::ofstream(folder / "check.py") << olefile_check;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!folder.empty()) fs::remove_all(folder, ignored);
    }
    // Writes the document and has olefile read it; olefile's answer.
    std::string written_and_read(const std::vector<std::uint8_t>& data) {
        std::string error;
        EXPECT_TRUE(zorctl::write_method_document(folder / "doc.zor", data, error)) << error;
        std::ofstream(folder / "expected.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        std::string output;
        const int status =
            run(python + " " + (folder / "check.py").string() + " " + (folder / "doc.zor").string() + " " +
                    (folder / "expected.bin").string() + " 2>&1",
                output);
        if (status != 0) return "exit " + std::to_string(status) + ": " + output;
        return output;
    }
    std::string python;
    fs::path folder;
};

TEST_F(ZorctlCompoundFile, olefile_reads_the_data_stream_back_at_every_size_that_crosses_a_structure) {
    const std::size_t sizes[] = {
        0,   // no mini stream at all
        1,   // one mini sector
        63,  // 64: the end of the first mini sector
        64,     65,
        511,  // 512: eight mini sectors fill one sector of the mini stream
        512,    513,
        4095,  // the last size kept in the mini stream
        4096,  // the first one in sectors of its own
        4097,
        40000,  // where the driver once cut a method
        65024,  // 127 sectors: with the FAT and the directory, one FAT sector exactly
        65536,  // a second FAT sector
        200000,
    };
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i % 251);
        EXPECT_EQ(written_and_read(data), "ok " + std::to_string(size) + "\n");
    }
}

TEST_F(ZorctlCompoundFile, the_demo_document_reads_back_as_its_lines_in_utf16) {
    std::vector<std::string> method;
    ASSERT_TRUE(zorctl::read_method_text(fs::path(ZOR_EXAMPLES_DIR) / "demo_method.txt", method));
    const auto lines = zorctl::document_lines("10ul", method, fs::path(ZOR_EXAMPLES_DIR) / "macros");
    const auto bytes = zorctl::stream_bytes(lines);
    EXPECT_EQ(written_and_read(bytes), "ok " + std::to_string(bytes.size()) + "\n");
    // The lines as a reader of the host's documents takes them: UTF-16LE, split at CR LF.
    const std::string decode =
        python +
        " -c \"import olefile,sys; d=olefile.OleFileIO(sys.argv[1]).openstream('Zor/Data')"
        ".read().decode('utf-16-le'); sys.stdout.buffer.write(d.replace('\\r\\n','|').encode('utf-8'))\" " +
        (folder / "doc.zor").string();
    std::string output;
    ASSERT_EQ(run(decode + " 2>&1", output), 0) << output;
    EXPECT_EQ(output.substr(0, 28), "10ul|Rinse Needle(Wash2,2)|L");
    EXPECT_NE(output.find("|Volume (\xC2\xB5l);SL.volume;0;SYR.Volume|"), std::string::npos) << output;
    EXPECT_EQ(output.substr(output.size() - 34), "[MACRO METHOD EXIT]|WASH(Wash2,2)|");
}

#ifdef ZORCTL_PATH
TEST_F(ZorctlCompoundFile, the_make_document_command_writes_a_file_that_olefile_reads_as_the_host_would) {
    const fs::path examples = ZOR_EXAMPLES_DIR;
    std::string output;
    const std::string command = std::string(ZORCTL_PATH) + " make-document " + (folder / "doc.zor").string() +
                                " --syringe 10ul --method '" + (examples / "demo_method.txt").string() +
                                "' --macros '" + (examples / "macros").string() + "'";
    ASSERT_EQ(run(command + " 2>&1", output), 0) << output;
    EXPECT_EQ(output, (folder / "doc.zor").string() + ": 28 lines in Zor/Data\n");
    const std::string lines =
        python +
        " -c \"import olefile,sys; o=olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT);"
        " d=o.openstream('Zor/Data').read().decode('utf-16-le');"
        " assert d.endswith('\\r\\n'); print(len(d.split('\\r\\n')) - 1, d.split('\\r\\n')[0])\" " +
        (folder / "doc.zor").string();
    ASSERT_EQ(run(lines + " 2>&1", output), 0) << output;
    EXPECT_EQ(output, "28 10ul\n");
}
#endif

TEST_F(ZorctlCompoundFile, libgsf_lists_the_storage_and_the_stream) {
    std::string output;
    if (run("command -v gsf >/dev/null", output) != 0) GTEST_SKIP() << "no gsf (Debian package libgsf-bin)";
    const std::vector<std::uint8_t> data = zorctl::stream_bytes({"10ul", "Prep()"});
    std::string error;
    ASSERT_TRUE(zorctl::write_method_document(folder / "doc.zor", data, error)) << error;
    ASSERT_EQ(run("gsf cat " + (folder / "doc.zor").string() + " Zor/Data", output), 0);
    EXPECT_EQ(output, std::string(reinterpret_cast<const char*>(data.data()), data.size()));
}

TEST_F(ZorctlCompoundFile, an_existing_document_is_replaced_whole) {
    std::string error;
    ASSERT_TRUE(zorctl::write_method_document(folder / "doc.zor", std::vector<std::uint8_t>(5000, 7), error));
    const std::vector<std::uint8_t> small = {1, 2, 3};
    EXPECT_EQ(written_and_read(small), "ok 3\n");
    EXPECT_FALSE(fs::exists(folder / "doc.zor.new"));
    EXPECT_FALSE(zorctl::write_method_document(folder / "no-such-folder" / "doc.zor", small, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
