// The plug-in's bridge to Zorrun, with a stand-in Zorrun (the COM layer's test server) started
// by activation on a session bus of this test process's own.
#include "driver/izor/izor.h"
#include "platform/window/window.h"
#include "tools/zorhost/tests/stand_in_fixture.h"

namespace {

namespace com = platform::com;

const auto* bus = ::testing::AddGlobalTestEnvironment(new com_test::PrivateBus);

class Bridge : public zorhost_test::StandInZorrun {
  protected:
    // What the stand-in Zorrun was last asked, through a client of the test's own.
    static std::string last_call() {
        com::ComPtr<izor::IIZor> zor;
        if (com::failed(com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER,
                                                izor::IID_IIZor, zor.put_void())))
            return "<no server>";
        com::Bstr record;
        zor.query<izor::IIZor2>()->AtomStatus(record.put());
        return record.text();
    }
    static void kill_zorrun() {
        com::ComPtr<izor::IIZor> zor;
        ASSERT_EQ(com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER,
                                          izor::IID_IIZor, zor.put_void()),
                  com::S_OK);
        EXPECT_NE(zor.query<izor::IIZor2>()->ChangePorts(-9), com::S_OK);  // dies in the call
    }
};

TEST_F(Bridge, TheFirstResetStartsZorrunAndAfterItDiedTheNextOneStartsItAgain) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok()) << host.error();
    host.setup().ExecuteCommand(14998);
    EXPECT_EQ(last_call(), "Reset");
    kill_zorrun();
    host.setup().ExecuteCommand(14998);
    EXPECT_EQ(last_call(), "Reset");
    host.setup().ExecuteCommand(14997);
    EXPECT_EQ(last_call(), "ReloadConfiguration");
    EXPECT_TRUE(boxes_->boxes().empty());
}

TEST_F(Bridge, TheHostsOwnClientOutlivesThePlugIn) {
    {
        zorhost::Host host;
        ASSERT_TRUE(host.ok());
        host.setup().ExecuteCommand(14998);
        host.close();
    }
    ASSERT_EQ(com::loaded_library_count(), 0u);
    const com::BusInterface* table = com::find_bus_interface(izor::IID_IIZor2);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->methods.data(), izor::iizor2_methods().data());
    // The plug-in gave its Zorrun back (which then ends, sooner or later); the host's own
    // client reaches that one or a new one.
    EXPECT_NE(last_call(), "<no server>");
}

TEST_F(Bridge, WithoutZorrunBothBoxesComeAtEveryTry) {
    ASSERT_EQ(com::unregister_class(izor::CLSID_IZor, izor::prog_id), com::S_OK);
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    host.setup().ExecuteCommand(14998);
    host.setup().ExecuteCommand(14998);
    std::vector<std::string> texts;
    for (const auto& b : boxes_->boxes()) texts.push_back(b.request.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"no interface to driver", "no connection to zor",
                                               "no interface to driver", "no connection to zor"}));
    double low = -1, high = -1, deflt = -1;
    std::int16_t precision = -1;
    EXPECT_EQ(host.info().ProvideInjectionVolumeLimits(&low, &high, &precision, &deflt), 1);
    EXPECT_EQ(low, -1);
}

TEST_F(Bridge, ASyringeTheConfigurationDoesNotKnowHasNoLimits) {
    zorhost::Host host;
    ASSERT_TRUE(host.ok());
    // The stand-in answers GetSyringe ("SYR 250 µl", which no configuration here holds) once a
    // ClearStatus arrives while it waits; one sent before its wait began is lost, and on a busy
    // machine the first tick can come before the plug-in has even reached Zorrun. So a timer of
    // this thread sends ClearStatus at every tick until the plug-in has its answer.
    bool cleared = false;
    com::ComPtr<izor::IIZor2> zor2;
    const auto clearer = platform::window::create_window(
        "TClearStatus", 0,
        [&cleared, &zor2](platform::window::Handle, std::uint32_t message, platform::window::WParam,
                          platform::window::LParam) -> platform::window::Result {
            if (message != platform::window::WM_TIMER) return 0;
            if (!zor2) {
                com::ComPtr<izor::IIZor> zor;
                if (com::failed(com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER,
                                                        izor::IID_IIZor, zor.put_void())))
                    return 0;
                zor2 = zor.query<izor::IIZor2>();
            }
            if (zor2 && com::succeeded(zor2->ClearStatus())) cleared = true;
            return 0;
        });
    platform::window::set_timer(clearer, 1, 200);
    double low = -1, high = -1, deflt = -1;
    std::int16_t precision = -1;
    EXPECT_EQ(host.info().ProvideInjectionVolumeLimits(&low, &high, &precision, &deflt), 1);
    EXPECT_TRUE(cleared);
    EXPECT_EQ(low, -1);
    EXPECT_EQ(high, -1);
    EXPECT_EQ(precision, -1);
    platform::window::destroy_window(clearer);
    EXPECT_TRUE(boxes_->boxes().empty());
}

}  // namespace
