// A host of our own asks every question of IZorSetup and IZorConfig the way a host may: [out]
// arguments holding garbage on entry, trays that are huge or unknown, no Zorrun to reach.
// Nothing may crash; every refusal has a reason (a box the person sees, or a line of the log).
#include "plugin/tests/host/host_fixture.h"

namespace zorsetup_host_test {
namespace {

const auto* bus = ::testing::AddGlobalTestEnvironment(new com_test::PrivateBus);

TEST_F(ZorsetupHost, TheLibrarysOwnStartGivesTheTrayDialogItsSampleTypesAtTheScreensCentre) {
    load();
    int shown = 0;
    const auto r = visualize(*info_.get(), *boxes_, {"Tray1:5"}, "Tray1", [&](forms::Form& f) {
        ++shown;
        auto* types = find<forms::ComboBox>(f, "vial_type_box");
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(types->Items.count(), 9);
        EXPECT_EQ(types->Items[0], "Unknown");
        EXPECT_EQ(types->Items[8], "Program");
        for (const char* name : {"show_box", "show_numbers_button", "show_types_button", "add_vial_label"})
            EXPECT_TRUE(dynamic_cast<forms::Control*>(f.find_component(name))->reachable()) << name;
        const forms::Screen& screen = forms::screen();
        EXPECT_EQ(f.Left, (screen.Width - f.Width) / 2);
        EXPECT_EQ(f.Top, (screen.Height - f.Height) / 2);
        // A Program vial, then the host's vial 5 stays as it came.
        types->select(8);
        find<forms::Edit>(f, "from_box")->Text = "7";
        find<forms::Edit>(f, "to_box")->Text = "7";
        find<forms::Button>(f, "add_vials_button")->click();
        find<forms::Button>(f, "add_button")->click();
    });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.positions, (Lines{"Tray1:5", "Tray1:7"}));
    EXPECT_EQ(r.types, (std::vector<std::int32_t>{0, 8}));
    EXPECT_EQ(r.tray, "Tray1");
}

TEST_F(ZorsetupHost, OutStringsHoldingGarbageAreWrittenNeverFreed) {
    load();
    BSTR next = garbage<BSTR>();
    EXPECT_EQ(info_->GetNextVial(&next, u"Tray1:5", u"Tray1"), 0);
    EXPECT_EQ(com::text_from_bstr(next), "Tray1:6");
    com::sys_free_string(next);

    BSTR tray = garbage<BSTR>();
    std::int32_t x = -7, y = -7, shape = -7;
    com::Bstr position("Tray3:4");
    EXPECT_EQ(as_config_->GetTrayInformation2(&tray, position.get(), &x, &y, &shape), 0);
    EXPECT_EQ(com::text_from_bstr(tray), "Tray3");
    com::sys_free_string(tray);
    tray = garbage<BSTR>();
    com::Bstr nowhere("Nowhere:4");
    EXPECT_EQ(as_config_->GetTrayInformation2(&tray, nowhere.get(), &x, &y, &shape),
              zorsetup::result_unknown_tray);
    com::sys_free_string(tray);

    BSTR vial = garbage<BSTR>();
    tray = garbage<BSTR>();
    EXPECT_EQ(as_config_->GetNextTray(u"Tray1", &vial, &tray), 0);
    EXPECT_EQ(com::text_from_bstr(tray), "Tray2");
    EXPECT_EQ(com::text_from_bstr(vial), "Tray2:1");
    com::sys_free_string(vial);
    com::sys_free_string(tray);

    // Position to indices: TrayName is [out], VialPos [in, out].
    tray = garbage<BSTR>();
    BSTR pos = com::bstr_from_text("Tray2:3");
    std::int32_t tray_index = 0, vial_index = 0;
    EXPECT_EQ(as_config_->ConvertVialPosition(1, &tray, &pos, &tray_index, &vial_index), 0);
    EXPECT_EQ(com::text_from_bstr(tray), "Tray2");
    EXPECT_EQ(tray_index, 2);
    com::sys_free_string(tray);
    com::sys_free_string(pos);

    SAFEARRAY* names = garbage<SAFEARRAY*>();
    SAFEARRAY* sizes = garbage<SAFEARRAY*>();
    std::int16_t default_tray = -7;
    EXPECT_EQ(info_->GetTrayInformation(&names, &sizes, &default_tray), 0);
    std::int32_t high = -1;
    com::safe_array_get_ubound(names, 1, &high);
    EXPECT_EQ(high, 4);
    com::safe_array_destroy(names);
    com::safe_array_destroy(sizes);
}

TEST_F(ZorsetupHost, AnUnknownTrayAnswersNoAndHandsNothingBackWithItsReasonInTheLog) {
    load();
    const auto r = visualize(*info_.get(), *boxes_, {"Tray1:5"}, "Nowhere", nullptr);
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(boxes_->form_captions().empty()) << "no dialog for a tray that is not there";
    EXPECT_EQ(r.positions, Lines{"Tray1:5"});
    EXPECT_EQ(r.tray, "Nowhere");
    EXPECT_TRUE(logged("visualizelist - no tray Nowhere"));

    BSTR next = garbage<BSTR>();
    EXPECT_EQ(info_->GetNextVial(&next, u"", u"Nowhere"), zorsetup::result_unknown_tray);
    EXPECT_EQ(info_->ValidateVial(u"Nowhere:1", nullptr, 0), zorsetup::result_unknown_tray);
    EXPECT_EQ(info_->ValidateVial(u"Nowhere:1", nullptr, 1), 1);
    EXPECT_TRUE(logged("getnextvial - no tray Nowhere"));
}

TEST_F(ZorsetupHost, AHugeTrayIsCountedIn64BitsAndItsSixteenBitSizeIsRefusedByName) {
    edit_configuration("TRAY_TYPE;VT96;", "TRAY_TYPE;VT96;100000;100000;0;99000;63000;0;32000;2000000;0;A");
    load();
    EXPECT_EQ(info_->ValidateVial(u"Tray1:2000000000", nullptr, 0), 0);
    BSTR next = garbage<BSTR>();
    EXPECT_EQ(info_->GetNextVial(&next, u"Tray1:2147483647", u"Tray1"), 0);
    EXPECT_EQ(com::text_from_bstr(next), "Tray1:2147483648");
    com::sys_free_string(next);

    SAFEARRAY* names = garbage<SAFEARRAY*>();
    SAFEARRAY* sizes = garbage<SAFEARRAY*>();
    std::int16_t default_tray = -7;
    EXPECT_EQ(info_->GetTrayInformation(&names, &sizes, &default_tray), com::make_hresult(0x8002000Au));
    EXPECT_TRUE(logged("gettrayinformation - Tray1 has 10000000000 vials, more than 65535"));

    // Indices to a position: the vials of the trays before, counted past 32 bits.
    BSTR tray = garbage<BSTR>();
    BSTR pos = com::bstr_from_text("");
    std::int32_t tray_index = 2, vial_index = 1;
    EXPECT_EQ(as_config_->ConvertVialPosition(0, &tray, &pos, &tray_index, &vial_index), 0);
    EXPECT_EQ(com::text_from_bstr(pos), "10000000001");
    com::sys_free_string(pos);

    // The dialog shows no part of the tray and says why; nothing is handed back.
    const auto r = visualize(*info_.get(), *boxes_, {}, "Tray1", [](forms::Form& f) {
        EXPECT_NE(find<forms::Label>(f, "tray_label")->Caption.find("10000000000 vials"), std::string::npos);
        find<forms::Button>(f, "select_all_button")->click();
        find<forms::Button>(f, "add_button")->click();
    });
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(box_texts(), Lines{"No vials are selected!"});
}

TEST_F(ZorsetupHost, WithoutZorrunEveryDriverQuestionEndsWithItsBoxes) {
    load();
    double low = -1, high = -1, deflt = -1;
    std::int16_t precision = -1;
    EXPECT_EQ(info_->ProvideInjectionVolumeLimits(&low, &high, &precision, &deflt), 1);
    EXPECT_EQ(low, -1);
    setup_->ExecuteCommand(14998);
    setup_->ExecuteCommand(14997);
    EXPECT_EQ(box_texts(), (Lines{"no interface to driver", "no connection to zor", "no interface to driver",
                                  "no connection to zor", "no interface to driver", "no connection to zor"}));
    EXPECT_TRUE(logged("provideinjectionvolumelimits - no syringe from Zorrun"));
}

TEST_F(ZorsetupHost, EveryOtherMethodAnswersWithoutAnEditorOrWithNullArguments) {
    load();
    EXPECT_EQ(setup_->New(), com::E_UNEXPECTED);
    EXPECT_EQ(setup_->Open(nullptr), com::E_UNEXPECTED);
    EXPECT_EQ(setup_->Save(nullptr), com::E_UNEXPECTED);
    EXPECT_EQ(setup_->IsModified(), 0);
    EXPECT_EQ(setup_->CanBeSaved(), 1);
    EXPECT_EQ(setup_->CanBePrinted(), 1);
    EXPECT_EQ(setup_->PageCount(), 0);
    EXPECT_EQ(setup_->CompPreTranslate(nullptr), 0);
    setup_->Print(0, nullptr, 1);
    EXPECT_EQ(setup_->GetMenuFlags(1), 0);
    EXPECT_EQ(std::u16string(setup_->GetMenuString(1)), u"ZOR");
    EXPECT_NE(setup_->GetButtonImage(), 0u);
    EXPECT_NE(setup_->GetInPlaceMenu(), 0u);
    EXPECT_EQ(config_->GetButtonImage(), setup_->GetButtonImage());
    EXPECT_EQ(info_->HasTrayDialog(), 0);
    EXPECT_EQ(info_->GetInjectionVolumeFromMethod(nullptr, nullptr), 1);
    EXPECT_EQ(info_->GetNextVial(nullptr, u"", u"Tray1"), com::E_POINTER);
    EXPECT_EQ(info_->GetTrayInformation(nullptr, nullptr, nullptr), com::E_POINTER);
    EXPECT_EQ(info_->VisualizeList(0, 0, nullptr, nullptr, nullptr), com::E_POINTER);
    EXPECT_EQ(info_->ProvideInjectionVolumeLimits(nullptr, nullptr, nullptr, nullptr), com::E_POINTER);
    EXPECT_EQ(info_->ValidateVial(nullptr, nullptr, 0), zorsetup::result_unknown_tray);
    EXPECT_EQ(as_config_->GetTrayInformation2(nullptr, nullptr, nullptr, nullptr, nullptr), com::E_POINTER);
    EXPECT_EQ(as_config_->GetNextTray(nullptr, nullptr, nullptr), com::E_POINTER);
    EXPECT_EQ(as_config_->ConvertVialPosition(0, nullptr, nullptr, nullptr, nullptr), com::E_POINTER);
    BSTR tray = garbage<BSTR>();
    BSTR pos = com::bstr_from_text("");
    std::int32_t tray_index = 99, vial_index = 1;
    EXPECT_EQ(as_config_->ConvertVialPosition(0, &tray, &pos, &tray_index, &vial_index),
              zorsetup::result_bad_position);
    com::sys_free_string(pos);
    boxes_->on_next_form([](forms::Form& f) { find<forms::Button>(f, "done_button")->click(); });
    EXPECT_EQ(config_->LaunchConfigDialog(0), 0);
    for (const char* reason :
         {"new - no editor", "open - no editor", "save - no editor", "getnextvial - NextVial is no pointer",
          "convertvialposition - no tray number 99"})
        EXPECT_TRUE(logged(reason)) << reason;
}

}  // namespace
}  // namespace zorsetup_host_test
