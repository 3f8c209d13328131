#include "utilities/settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/registry/registry.h"
#include "utilities/session.h"
#include "utilities/tests/temp_store.h"

namespace {

namespace reg = platform::registry;
using putils_test::FreshProfile;

constexpr const char* instance1 = "\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1";

std::optional<reg::Value> value_at(std::string_view key, std::string_view name) {
    return reg::query_value(reg::HKEY_CURRENT_USER, key, name);
}

std::vector<std::pair<std::string, std::int32_t>> folder_values(std::string_view key) {
    std::vector<std::pair<std::string, std::int32_t>> out;
    if (auto values = reg::list_values(reg::HKEY_CURRENT_USER, key)) {
        for (const reg::Value& v : *values) out.emplace_back(v.name, v.integer);
    }
    return out;
}

using RegistrySettings = FreshProfile;

TEST_F(RegistrySettings, KeyPaths) {
    EXPECT_EQ(putils::base_key(), "\\SOFTWARE\\Hox\\Zor\\Task Weaver");
    EXPECT_EQ(putils::instance_key(), instance1);
    EXPECT_EQ(putils::driver_startup_key(), std::string(instance1) + "\\Driver startup");
    EXPECT_EQ(putils::folder_list_key(), std::string(instance1) + "\\Folder List");
}

TEST_F(RegistrySettings, FirstPortReadOnAFreshProfileCreatesKeysAndDefault) {
    ASSERT_FALSE(reg::key_exists(reg::HKEY_CURRENT_USER, "\\SOFTWARE\\Hox\\Zor\\Task Weaver"));
    EXPECT_EQ(putils::read_port_setting(), 1);
    EXPECT_TRUE(reg::key_exists(reg::HKEY_CURRENT_USER, "\\SOFTWARE\\Hox\\Zor\\Task Weaver"));
    const auto port = value_at(instance1, "Port");
    ASSERT_TRUE(port.has_value());
    EXPECT_EQ(port->type, reg::DataType::integer);
    EXPECT_EQ(port->integer, 1);
}

TEST_F(RegistrySettings, ReadOrCreateInteger) {
    EXPECT_EQ(putils::reg_read_int("Polling interval", 500), 500);
    ASSERT_TRUE(value_at(instance1, "Polling interval"));
    EXPECT_EQ(value_at(instance1, "Polling interval")->integer, 500);

    // A user's later edit is what the next read finds; the default no longer matters.
    ASSERT_TRUE(reg::set_integer_value(reg::HKEY_CURRENT_USER, instance1, "Polling interval", 1000));
    EXPECT_EQ(putils::reg_read_int("Polling interval", 500), 1000);
    EXPECT_EQ(putils::reg_read_int("polling INTERVAL", 7), 1000) << "value names ignore case";
    EXPECT_EQ(value_at(instance1, "Polling interval")->integer, 1000);

    putils::write_port_setting(4);
    EXPECT_EQ(putils::read_port_setting(), 4);
}

TEST_F(RegistrySettings, ReadOrCreateString) {
    std::string text = "unchanged";
    putils::reg_read_string("Method Folder", "", text);
    EXPECT_EQ(text, "");
    const auto folder = value_at(instance1, "Method Folder");
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(folder->type, reg::DataType::string);
    EXPECT_EQ(folder->text, "");

    putils::reg_read_string("Status Box", "True", text);
    EXPECT_EQ(text, "True");
    putils::reg_write_string("Status Box", "False");
    putils::reg_read_string("Status Box", "True", text);
    EXPECT_EQ(text, "False");
    putils::reg_write_string("Method Folder", "/data/zor \xB5l");
    putils::reg_read_string("Method Folder", "", text);
    EXPECT_EQ(text, "/data/zor \xB5l") << "8-bit text is kept as it is";
}

TEST_F(RegistrySettings, AValueOfAnotherTypeFallsBackToTheDefaultAndIsLeftAlone) {
    ASSERT_TRUE(reg::set_string_value(reg::HKEY_CURRENT_USER, instance1, "Port", "COM3"));
    EXPECT_EQ(putils::read_port_setting(), 1);
    EXPECT_EQ(value_at(instance1, "Port")->text, "COM3");

    ASSERT_TRUE(reg::set_integer_value(reg::HKEY_CURRENT_USER, instance1, "Method", 5));
    std::string text = "old";
    putils::reg_read_string("Method", "", text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(value_at(instance1, "Method")->integer, 5);
}

TEST_F(RegistrySettings, AStoreThatCannotBeOpenedGivesDefaultsAndWritesNothing) {
    // A folder is no database file: no key can be opened.
    setenv("ZOR_REGISTRY", folder_.path().c_str(), 1);
    reg::reset_store();
    EXPECT_EQ(putils::reg_read_int("Port", 3), 3);
    std::string text = "kept";
    putils::reg_read_string("Method Folder", "default", text);
    EXPECT_EQ(text, "kept");
    putils::reg_write_int("Port", 2);
    putils::reg_write_string("Method", "x");
    putils::write_registry_string(putils::driver_startup_key(), "Tray", "A");
    std::vector<std::string> list{"stale"};
    putils::read_folder_list(list);
    EXPECT_TRUE(list.empty());
    putils::write_folder_list({"a", "b"});
}

TEST_F(RegistrySettings, WriteRegistryStringCreatesAnyKey) {
    putils::write_registry_string(putils::driver_startup_key(), "Tray", "Tray1");
    const auto tray = value_at(std::string(instance1) + "\\Driver startup", "Tray");
    ASSERT_TRUE(tray.has_value());
    EXPECT_EQ(tray->text, "Tray1");
}

TEST_F(RegistrySettings, InstanceTwoLivesUnderItsOwnKey) {
    putils::session().instance_number = 2;
    EXPECT_EQ(putils::instance_key(), "\\SOFTWARE\\Hox\\Zor\\Task Weaver\\2");
    EXPECT_EQ(putils::read_port_setting(), 1);
    putils::reg_write_string("Method Folder", "/two");
    putils::write_folder_list({"/f"});
    EXPECT_TRUE(value_at("\\SOFTWARE\\Hox\\Zor\\Task Weaver\\2", "Port"));
    EXPECT_EQ(value_at("\\SOFTWARE\\Hox\\Zor\\Task Weaver\\2", "Method Folder")->text, "/two");
    EXPECT_TRUE(value_at("\\SOFTWARE\\Hox\\Zor\\Task Weaver\\2\\Folder List", "/f"));
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CURRENT_USER, instance1));
}

