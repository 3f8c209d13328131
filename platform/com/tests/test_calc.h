// The interface of the in-process test server (com_test_inproc).
#pragma once

#include "platform/com/com.h"

namespace com_test {

using namespace platform::com;

inline constexpr CLSID CLSID_TestCalc = guid("{A41A7891-7BAF-45C9-B040-CEF3DD5D7599}");

struct ITestCalc : IUnknown {
    static constexpr IID iid = guid("{2CD3BE62-722E-4BC8-B83D-C06EAF91A1EA}");
    virtual HRESULT Add(std::int32_t a, std::int32_t b, std::int32_t* sum) = 0;
    // The library's own count of live objects, as its DllCanUnloadNow sees it.
    virtual HRESULT ModuleObjects(std::int32_t* count) = 0;

  protected:
    ~ITestCalc() = default;
};

}  // namespace com_test
