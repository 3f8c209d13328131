#include "tools/zorhost/driver_job.h"

#include <thread>

#include "driver/izor/izor.h"
#include "platform/com/com.h"

namespace zorhost {

namespace com = platform::com;

bool wait_for_driver_job(std::chrono::milliseconds bound) {
    com::ComPtr<izor::IIZor> zor;
    if (com::failed(com::co_create_instance(izor::CLSID_IZor, nullptr, com::CLSCTX_LOCAL_SERVER,
                                            izor::IID_IIZor, zor.put_void())))
        return false;
    auto zor2 = zor.query<izor::IIZor2>();
    if (!zor2) return false;
    // GetSyringe is the one call Zorrun refuses while a job runs; once it is taken, the job
    // before it has gone to the instrument and been answered.
    const auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        com::Bstr syringe;
        const com::HRESULT hr = zor2->GetSyringe(syringe.put());
        if (hr != izor::ZOR_E_BUSY) return com::succeeded(hr) || hr == izor::ZOR_E_NOT_CONNECTED;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

}  // namespace zorhost
