// The flow states of a port's line: whether the software or hardware flow control holds the
// sending back, and why.
//
// The dispatcher reports them as these codes (HardwareFlowState, SoftwareFlowState); the port
// reports the same states one lower (TSpCustomComPort::FlowHoldState). flow_hold_state is that
// one offset. Any thread.
#pragma once

#include <cstdint>

namespace serial {

inline constexpr std::int32_t fsOff = 1;
inline constexpr std::int32_t fsOn = 2;
inline constexpr std::int32_t fsDsrHoldState = 3;
inline constexpr std::int32_t fsCtsHoldState = 4;
inline constexpr std::int32_t fsRemoteHoldState = 6;  // sending held by a received XOFF
inline constexpr std::int32_t fsLocalHoldState = 7;   // XOFF sent
inline constexpr std::int32_t fsBothHoldState = 8;

// The port's FlowHoldState for a dispatcher flow state.
constexpr std::uint8_t flow_hold_state(std::int32_t flow_state) {
    return static_cast<std::uint8_t>(flow_state - 1);
}

}  // namespace serial
