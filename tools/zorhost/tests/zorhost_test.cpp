// The plug-in loaded as the host data system loads it: through the registry store, in this
// process, with this process's platform. Each test has its own folder, settings store and
// method folder (the example library, templates and configuration).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/tests/window_peer.h"
#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/handles.h"
#include "platform/forms/interaction.h"
#include "platform/forms/keys.h"
#include "platform/registry/registry.h"
#include "platform/storage/com_storage.h"
#include "platform/window/window.h"
#include "tools/zorhost/host.h"
#ifdef ZORHOST_PDF
#include "platform/forms_qt/pdf_device_context.h"
#include "platform/forms_qt/testing/pdf_files.h"
#include "platform/testing/temp_tree.h"
#endif

namespace {

namespace fs = std::filesystem;
namespace com = platform::com;
namespace forms = platform::forms;
namespace reg = platform::registry;
namespace stg = platform::storage;
using Lines = std::vector<std::string>;

class PluginHost : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = zor_testing::make_temp_folder("zorhost-test");
        ASSERT_FALSE(folder_.empty());
        setenv("ZOR_REGISTRY", (folder_ / "registry.db").c_str(), 1);
        reg::reset_store();
        fs::create_directory(folder_ / "methods");
        for (const auto& entry : fs::directory_iterator(fs::path(ZOR_EXAMPLES_DIR) / "macros"))
            fs::copy_file(entry.path(), folder_ / "methods" / entry.path().filename());
        fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / "Demo Injection.PME",
                      folder_ / "methods" / "Demo Injection.PME");
        fs::copy_file(fs::path(ZOR_EXAMPLES_DIR) / "zor_config.pol", folder_ / "methods" / "latest_zor.pol");
        ASSERT_TRUE(reg::set_string_value(reg::HKEY_CURRENT_USER, "\\SOFTWARE\\Hox\\Zor\\Task Weaver\\1",
                                          "Method Folder", (folder_ / "methods").string()));
        ASSERT_EQ(zorhost::register_plugin(ZORSETUP_LIBRARY_PATH), com::S_OK);
        boxes_ = std::make_unique<forms::ScriptedInteraction>();
        boxes_->set_default_box_answer(forms::mr_cancel);
    }
    void TearDown() override {
        com::co_free_unused_libraries();
        EXPECT_EQ(com::loaded_library_count(), 0u);
        boxes_.reset();
        reg::reset_store();
        unsetenv("ZOR_REGISTRY");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void write_template(const std::string& name, const Lines& lines) {
        std::ofstream out(folder_ / "methods" / (name + ".PME"), std::ios::binary);
        for (const auto& l : lines) out << l << "\r\n";
    }
    std::vector<std::string> box_texts() const {
        std::vector<std::string> texts;
        for (const auto& b : boxes_->boxes()) texts.push_back(b.request.text);
        return texts;
    }
    static std::string utf16(const Lines& lines) {
        std::string bytes;
        for (const auto& l : lines)
            for (char c : l + "\r\n") {
                bytes.push_back(c);
                bytes.push_back('\0');
            }
        return bytes;
    }
    // A host document in memory whose streams hold these bytes.
    static stg::CompoundFile document_of(const std::string& data, const std::string& text) {
        auto file = stg::CompoundFile::create_in_memory();
        for (const auto& [name, bytes] : {std::pair{"Data", &data}, std::pair{"Text", &text}}) {
            auto stream = file.root().create_stream(name, false);
            EXPECT_TRUE(stream && stream->write(bytes->data(), bytes->size()).ok()) << name;
        }
        return file;
    }
    static std::string stream_bytes(const stg::Storage& storage, const std::string& name) {
        auto s = storage.open_stream(name);
        if (!s) return "<missing>";
        const auto all = s->read_all();
        return std::string(all.begin(), all.end());
    }

    fs::path folder_;
    std::unique_ptr<forms::ScriptedInteraction> boxes_;
};

