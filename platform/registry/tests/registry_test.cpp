// What the registry object and the functional API promise: keys, names without case, value order,
// types, read-only opens, deletes, the default value.

#include "platform/registry/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/registry/tests/registry_fixture.h"

namespace platform::registry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempStore;

constexpr const char* kInstanceKey = "\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1";

std::vector<std::string> value_names(const Registry& reg) {
    std::vector<std::string> names{"stale"};
    reg.get_value_names(names);
    return names;
}

std::vector<std::string> key_names(const Registry& reg) {
    std::vector<std::string> names{"stale"};
    reg.get_key_names(names);
    return names;
}

class RegistryTest : public TempStore {};

// ---- keys ----

TEST_F(RegistryTest, MissingKeyIsNotOpenedWithoutCreateAndNotCreated) {
    Registry reg;
    EXPECT_FALSE(reg.open_key(kInstanceKey, false));
    EXPECT_FALSE(reg.has_current_key());
    EXPECT_FALSE(reg.key_exists(kInstanceKey));
    EXPECT_FALSE(reg.key_exists("\\SOFTWARE"));
}

TEST_F(RegistryTest, OpenWithCreateMakesEveryMissingLevel) {
    Registry reg;
    ASSERT_TRUE(reg.open_key(kInstanceKey, true));
    EXPECT_TRUE(reg.has_current_key());
    EXPECT_FALSE(reg.read_only());
    EXPECT_EQ(reg.current_path(), "SOFTWARE\\Hox\\Zor\\Task Weaver\\1");
    reg.close_key();
    EXPECT_TRUE(reg.key_exists("\\SOFTWARE"));
    EXPECT_TRUE(reg.key_exists("\\SOFTWARE\\Hox\\Zor"));
    EXPECT_TRUE(reg.key_exists(kInstanceKey));
    EXPECT_TRUE(reg.open_key(kInstanceKey, false));
}

TEST_F(RegistryTest, LeadingAndTrailingBackslashesDoNotMatter) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("SOFTWARE\\Hox\\", true));
    reg.close_key();
    EXPECT_TRUE(reg.key_exists("\\SOFTWARE\\Hox"));
    EXPECT_TRUE(reg.key_exists("SOFTWARE\\Hox"));
    EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, "SOFTWARE\\Hox\\"));
}

TEST_F(RegistryTest, KeyNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\Software\\Hox", true));
    ASSERT_TRUE(reg.open_key("\\SOFTWARE\\HOX\\Zor", true));
    EXPECT_EQ(reg.current_path(), "Software\\Hox\\Zor");
    reg.close_key();
    EXPECT_TRUE(reg.key_exists("\\software\\hox\\ZOR"));
    ASSERT_TRUE(reg.open_key("\\software", false));
    EXPECT_THAT(key_names(reg), ElementsAre("Hox"));
}

TEST_F(RegistryTest, InvalidPathsAreRefused) {
    Registry reg;
    EXPECT_FALSE(reg.open_key("\\A\\\\B", true));
    EXPECT_FALSE(reg.open_key(std::string("\\A") + '\0' + "B", true));
    EXPECT_FALSE(reg.open_key("\\" + std::string(256, 'k'), true));
    EXPECT_TRUE(reg.open_key("\\" + std::string(255, 'k'), true));
    reg.close_key();
    EXPECT_FALSE(reg.key_exists("\\A"));
}

TEST_F(RegistryTest, PathsWithoutLeadingBackslashAreRelativeToTheOpenKey) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\SOFTWARE\\Hox", true));
    ASSERT_TRUE(reg.open_key("Zor\\Task Weaver", true));
    EXPECT_EQ(reg.current_path(), "SOFTWARE\\Hox\\Zor\\Task Weaver");
    EXPECT_TRUE(reg.key_exists("\\SOFTWARE\\Hox\\Zor"));
    EXPECT_FALSE(reg.key_exists("Zor"));  // relative to ...\Task Weaver now
    ASSERT_TRUE(reg.open_key("\\Other", true));
    EXPECT_EQ(reg.current_path(), "Other");
}

TEST_F(RegistryTest, FailedOpenKeepsTheOpenKey) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\A", true));
    reg.write_integer("x", 7);
    EXPECT_FALSE(reg.open_key("\\Missing", false));
    EXPECT_EQ(reg.current_path(), "A");
    EXPECT_EQ(reg.read_integer("x"), 7);
}

