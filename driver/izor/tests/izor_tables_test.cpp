// The bus tables of IIZor and IIZor2 are the ones the architecture fixes, in dispatch-id order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/izor/izor.h"

namespace {

using namespace platform::com;

struct Row {
    std::string member, in, out;
};

std::vector<Row> rows(std::span<const BusMethod> table) {
    std::vector<Row> out;
    for (const BusMethod& m : table) out.push_back({m.member, m.in_signature, m.out_signature});
    return out;
}

void expect_rows(std::span<const BusMethod> table, const std::vector<Row>& expected) {
    const auto actual = rows(table);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("dispid " + std::to_string(i + 1));
        EXPECT_EQ(actual[i].member, expected[i].member);
        EXPECT_EQ(actual[i].in, expected[i].in);
        EXPECT_EQ(actual[i].out, expected[i].out);
        EXPECT_NE(table[i].serve, nullptr);
    }
}

TEST(IZorTables, IIZorHasOneBusMethodPerMethodWithItsInAndOutSignatures) {
    expect_rows(izor::iizor_methods(), {
                                           {"GetStatus", "", "i"},
                                           {"Initialize", "", "i"},
                                           {"StartRun", "", "i"},
                                           {"StopRun", "", "i"},
                                           {"PrepareForRun", "sssiisdi", "i"},
                                           {"Lock", "", "i"},
                                           {"Unlock", "", "i"},
                                           {"InstrumentHasStopped", "i", "i"},
                                           {"ValidateMethod", "ay", "s"},
                                           {"ChangeOperatingMode", "i", "i"},
                                           {"ReadBarCode", "s", "si"},
                                       });
}

TEST(IZorTables, IIZor2HasOneBusMethodPerMethodWithItsInAndOutSignatures) {
    expect_rows(izor::iizor2_methods(), {
                                            {"AtomStatus", "", "s"},
                                            {"Reset", "", ""},
                                            {"ReloadConfiguration", "", ""},
                                            {"SetTrayType", "ss", ""},
                                            {"ClearStatus", "", ""},
                                            {"Uploading", "", "i"},
                                            {"StartPolling", "", ""},
                                            {"ChangePorts", "i", ""},
                                            {"ChooseVials", "ss", "si"},
                                            {"GetSyringe", "", "s"},
                                        });
}

TEST(IZorTables, TheIdsAreThoseOfTheTypeLibrary) {
    EXPECT_EQ(guid_text(izor::CLSID_IZor), "{763BDB62-6812-11D2-883E-3C8B00C10000}");
    EXPECT_EQ(guid_text(izor::IID_IIZor), "{763BDB61-6812-11D2-883E-3C8B00C10000}");
    EXPECT_EQ(guid_text(izor::IID_IIZor2), "{3FD89A95-A73D-11D2-8983-0080C80C9840}");
}

TEST(IZorTables, IncludingTheHeaderMakesBothInterfacesKnownToTheComLayer) {
    ASSERT_TRUE(izor::interfaces_registered);
    const BusInterface* one = find_bus_interface(izor::IID_IIZor);
    const BusInterface* two = find_bus_interface(izor::IID_IIZor2);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_STREQ(one->name, "IIZor");
    EXPECT_STREQ(two->name, "IIZor2");
    EXPECT_EQ(one->methods.data(), izor::iizor_methods().data());
}

TEST(CompoundFileBytes, CarriesACopyOfTheBytes) {
    std::vector<std::uint8_t> bytes = {0xD0, 0xCF, 0x11, 0xE0};
    ComPtr<IUnknown> storage = izor::make_compound_file_bytes(bytes);
    bytes[0] = 0;
    std::vector<std::uint8_t> back;
    EXPECT_EQ(izor::compound_file_bytes_of(storage.get(), back), S_OK);
    EXPECT_EQ(back, (std::vector<std::uint8_t>{0xD0, 0xCF, 0x11, 0xE0}));
    EXPECT_EQ(izor::compound_file_bytes_of(nullptr, back), E_POINTER);
    ComPtr<IUnknown> empty = izor::make_compound_file_bytes({});
    EXPECT_EQ(izor::compound_file_bytes_of(empty.get(), back), S_OK);
    EXPECT_TRUE(back.empty());
}

// Introspection shows these names; the bus refuses a table whose names and signature disagree.
std::size_t names_in(const char* list) {
    std::size_t n = 0;
    bool in_name = false;
    for (const char* c = list ? list : ""; *c; ++c) {
        if (*c != ' ' && !in_name) ++n;
        in_name = *c != ' ';
    }
    return n;
}

std::size_t types_in(const char* signature) {
    std::size_t n = 0;
    for (const char* c = signature; *c; ++c)
        if (*c != 'a') ++n;  // "ay" is one type
    return n;
}

TEST(IZorTables, EveryArgumentIsNamedAsTheMethodNamesItsParameter) {
    for (auto table : {izor::iizor_methods(), izor::iizor2_methods()}) {
        for (const BusMethod& m : table) {
            SCOPED_TRACE(m.member);
            EXPECT_EQ(names_in(m.in_names), types_in(m.in_signature));
            EXPECT_EQ(names_in(m.out_names), types_in(m.out_signature));
        }
    }
    EXPECT_STREQ(izor::iizor_methods()[4].in_names,
                 "Rawname Methname Listname RowInd StartMode Vial InjVolume Flags");
    EXPECT_STREQ(izor::iizor_methods()[10].out_names, "BarCode result");
}

}  // namespace