TEST_F(PluginHost, RegistrationWritesTheClassesAndTheTypeLibraryAndUnregistrationTakesThemBack) {
    const auto text = [](const std::string& key, const char* name = "") {
        const auto v = reg::query_value(reg::HKEY_CLASSES_ROOT, key, name);
        return v ? v->text : std::string("<none>");
    };
    const std::string path = fs::canonical(ZORSETUP_LIBRARY_PATH).string();
    const std::string setup = "CLSID\\{9F31AB43-102F-11D2-8208-00A0244F82A5}";
    EXPECT_EQ(text(setup + "\\InprocServer32"), path);
    EXPECT_EQ(text(setup + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(text("zorsetup.ZorConfig\\CLSID"), "{58CA12B3-8EC7-11D2-8970-0080C80C9840}");
    const std::string lib = "TypeLib\\{9F31AB41-102F-11D2-8208-00A0244F82A5}";
    EXPECT_EQ(text(lib + "\\1.0"), "zorsetup Library");
    EXPECT_EQ(text(lib + "\\1.0\\0\\win32"), path);
    const std::vector<std::pair<std::string, std::string>> interfaces = {
        {"{1CDECF91-4CA8-11D2-9F4E-00001C600BCF}", "zorsetup"},
        {"{4E097402-BCF6-11D1-A3FF-0000C0B58EF5}", "ZorAsInfo"},
        {"{4E097403-BCF6-11D1-A3FF-0000C0B58EF5}", "AsConfig"},
        {"{4E097404-BCF6-11D1-A3FF-0000C0B58EF5}", "Volume"},
        {"{D634CBE0-57BD-11D1-B4E0-00AA003D3CB3}", "Config"}};
    for (const auto& [iid, name] : interfaces) {
        EXPECT_EQ(text("Interface\\" + iid), name);
        EXPECT_EQ(text("Interface\\" + iid + "\\TypeLib"), "{9F31AB41-102F-11D2-8208-00A0244F82A5}");
    }

    void* library = dlopen(ZORSETUP_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    auto unregister = reinterpret_cast<com::HRESULT (*)()>(dlsym(library, "DllUnregisterServer"));
    ASSERT_NE(unregister, nullptr);
    EXPECT_EQ(unregister(), com::S_OK);
    dlclose(library);
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, setup));
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, "zorsetup.ZorConfig"));
    EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, lib));
    for (const auto& [iid, name] : interfaces)
        EXPECT_FALSE(reg::key_exists(reg::HKEY_CLASSES_ROOT, "Interface\\" + iid));
}

TEST_F(PluginHost, SavesTheTemplatesMethodByteExactAndOpensItAgainUnmodified) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok()) << host.error();
    ASSERT_EQ(host.new_document(), 0);
    ASSERT_TRUE(host.choose_template("Demo Injection"));
    EXPECT_EQ(host.setup().IsModified(), 1);  // an edit the host must save
    const std::string path = (folder_ / "demo.zor").string();
    ASSERT_EQ(host.save_document(path), 0);
    EXPECT_EQ(host.setup().IsModified(), 0);
    const Lines shown = host.shown_method();

    auto file = stg::CompoundFile::open(path, stg::Mode::read_only);
    ASSERT_TRUE(file);
    auto zor = file->root().open_storage("Zor");
    ASSERT_TRUE(zor);
    EXPECT_EQ(stream_bytes(*zor, "Text"), utf16({"Demo Injection", "One injection from the sample's vial:",
                                                 "rinse, draw the sample, wait for the start, inject."}));
    const std::string data = stream_bytes(*zor, "Data");
    EXPECT_EQ(data.substr(0, utf16({"10ul", "Rinse Needle(Wash2,2)"}).size()),
              utf16({"10ul", "Rinse Needle(Wash2,2)"}));
    EXPECT_NE(data.find(utf16({"[MACRO METHOD ENTRY]"})), std::string::npos);
    file->close();

    ASSERT_EQ(host.new_document(), 0);
    ASSERT_EQ(host.open_document(path), 0);
    EXPECT_EQ(host.shown_method(), shown);
    EXPECT_EQ(host.setup().IsModified(), 0);
    EXPECT_TRUE(box_texts().empty());
}

TEST_F(PluginHost, SavingTwiceIntoOneStorageReplacesBothStreams) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.choose_template("Demo Injection"));
    auto file = stg::CompoundFile::create_in_memory();
    auto storage = stg::make_com_storage(file.root());
    ASSERT_EQ(host.setup().Save(storage.get()), 0);
    const std::string first = stream_bytes(file.root(), "Data");
    ASSERT_EQ(host.setup().Save(storage.get()), 0);
    EXPECT_EQ(stream_bytes(file.root(), "Data"), first);
    EXPECT_TRUE(box_texts().empty());
}

