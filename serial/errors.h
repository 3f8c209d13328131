// Result codes of the serial port layer and their texts.
//
// Every operation of the layer returns a 32-bit signed result: 0 or above is success, a negative
// value is one of the codes below (or a negated system error number, 2..162, from the device
// layer). CheckResult() in serial/exceptions.h turns a negative one into an exception.
//
// The texts live in the error string table (serial/string_resource.h): ErrorText(code) is the text
// of |code| from there, else the platform's text for the system error |code|.
#pragma once

#include <cstdint>
#include <string>

namespace serial {

// --- file and device errors (negated system error numbers; the mapper raises EInOutError) -------
inline constexpr std::int32_t ecOK = 0;
inline constexpr std::int32_t ecFileNotFound = -2;
inline constexpr std::int32_t ecPathNotFound = -3;
inline constexpr std::int32_t ecTooManyFiles = -4;
inline constexpr std::int32_t ecAccessDenied = -5;
inline constexpr std::int32_t ecInvalidHandle = -6;
inline constexpr std::int32_t ecOutOfMemory = -8;
inline constexpr std::int32_t ecInvalidDrive = -15;
inline constexpr std::int32_t ecNoMoreFiles = -18;
inline constexpr std::int32_t ecDiskRead = -100;
inline constexpr std::int32_t ecDiskFull = -101;
inline constexpr std::int32_t ecNotAssigned = -102;
inline constexpr std::int32_t ecNotOpen = -103;
inline constexpr std::int32_t ecNotOpenInput = -104;
inline constexpr std::int32_t ecNotOpenOutput = -105;
inline constexpr std::int32_t ecWriteProtected = -150;
inline constexpr std::int32_t ecUnknownUnit = -151;
inline constexpr std::int32_t ecDriveNotReady = -152;
inline constexpr std::int32_t ecUnknownCommand = -153;
inline constexpr std::int32_t ecCrcError = -154;
inline constexpr std::int32_t ecBadStructLen = -155;
inline constexpr std::int32_t ecSeekError = -156;
inline constexpr std::int32_t ecUnknownMedia = -157;
inline constexpr std::int32_t ecSectorNotFound = -158;
inline constexpr std::int32_t ecOutOfPaper = -159;
inline constexpr std::int32_t ecDeviceWrite = -160;
inline constexpr std::int32_t ecDeviceRead = -161;
inline constexpr std::int32_t ecHardwareFailure = -162;

// The range of negated system errors that the mapper raises as EInOutError.
inline constexpr std::int32_t ecFirstSystemError = -2;
inline constexpr std::int32_t ecLastSystemError = -162;

// --- general -------------------------------------------------------------------------------------
inline constexpr std::int32_t ecBadHandle = -1001;
inline constexpr std::int32_t ecBadArgument = -1002;
inline constexpr std::int32_t ecGotQuitMsg = -1003;
inline constexpr std::int32_t ecBufferTooBig = -1004;
inline constexpr std::int32_t ecPortNotAssigned = -1005;
inline constexpr std::int32_t ecInternal = -1006;
inline constexpr std::int32_t ecModemNotAssigned = -1007;
inline constexpr std::int32_t ecPhonebookNotAssigned = -1008;
inline constexpr std::int32_t ecCannotUseWithWinSock = -1009;

// --- opening the port ----------------------------------------------------------------------------
inline constexpr std::int32_t ecBadId = -2001;
inline constexpr std::int32_t ecBaudRate = -2002;
inline constexpr std::int32_t ecByteSize = -2003;
inline constexpr std::int32_t ecDefault = -2004;
inline constexpr std::int32_t ecHardware = -2005;
inline constexpr std::int32_t ecMemory = -2006;
inline constexpr std::int32_t ecCommNotOpen = -2007;
inline constexpr std::int32_t ecAlreadyOpen = -2008;
inline constexpr std::int32_t ecNoHandles = -2009;
inline constexpr std::int32_t ecNoTimers = -2010;
inline constexpr std::int32_t ecNoPortSelected = -2011;
inline constexpr std::int32_t ecNotOpenedByTapi = -2012;
// The device exists and nobody holds it, but this user may not open it.
inline constexpr std::int32_t ecPermissionDenied = -2013;

// --- serial input and output ---------------------------------------------------------------------
inline constexpr std::int32_t ecNullApi = -3001;
inline constexpr std::int32_t ecNotSupported = -3002;
inline constexpr std::int32_t ecRegisterHandlerFailed = -3003;
inline constexpr std::int32_t ecPutBlockFail = -3004;
inline constexpr std::int32_t ecGetBlockFail = -3005;
inline constexpr std::int32_t ecOutputBufferTooSmall = -3006;
inline constexpr std::int32_t ecBufferIsEmpty = -3007;
inline constexpr std::int32_t ecTracingNotEnabled = -3008;
inline constexpr std::int32_t ecLoggingNotEnabled = -3009;
inline constexpr std::int32_t ecBaseAddressNotSet = -3010;

// --- triggers ------------------------------------------------------------------------------------
inline constexpr std::int32_t ecNoMoreTriggers = -5001;
inline constexpr std::int32_t ecTriggerTooLong = -5002;
inline constexpr std::int32_t ecBadTriggerHandle = -5003;

// --- ids of the dispatch-log names in the error table (serial/dispatch_log.h) --------------------
inline constexpr std::uint32_t idLogTypeBase = 15001;       // + event type 0..19
inline constexpr std::uint32_t idLogSubtypeBase = 15100;    // + subtype 1..251
inline constexpr std::uint32_t idLogColumns = 15501;        // "Time      Type      SubType ..."
inline constexpr std::uint32_t idLogRule = 15502;           // "--------  --------  ..."
inline constexpr std::uint32_t idModemBitBase = 15601;      // + bit 0..7: "DCTS " ... "DCD "
inline constexpr std::uint32_t idTelnetOptionBase = 15700;  // + option 0..42

// The text of |code| from the error table, cut to 255 characters; when the table has none, the
// platform's text for the system error |code|, with control characters turned into blanks and
// runs of blanks made one. "" when neither knows the code. Any thread.
std::string ErrorText(std::int32_t code);

// A system message made fit for an error text: characters below 32 become blanks, then every run of
// blanks becomes one blank.
std::string CleanMessageText(std::string text);

// The platform's text for a system error number ("" when it has none), before cleaning.
std::string SystemErrorMessage(std::uint32_t code);

}  // namespace serial
