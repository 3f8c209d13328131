// Run preparation from compound files: the raw-data file's storage "Zor" and stream "Data",
// what each kind of unreadable document gives, and ValidateMethod on storage bytes.
#include <cstring>
#include <fstream>

#include "core/method_expansion.h"
#include "core/run_variables.h"
#include "core/session_state.h"
#include "core/step_queue.h"
#include "driver/zorrun/automation.h"
#include "driver/zorrun/method_document.h"
#include "driver/zorrun/run_preparation.h"
#include "driver/zorrun/status_model.h"
#include "driver/zorrun/tests/support/compound_writer.h"
#include "driver/zorrun/tests/support/driver_fixture.h"
#include "driver/zorrun/tizor.h"

namespace zorrun_test {
namespace {

using namespace zorrun;
namespace com = platform::com;

const std::vector<std::string> method_lines = {"10ul", "Wash()", "[MACRO Wash]", "WASH(Wash1,2)"};

class DriverDocument : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        load_example_configuration();
        write_macro("ERROR ENTRY", {"WASH(Wash1,1)"});
        write_macro("ERROR EXIT", {"WASH(Wash2,1)"});
        set_status_idle();
    }
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string document(const std::vector<std::string>& lines) const {
        return write("run.raw", make_compound_file({CompoundNode::folder(
                                    "Zor", {CompoundNode::stream("Data", method_stream_bytes(lines))})}));
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        for (const auto& b : interaction->boxes()) texts.push_back(b.request.text);
        return texts;
    }
    // 0 when the call fails; `failure` then holds its reason.
    std::int32_t prepare(const std::string& path, const std::string& vial = "Tray2:5") {
        failure.clear();
        try {
            return prepare_for_run("", path, "", 0, 0, vial, 1.0, 0);
        } catch (const AutomationFailure& e) {
            failure = e.what();
            return 0;
        }
    }
    std::string failure;
};

TEST_F(DriverDocument, a_good_document_gives_the_syringe_and_the_method_and_status_3) {
    const std::string path = document(method_lines);
    EXPECT_EQ(prepare(path), 1);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(run_preparation_state().method_syringe, "10ul");
    EXPECT_EQ(run_preparation_state().method_file_name, "run.raw");
    EXPECT_EQ(core::method_state().method_source,
              (std::vector<std::string>{"Wash()", "[MACRO Wash]", "WASH(Wash1,2)"}));
    EXPECT_EQ(vzor_state().status_code, 3);
    EXPECT_EQ(core::step_queue().size, 2);
}

TEST_F(DriverDocument, other_streams_and_storages_beside_it_do_not_matter) {
    const std::string path = write(
        "run.raw",
        make_compound_file({CompoundNode::stream("Text", method_stream_bytes({"x"})),
                            CompoundNode::folder("Other", {CompoundNode::stream("Data", "zz")}),
                            CompoundNode::folder(
                                "zor", {CompoundNode::stream("Text", "a"),
                                        CompoundNode::stream("data", method_stream_bytes(method_lines))})}));
    EXPECT_EQ(prepare(path), 1);
    EXPECT_EQ(run_preparation_state().method_syringe, "10ul");
}

TEST_F(DriverDocument, a_missing_file_is_unreadable) {
    EXPECT_EQ(prepare((folder / "nothing.raw").string()), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"cant open storage: 0080030002"});
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(core::step_queue().size, 0);
}

TEST_F(DriverDocument, a_file_that_is_no_compound_file_is_unreadable) {
    EXPECT_EQ(prepare(write("text.raw", "10ul\r\nWash()\r\n")), 0);
    EXPECT_EQ(prepare(write("empty.raw", "")), 0);
    EXPECT_EQ(boxes(),
              (std::vector<std::string>{"cant open storage: 00800300FB", "cant open storage: 00800300FB"}));
    EXPECT_EQ(vzor_state().status_code, 1);
}

TEST_F(DriverDocument, a_document_without_the_zor_storage_is_unreadable) {
    const std::string path =
        write("run.raw", make_compound_file({CompoundNode::stream("Zor", "not a storage")}));
    EXPECT_EQ(prepare(path), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"cant open Zor substorage: 0080030002"});
    EXPECT_EQ(vzor_state().status_code, 1);
}

TEST_F(DriverDocument, a_zor_storage_without_the_data_stream_is_unreadable) {
    const std::string path = write(
        "run.raw", make_compound_file({CompoundNode::folder("Zor", {CompoundNode::stream("Text", "x")})}));
    EXPECT_EQ(prepare(path), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"cant open Data stream: 0080030002"});
    EXPECT_EQ(vzor_state().status_code, 1);
}