// A storage whose stream "Data" takes two writes and refuses the rest ("Text" takes all).
class FailingStream final : public com::ComObject<stg::IStream> {
  public:
    explicit FailingStream(int allowed) : allowed_(allowed) {}
    com::HRESULT Read(void*, std::uint32_t, std::uint32_t* done) override {
        if (done) *done = 0;
        return com::S_OK;
    }
    com::HRESULT Write(const void*, std::uint32_t count, std::uint32_t* done) override {
        if (allowed_-- <= 0) return com::STG_E_MEDIUMFULL;
        if (done) *done = count;
        return com::S_OK;
    }

  private:
    int allowed_;
};
class FailingStorage final : public com::ComObject<stg::IStorage> {
  public:
    com::HRESULT CreateStream(const char16_t* name, std::uint32_t, std::uint32_t, std::uint32_t,
                              stg::IStream** stream) override {
        *stream = new FailingStream(std::u16string(name) == u"Data" ? 2 : 1000);
        return com::S_OK;
    }
    com::HRESULT OpenStream(const char16_t*, void*, std::uint32_t, std::uint32_t,
                            stg::IStream** stream) override {
        *stream = nullptr;
        return com::STG_E_FILENOTFOUND;
    }
};

TEST_F(PluginHost, AFailedWriteIsReportedAndLeavesTheMethodModified) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.choose_template("Demo Injection"));
    auto failing = com::ComPtr<stg::IStorage>::adopt(new FailingStorage);
    EXPECT_EQ(host.setup().Save(failing.get()), com::STG_E_MEDIUMFULL);
    EXPECT_EQ(box_texts(), Lines{"couldnt write string 3"});
    EXPECT_EQ(host.setup().IsModified(), 1);
}

TEST_F(PluginHost, ALongMethodComesBackWhole) {
    // Description lines far beyond the 40,000 bytes a single read once took.
    Lines tmpl;
    Lines description;
    for (int i = 0; i < 400; ++i) {
        description.push_back("line " + std::to_string(i) + " " + std::string(70, 'x'));
        tmpl.push_back("//" + description.back());
    }
    tmpl.push_back("syringe:10ul");
    tmpl.push_back("Inject(Inj1)");
    write_template("Long", tmpl);
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.choose_template("Long"));
    auto file = stg::CompoundFile::create_in_memory();
    auto storage = stg::make_com_storage(file.root());
    ASSERT_EQ(host.setup().Save(storage.get()), 0);
    ASSERT_GT(stream_bytes(file.root(), "Text").size(), 40000u);
    ASSERT_EQ(host.setup().New(), 0);
    ASSERT_EQ(host.setup().Open(storage.get()), 0);
    auto* memo = host.editor_form()->find_component("method_descrip_box");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(dynamic_cast<forms::Memo*>(memo)->Lines.strings(), description);
}

TEST_F(PluginHost, AnUnknownSyringeIsKeptAndALoneCrEndsItsLine) {
    auto file = document_of(utf16({"99ul", "Inject(Inj1)"}) + std::string("W\0\r\0X\0\r\0\n\0", 10),
                            utf16({"", "desc"}));
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    auto storage = stg::make_com_storage(file.root());
    ASSERT_EQ(host.setup().Open(storage.get()), 0);
    EXPECT_EQ(box_texts(), Lines{"The method's syringe \"99ul\" is not in the configuration."});
    const Lines shown = host.shown_method();
    ASSERT_GE(shown.size(), 5u);
    EXPECT_EQ(shown[1], "syringe: 99ul");
    EXPECT_EQ(shown[3], "W");
    EXPECT_EQ(shown[4], "X");
    // Saved again, the document keeps its syringe.
    auto copy = stg::CompoundFile::create_in_memory();
    auto out = stg::make_com_storage(copy.root());
    ASSERT_EQ(host.setup().Save(out.get()), 0);
    EXPECT_EQ(stream_bytes(copy.root(), "Data").substr(0, 12), utf16({"99ul"}));
}

