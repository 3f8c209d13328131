// How a configuration upload ends when the instrument's text cannot be kept, against zorsim: a
// cache that cannot be written (a folder in its place, a method folder that is missing or is a
// file) fails the upload with the path and the reason, standing as status 8 until cleared, and
// leaves the old cache as it was.
#include <algorithm>
#include <fstream>
#include <thread>

#include "driver/zorrun/tests/e2e/zorrun_e2e_fixture.h"

namespace zorrun_test {
namespace {

class ZorrunUploadOutcomes : public ZorrunE2E {
  protected:
    // Starts with the "Method Folder" setting naming `method_folder`, and uploads.
    void start_and_upload(const std::filesystem::path& method_folder) {
        write_setting("Method Folder", method_folder.string());
        start({.method_folder = false});
        initialize();
        ASSERT_TRUE(client->ReloadConfiguration().ok);
        ASSERT_TRUE(wait_until(
            [&] { return count_sent("GET_FW_VERSION") == 1 && client->Uploading().result == 0; }, 60s));
    }
    // The upload failed with this reason, which stands (a client polling every 2 s sees it) until
    // ClearStatus.
    void expect_failed_until_cleared(const std::string& reason) {
        for (int i = 0; i < 2; ++i) {
            if (i > 0) std::this_thread::sleep_for(2s);
            EXPECT_EQ(status(), 8) << "poll " << i;
            EXPECT_EQ(client->AtomStatus().text, reason) << "poll " << i;
        }
        ASSERT_TRUE(client->ClearStatus().ok);
        EXPECT_EQ(status(), 1);
    }
    std::vector<std::filesystem::path> entries(const std::filesystem::path& where) const {
        std::vector<std::filesystem::path> found;
        for (const auto& e : std::filesystem::directory_iterator(where)) found.push_back(e.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_F(ZorrunUploadOutcomes, a_folder_in_place_of_the_cache_fails_the_upload_and_is_left_as_it_was) {
    const auto cache = folder / "latest_zor.pol";
    std::filesystem::remove(cache);
    std::filesystem::create_directory(cache);
    std::ofstream(cache / "kept.txt") << "kept\n";
    start_and_upload(folder);
    expect_failed_until_cleared("The configuration from the Zor was not saved: " + cache.string() +
                                ": Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(cache));
    EXPECT_EQ(entries(cache), std::vector<std::filesystem::path>{"kept.txt"});
    // Nothing of the attempt is left beside it.
    for (const auto& name : entries(folder))
        EXPECT_EQ(name.string().rfind("latest_zor.pol.", 0), std::string::npos) << name;
}

TEST_F(ZorrunUploadOutcomes, a_missing_method_folder_fails_the_upload_with_its_path) {
    const auto missing = folder / "gone";
    start_and_upload(missing);
    expect_failed_until_cleared("The configuration from the Zor was not saved: " +
                                (missing / "latest_zor.pol").string() + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(ZorrunUploadOutcomes, a_file_in_place_of_the_method_folder_fails_the_upload_and_is_left_as_it_was) {
    const auto file = folder / "not-a-folder";
    std::ofstream(file) << "a file\n";
    start_and_upload(file);
    expect_failed_until_cleared("The configuration from the Zor was not saved: " +
                                (file / "latest_zor.pol").string() + ": Not a directory");
    EXPECT_EQ(core_test::read_file_lines(file), std::vector<std::string>{"a file"});
}

}  // namespace
}  // namespace zorrun_test
