// Ids, result texts, text conversion, BSTRs, safe arrays, objects and factories, switches.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/com.h"

namespace {

using namespace platform::com;

constexpr GUID clsid_izor = guid("{763BDB62-6812-11D2-883E-3C8B00C10000}");

TEST(Guid, ParsesAndFormatsTheRegistryForm) {
    EXPECT_EQ(clsid_izor.data1, 0x763BDB62u);
    EXPECT_EQ(clsid_izor.data2, 0x6812u);
    EXPECT_EQ(clsid_izor.data3, 0x11D2u);
    EXPECT_EQ(clsid_izor.data4[0], 0x88);
    EXPECT_EQ(clsid_izor.data4[7], 0x00);
    EXPECT_EQ(guid_text(clsid_izor), "{763BDB62-6812-11D2-883E-3C8B00C10000}");
    const auto lower = parse_guid("{3fd89a95-a73d-11d2-8983-0080c80c9840}");
    ASSERT_TRUE(lower);
    EXPECT_EQ(guid_text(*lower), "{3FD89A95-A73D-11D2-8983-0080C80C9840}");
    EXPECT_EQ(parse_guid(guid_text(*lower)), lower);
}

TEST(Guid, RejectsMalformedTexts) {
    for (const char* bad :
         {"", "{}", "763BDB62-6812-11D2-883E-3C8B00C10000", "{763BDB62-6812-11D2-883E-3C8B00C1000}",
          "{763BDB62-6812-11D2-883E-3C8B00C1000G}", "{763BDB62+6812-11D2-883E-3C8B00C10000}",
          "{763BDB62-6812-11D2-883E-3C8B00C10000}x"})
        EXPECT_FALSE(parse_guid(bad)) << bad;
    EXPECT_FALSE(GUID_NULL == clsid_izor);
    EXPECT_TRUE(GUID_NULL < clsid_izor);
}

TEST(Hresult, TextIsEightUpperCaseHexDigits) {
    EXPECT_EQ(hresult_text(E_FAIL), "0x80004005");
    EXPECT_EQ(hresult_text(S_OK), "0x00000000");
    EXPECT_EQ(hresult_text(E_UNEXPECTED), "0x8000FFFF");
    EXPECT_TRUE(failed(RPC_E_DISCONNECTED));
    EXPECT_TRUE(succeeded(S_FALSE));
}

TEST(Text, EveryWindows1252ByteSurvivesUtf16AndUtf8) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(cp1252_from_utf16(utf16_from_cp1252(all)), all);
    EXPECT_EQ(cp1252_from_utf8(utf8_from_cp1252(all)), all);
    EXPECT_EQ(utf16_from_cp1252("\xB5l"), u"\u00B5l");
    EXPECT_EQ(utf16_from_cp1252("\x80"), u"\u20AC");
    EXPECT_EQ(utf8_from_cp1252("\xB0"
                               "C"),
              "\xC2\xB0"
              "C");
}

