// The host of our own with Zorrun registered as IZor, started by activation on the test's
// bus, and zorsim on COM1: the bridge's calls (GetSyringe, SetTrayType, ChangePorts) reach a
// real Zorrun, also while it reloads the configuration.
#include "core/tests/e2e/zorsim_process.h"
#include "plugin/tests/host/host_fixture.h"
#include "plugin/tests/pty_ports.h"

namespace zorsetup_host_test {
namespace {

const auto* bus = ::testing::AddGlobalTestEnvironment(new com_test::PrivateBus);

// The same host with Zorrun registered as IZor (started by activation, on the test's bus) and
// zorsim on COM1; COM3 is a free terminal of the test's own.
class ZorsetupHostWithZorrun : public ZorsetupHost {
  protected:
    void SetUp() override {
        ZorsetupHost::SetUp();
        if (HasFatalFailure()) return;
        sim_ = std::make_unique<core_test::ZorsimProcess>(
            folder_, Lines{"--default-atom-ms", "50", "--syringe", "10ul"});
        ASSERT_TRUE(sim_->ok()) << "zorsim did not start";
        setenv("ZOR_COM1", sim_->link_path().c_str(), 1);
        ports_ = std::make_unique<zorsetup_test::PtyPorts>(std::initializer_list<int>{3});
        com::LocalRegistration zorrun{clsid_izor,  "Zorrun.IZor",    "zorrun Library: IZor",
                                      ZORRUN_PATH, "com.hox.Zorrun", "IZor"};
        ASSERT_EQ(com::register_local_server(zorrun), com::S_OK);
    }
    void TearDown() override {
        const pid_t zorrun = com::bus_name_owner_pid("com.hox.Zorrun");
        unload();
        // Zorrun ends with its last client; one that does not is ended here, so the next test
        // starts its own.
        if (zorrun > 0 && !pump_until([] { return !com::bus_name_has_owner("com.hox.Zorrun"); }, 10s))
            kill(zorrun, SIGKILL);
        pump_until([] { return !com::bus_name_has_owner("com.hox.Zorrun"); }, 10s);
        ports_.reset();
        if (sim_) sim_->stop();
        sim_.reset();
        unsetenv("ZOR_COM1");
        ZorsetupHost::TearDown();
    }
    // The commands Zorrun sent to the instrument, polls left out.
    Lines sent() const {
        Lines out;
        for (const std::string& line : sim_->transcript()) {
            const auto rx = line.find(" RX <STX>");
            if (rx == std::string::npos) continue;
            const auto etx = line.find("<ETX>", rx + 9);
            if (etx == std::string::npos || etx <= rx + 10) continue;
            const std::string command = line.substr(rx + 10, etx - rx - 10);
            if (command != "GET_STAT" && command != "GET_ATOM_INFO") out.push_back(command);
        }
        return out;
    }
    bool was_sent(const std::string& prefix) const {
        for (const auto& c : sent())
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }
    std::unique_ptr<core_test::ZorsimProcess> sim_;
    std::unique_ptr<zorsetup_test::PtyPorts> ports_;
};

TEST_F(ZorsetupHostWithZorrun, TheMountedSyringesLimitsComeThroughTheBridge) {
    load();
    double low = -1, high = -1, deflt = -1;
    std::int16_t precision = -1;
    EXPECT_EQ(info_->ProvideInjectionVolumeLimits(&low, &high, &precision, &deflt), 0)
        << testing::PrintToString(box_texts());
    EXPECT_DOUBLE_EQ(low, 0.1);
    EXPECT_DOUBLE_EQ(high, 10);
    EXPECT_EQ(precision, 2);
    EXPECT_DOUBLE_EQ(deflt, 0.1);
    EXPECT_TRUE(box_texts().empty()) << testing::PrintToString(box_texts());
    EXPECT_TRUE(was_sent("GET_SYR"));
}

TEST_F(ZorsetupHostWithZorrun, RightAfterAReloadTheLimitsWaitForTheUploadInsteadOfAnsweringNo) {
    load();
    setup_->ExecuteCommand(14997);
    double low = -1, high = -1, deflt = -1;
    std::int16_t precision = -1;
    EXPECT_EQ(info_->ProvideInjectionVolumeLimits(&low, &high, &precision, &deflt), 0)
        << testing::PrintToString(box_texts());
    EXPECT_DOUBLE_EQ(low, 0.1);
    EXPECT_DOUBLE_EQ(high, 10);
    EXPECT_TRUE(box_texts().empty()) << testing::PrintToString(box_texts());
    EXPECT_TRUE(was_sent("GET_CONFIG"));
}

TEST_F(ZorsetupHostWithZorrun, ATrayTypeChosenInTheDialogReachesTheInstrument) {
    load();
    const auto r = visualize(*info_.get(), *boxes_, {}, "Tray2", [](forms::Form& f) {
        auto* holder = find<forms::PaintBox>(f, "tray_holder_picture");
        ASSERT_NE(holder, nullptr);
        int x = -1, y = -1;
        // The right button on Tray2 (right of Tray1 on TH-1) opens the tray-type menu there.
        for (int py = 0; py < holder->Height && x < 0; py += 2)
            for (int px = holder->Width - 1; px >= 0 && x < 0; px -= 2) {
                holder->mouse_down(forms::MouseButton::right, px, py);
                holder->mouse_up(forms::MouseButton::right, px, py);
                auto* menu = find<forms::PopupMenu>(f, "tray_type_popup");
                if (menu->PopupComponent) x = px, y = py;
            }
        ASSERT_GE(x, 0);
        ASSERT_EQ(find<forms::ComboBox>(f, "trays_from_holder_box")->text(), "Tray2") << x << "," << y;
        auto* menu = find<forms::PopupMenu>(f, "tray_type_popup");
        for (forms::MenuItem* item : menu->visible_items())
            if (item->Caption == "MT96") item->click();
        find<forms::Button>(f, "close_button")->click();
    });
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(pump_until([&] { return was_sent("DLD_OBJ TRAY;Tray2;MT96;"); }, 20s))
        << testing::PrintToString(sent());
    EXPECT_TRUE(box_texts().empty()) << testing::PrintToString(box_texts());
}

TEST_F(ZorsetupHostWithZorrun, APortChosenInTheConfigurationDialogMovesZorrunsSession) {
    load();
    setup_->ExecuteCommand(14998);  // connects: Zorrun polls COM1
    ASSERT_TRUE(pump_until([&] { return was_sent("CLEANUP"); }, 20s));
    boxes_->on_next_form([](forms::Form& f) {
        auto* ports = find<forms::ComboBox>(f, "port_box");
        ASSERT_NE(ports, nullptr);
        const int com3 = ports->Items.index_of("COM3");
        ASSERT_GE(com3, 0) << testing::PrintToString(ports->Items.strings());
        ports->select(com3);
        find<forms::Button>(f, "done_button")->click();
    });
    EXPECT_EQ(config_->LaunchConfigDialog(0), 0);
    EXPECT_TRUE(pump_until([&] { return logged("changed port to 3"); }, 20s));
    EXPECT_TRUE(box_texts().empty()) << testing::PrintToString(box_texts());
}

}  // namespace
}  // namespace zorsetup_host_test