TEST_F(RegistrySettings, ReadFolderListOrdersByPositionAndDropsOutOfRange) {
    const std::string key = putils::folder_list_key();
    reg::set_integer_value(reg::HKEY_CURRENT_USER, key, "A", 1);
    reg::set_integer_value(reg::HKEY_CURRENT_USER, key, "B", 0);
    reg::set_integer_value(reg::HKEY_CURRENT_USER, key, "C", 5);
    std::vector<std::string> list{"stale"};
    putils::read_folder_list(list);
    EXPECT_EQ(list, (std::vector<std::string>{"B", "A"}));
}

TEST_F(RegistrySettings, ReadFolderListKeepsRegistryOrderForEqualPositions) {
    const std::string key = putils::folder_list_key();
    reg::set_integer_value(reg::HKEY_CURRENT_USER, key, "/z", 0);
    reg::set_integer_value(reg::HKEY_CURRENT_USER, key, "/a", 0);
    reg::set_integer_value(reg::HKEY_CURRENT_USER, key, "/neg", -1);
    std::vector<std::string> list;
    putils::read_folder_list(list);
    EXPECT_EQ(list, (std::vector<std::string>{"/z", "/a"}));
}

TEST_F(RegistrySettings, ReadFolderListOnAFreshProfileIsEmptyAndCreatesTheKey) {
    std::vector<std::string> list{"stale"};
    putils::read_folder_list(list);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(reg::key_exists(reg::HKEY_CURRENT_USER, putils::folder_list_key()));
}

TEST_F(RegistrySettings, WriteFolderListReplacesTheWholeList) {
    putils::write_folder_list({"/1", "/2", "/3", "/4", "/5"});
    putils::write_folder_list({"X", "Y"});
    EXPECT_EQ(folder_values(putils::folder_list_key()),
              (std::vector<std::pair<std::string, std::int32_t>>{{"X", 0}, {"Y", 1}}));
    std::vector<std::string> list;
    putils::read_folder_list(list);
    EXPECT_EQ(list, (std::vector<std::string>{"X", "Y"}));
}

TEST_F(RegistrySettings, AFolderRepeatedInAnotherCaseDoesNotLoseTheFoldersBehindIt) {
    putils::write_folder_list({"/Data", "/data", "/other", "/Data"});
    std::vector<std::string> list;
    putils::read_folder_list(list);
    EXPECT_EQ(list, (std::vector<std::string>{"/Data", "/other"}));
}

TEST_F(RegistrySettings, ClearKeyValuesKeepsSubkeys) {
    reg::set_integer_value(reg::HKEY_CURRENT_USER, instance1, "Port", 2);
    reg::set_string_value(reg::HKEY_CURRENT_USER, instance1, "Method", "m");
    reg::create_key(reg::HKEY_CURRENT_USER, std::string(instance1) + "\\Driver startup");
    reg::Registry registry;
    ASSERT_TRUE(putils::open_instance_key(registry));
    putils::clear_key_values(registry);
    registry.close_key();
    EXPECT_TRUE(folder_values(instance1).empty());
    EXPECT_TRUE(reg::key_exists(reg::HKEY_CURRENT_USER, std::string(instance1) + "\\Driver startup"));
}

}  // namespace
