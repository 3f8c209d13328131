// A host that knows nothing of Zorrun's interfaces itself loads the plug-in, lets its bridge
// reach a stand-in Zorrun, and unloads it. What the plug-in made known to this process's COM
// layer must go with it: afterwards the layer finds no interface table in the unloaded code,
// and a client of this host asking for Zorrun gets a plain "no such interface".
#include "tools/zorhost/tests/stand_in_fixture.h"

namespace {

namespace com = platform::com;
using namespace zorhost_test;

const auto* bus = ::testing::AddGlobalTestEnvironment(new com_test::PrivateBus);

using Unload = StandInZorrun;

TEST_F(Unload, ThePlugInsInterfaceTablesGoWithItsCode) {
    for (int round = 0; round < 2; ++round) {
        {
            zorhost::Host host;
            ASSERT_TRUE(host.ok()) << host.error();
            // While it is loaded, the plug-in's bridge reaches Zorrun through its tables.
            ASSERT_NE(com::find_bus_interface(iid_iizor2), nullptr);
            host.setup().ExecuteCommand(14998);
            host.close();
        }
        ASSERT_EQ(com::loaded_library_count(), 0u);
        EXPECT_EQ(com::find_bus_interface(iid_iizor), nullptr) << round;
        EXPECT_EQ(com::find_bus_interface(iid_iizor2), nullptr) << round;
        com::ComPtr<com::IUnknown> zor;
        EXPECT_EQ(
            com::co_create_instance(clsid_izor, nullptr, com::CLSCTX_LOCAL_SERVER, iid_iizor, zor.put_void()),
            com::E_NOINTERFACE);
        EXPECT_FALSE(zor);
    }
    EXPECT_TRUE(boxes_->boxes().empty());
}

}  // namespace