TEST(Text, UnmappableAndMalformedBecomeReplacements) {
    EXPECT_EQ(cp1252_from_utf16(u"a\u4E2Db"), "a?b");
    EXPECT_EQ(cp1252_from_utf8("a\xE4\xB8\xAD"
                               "b"),
              "a?b");
    EXPECT_EQ(utf8_from_utf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16_from_utf8("\xC3"), u"\uFFFD");            // cut short
    EXPECT_EQ(utf16_from_utf8("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(utf16_from_utf8("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(utf8_from_utf16(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Bstr, CarriesItsByteLengthBeforeTheUnitsAndAZeroAfter) {
    BSTR s = sys_alloc_string(u"Zor");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sys_string_len(s), 3u);
    EXPECT_EQ(sys_string_byte_len(s), 6u);
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(s[3], 0);
    sys_free_string(s);

    BSTR embedded = sys_alloc_string_len(u"a\0b", 3);
    EXPECT_EQ(sys_string_len(embedded), 3u);
    sys_free_string(embedded);

    BSTR zeros = sys_alloc_string_len(nullptr, 2);
    EXPECT_EQ(zeros[0], 0);
    EXPECT_EQ(sys_string_len(zeros), 2u);
    sys_free_string(zeros);

    EXPECT_EQ(sys_string_len(nullptr), 0u);
    EXPECT_EQ(sys_alloc_string(nullptr), nullptr);
    sys_free_string(nullptr);
    EXPECT_EQ(text_from_bstr(nullptr), "");
}

TEST(Bstr, ConvertsWithTheSystemsTextAndUtf8) {
    Bstr b("250 \xB5l");
    EXPECT_EQ(bstr_view(b.get()), u"250 \u00B5l");
    EXPECT_EQ(b.text(), "250 \xB5l");
    EXPECT_EQ(utf8_from_bstr(b.get()), "250 \xC2\xB5l");
    Bstr copy = b;
    EXPECT_NE(copy.get(), b.get());
    EXPECT_EQ(copy.text(), b.text());
    Bstr u =
        Bstr::adopt(bstr_from_utf8("\xC2\xB0"
                                   "C"));
    EXPECT_EQ(u.text(),
              "\xB0"
              "C");
    *u.put() = sys_alloc_string(u"x");
    EXPECT_EQ(u.length(), 1u);
    Bstr empty("");
    EXPECT_NE(empty.get(), nullptr);
    EXPECT_EQ(empty.length(), 0u);
}

TEST(SafeArray, HoldsBstrsAndCopiesThemInAndOut) {
    SAFEARRAY* a = safe_array_create_vector(VT_BSTR, 0, 3);
    ASSERT_NE(a, nullptr);
    std::int32_t lo = -1, hi = -1;
    EXPECT_EQ(safe_array_get_lbound(a, 1, &lo), S_OK);
    EXPECT_EQ(safe_array_get_ubound(a, 1, &hi), S_OK);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 2);
    EXPECT_EQ(safe_array_get_dim(a), 1u);
    VarType vt = VT_EMPTY;
    EXPECT_EQ(safe_array_get_vartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);

    const char* names[] = {"T1", "T2", "Tray \xB5"};
    for (std::int32_t i = 0; i < 3; ++i) {
        Bstr b(names[i]);
        EXPECT_EQ(safe_array_put_element(a, &i, b.get()), S_OK);
    }
    for (std::int32_t i = 0; i < 3; ++i) {
        Bstr out;
        EXPECT_EQ(safe_array_get_element(a, &i, out.put()), S_OK);
        EXPECT_EQ(out.text(), names[i]);
    }
    const std::int32_t past = 3, before = -1;
    BSTR none = nullptr;
    EXPECT_EQ(safe_array_get_element(a, &past, &none), DISP_E_BADINDEX);
    EXPECT_EQ(safe_array_put_element(a, &before, nullptr), DISP_E_BADINDEX);
    EXPECT_EQ(safe_array_get_lbound(a, 2, &lo), DISP_E_BADINDEX);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(safe_array_copy(a, &copy), S_OK);
    EXPECT_EQ(safe_array_destroy(a), S_OK);
    const std::int32_t two = 2;
    Bstr third;
    EXPECT_EQ(safe_array_get_element(copy, &two, third.put()), S_OK);
    EXPECT_EQ(third.text(), "Tray \xB5");
    EXPECT_EQ(safe_array_destroy(copy), S_OK);
}

TEST(SafeArray, HoldsSixteenAndThirtyTwoBitIntegers) {
    SAFEARRAY* sizes = safe_array_create_vector(VT_UI2, 0, 2);
    ASSERT_NE(sizes, nullptr);
    EXPECT_EQ(safe_array_get_elemsize(sizes), 2u);
    std::uint16_t v = 96;
    std::int32_t i = 1;
    EXPECT_EQ(safe_array_put_element(sizes, &i, &v), S_OK);
    std::uint16_t back = 0;
    EXPECT_EQ(safe_array_get_element(sizes, &i, &back), S_OK);
    EXPECT_EQ(back, 96);
    i = 0;
    EXPECT_EQ(safe_array_get_element(sizes, &i, &back), S_OK);
    EXPECT_EQ(back, 0);  // created zeroed
    safe_array_destroy(sizes);

    SAFEARRAY* types = safe_array_create_vector(VT_I4, 0, 1);
    std::int32_t t = -70000;
    i = 0;
    EXPECT_EQ(safe_array_put_element(types, &i, &t), S_OK);
    std::int32_t t_back = 0;
    EXPECT_EQ(safe_array_get_element(types, &i, &t_back), S_OK);
    EXPECT_EQ(t_back, -70000);
    safe_array_destroy(types);

    SAFEARRAY* shorts = safe_array_create_vector(VT_I2, 0, 0);
    ASSERT_NE(shorts, nullptr);
    std::int32_t hi = 0;
    EXPECT_EQ(safe_array_get_ubound(shorts, 1, &hi), S_OK);
    EXPECT_EQ(hi, -1);
    safe_array_destroy(shorts);

    EXPECT_EQ(safe_array_create_vector(VT_R8, 0, 1), nullptr);
    EXPECT_EQ(safe_array_destroy(nullptr), S_OK);
}

// ---------------------------------------------------------------------------------------------

struct IFirst : IUnknown {
    static constexpr IID iid = guid("{11111111-0000-0000-0000-000000000001}");
    virtual int first() = 0;

  protected:
    ~IFirst() = default;
};
struct ISecond : IUnknown {
    static constexpr IID iid = guid("{11111111-0000-0000-0000-000000000002}");
    virtual int second() = 0;

  protected:
    ~ISecond() = default;
};

int destroyed = 0;

class Both final : public ComObject<IFirst, ISecond> {
  public:
    int first() override { return 1; }
    int second() override { return 2; }
    ~Both() override { ++destroyed; }
};

TEST(ComObject, AnswersItsInterfacesWithOneIdentityAndCountsReferences) {
    destroyed = 0;
    const long before = module_object_count();
    auto* both = new Both();
    EXPECT_EQ(module_object_count(), before + 1);
    ComPtr<IFirst> first = ComPtr<IFirst>::adopt(both);
    ComPtr<ISecond> second = first.query<ISecond>();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->second(), 2);
    ComPtr<IUnknown> a = first.query<IUnknown>();
    ComPtr<IUnknown> b = second.query<IUnknown>();
    EXPECT_EQ(a.get(), b.get());

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(first->QueryInterface(IClassFactory::iid, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(first->QueryInterface(IFirst::iid, nullptr), E_POINTER);

    EXPECT_EQ(first->AddRef(), 5u);  // first, second, a, b, and this one
    EXPECT_EQ(first->Release(), 4u);
    a.reset();
    b.reset();
    second.reset();
    EXPECT_EQ(destroyed, 0);
    first.reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(module_object_count(), before);
}

TEST(ComObject, ClassFactoryMakesObjectsAndLocksTheModule) {
    ComPtr<IClassFactory> factory = make_class_factory<Both>();
    ComPtr<ISecond> made;
    EXPECT_EQ(factory->CreateInstance(nullptr, ISecond::iid, made.put_void()), S_OK);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->second(), 2);
    ComPtr<IUnknown> outer = made.query<IUnknown>();
    ComPtr<IFirst> aggregated;
    EXPECT_EQ(factory->CreateInstance(outer.get(), IFirst::iid, aggregated.put_void()),
              CLASS_E_NOAGGREGATION);
    ComPtr<IClassFactory> wrong;
    EXPECT_EQ(factory->CreateInstance(nullptr, IClassFactory::iid, wrong.put_void()), E_NOINTERFACE);

    made.reset();
    outer.reset();
    factory.reset();
    EXPECT_EQ(module_can_unload(), S_OK);
    module_lock(true);
    EXPECT_EQ(module_can_unload(), S_FALSE);
    module_lock(false);
    EXPECT_EQ(module_can_unload(), S_OK);
}

TEST(ComObject, OwnClassObjectsServeCoCreateInstanceInProcess) {
    reset_com_state_for_tests();
    constexpr CLSID clsid = guid("{11111111-0000-0000-0000-0000000000AA}");
    ComPtr<IClassFactory> factory = make_class_factory<Both>();
    std::uint32_t cookie = 0;
    ASSERT_EQ(
        co_register_class_object(clsid, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
        S_OK);
    std::uint32_t refused = 1;
    EXPECT_EQ(
        co_register_class_object(clsid, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_SINGLEUSE, &refused),
        E_INVALIDARG);
    EXPECT_EQ(refused, 0u);
    ASSERT_NE(cookie, 0u);
    ComPtr<IFirst> made;
    EXPECT_EQ(co_create_instance(clsid, nullptr, CLSCTX_INPROC_SERVER, IFirst::iid, made.put_void()), S_OK);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->first(), 1);
    EXPECT_EQ(co_revoke_class_object(cookie), S_OK);
    EXPECT_EQ(co_revoke_class_object(cookie), CO_E_OBJNOTREG);
    reset_com_state_for_tests();
}

TEST(CommandLine, FindsSwitchesAfterDashOrSlashInAnyCase) {
    const char* argv[] = {"Zorrun", "-Embedding", "/REGSERVER", "automation", "-"};
    EXPECT_TRUE(command_line_switch(5, argv, "embedding"));
    EXPECT_TRUE(command_line_switch(5, argv, "RegServer"));
    EXPECT_FALSE(command_line_switch(5, argv, "Automation"));  // no "/" or "-"
    EXPECT_FALSE(command_line_switch(5, argv, "UnregServer"));
    EXPECT_FALSE(command_line_switch(5, argv, "Zorrun"));  // argv[0] is the program
}

TEST(BusNames, ThePathIsTheNameWithSlashes) {
    EXPECT_EQ(bus_name_to_path("com.hox.Zorrun"), "/com/hox/Zorrun");
}

// Two modules (a program and a library it loads) with tables of one interface.
const BusMethod program_methods[] = {{"Ping", "", ""}};
const BusMethod library_methods[] = {{"Ping", "", ""}};
IUnknown* no_proxy(std::shared_ptr<RemoteObject>) {
    return nullptr;
}
constexpr IID iid_ping = guid("{0C4E5A71-2B3D-4E6F-8A9B-1C2D3E4F5A6B}");

TEST(BusInterfaces, TheFirstRegistrationStandsUntilItsModuleTakesItBack) {
    const BusInterface program{iid_ping, "IPing", program_methods, no_proxy};
    const BusInterface library{iid_ping, "IPing", library_methods, no_proxy};
    EXPECT_EQ(find_bus_interface(iid_ping), nullptr);
    register_bus_interface(program);
    register_bus_interface(library);
    register_bus_interface(program);
    ASSERT_NE(find_bus_interface(iid_ping), nullptr);
    EXPECT_EQ(find_bus_interface(iid_ping)->methods.data(), program_methods);
    // The library unloads: the program's table stays in effect.
    unregister_bus_interface(library);
    EXPECT_EQ(find_bus_interface(iid_ping)->methods.data(), program_methods);
    // The other way round: the library's comes forward while it is loaded, and leaves nothing.
    unregister_bus_interface(program);
    EXPECT_EQ(find_bus_interface(iid_ping), nullptr);
    register_bus_interface(library);
    register_bus_interface(program);
    EXPECT_EQ(find_bus_interface(iid_ping)->methods.data(), library_methods);
    unregister_bus_interface(library);
    EXPECT_EQ(find_bus_interface(iid_ping)->methods.data(), program_methods);
    unregister_bus_interface(program);
    EXPECT_EQ(find_bus_interface(iid_ping), nullptr);
}

}  // namespace