TEST_F(RegistryTest, RootsAreSeparateTreesAndSettingTheRootClosesTheKey) {
    Registry reg;
    EXPECT_EQ(reg.root_key(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.open_key("\\SOFTWARE\\Velorand", true));
    reg.set_root_key(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.has_current_key());
    EXPECT_FALSE(reg.key_exists("\\SOFTWARE\\Velorand"));
    ASSERT_TRUE(reg.open_key("\\SOFTWARE\\Velorand\\Chromarq\\Global", true));
    reg.write_string("Chromarq Path", "C:\\Chromarq");
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velorand\\Chromarq"));
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, "SOFTWARE\\Velorand\\Chromarq"));
    EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, "SOFTWARE"));
    Registry on_hklm(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(on_hklm.open_key_read_only("\\SOFTWARE\\Velorand\\Chromarq\\Global"));
    EXPECT_EQ(on_hklm.read_string("Chromarq Path"), "C:\\Chromarq");
}

TEST_F(RegistryTest, SubkeysAreListedInFoldedOrder) {
    Registry reg;
    for (const char* name : {"b", "C", "A", "a2"})
        ASSERT_TRUE(reg.open_key(std::string("\\K\\") + name, true));
    ASSERT_TRUE(reg.open_key("\\K", false));
    EXPECT_TRUE(reg.has_subkeys());
    EXPECT_THAT(key_names(reg), ElementsAre("A", "a2", "b", "C"));
    ASSERT_TRUE(reg.open_key("A", false));
    EXPECT_FALSE(reg.has_subkeys());
    EXPECT_TRUE(key_names(reg).empty());
}

// ---- values ----

TEST_F(RegistryTest, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Registry reg;
    ASSERT_TRUE(reg.open_key(kInstanceKey, true));
    reg.write_integer("Polling interval", 500);
    EXPECT_TRUE(reg.value_exists("POLLING INTERVAL"));
    EXPECT_EQ(reg.read_integer("polling Interval"), 500);
    reg.write_integer("POLLING interval", 600);
    EXPECT_EQ(reg.read_integer("Polling interval"), 600);
    EXPECT_THAT(value_names(reg), ElementsAre("Polling interval"));
}

TEST_F(RegistryTest, Windows1252LettersFoldToo) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\Caf\xE9", true));  // "Café"
    reg.close_key();
    EXPECT_TRUE(reg.key_exists("\\CAF\xC9"));  // "CAFÉ"
    ASSERT_TRUE(reg.open_key("\\CAF\xC9", false));
    EXPECT_EQ(reg.current_path(), "Caf\xE9");  // bytes as first given
    reg.write_string("\xB5l", "x");            // "µl": µ has no upper case of its own
    EXPECT_TRUE(reg.value_exists("\xB5L"));
    EXPECT_TRUE(same_name("\x9A\xFF", "\x8A\x9F"));  // "šÿ" and "ŠŸ"
    EXPECT_FALSE(same_name("\xF7", "\xD7"));         // "÷" is not "×"
}

TEST_F(RegistryTest, ValuesAreListedInCreationOrderAndARewriteKeepsItsPlace) {
    Registry reg;
    ASSERT_TRUE(reg.open_key(kInstanceKey, true));
    reg.write_integer("Port", 1);
    reg.write_string("Method Folder", "");
    reg.write_integer("Window Left", 512);
    reg.write_integer("Framing timeout (msec)", 3000);
    EXPECT_THAT(value_names(reg),
                ElementsAre("Port", "Method Folder", "Window Left", "Framing timeout (msec)"));

    reg.write_integer("port", 2);             // same type
    reg.write_string("Window Left", "wide");  // another type
    EXPECT_THAT(value_names(reg),
                ElementsAre("Port", "Method Folder", "Window Left", "Framing timeout (msec)"));

    ASSERT_TRUE(reg.delete_value("Method Folder"));
    reg.write_string("Method Folder", "/srv/zor");
    EXPECT_THAT(value_names(reg),
                ElementsAre("Port", "Window Left", "Framing timeout (msec)", "Method Folder"));

    // Another object, another open: the order is the store's, not the object's.
    Registry other;
    ASSERT_TRUE(other.open_key(kInstanceKey, false));
    EXPECT_THAT(value_names(other),
                ElementsAre("Port", "Window Left", "Framing timeout (msec)", "Method Folder"));
    auto values = other.get_values();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].type, REG_DWORD);
    EXPECT_EQ(values[0].integer, 2);
    EXPECT_EQ(values[1].type, REG_SZ);
    EXPECT_EQ(values[1].text, "wide");
}

