// The base class of the serial layer's components.
//
// TSpBaseComponent is a component of the form framework (it can be owned by a form, like the
// core's `port`) with the read-only published property Version. It also carries the framework's
// loading and designing states that the layer consults: while loading (being built from a form
// description) nothing touches a device and CheckResult raises nothing. The form builder sets
// them around streaming; nothing else does.
//
// Main thread only.
#pragma once

#include <string>
#include <string_view>

#include "platform/forms/component.h"

namespace serial {

inline constexpr std::string_view kSpVersion = "v4.03";

class TSpBaseComponent : public platform::forms::Component {
  public:
    TSpBaseComponent() = default;
    ~TSpBaseComponent() override = default;
    const char* class_name() const override { return "TSpBaseComponent"; }

    // Always "v4.03".
    std::string Version() const { return std::string(kSpVersion); }
    // Writing does nothing, so a value stored in a form description is ignored.
    void SetVersion(std::string_view) {}

    bool Loading() const { return loading_; }
    bool Designing() const { return designing_; }
    void SetLoading(bool loading) { loading_ = loading; }
    void SetDesigning(bool designing) { designing_ = designing; }

  private:
    bool loading_ = false;
    bool designing_ = false;
};

}  // namespace serial