TEST_F(DriverDocument, cr_lf_a_lone_cr_and_a_lone_lf_each_end_one_line_as_the_plug_in_reads_them) {
    // Another writer's line ends, the last line without one. The plug-in reads the same bytes
    // into the same lines (PluginHost.ReadsCrLfLoneCrAndLoneLfAsTheDriverDoes).
    const std::string text = "10ul\rWash()\nInject(Inj1)\r\nWash()";
    std::string data;
    for (char c : text) data += std::string{c, '\0'};
    const std::string path = write(
        "ends.raw", make_compound_file({CompoundNode::folder("Zor", {CompoundNode::stream("Data", data)})}));
    std::vector<std::string> lines;
    ASSERT_EQ(read_document_method(path, lines), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"10ul", "Wash()", "Inject(Inj1)", "Wash()"}));
}

TEST_F(DriverDocument, a_damaged_stream_chain_cannot_be_read) {
    std::string bytes = make_compound_file(
        {CompoundNode::folder("Zor", {CompoundNode::stream("Data", std::string(5000, 'a'))})});
    // The large stream's first sector points to itself in the FAT: a cycle.
    std::uint32_t first_fat = 0, fat_entry_of_stream = 0;
    std::memcpy(&first_fat, bytes.data() + 0x4C, 4);
    // Find the stream's start from its directory entry (the third entry).
    std::uint32_t first_directory = 0;
    std::memcpy(&first_directory, bytes.data() + 0x30, 4);
    std::memcpy(&fat_entry_of_stream, bytes.data() + (first_directory + 1) * 512 + 2 * 128 + 0x74, 4);
    std::memcpy(bytes.data() + (first_fat + 1) * 512 + 4 * fat_entry_of_stream, &fat_entry_of_stream, 4);
    EXPECT_EQ(prepare(write("cycle.raw", bytes)), 0);
    // Every chain is checked when the file is opened, so the damage is found there.
    EXPECT_EQ(boxes(), std::vector<std::string>{"cant open storage: 0080030109"});
}

TEST_F(DriverDocument, a_file_cut_short_is_refused) {
    const std::string whole = make_compound_file(
        {CompoundNode::folder("Zor", {CompoundNode::stream("Data", method_stream_bytes(method_lines))})});
    for (std::size_t size : {std::size_t(100), std::size_t(512), std::size_t(1024), whole.size() - 512}) {
        interaction->clear_record();
        EXPECT_EQ(prepare(write("cut.raw", whole.substr(0, size))), 0) << size;
        ASSERT_EQ(boxes().size(), 1u) << size;
    }
    EXPECT_EQ(vzor_state().status_code, 1);
}

TEST_F(DriverDocument, a_stream_over_40000_bytes_is_read_to_its_end) {
    std::vector<std::string> lines = {"10ul", "Wash()", "[MACRO Wash]"};
    // 2,500 lines of WASH take 2,500 x 15 x 2 bytes: the text goes on long after byte 40,000.
    for (int i = 0; i < 2500; ++i) lines.push_back("WASH(Wash1,1)");
    lines.insert(lines.end(), {"[MACRO METHOD EXIT]", "WASH(Wash2,3)"});
    ASSERT_GT(method_stream_bytes(lines).size(), 70000u);
    EXPECT_EQ(prepare(document(lines)), 1) << failure;
    EXPECT_EQ(core::method_state().method_source, std::vector<std::string>(lines.begin() + 1, lines.end()));
    EXPECT_TRUE(boxes().empty());
}

TEST_F(DriverDocument, a_stream_longer_than_a_method_can_be_is_refused_with_its_length) {
    // Lines of 1,000 characters until the stream is one line past the limit.
    std::vector<std::string> lines = {"10ul", "Wash()", "[MACRO Wash]", "WASH(Wash1,1)"};
    const std::string comment = "// " + std::string(997, 'x');
    const std::size_t comment_bytes = (comment.size() + 2) * 2;  // UTF-16, CR LF
    std::size_t size = method_stream_bytes(lines).size();
    while (size <= method_stream_limit) {
        lines.push_back(comment);
        size += comment_bytes;
    }
    ASSERT_EQ(method_stream_bytes(lines).size(), size);
    EXPECT_EQ(prepare(document(lines)), 0);
    const std::string shown = "cant read Data stream: 0080030111 (" + std::to_string(size) +
                              " bytes; a method holds at most " + std::to_string(method_stream_limit) + ")";
    EXPECT_EQ(boxes(), std::vector<std::string>{shown});
    EXPECT_EQ(failure, shown + " (" + (folder / "run.raw").string() + ")");
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(core::step_queue().size, 0);
    EXPECT_TRUE(core::method_state().method_source.empty());
    // One line less, and it is read whole.
    interaction->clear_record();
    lines.pop_back();
    EXPECT_EQ(prepare(document(lines)), 1) << failure;
    EXPECT_EQ(core::method_state().method_source.size(), lines.size() - 1);
}