TEST_F(RegistryTest, IntegersKeepAllThirtyTwoBits) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\N", true));
    for (std::int32_t v : {0, 1, -1, INT32_MIN, INT32_MAX}) {
        reg.write_integer("v", v);
        EXPECT_EQ(reg.read_integer("v"), v);
    }
    reg.write_bool("Append to log", true);
    EXPECT_TRUE(reg.read_bool("Append to log"));
    EXPECT_EQ(reg.read_integer("Append to log"), 1);
    reg.write_bool("Append to log", false);
    EXPECT_FALSE(reg.read_bool("Append to log"));
}

TEST_F(RegistryTest, StringsAreStoredByteForByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    all += std::string("\0tail", 5);
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\S", true));
    reg.write_string("all", all);
    reg.write_string("empty", "");
    EXPECT_EQ(reg.read_string("all"), all);
    EXPECT_EQ(reg.read_string("empty"), "");
    EXPECT_TRUE(reg.value_exists("empty"));
    EXPECT_EQ(reg.get_data_size("empty"), 1);
}

TEST_F(RegistryTest, ReadingAnotherTypeOrAMissingIntegerRaises) {
    Registry reg;
    ASSERT_TRUE(reg.open_key(kInstanceKey, true));
    reg.write_string("Port", "COM1");
    reg.write_integer("Polling interval", 500);

    try {
        reg.read_integer("Port");
        FAIL() << "no exception";
    } catch (const RegistryError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Invalid data type for 'Port'"));
    }
    EXPECT_THROW(reg.read_string("Polling interval"), RegistryError);
    EXPECT_THROW(reg.read_bool("Port"), RegistryError);
    EXPECT_THROW(reg.read_binary_data("Port"), RegistryError);
    try {
        reg.read_integer("Missing");
        FAIL() << "no exception";
    } catch (const RegistryError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Failed to get data for 'Missing'"));
    }
    EXPECT_EQ(reg.read_string("Missing"), "");  // a missing string reads as empty
    EXPECT_FALSE(reg.value_exists("Missing"));
}

TEST_F(RegistryTest, DataTypesAndSizes) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\T", true));
    reg.write_string("s", "abc");
    reg.write_integer("i", 5);
    reg.write_binary_data("b", std::string("\xC8\x00\x3C\x00\x64", 5));
    EXPECT_EQ(reg.get_data_type("s"), REG_SZ);
    EXPECT_EQ(reg.get_data_type("i"), REG_DWORD);
    EXPECT_EQ(reg.get_data_type("b"), REG_BINARY);
    EXPECT_EQ(reg.get_data_type("none"), DataType::unknown);
    EXPECT_EQ(reg.get_data_size("s"), 4);  // with the terminating NUL, as the system counts
    EXPECT_EQ(reg.get_data_size("i"), 4);
    EXPECT_EQ(reg.get_data_size("b"), 5);
    EXPECT_EQ(reg.get_data_size("none"), -1);
    EXPECT_EQ(reg.read_binary_data("b"), std::string("\xC8\x00\x3C\x00\x64", 5));
    EXPECT_THROW(reg.read_binary_data("none"), RegistryError);
    EXPECT_EQ(data_type_name(REG_SZ), "REG_SZ");
    EXPECT_EQ(data_type_name(REG_DWORD), "REG_DWORD");
    EXPECT_EQ(data_type_name(REG_BINARY), "REG_BINARY");
}

TEST_F(RegistryTest, DefaultValueHasTheEmptyName) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\CLSID\\{X}\\LocalServer32", true));
    EXPECT_FALSE(reg.value_exists(""));
    reg.write_string("", "/usr/bin/Zorrun");
    reg.write_string("ThreadingModel", "Apartment");
    EXPECT_TRUE(reg.value_exists(""));
    EXPECT_EQ(reg.read_string(""), "/usr/bin/Zorrun");
    EXPECT_THAT(value_names(reg), ElementsAre("", "ThreadingModel"));
    EXPECT_TRUE(reg.delete_value(""));
    EXPECT_FALSE(reg.value_exists(""));
}