TEST_F(PluginHost, ReadsCrLfLoneCrAndLoneLfAsTheDriverDoes) {
    // The bytes of DriverDocument.cr_lf_a_lone_cr_and_a_lone_lf_each_end_one_line_as_the_plug_in_reads_them:
    // the driver reads them as 10ul, Wash(), Inject(Inj1), Wash().
    const std::string text = "10ul\rWash()\nInject(Inj1)\r\nWash()";
    std::string bytes;
    for (char c : text) bytes += std::string{c, '\0'};
    auto file = document_of(bytes, utf16({"", "desc"}));
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    auto storage = stg::make_com_storage(file.root());
    ASSERT_EQ(host.setup().Open(storage.get()), 0);
    EXPECT_EQ(host.shown_method(),
              (Lines{"template: ", "syringe: 10ul", "Wash()", "Inject(Inj1)", "Wash()"}));
}

TEST_F(PluginHost, AStreamWithoutALineIsRefusedAndTheEditorKeepsItsMethod) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.choose_template("Demo Injection"));
    const Lines before = host.shown_method();
    auto file = stg::CompoundFile::create_in_memory();
    ASSERT_TRUE(file.root().create_stream("Data", false));
    ASSERT_TRUE(file.root().create_stream("Text", false));
    auto storage = stg::make_com_storage(file.root());
    EXPECT_EQ(host.setup().Open(storage.get()), com::STG_E_DOCFILECORRUPT);
    EXPECT_EQ(host.shown_method(), before);
    auto empty = stg::CompoundFile::create_in_memory();
    auto nothing = stg::make_com_storage(empty.root());
    EXPECT_EQ(host.setup().Open(nothing.get()), com::STG_E_FILENOTFOUND);
    EXPECT_EQ(host.shown_method(), before);
    EXPECT_EQ(box_texts(), (Lines{"The document holds no method: its stream \"Data\" has no line.",
                                  "cant open stream Data"}));
}

TEST_F(PluginHost, WithoutAnEditorTheDocumentMethodsRefuseInsteadOfCrashing) {
    com::ComPtr<zorsetup::Izorsetup> setup;
    ASSERT_EQ(com::co_create_instance(zorsetup::CLSID_TZorSetup, nullptr, com::CLSCTX_INPROC_SERVER,
                                      zorsetup::Izorsetup::iid, setup.put_void()),
              com::S_OK);
    auto file = stg::CompoundFile::create_in_memory();
    auto storage = stg::make_com_storage(file.root());
    EXPECT_EQ(setup->New(), com::E_UNEXPECTED);
    EXPECT_EQ(setup->Save(storage.get()), com::E_UNEXPECTED);
    EXPECT_EQ(setup->Open(storage.get()), com::E_UNEXPECTED);
    EXPECT_EQ(setup->IsModified(), 0);
    EXPECT_EQ(setup->PageCount(), 0);
    EXPECT_EQ(setup->CanBeSaved(), 1);
    EXPECT_EQ(setup->CanBePrinted(), 1);
    EXPECT_EQ(std::u16string(setup->GetMenuString(7)), u"ZOR");
    EXPECT_EQ(setup->GetMenuFlags(7), 0);
    com::ComPtr<zorsetup::Volume> volume;
    EXPECT_EQ(setup->QueryInterface(zorsetup::Volume::iid, volume.put_void()), com::E_NOINTERFACE);

    // After the host destroyed the editor's window, the same.
    const auto parent = platform::window::create_window(
        "TZorHostTest", 0, [](auto, auto, auto, auto) -> platform::window::Result { return 0; });
    ASSERT_NE(setup->CreateVisual(parent), 0u);
    EXPECT_EQ(setup->New(), com::S_OK);
    platform::window::destroy_window(parent);
    EXPECT_EQ(setup->New(), com::E_UNEXPECTED);
    EXPECT_EQ(setup->Save(storage.get()), com::E_UNEXPECTED);
}

TEST_F(PluginHost, TheLibraryStaysLoadedWhileItsEditorWindowExists) {
    const auto parent = platform::window::create_window(
        "TZorHostTest", 0, [](auto, auto, auto, auto) -> platform::window::Result { return 0; });
    {
        com::ComPtr<zorsetup::Izorsetup> setup;
        ASSERT_EQ(com::co_create_instance(zorsetup::CLSID_TZorSetup, nullptr, com::CLSCTX_INPROC_SERVER,
                                          zorsetup::Izorsetup::iid, setup.put_void()),
                  com::S_OK);
        ASSERT_NE(setup->CreateVisual(parent), 0u);
    }
    com::co_free_unused_libraries();
    EXPECT_EQ(com::loaded_library_count(), 1u);
    platform::window::destroy_window(parent);
    com::co_free_unused_libraries();
    EXPECT_EQ(com::loaded_library_count(), 0u);
}

