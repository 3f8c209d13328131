// The exception classes of the serial port layer and the one mapper from result codes.
//
// ESpException carries a message and ErrorCode (the code it was made with; 0 for one made from a
// plain message). Below it stand the group classes (EGeneral, EOpenComm, ESerialIO, EModem,
// ETrigger, EINI, EFax, ETapi, ERas, EProtocol) and one class per code. CheckResult() is the mapper
// every result of the port component passes through:
//   - 0 and above come back unchanged, and so does every result while the component is loading;
//   - -2 .. -162 (negated system errors) raise EInOutError with the positive code and its text;
//     -8 raises std::bad_alloc (the out-of-memory exception);
//   - a code that has a class raises that class, made with the code (message = ErrorText(code));
//   - any other negative code raises ESpException("Serial port exception") with ErrorCode 0.
//
// Catch by class: the core catches EAlreadyOpen and EBadId when it opens the port, and
// std::exception for the rest.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace serial {

class TSpBaseComponent;

// The platform's input/output error: a positive system error number and its text.
class EInOutError : public std::runtime_error {
  public:
    EInOutError(std::int32_t error_code, const std::string& message)
        : std::runtime_error(message), ErrorCode(error_code) {}
    std::int32_t ErrorCode;
};

class ESpException : public std::runtime_error {
  public:
    // ErrorCode := code; message := ErrorText(code).
    explicit ESpException(std::int32_t code);
    // ErrorCode := 0; message := text.
    explicit ESpException(const std::string& message);
    // Both given (for the class of a code whose text is not the table's).
    ESpException(std::int32_t code, const std::string& message);

    std::int32_t ErrorCode = 0;
};

// Declares a class below `base` whose constructors are those of ESpException.
#define ZOR_SERIAL_EXCEPTION(name, base) \
    class name : public base {           \
      public:                            \
        using base::base;                \
    };

// Groups.
ZOR_SERIAL_EXCEPTION(EGeneral, ESpException)
ZOR_SERIAL_EXCEPTION(EOpenComm, ESpException)
ZOR_SERIAL_EXCEPTION(ESerialIO, ESpException)
ZOR_SERIAL_EXCEPTION(EModem, ESpException)
ZOR_SERIAL_EXCEPTION(ETrigger, ESpException)
ZOR_SERIAL_EXCEPTION(EINI, ESpException)
ZOR_SERIAL_EXCEPTION(EFax, ESpException)
ZOR_SERIAL_EXCEPTION(ETapi, ESpException)
ZOR_SERIAL_EXCEPTION(ERas, ESpException)
ZOR_SERIAL_EXCEPTION(EProtocol, ESpException)