TEST_F(RegistryTest, WithNoKeyOpenValuesBelongToTheRoot) {
    Registry reg;
    reg.write_integer("at root", 3);
    EXPECT_EQ(reg.read_integer("at root"), 3);
    ASSERT_TRUE(reg.open_key("\\K", true));
    EXPECT_FALSE(reg.value_exists("at root"));
    reg.close_key();
    EXPECT_TRUE(reg.value_exists("at root"));
    EXPECT_FALSE(Registry(HKEY_LOCAL_MACHINE).value_exists("at root"));
}

// ---- read-only ----

TEST_F(RegistryTest, ReadOnlyOpenReadsButRefusesWrites) {
    Registry writer;
    ASSERT_TRUE(writer.open_key("\\SOFTWARE\\Velorand\\Chromarq\\Devices\\ZOR", true));
    writer.write_string("HlpFName", "zor");

    Registry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.open_key_read_only("\\SOFTWARE\\Velorand\\Chromarq\\Devices\\ZOR"));
    EXPECT_TRUE(reg.read_only());
    EXPECT_EQ(reg.read_string("HlpFName"), "zor");
    EXPECT_THROW(reg.write_string("HlpFName", "other"), RegistryError);
    EXPECT_THROW(reg.write_integer("n", 1), RegistryError);
    EXPECT_THROW(reg.write_bool("b", true), RegistryError);
    EXPECT_THROW(reg.write_binary_data("x", "y"), RegistryError);
    EXPECT_FALSE(reg.delete_value("HlpFName"));
    EXPECT_FALSE(reg.delete_key("Sub"));
    EXPECT_EQ(reg.read_string("HlpFName"), "zor");
    EXPECT_THAT(value_names(reg), ElementsAre("HlpFName"));

    ASSERT_TRUE(reg.open_key("\\SOFTWARE\\Velorand", false));  // a writable open again
    EXPECT_FALSE(reg.read_only());
    EXPECT_NO_THROW(reg.write_integer("n", 1));
}

TEST_F(RegistryTest, ReadOnlyOpenOfAMissingKeyFailsAndCreatesNothing) {
    Registry reg(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.open_key_read_only("\\SOFTWARE\\Velorand\\Chromarq\\Global"));
    EXPECT_FALSE(reg.has_current_key());
    EXPECT_FALSE(reg.key_exists("\\SOFTWARE"));
}

// ---- deletes ----

TEST_F(RegistryTest, DeleteValue) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\D", true));
    reg.write_integer("a", 1);
    reg.write_integer("b", 2);
    EXPECT_TRUE(reg.delete_value("A"));
    EXPECT_FALSE(reg.delete_value("a"));
    EXPECT_FALSE(reg.value_exists("a"));
    EXPECT_THAT(value_names(reg), ElementsAre("b"));
}

TEST_F(RegistryTest, DeleteKeyTakesSubkeysAndValuesButNotNeighbours) {
    Registry reg;
    for (const char* path : {"\\X\\A\\B\\C", "\\X\\AB", "\\X\\A B", "\\X\\A]", "\\X\\a\\D"}) {
        ASSERT_TRUE(reg.open_key(path, true)) << path;
        reg.write_integer("v", 1);
    }
    reg.close_key();
    EXPECT_TRUE(reg.delete_key("\\X\\A"));
    EXPECT_FALSE(reg.key_exists("\\X\\A"));
    EXPECT_FALSE(reg.key_exists("\\X\\A\\B\\C"));
    EXPECT_FALSE(reg.key_exists("\\X\\A\\D"));
    EXPECT_TRUE(reg.key_exists("\\X\\AB"));
    EXPECT_TRUE(reg.key_exists("\\X\\A B"));
    EXPECT_TRUE(reg.key_exists("\\X\\A]"));
    ASSERT_TRUE(reg.open_key("\\X", false));
    EXPECT_THAT(key_names(reg), ElementsAre("A B", "AB", "A]"));
    EXPECT_FALSE(reg.delete_key("A"));  // gone already
    EXPECT_TRUE(reg.delete_key("ab"));  // relative to \X
    EXPECT_FALSE(reg.key_exists("AB"));

    // Recreated, the key starts empty: its old values went with it.
    ASSERT_TRUE(reg.open_key("\\X\\A\\B\\C", true));
    EXPECT_FALSE(reg.value_exists("v"));
}