TEST_F(PluginHost, LoadsUsesAndUnloadsAHundredTimes) {
    for (int i = 0; i < 100; ++i) {
        zorhost::Host host;
        ASSERT_TRUE(host.ok()) << i;
        ASSERT_TRUE(host.choose_template("Demo Injection"));
        auto file = stg::CompoundFile::create_in_memory();
        auto storage = stg::make_com_storage(file.root());
        ASSERT_EQ(host.setup().Save(storage.get()), 0);
        int pages = 0;
        EXPECT_FALSE(host.print_pages(&pages).empty());
        host.close();
        ASSERT_EQ(com::loaded_library_count(), 0u) << i;
    }
}

TEST_F(PluginHost, PrintsEveryPageOnTheHostsDeviceContext) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.choose_template("Demo Injection"));
    int pages = 0;
    const Lines lines = host.print_pages(&pages);
    EXPECT_EQ(pages, 1);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Syringe: 10ul"), lines.end());
}

#ifdef ZORHOST_PDF
TEST_F(PluginHost, PrintsEveryPageIntoAPdfFile) {
    Lines tmpl = {"//Long print", "syringe:10ul"};
    for (int i = 0; i < 40; ++i) tmpl.push_back("Rinse Needle(Wash2,2)");  // 4 lines each
    tmpl.push_back("[MACRO Rinse Needle]");
    tmpl.push_back("Station;WASH_STATION");
    tmpl.push_back("Times ();2;1;10");
    tmpl.push_back("REPEAT(Times)");
    tmpl.push_back("WASH(Station,1)");
    tmpl.push_back("END()");
    write_template("Long print", tmpl);
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.choose_template("Long print"));
    const std::string pdf = (folder_ / "long.pdf").string();
    {
        platform::forms_qt::PrintingSession qt;
        platform::forms_qt::PdfDeviceContext dc(pdf, "Long print");
        EXPECT_EQ(host.print_to(dc), 4);  // 3 + 40 x 4 = 163 lines
        EXPECT_TRUE(dc.ok());
    }
    EXPECT_EQ(platform::forms_qt::testing::pdf_pages(pdf), 4);
    const std::string first = platform::forms_qt::testing::pdf_words(pdf, 1);
    EXPECT_EQ(
        first.rfind("Long print Syringe: 10ul 01 Rinse Needle Station Wash2 Times 2 02 Rinse Needle", 0), 0u)
        << first;
    // Lines 151 to 163: the end of step 37, then steps 38 to 40.
    EXPECT_EQ(platform::forms_qt::testing::pdf_words(pdf, 4),
              "Times 2 38 Rinse Needle Station Wash2 Times 2 39 Rinse Needle Station Wash2 Times 2 "
              "40 Rinse Needle Station Wash2 Times 2");
    EXPECT_EQ(box_texts(), Lines{});
}
#endif