// The classes with their codes: X(class, group, code). A class may have several codes (EInternal,
// EProtocol's own codes are listed under EProtocol itself).
#define ZOR_SERIAL_CODED_EXCEPTIONS(X)          \
    X(EBadArgument, EGeneral, -1002)            \
    X(EGotQuitMsg, EGeneral, -1003)             \
    X(EBufferTooBig, EGeneral, -1004)           \
    X(EPortNotAssigned, EGeneral, -1005)        \
    X(EInternal, EGeneral, -1006)               \
    X(EModemNotAssigned, EGeneral, -1007)       \
    X(EPhonebookNotAssigned, EGeneral, -1008)   \
    X(ECannotUseWithWinSock, EGeneral, -1009)   \
    X(EBadId, EOpenComm, -2001)                 \
    X(EBaudRate, EOpenComm, -2002)              \
    X(EByteSize, EOpenComm, -2003)              \
    X(EDefault, EOpenComm, -2004)               \
    X(EHardware, EOpenComm, -2005)              \
    X(EMemory, EOpenComm, -2006)                \
    X(ECommNotOpen, EOpenComm, -2007)           \
    X(EAlreadyOpen, EOpenComm, -2008)           \
    X(ENoHandles, EOpenComm, -2009)             \
    X(ENoTimers, EOpenComm, -2010)              \
    X(ENoPortSelected, EOpenComm, -2011)        \
    X(ENotOpenedByTapi, EOpenComm, -2012)       \
    X(EPermissionDenied, EOpenComm, -2013)      \
    X(ENullApi, ESerialIO, -3001)               \
    X(ERegisterHandlerFailed, ESerialIO, -3003) \
    X(EPutBlockFail, ESerialIO, -3004)          \
    X(EGetBlockFail, ESerialIO, -3005)          \
    X(EOutputBufferTooSmall, ESerialIO, -3006)  \
    X(EBufferIsEmpty, ESerialIO, -3007)         \
    X(ETracingNotEnabled, ESerialIO, -3008)     \
    X(ELoggingNotEnabled, ESerialIO, -3009)     \
    X(EBaseAddressNotSet, ESerialIO, -3010)     \
    X(EModemNotStarted, EModem, -4001)          \
    X(EModemBusy, EModem, -4002)                \
    X(EModemNotDialing, EModem, -4003)          \
    X(ENotDialing, EModem, -4004)               \
    X(EAlreadyDialing, EModem, -4005)           \
    X(EModemNotResponding, EModem, -4006)       \
    X(EModemRejectedCommand, EModem, -4007)     \
    X(EModemStatusMismatch, EModem, -4008)      \
    X(ENoMoreTriggers, ETrigger, -5001)         \
    X(ETriggerTooLong, ETrigger, -5002)         \
    X(EBadTriggerHandle, ETrigger, -5003)       \
    X(EKeyTooLong, EINI, -7001)                 \
    X(EDataTooLarge, EINI, -7002)               \
    X(EIniWrite, EINI, -7004)                   \
    X(EIniRead, EINI, -7005)                    \
    X(ERecordExists, EINI, -7007)               \
    X(ERecordNotFound, EINI, -7008)             \
    X(EDatabaseFull, EINI, -7010)               \
    X(EDatabaseEmpty, EINI, -7011)              \
    X(EBadFieldList, EINI, -7013)               \
    X(EBadFieldForIndex, EINI, -7014)           \
    X(EFaxBadFormat, EFax, -8001)               \
    X(EBadGraphicsFormat, EFax, -8002)          \
    X(EConvertAbort, EFax, -8003)               \
    X(EUnpackAbort, EFax, -8004)                \
    X(ECantMakeBitmap, EFax, -8005)             \
    X(EInvalidPageNumber, EFax, -8053)          \
    X(EFaxBadMachine, EFax, -8060)              \
    X(EFaxBadModemResult, EFax, -8061)          \
    X(EFaxTrainError, EFax, -8062)              \
    X(EFaxInitError, EFax, -8063)               \
    X(EFaxBusy, EFax, -8064)                    \
    X(EFaxVoiceCall, EFax, -8065)               \
    X(EFaxDataCall, EFax, -8066)                \
    X(EFaxNoDialTone, EFax, -8067)              \
    X(EFaxNoCarrier, EFax, -8068)               \
    X(EFaxSessionError, EFax, -8069)            \
    X(EFaxPageError, EFax, -8070)               \
    X(ETapiAllocated, ETapi, -13801)            \
    X(ETapiBadDeviceID, ETapi, -13802)          \
    X(ETapiInvalCallHandle, ETapi, -13824)      \
    X(ETapiNoMultipleInstance, ETapi, -13886)   \
    X(ETapiBusy, ETapi, -13928)                 \
    X(ETapiNotSet, ETapi, -13929)               \
    X(ETapiNoSelect, ETapi, -13930)             \
    X(ETapiLoadFail, ETapi, -13931)             \
    X(ETapiGetAddrFail, ETapi, -13932)          \
    X(ETapiVoiceNotSupported, ETapi, -13935)    \
    X(ETapiWaveFail, ETapi, -13936)             \
    X(ETapiTranslateFail, ETapi, -13942)        \
    X(ERasLoadFail, ERas, -13980)

#define ZOR_SERIAL_DECLARE(name, group, code) ZOR_SERIAL_EXCEPTION(name, group)
ZOR_SERIAL_CODED_EXCEPTIONS(ZOR_SERIAL_DECLARE)
#undef ZOR_SERIAL_DECLARE

// The remaining telephony codes (-13803 .. -13885 without -13804 and -13849, -13933, -13934 ...
// see IsTapiCode) have no class names of their own here; they raise ETapi with their code.
bool IsTapiCode(std::int32_t code);

// Codes that raise a class: those listed above, EInternal's further codes -7003, -7006 and
// -7012, EProtocol's -6006, -6008 and -6009, and the telephony codes of IsTapiCode.
bool HasExceptionClass(std::int32_t code);

// Raises the exception of `code` as the mapper does, also for codes >= 0 (then ESpException
// "Serial port exception"); never returns.
[[noreturn]] void RaiseResult(std::int32_t code);

// The mapper. `component` may be null (then it is never loading).
std::int32_t CheckResult(const TSpBaseComponent* component, std::int32_t result);
// The mapper for a caller that knows its loading state itself.
std::int32_t CheckResult(bool loading, std::int32_t result);

}  // namespace serial