TEST_F(RegistryTest, ARootCannotBeDeleted) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\K", true));
    reg.close_key();
    EXPECT_FALSE(reg.delete_key("\\"));
    EXPECT_FALSE(reg.delete_key(""));
    EXPECT_FALSE(delete_tree(HKEY_CURRENT_USER, ""));
    EXPECT_TRUE(reg.key_exists("\\K"));
}

TEST_F(RegistryTest, AKeyDeletedWhileOpenReadsNothingAndRefusesWrites) {
    Registry reg;
    ASSERT_TRUE(reg.open_key("\\Gone", true));
    reg.write_integer("v", 1);
    Registry other;
    ASSERT_TRUE(other.delete_key("\\Gone"));
    EXPECT_FALSE(reg.value_exists("v"));
    EXPECT_TRUE(value_names(reg).empty());
    EXPECT_THROW(reg.write_integer("v", 2), RegistryError);
    // A key of the same name made meanwhile is another key; the old handle stays dead.
    ASSERT_TRUE(other.open_key("\\Gone", true));
    EXPECT_THROW(reg.write_integer("v", 3), RegistryError);
    EXPECT_FALSE(other.value_exists("v"));
}

// ---- the settings pattern: open, read or create, close ----

TEST_F(RegistryTest, ReadOrCreateCycleAsTheSettingsDo) {
    auto read_int = [](const char* name, std::int32_t fallback) {
        Registry reg(HKEY_CURRENT_USER);
        if (!reg.open_key(kInstanceKey, true)) return fallback;
        if (reg.value_exists(name)) return reg.read_integer(name);
        reg.write_integer(name, fallback);
        return fallback;
    };
    EXPECT_EQ(read_int("Port", 1), 1);
    EXPECT_EQ(read_int("Port", 9), 1);  // the stored value wins
    {
        Registry reg;
        ASSERT_TRUE(reg.open_key(kInstanceKey, false));
        reg.write_integer("Port", 4);
    }
    EXPECT_EQ(read_int("Port", 1), 4);
}

// ---- functional API ----

TEST_F(RegistryTest, BatchWritesAClassRegistrationInOneGo) {
    const std::string clsid = "CLSID\\{763BDB62-6812-11D2-883E-3C8B00C10000}";
    WriteBatch batch;
    batch.set_string(HKEY_CLASSES_ROOT, clsid, "", "IZor Object")
        .set_string(HKEY_CLASSES_ROOT, clsid + "\\LocalServer32", "", "/usr/bin/Zorrun")
        .set_string(HKEY_CLASSES_ROOT, clsid + "\\ProgID", "", "zorrun.IZor")
        .create_key(HKEY_CLASSES_ROOT, "zorrun.IZor\\Clsid")
        .set_integer(HKEY_CLASSES_ROOT, "zorrun.IZor", "n", 3);
    EXPECT_FALSE(batch.empty());
    ASSERT_TRUE(batch.commit());
    EXPECT_TRUE(batch.empty());

    auto server = query_value(HKEY_CLASSES_ROOT, "\\" + clsid + "\\LocalServer32", "");
    ASSERT_TRUE(server.has_value());
    EXPECT_EQ(server->type, REG_SZ);
    EXPECT_EQ(server->text, "/usr/bin/Zorrun");
    EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, "zorrun.IZor\\CLSID"));
    EXPECT_EQ(query_value(HKEY_CLASSES_ROOT, "zorrun.IZor", "N")->integer, 3);
    EXPECT_FALSE(query_value(HKEY_CLASSES_ROOT, "zorrun.IZor", "missing").has_value());
    EXPECT_FALSE(query_value(HKEY_CLASSES_ROOT, "nothing", "").has_value());
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, clsid));

    auto subkeys = list_subkeys(HKEY_CLASSES_ROOT, clsid);
    ASSERT_TRUE(subkeys.has_value());
    EXPECT_THAT(*subkeys, ElementsAre("LocalServer32", "ProgID"));
    auto values = list_values(HKEY_CLASSES_ROOT, clsid);
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ((*values)[0].name, "");
    EXPECT_FALSE(list_values(HKEY_CLASSES_ROOT, "nothing").has_value());
    EXPECT_FALSE(list_subkeys(HKEY_CLASSES_ROOT, "nothing").has_value());

    // Unregistration.
    EXPECT_TRUE(delete_tree(HKEY_CLASSES_ROOT, clsid));
    EXPECT_FALSE(delete_tree(HKEY_CLASSES_ROOT, clsid));
    EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, clsid + "\\LocalServer32"));
    EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, "CLSID"));
}

