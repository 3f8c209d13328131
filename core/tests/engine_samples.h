// The texts of a realistic instrument: its configuration, a small macro library and a method.
// Shared by the engine's tests, its benchmarks and its fuzz targets; needs no test framework.
#pragma once

#include <string>
#include <vector>

namespace core_test {

// "µ" and "°" as the configuration text has them.
#define MU "\xB5"
#define DEG "\xB0"

// Three syringes, an injector, two wash stations, two signal classes, tray holders, three tray
// types of two layouts (8 x 12 and a turned, mirrored 6 x 9), trays using them; lists 0, 1, 2
// and 4 (slot 3 is not used); atoms with number, list and object parameters, optional ones, and
// limits that are expressions.
inline std::vector<std::string> standard_configuration() {
    return {
        "[LISTS]",
        "0;2;None;AutoFix",
        "1;3;Low;Medium;High",
        "2;2;Needle;Loop",
        "4;1;Off;On",
        "[CLASSES]",
        "!SYRINGE",
        "Volume;1000;1000000;10000;1;nl",
        "Max Speed;100;1000000;50000;1;nl/s",
        "Needle Length;0;100000;51000;1;" MU "m",
        "!INJECTOR",
        "Loop Volume;0;1000000;20000;1;nl",
        "#Valve Mode;0;1;0;2",
        "!WASH_STATION",
        "Depth;0;60000;20000;1;" MU "m",
        "#Solvent Level;0;2;1;1",
        "!SYNC_SIGNAL",
        "&Description",
        "!OUT_SIGNAL",
        "&Description",
        "Pulse;0;10;1;1;s",
        "!TRAY_HOLDER",
        "&Description",
        "!TRAY_TYPE",
        "Spl Per Col;1;50;8;1;E",
        "Spl Per Row;1;50;12;1;E",
        "Row Length X;-500000;500000;0;1;" MU "m",
        "Row Length Y;-500000;500000;99000;1;" MU "m",
        "Col Length X;-500000;500000;63000;1;" MU "m",
        "Col Length Y;-500000;500000;0;1;" MU "m",
        "#Barcode;0;1;0;0",
        "&TrayTypeGroup",
        "!TRAY",
        "Tray Type;TRAY_TYPE",
        "Tray Holder;TRAY_HOLDER",
        "Offset x;-1000000;1000000;0;1;" MU "m",
        "Offset y;-1000000;1000000;0;1;" MU "m",
        "Path Offset z;-1000000;1000000;0;1;" MU "m",
        "Temperature;4000;40000;20000;1;m" DEG "C",
        "&TrayTypeGroup",
        "[OBJECTS]",
        "SYRINGE;10ul;10000;50000;51000",
        "SYRINGE;100ul;100000;200000;51000",
        "SYRINGE;500ul;500000;400000;57000",
        "INJECTOR;Inj1;20000;0",
        "WASH_STATION;Wash1;20000;1",
        "WASH_STATION;Wash2;30000;2",
        "SYNC_SIGNAL;Start In;Contact input",
        "OUT_SIGNAL;Ready Out;Ready relay;2",
        "TRAY_HOLDER;TH-1;Front holder",
        "TRAY_HOLDER;TH-9070;Barcode holder",
        "TRAY_TYPE;VT96;8;12;0;99000;63000;0;0;A",
        "TRAY_TYPE;VT96BC;8;12;0;99000;63000;0;1;A",
        "TRAY_TYPE;VT54R;6;9;90000;0;0;-60000;0;B",
        "TRAY;Tray1;VT96;TH-1;0;0;0;Off;AB",
        "TRAY;Tray2;VT96BC;TH-9070;130000;0;0;20000;A",
        "TRAY;Tray3;VT54R;TH-1;0;110000;0;20000;B",
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
        "!DISPENSE",
        "Syringe;SYRINGE",
        "Volume;0;SYR.Volume;1000;1;nl",
        "Speed;100;SYR.Max Speed;5000;1;nl/s",
        "!INJECT",
        "Injector;INJECTOR",
        "#Mode;0;1;0;2",
        "!WASH",
        "Station;WASH_STATION",
        "Cycles;1;10;1;1;E",
        "!WAIT_SYNC_SIG",
        "Signal;SYNC_SIGNAL",
        "!SET_OUT",
        "Signal;OUT_SIGNAL;SYNC_SIGNAL",
        "#State;0;1;0;4",
        "?Duration;0;60;1;1;s",
        "!DRAW_FROM",
        "Volume;0;1000000;1000;1;nl",
        "Tray;TRAY",
        "#Speed Level;0;2;1;1",
        "!HEAT_TRAY",
        "Tray;TRAY",
        "Temperature;4000;40000;20000;100;m" DEG "C",
    };
}

// The macro library of the method folder.
struct MacroFile {
    const char* name;
    std::vector<std::string> lines;
};

inline std::vector<MacroFile> standard_macro_library() {
    return {
        {"Load Sample",
         {"// Load Sample", "// Moves to the sample's vial and draws the sample volume", "Tray;TRAY",
          "Volume (" MU "l);SL.volume;0;SYR.Volume", "Speed (" MU "l/s);2;0.1;SYR.Max Speed",
          "MOVE_TO_VIAL(Tray,SL.index,10)", "ASPIRATE(SYR,Volume,Speed,0)"}},
        {"Inject",
         {"// Inject: wait for the data system, then inject", "Injector;INJECTOR", "WAIT_FOR_DS()",
          "INJECT(Injector,Needle)"}},
        {"METHOD ENTRY", {"// before the first step", "WASH(Wash1,1)"}},
        {"METHOD EXIT", {"// after the last step", "WASH(Wash2,2)"}},
        {"ERROR ENTRY", {"// on an instrument error", "WASH(Wash1,1)"}},
        {"ERROR EXIT", {"// after the user's answer", "WASH(Wash2,1)"}},
        {"SL EXIT", {"// end of a sample list", "WASH(Wash2,3)"}},
    };
}

// The method of the host document (after its syringe line): two steps and the sections.
inline std::vector<std::string> standard_method() {
    return {
        "Load Sample(SL.tray,SL.volume,2)",
        "Inject(Inj1)",
        "[MACRO Load Sample]",
        "Tray;TRAY",
        "Volume (" MU "l);SL.volume;0;SYR.Volume",
        "Speed (" MU "l/s);2;0.1;SYR.Max Speed",
        "MOVE_TO_VIAL(Tray,SL.index,10)",
        "ASPIRATE(SYR,Volume,Speed,0)",
        "[MACRO Inject]",
        "Injector;INJECTOR",
        "WAIT_FOR_DS()",
        "INJECT(Injector,Needle)",
        "[MACRO METHOD ENTRY]",
        "WASH(Wash1,1)",
        "[MACRO METHOD EXIT]",
        "WASH(Wash2,2)",
    };
}

}  // namespace core_test