TEST_F(PluginHost, AnswersTheVialAndTrayQuestions) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    auto& info = host.info();
    auto& config = host.as_config();
    EXPECT_EQ(info.ValidateVial(u"Tray1:0", u"", 0), 1);
    EXPECT_EQ(info.ValidateVial(u"Tray1:5", u"", 0), 0);
    EXPECT_EQ(info.ValidateVial(u"Nowhere:5", u"", 0), zorsetup::result_unknown_tray);
    EXPECT_EQ(info.ValidateVial(u"Nowhere:5", u"", 1), 1);

    com::Bstr next;
    EXPECT_EQ(info.GetNextVial(next.put(), u"Tray1:96", u"Tray1"), 0);
    EXPECT_EQ(next.text(), "");
    EXPECT_EQ(info.GetNextVial(next.put(), u"", u"Tray4"), 0);
    EXPECT_EQ(next.text(), "Tray4:1");
    EXPECT_EQ(info.GetNextVial(next.put(), u"", u"Nowhere"), zorsetup::result_unknown_tray);

    com::SAFEARRAY* names = nullptr;
    com::SAFEARRAY* sizes = nullptr;
    std::int16_t deflt = -1;
    ASSERT_EQ(info.GetTrayInformation(&names, &sizes, &deflt), 0);
    std::int32_t upper = -1;
    com::safe_array_get_ubound(names, 1, &upper);
    EXPECT_EQ(upper, 4);
    std::int32_t k = 2;
    com::Bstr name;
    std::uint16_t size = 0;
    com::safe_array_get_element(names, &k, name.put());
    com::safe_array_get_element(sizes, &k, &size);
    EXPECT_EQ(name.text(), "Tray3");
    EXPECT_EQ(size, 54);
    com::safe_array_destroy(names);
    com::safe_array_destroy(sizes);

    // Position to indices: Tray1's type is numbered across ("Row Length X" 0), Tray3's not.
    com::Bstr tray;
    com::BSTR pos = com::bstr_from_text("Tray1:3");
    std::int32_t tray_index = 0, vial_index = 0;
    EXPECT_EQ(config.ConvertVialPosition(1, tray.put(), &pos, &tray_index, &vial_index), 0);
    EXPECT_EQ(tray_index, 1);
    EXPECT_EQ(vial_index, 17);
    EXPECT_EQ(tray.text(), "Tray1");
    com::sys_free_string(pos);
    pos = com::bstr_from_text("Tray3:3");
    EXPECT_EQ(config.ConvertVialPosition(1, tray.put(), &pos, &tray_index, &vial_index), 0);
    EXPECT_EQ(tray_index, 3);
    EXPECT_EQ(vial_index, 3);
    // Indices to position: the vials of the trays in front, then the index (not one tray more).
    tray_index = 2;
    vial_index = 3;
    EXPECT_EQ(config.ConvertVialPosition(0, tray.put(), &pos, &tray_index, &vial_index), 0);
    EXPECT_EQ(com::text_from_bstr(pos), "99");
    tray_index = 6;
    EXPECT_EQ(config.ConvertVialPosition(0, tray.put(), &pos, &tray_index, &vial_index),
              zorsetup::result_bad_position);
    com::sys_free_string(pos);

    com::Bstr vial_pos;
    EXPECT_EQ(config.GetNextTray(u"Tray5", vial_pos.put(), tray.put()), 0);
    EXPECT_EQ(tray.text(), "");
    EXPECT_EQ(vial_pos.text(), "");
    EXPECT_EQ(config.GetNextTray(nullptr, vial_pos.put(), tray.put()), 0);
    EXPECT_EQ(tray.text(), "Tray1");
    EXPECT_EQ(vial_pos.text(), "Tray1:1");

    // A null volume is not read.
    EXPECT_EQ(info.GetInjectionVolumeFromMethod(nullptr, nullptr), 1);
}

TEST_F(PluginHost, VisualizeListTakesTheHostsVialsAndGivesTheChosenOnesBack) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    // Three positions and only one type: the missing types count as 0, nothing is read past.
    com::SAFEARRAY* positions = com::safe_array_create_vector(com::VT_BSTR, 1, 3);
    com::SAFEARRAY* types = com::safe_array_create_vector(com::VT_I4, 0, 1);
    const char* texts[] = {"Tray1:13", "Tray1:2", "Tray1:40"};
    for (std::int32_t i = 1; i <= 3; ++i) {
        com::Bstr t(texts[i - 1]);
        com::safe_array_put_element(positions, &i, t.get());
    }
    std::int32_t zero = 0, one = 1;
    com::safe_array_put_element(types, &zero, &one);
    com::BSTR tray = com::bstr_from_text("Tray1");
    boxes_->on_next_form([&](forms::Form& form) {
        auto* add = dynamic_cast<forms::Button*>(form.find_component("add_button"));
        auto* deselect = dynamic_cast<forms::Button*>(form.find_component("deselect_button"));
        auto* from = dynamic_cast<forms::Edit*>(form.find_component("from_box"));
        auto* to = dynamic_cast<forms::Edit*>(form.find_component("to_box"));
        auto* range = dynamic_cast<forms::Button*>(form.find_component("add_vials_button"));
        deselect->click();
        from->Text = "5";
        to->Text = "6";
        range->click();
        add->click();
    });
    EXPECT_EQ(host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray), 0);
    EXPECT_EQ(com::text_from_bstr(tray), "Tray1");
    std::int32_t low = -1, high = -1;
    com::safe_array_get_lbound(positions, 1, &low);
    com::safe_array_get_ubound(positions, 1, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 1);
    com::Bstr first;
    std::int32_t i = 1;
    com::safe_array_get_element(positions, &i, first.put());
    EXPECT_EQ(first.text(), "Tray1:6");
    com::VarType vt = com::VT_EMPTY;
    com::safe_array_get_vartype(types, &vt);
    EXPECT_EQ(vt, com::VT_I4);

    // Closed by its caption (the provider closes it as cancelled): "no", not the previous
    // opening's vials.
    EXPECT_EQ(host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray), 1);
    com::safe_array_get_ubound(positions, 1, &high);
    EXPECT_EQ(high, 1);

    // Cancelled: the arrays stay as they came.
    boxes_->on_next_form([](forms::Form& form) {
        dynamic_cast<forms::Button*>(form.find_component("close_button"))->click();
    });
    EXPECT_EQ(host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray), 1);
    com::safe_array_get_ubound(positions, 1, &high);
    EXPECT_EQ(high, 1);
    com::safe_array_destroy(positions);
    com::safe_array_destroy(types);
    com::sys_free_string(tray);
}

