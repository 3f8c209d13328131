// What the fuzz targets share: a message-box answerer that records nothing, and a realistic
// configuration to expand methods and evaluate expressions against.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/config_text.h"
#include "platform/forms/interaction.h"
#include "utilities/session.h"

namespace core_fuzz {

// Answers every box with Cancel, keeping no record (a fuzz run shows millions).
class SilentInteraction : public platform::forms::InteractionProvider {
  public:
    SilentInteraction() { platform::forms::set_interaction_provider(this); }
    platform::forms::ModalResult answer_box(const platform::forms::MessageBoxRequest&) override {
        return platform::forms::mr_cancel;
    }
    void modal_form_shown(platform::forms::Form&) override {}
};

inline void start_session() {
    static SilentInteraction silent;
    putils::session().use_message_boxes = true;
}

// A property of the engine that does not hold: stop the run so the fuzzer keeps the input.
inline void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

#define MU "\xB5"
#define DEG "\xB0"

inline const std::vector<std::string>& fuzz_configuration() {
    static const std::vector<std::string> lines{
        "[LISTS]",
        "0;2;None;AutoFix",
        "1;3;Low;Medium;High",
        "2;2;Needle;Loop",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;1000;1000000;10000;1;nl",
        "Max Speed;100;1000000;50000;1;nl/s",
        "!INJECTOR",
        "Loop Volume;0;1000000;20000;1;nl",
        "!WASH_STATION",
        "Depth;0;60000;20000;1;" MU "m",
        "#Solvent Level;0;2;1;1",
        "!SYNC_SIGNAL",
        "&Description",
        "!OUT_SIGNAL",
        "&Description",
        "!TRAY_HOLDER",
        "&Description",
        "!TRAY_TYPE",
        "Spl Per Col;1;50;8;1;E",
        "Spl Per Row;1;50;12;1;E",
        "#Barcode;0;1;0;0",
        "!TRAY",
        "Tray Type;TRAY_TYPE",
        "Tray Holder;TRAY_HOLDER",
        "Offset x;-1000000;1000000;0;1;" MU "m",
        "Temperature;4000;40000;20000;1;m" DEG "C",
        "[OBJECTS]",
        "SYRINGE;10ul;10000;50000",
        "SYRINGE;100ul;100000;200000",
        "INJECTOR;Inj1;20000",
        "WASH_STATION;Wash1;20000;1",
        "WASH_STATION;Wash2;30000;2",
        "SYNC_SIGNAL;Start In;Contact input",
        "OUT_SIGNAL;Ready Out;Relay",
        "TRAY_HOLDER;TH-1;Front",
        "TRAY_TYPE;VT96;8;12;0",
        "TRAY_TYPE;VT54;6;9;0",
        "TRAY;Tray1;VT96;TH-1;0;Off",
        "TRAY;Tray2;VT54;TH-1;130000;20000",
        "[ATOMS]",
        "!MOVE_TO_VIAL",
        "Tray;TRAY",
        "Index;1;Tray.Max Index;1;1;E",
        "Depth;0;50000;10000;100;" MU "m",
        "!ASPIRATE",
        "Syringe;SYRINGE",
        "Volume;0;SYR.Volume;1000;1;nl",
        "Speed;100;SYR.Max Speed;5000;1;nl/s",
        "?Delay;0;60;0;1;s",
        "!INJECT",
        "Injector;INJECTOR",
        "#Mode;0;1;0;2",
        "!WASH",
        "Station;WASH_STATION",
        "Cycles;1;10;1;1;E",
        "!SET_OUT",
        "Signal;OUT_SIGNAL;SYNC_SIGNAL",
        "?Duration;0;60;1;1;s",
        "!HEAT_TRAY",
        "Tray;TRAY",
        "Temperature;4000;40000;20000;100;m" DEG "C",
    };
    return lines;
}

inline void load_fuzz_configuration() {
    if (!core::read_configuration(fuzz_configuration())) violated("the fuzz configuration reads");
}

}  // namespace core_fuzz