TEST_F(RegistryTest, ABatchWithAnInvalidStepWritesNothing) {
    WriteBatch batch;
    batch.set_string(HKEY_CLASSES_ROOT, "Good", "v", "x")
        .set_string(HKEY_CLASSES_ROOT, "Bad\\\\Path", "v", "x");
    EXPECT_FALSE(batch.commit());
    EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, "Good"));
    WriteBatch root_delete;
    root_delete.set_integer(HKEY_CLASSES_ROOT, "Good", "v", 1).delete_tree(HKEY_CLASSES_ROOT, "\\");
    EXPECT_FALSE(root_delete.commit());
    EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, "Good"));
}

TEST_F(RegistryTest, ABatchClearsAKeysValuesAndRefillsIt) {
    ASSERT_TRUE(set_integer_value(HKEY_CURRENT_USER, "L", "old1", 0));
    ASSERT_TRUE(set_string_value(HKEY_CURRENT_USER, "L", "old2", "x"));
    ASSERT_TRUE(create_key(HKEY_CURRENT_USER, "L\\Sub"));
    WriteBatch batch;
    batch.clear_values(HKEY_CURRENT_USER, "L").set_integer(HKEY_CURRENT_USER, "L", "new", 0);
    ASSERT_TRUE(batch.commit());
    auto values = list_values(HKEY_CURRENT_USER, "L");
    ASSERT_TRUE(values.has_value());
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ((*values)[0].name, "new");
    EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, "L\\Sub")) << "subkeys stay";
    // A key that does not exist has nothing to clear.
    ASSERT_TRUE(WriteBatch().clear_values(HKEY_CURRENT_USER, "Missing").commit());
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, "Missing"));
}

TEST_F(RegistryTest, OneStepFunctions) {
    EXPECT_TRUE(create_key(HKEY_LOCAL_MACHINE, "A\\B"));
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "\\A\\B"));
    EXPECT_TRUE(set_string_value(HKEY_LOCAL_MACHINE, "A\\C", "s", "text"));
    EXPECT_TRUE(set_integer_value(HKEY_LOCAL_MACHINE, "A\\C", "i", -5));
    EXPECT_EQ(query_value(HKEY_LOCAL_MACHINE, "A\\C", "S")->text, "text");
    EXPECT_EQ(query_value(HKEY_LOCAL_MACHINE, "A\\C", "i")->integer, -5);
    EXPECT_TRUE(delete_value(HKEY_LOCAL_MACHINE, "A\\C", "s"));
    EXPECT_FALSE(delete_value(HKEY_LOCAL_MACHINE, "A\\C", "s"));
    EXPECT_FALSE(delete_value(HKEY_LOCAL_MACHINE, "A\\Missing", "s"));
    EXPECT_FALSE(create_key(HKEY_LOCAL_MACHINE, "A\\\\B"));
    EXPECT_FALSE(set_string_value(HKEY_LOCAL_MACHINE, std::string(300, 'x'), "s", "t"));
}

TEST(RegistryNames, Roots) {
    EXPECT_EQ(parse_root_name("HKCU"), HKEY_CURRENT_USER);
    EXPECT_EQ(parse_root_name("hkey_current_user"), HKEY_CURRENT_USER);
    EXPECT_EQ(parse_root_name("HKLM"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(parse_root_name("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(parse_root_name("hkcr"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(parse_root_name("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT);
    EXPECT_FALSE(parse_root_name("HKU").has_value());
    EXPECT_FALSE(parse_root_name("").has_value());
    EXPECT_EQ(root_name(HKEY_CLASSES_ROOT), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(root_name(HKEY_CURRENT_USER), "HKEY_CURRENT_USER");
    EXPECT_EQ(root_name(HKEY_LOCAL_MACHINE), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(static_cast<std::uint32_t>(HKEY_CURRENT_USER), 0x80000001u);
}

}  // namespace
}  // namespace platform::registry