TEST_F(PluginHost, VisualizeListTakesAndGivesMoreThanAThousandVials) {
    // Tray1 made a 40 x 40 tray: 1600 vials.
    std::ifstream in(folder_ / "methods" / "latest_zor.pol", std::ios::binary);
    std::string config((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string plain = "TRAY_TYPE;VT96;8;12;";
    ASSERT_NE(config.find(plain), std::string::npos);
    config.replace(config.find(plain), plain.size(), "TRAY_TYPE;VT96;40;40;");
    std::ofstream(folder_ / "methods" / "latest_zor.pol", std::ios::binary) << config;

    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    // 1200 of the host's vials, with types for the first five only.
    com::SAFEARRAY* positions = com::safe_array_create_vector(com::VT_BSTR, 0, 1200);
    com::SAFEARRAY* types = com::safe_array_create_vector(com::VT_I4, 0, 5);
    for (std::int32_t i = 0; i < 1200; ++i) {
        com::Bstr t("Tray1:" + std::to_string(i + 1));
        com::safe_array_put_element(positions, &i, t.get());
    }
    com::BSTR tray = com::bstr_from_text("Tray1");
    // The host's vials are shown selected: "Add vials" gives them all back.
    boxes_->on_next_form(
        [](forms::Form& form) { dynamic_cast<forms::Button*>(form.find_component("add_button"))->click(); });
    ASSERT_EQ(host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray), 0);
    std::int32_t high = -1;
    com::safe_array_get_ubound(positions, 1, &high);
    EXPECT_EQ(high, 1199);
    com::Bstr last;
    com::safe_array_get_element(positions, &high, last.put());
    EXPECT_EQ(last.text(), "Tray1:1200");

    // Every vial of the tray chosen: all 1600 come back, in ascending order.
    boxes_->on_next_form([](forms::Form& form) {
        dynamic_cast<forms::Button*>(form.find_component("select_all_button"))->click();
        dynamic_cast<forms::Button*>(form.find_component("add_button"))->click();
    });
    ASSERT_EQ(host.info().VisualizeList(host.host_window(), 0, &positions, &types, &tray), 0);
    com::safe_array_get_ubound(positions, 1, &high);
    EXPECT_EQ(high, 1599);
    com::safe_array_get_element(positions, &high, last.put());
    EXPECT_EQ(last.text(), "Tray1:1600");
    com::safe_array_destroy(positions);
    com::safe_array_destroy(types);
    com::sys_free_string(tray);
}

TEST_F(PluginHost, ARunningTaskWeaverIsBroughtToTheFrontAndOnlyOtherwiseOneIsStarted) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    const std::string key = "\\SOFTWARE\\Velorand\\Chromarq\\Devices\\ZOR\\Settings";
    host.setup().ExecuteCommand(14996);  // nothing configured: nothing happens
    // Two arguments, neither of which a shell reads.
    const fs::path blank = folder_ / "two words";
    const fs::path semicolon = folder_ / "a;b";
    ASSERT_TRUE(reg::set_string_value(reg::HKEY_LOCAL_MACHINE, key, "Executable", "/usr/bin/touch"));
    ASSERT_TRUE(reg::set_string_value(reg::HKEY_LOCAL_MACHINE, key, "Parameters",
                                      "\"" + blank.string() + "\" " + semicolon.string()));

    // One runs in this process: it comes to the front, none is started.
    int activations = 0;
    const auto weaver = platform::window::create_window(
        "TTask_Weaver", 0, [&](auto, std::uint32_t message, auto wparam, auto) -> platform::window::Result {
            if (message == platform::window::WM_ACTIVATE && wparam == platform::window::WA_ACTIVE)
                ++activations;
            return 0;
        });
    host.setup().ExecuteCommand(14996);
    platform::window::process_messages();
    EXPECT_EQ(activations, 1);
    platform::window::destroy_window(weaver);

    // One runs in another process on the desktop: the same.
    {
        com_test::WindowPeer other(COM_TEST_SERVER_PATH, "TTask_Weaver");
        ASSERT_TRUE(other.ok());
        host.setup().ExecuteCommand(14996);
        EXPECT_EQ(other.next_line(), "activated");
    }
    host.setup().ExecuteCommand(14999);  // no such command
    EXPECT_FALSE(fs::exists(blank));

    // None runs: the configured program is started with its parameters.
    host.setup().ExecuteCommand(14996);
    for (int i = 0; i < 500 && !(fs::exists(blank) && fs::exists(semicolon)); ++i) usleep(10'000);
    EXPECT_TRUE(fs::exists(blank));
    EXPECT_TRUE(fs::exists(semicolon));
    EXPECT_FALSE(fs::exists(folder_ / "\"two"));
}

TEST_F(PluginHost, TheInPlaceMenuCarriesTheCommandIdsAndTheButtonImageIsThere) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    const auto menu = host.setup().GetInPlaceMenu();
    EXPECT_NE(menu, 0u);
    EXPECT_EQ(host.setup().GetInPlaceMenu(), menu);
    using Item = std::pair<std::string, std::int32_t>;
    EXPECT_EQ(host.in_place_menu(),
              (std::vector<Item>{
                  {"Reset Zor", 14998}, {"Reload Zor Configuration", 14997}, {"Task Weaver", 14996}}));
    // The button image: one 70 x 70 picture, the same for both classes.
    const auto image = host.setup().GetButtonImage();
    int width = 0, height = 0;
    ASSERT_TRUE(forms::get_image_size(image, width, height));
    EXPECT_EQ(width, 70);
    EXPECT_EQ(height, 70);
    EXPECT_EQ(forms::get_image_count(image), 1);
    com::ComPtr<zorsetup::Config> config;
    ASSERT_EQ(com::co_create_instance(zorsetup::CLSID_TConfig, nullptr, com::CLSCTX_INPROC_SERVER,
                                      zorsetup::Config::iid, config.put_void()),
              com::S_OK);
    EXPECT_EQ(config->GetButtonImage(), image);
    EXPECT_EQ(forms::find_menu(image), nullptr);
}

TEST_F(PluginHost, TabOnTheEditorMovesBetweenItsControlsAndOtherMessagesPass) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    auto* editor = host.editor_form();
    ASSERT_NE(editor, nullptr);
    zorsetup::HostMessage tab{host.editor_window(), forms::keys::key_down_message, forms::keys::tab};
    EXPECT_EQ(host.setup().CompPreTranslate(&tab), 1);
    forms::Control* first = editor->ActiveControl;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(host.setup().CompPreTranslate(&tab), 1);
    EXPECT_NE(editor->ActiveControl, first);
    tab.shift_down = true;
    EXPECT_EQ(host.setup().CompPreTranslate(&tab), 1);
    EXPECT_EQ(editor->ActiveControl, first);
    zorsetup::HostMessage other{host.editor_window(), forms::keys::key_down_message, 'A'};
    EXPECT_EQ(host.setup().CompPreTranslate(&other), 0);
    zorsetup::HostMessage elsewhere{host.host_window(), forms::keys::key_down_message, forms::keys::tab};
    EXPECT_EQ(host.setup().CompPreTranslate(&elsewhere), 0);
    EXPECT_EQ(host.setup().CompPreTranslate(nullptr), 0);
}

}  // namespace
