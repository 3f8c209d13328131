// The texts of the two string tables. Ids ascend; the error table holds the texts of every code
// this program's port layer can produce and the names the dispatch log prints.
#include "serial/string_tables.h"

namespace serial::detail {

namespace {

constexpr StringEntry kReaderStrings[] = {
    {1, "String not found: %d"},          {2, "Cannot lock resource"},
    {3, "String resource not found: %s"}, {4, "Unable to open string resource: %s"},
    {5, "Invalid TPString resource"},
};

constexpr StringEntry kErrorStrings[] = {
    {0, "OK"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Insufficient memory"},
    {15, "Invalid drive"},
    {18, "No more files"},
    {100, "Attempt to read beyond end of file"},
    {101, "Disk is full"},
    {102, "File/device not assigned"},
    {103, "File/device not open"},
    {104, "File/device not open for input"},
    {105, "File/device not open for output"},
    {150, "Disk is write-protected"},
    {151, "Unknown disk unit"},
    {152, "Drive is not ready"},
    {153, "Unknown command"},
    {154, "Data error"},
    {155, "Bad request structure length"},
    {156, "Seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer is out of paper"},
    {160, "Device write error"},
    {161, "Device read error"},
    {162, "General failure"},
    {1001, "Bad handle passed to com function"},
    {1002, "Bad argument passed to function"},
    {1003, "Got quit message"},
    {1004, "Terminal buffer greater than 65521"},
    {1005, "ComPort component not assigned"},
    {1006, "Internal error creating window class"},
    {1007, "Modem component not assigned"},
    {1008, "Phonebook component not assigned"},
    {1009, "Component not compatible with WinSock"},
    {2001, "ie_BadId - Specified comport doesn't exist"},
    {2002, "ie_Baudrate - unsupported baud rate"},
    {2003, "ie_Bytesize - invalid byte size"},
    {2004, "ie_Default - error in default parameters"},
    {2005, "ie_Hardware - Specified comport in use"},
    {2006, "ie_Memory - unable to allocate queues"},
    {2007, "ie_NOpen - device not open"},
    {2008, "ie_Open - device already open"},
    {2009, "No more handles, can't open port"},
    {2010, "No timers available"},
    {2011, "The ComNumber property of the TSpComPort has not been set"},
    {2012, "Comport was not opened by Tapi"},
    {2013, "ie_Open - permission denied"},
    {3001, "No device layer specified"},
    {3002, "Function not supported by driver"},
    {3003, "EnableCommNotification failed"},
    {3004, "Failed to put entire block"},
    {3005, "Failed to get entire block"},
    {3006, "Output buffer too small for block"},
    {3007, "Buffer is empty"},
    {3008, "Tracing not enabled"},
    {3009, "Logging not enabled"},
    {3010, "Base address not set"},
    {5001, "No more trigger slots"},
    {5002, "Data trigger too long"},
    {5003, "Bad trigger handle"},
    // Dispatch-log event types (15001 + type).
    {15001, "No event"},
    {15002, "Dispatch"},
    {15003, "Trigger"},
    {15004, "Error"},
    {15005, "Thread"},
    {15006, "TrigAllc"},
    {15007, "TrigDisp"},
    {15008, "TrgHdAlc"},
    {15009, "TrgHdDsp"},
    {15010, "TrDatChg"},
    {15011, "Telnet"},
    {15012, "Fax"},
    {15013, "XModem"},
    {15014, "YModem"},
    {15015, "ZModem"},
    {15016, "Kermit"},
    {15017, "Ascii"},
    {15018, "BPlus"},
    {15019, "Packet"},
    {15020, "User"},
    // Dispatch-log subtypes (15100 + subtype). 14 to 17 are the ones the trigger bookkeeping
    // writes; their names are this program's own.
    {15101, "ReadCom"},
    {15102, "WriteCom"},
    {15103, "Line status"},
    {15104, "Modem status"},
    {15105, "Avail"},
    {15106, "Timer"},
    {15107, "Data"},
    {15108, "Status"},
    {15114, "Timer trig"},
    {15115, "Status trig"},
    {15116, "Avail trig"},
    {15117, "Wnd handler"},
    {15501, "Time      Type      SubType       Data      OtherData"},
    {15502, "--------  --------  ------------  --------  ---------"},
    // Modem status bits 0..7.
    {15601, "DCTS "},
    {15602, "DDSR "},
    {15603, "TERI "},
    {15604, "DDCD "},
    {15605, "CTS "},
    {15606, "DSR "},
    {15607, "RI "},
    {15608, "DCD "},
};

}  // namespace

std::span<const StringEntry> ReaderStringEntries() {
    return kReaderStrings;
}
std::span<const StringEntry> ErrorStringEntries() {
    return kErrorStrings;
}

}  // namespace serial::detail