TEST_F(DriverDocument, an_empty_data_stream_fails_the_call_and_keeps_the_status) {
    const std::string path = document({});
    TIZor* driver = new TIZor;
    std::int32_t result = -1;
    com::Bstr name(path), vial(std::string("Tray2:5")), none;
    EXPECT_EQ(driver->PrepareForRun(none.get(), name.get(), none.get(), 0, 0, vial.get(), 1.0, 0, &result),
              com::E_FAIL);
    EXPECT_EQ(vzor_state().status_code, 1);
    EXPECT_EQ(core::step_queue().size, 0);
    driver->Release();
}

TEST_F(DriverDocument, is_refused_unless_the_status_is_1_and_no_run_is_active) {
    const std::string path = document(method_lines);
    set_status(0, "The Zor is Idle");
    EXPECT_EQ(prepare(path), 0);
    EXPECT_EQ(vzor_state().status_code, 8);
    EXPECT_EQ(status_text(), "Got a run command, but not ready");
    EXPECT_EQ(core::step_queue().size, 0);
    EXPECT_EQ(failure, "Got a run command, but not ready (status 0: The Zor is Idle)");
    // Status 1 while a run still goes on (a Reset during a run) is not ready either; the status
    // goes on telling about that run.
    set_status_idle();
    core::run_state().run_active = true;
    EXPECT_EQ(prepare(path), 0);
    EXPECT_EQ(failure, "Got a run command, but not ready: a run is under way");
    EXPECT_EQ(vzor_state().status_code, 1);
    core::run_state().run_active = false;
    EXPECT_EQ(prepare(path), 1);
    // A second one while the first waits for its syringe check.
    EXPECT_EQ(prepare(path), 0);
    EXPECT_EQ(vzor_state().status_code, 3);
    EXPECT_TRUE(boxes().empty());
}

TEST_F(DriverDocument, validate_method_reads_the_data_stream_of_the_storage_it_gets) {
    const std::string good =
        make_compound_file({CompoundNode::stream("Data", method_stream_bytes(method_lines))});
    EXPECT_EQ(validate_method(good), "");
    EXPECT_EQ(validate_method("not a compound file"),
              "The ZOR Method is not readable: the storage is no compound file");
    EXPECT_EQ(validate_method(""), "The ZOR Method is not readable: the storage is no compound file");
    EXPECT_TRUE(boxes().empty());
    // A storage without the stream: the reader says so too, and the answer carries it.
    EXPECT_EQ(validate_method(make_compound_file({CompoundNode::stream("Text", "x")})),
              "The ZOR Method is not readable: cant open Data stream: 0080030002");
    EXPECT_EQ(boxes(), std::vector<std::string>{"cant open Data stream: 0080030002"});
}

TEST_F(DriverDocument, validate_method_leaves_a_prepared_method_alone) {
    ASSERT_EQ(prepare(document(method_lines)), 1);
    EXPECT_EQ(validate_method(make_compound_file(
                  {CompoundNode::stream("Data", method_stream_bytes({"500ul", "Other()"}))})),
              "");
    EXPECT_EQ(core::method_state().method_source,
              (std::vector<std::string>{"Wash()", "[MACRO Wash]", "WASH(Wash1,2)"}));
}

// The documents the test support writes (a writer sharing no code with the storage layer) read
// back through the storage layer the driver uses.
TEST(DriverCompoundReader, reads_small_and_large_streams_and_refuses_junk_in_the_directory) {
    namespace stg = platform::storage;
    const auto open = [](const std::string& bytes) {
        return stg::CompoundFile::open_bytes(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    };
    const auto read = [](const stg::Stream& stream, std::size_t limit) {
        stg::Stream copy = stream;
        std::string bytes(limit, '\0');
        bytes.resize(copy.read(bytes.data(), bytes.size()));
        return bytes;
    };
    const std::string small(100, 's');
    std::string large(9000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i % 251);
    auto file =
        open(make_compound_file({CompoundNode::stream("small", small), CompoundNode::stream("Large", large),
                                 CompoundNode::stream("empty", "")}));
    ASSERT_TRUE(file.ok()) << file.describe();
    auto stream = file->root().open_stream("SMALL");
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(read(*stream, 40000), small);
    stream = file->root().open_stream("large");
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(read(*stream, 40000), large);
    EXPECT_EQ(read(*stream, 4097), large.substr(0, 4097));
    stream = file->root().open_stream("empty");
    ASSERT_TRUE(stream.ok());
    EXPECT_TRUE(read(*stream, 40000).empty());
    EXPECT_EQ(file->root().open_storage("small").error(), stg::StgError::not_found);

    // A sibling that points back at the first child: a cycle in the tree.
    std::string cyclic = make_compound_file({CompoundNode::stream("a", "1"), CompoundNode::stream("b", "2")});
    std::uint32_t first_directory = 0;
    std::memcpy(&first_directory, cyclic.data() + 0x30, 4);
    const std::uint32_t back = 1;
    std::memcpy(cyclic.data() + (first_directory + 1) * 512 + 2 * 128 + 0x48, &back, 4);
    EXPECT_EQ(open(cyclic).error(), stg::StgError::file_corrupt);
}

}  // namespace
}  // namespace zorrun_test
