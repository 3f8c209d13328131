// Result codes of the COM layer.
//
// An HRESULT is a 32-bit signed value: 0 and above is success, the high bit set is failure.
// The codes below are the ones this system produces or tests for; their numeric values are the
// well-known ones, so a code written in a log or a D-Bus error message reads the same everywhere.
#pragma once

#include <cstdint>
#include <string>

namespace platform::com {

using HRESULT = std::int32_t;

constexpr HRESULT make_hresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr bool succeeded(HRESULT hr) {
    return hr >= 0;
}
constexpr bool failed(HRESULT hr) {
    return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = make_hresult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = make_hresult(0x80004002u);
inline constexpr HRESULT E_POINTER = make_hresult(0x80004003u);
inline constexpr HRESULT E_ABORT = make_hresult(0x80004004u);
inline constexpr HRESULT E_FAIL = make_hresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = make_hresult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = make_hresult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = make_hresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = make_hresult(0x80070057u);
// A bus name or class object that this process wanted to own is owned by someone else.
inline constexpr HRESULT E_ALREADY_EXISTS = make_hresult(0x800700B7u);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = make_hresult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = make_hresult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = make_hresult(0x80040154u);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = make_hresult(0x80080005u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = make_hresult(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = make_hresult(0x800401F9u);
inline constexpr HRESULT CO_E_OBJNOTREG = make_hresult(0x800401FBu);
// The server went away before it answered, or is gone.
inline constexpr HRESULT RPC_E_DISCONNECTED = make_hresult(0x80010108u);
// The server did not answer within the call's time-out.
inline constexpr HRESULT RPC_E_TIMEOUT = make_hresult(0x8001011Fu);
// The call could not be sent or its answer could not be read.
inline constexpr HRESULT RPC_E_INVALID_DATA = make_hresult(0x8001000Fu);
// A bus function was called on a thread other than the one that joined the bus.
inline constexpr HRESULT RPC_E_WRONG_THREAD = make_hresult(0x8001010Eu);

inline constexpr HRESULT DISP_E_TYPEMISMATCH = make_hresult(0x80020005u);
inline constexpr HRESULT DISP_E_BADINDEX = make_hresult(0x8002000Bu);

// Structured storage, for the layers that pass them through.
inline constexpr HRESULT STG_E_FILENOTFOUND = make_hresult(0x80030002u);
inline constexpr HRESULT STG_E_PATHNOTFOUND = make_hresult(0x80030003u);
inline constexpr HRESULT STG_E_ACCESSDENIED = make_hresult(0x80030005u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = make_hresult(0x80030009u);
inline constexpr HRESULT STG_E_WRITEFAULT = make_hresult(0x8003001Du);
inline constexpr HRESULT STG_E_READFAULT = make_hresult(0x8003001Eu);
inline constexpr HRESULT STG_E_SHAREVIOLATION = make_hresult(0x80030020u);
inline constexpr HRESULT STG_E_LOCKVIOLATION = make_hresult(0x80030021u);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = make_hresult(0x80030050u);
inline constexpr HRESULT STG_E_MEDIUMFULL = make_hresult(0x80030070u);
inline constexpr HRESULT STG_E_INVALIDHEADER = make_hresult(0x800300FBu);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = make_hresult(0x80030109u);
inline constexpr HRESULT STG_E_DOCFILETOOLARGE = make_hresult(0x80030111u);

// "0x80004005": eight upper-case hex digits after "0x", the form used in logs and bus errors.
std::string hresult_text(HRESULT hr);

}  // namespace platform::com
