// Error codes, their texts, the string-table reader and the mapper.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "serial/base_component.h"
#include "serial/errors.h"
#include "serial/exceptions.h"
#include "serial/string_resource.h"

namespace {

using namespace serial;

// The texts as the layer must show them, written out here independently of the table's source.
const std::vector<std::pair<std::int32_t, std::string>> kTexts = {
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
};

TEST(ErrorTexts, EveryCodeOfTheLayerHasItsText) {
    for (const auto& [id, text] : kTexts) {
        EXPECT_EQ(ErrorText(id), text) << id;
        EXPECT_EQ(ErrorText(-id), text) << -id;
    }
    EXPECT_EQ(ErrorText(ecNoPortSelected), "The ComNumber property of the TSpComPort has not been set");
}

TEST(ErrorTexts, FallBackToTheSystemTextCleaned) {
    // 87 has no table text; the device layer's own text stands in.
    EXPECT_EQ(ErrorText(-87), SystemErrorMessage(87));
    EXPECT_FALSE(ErrorText(-87).empty());
    EXPECT_EQ(ErrorText(-4711), "") << "a code neither knows";
    EXPECT_EQ(CleanMessageText("Line one.\r\n  Line\ttwo.   "), "Line one. Line two. ");
    EXPECT_EQ(CleanMessageText(""), "");
}

TEST(StringTables, TheErrorTableFindsItsFirstAndLastIds) {
    const auto& table = ErrorStrings();
    EXPECT_EQ(table.GetString(0), "OK");
    EXPECT_EQ(table.GetString(15608), "DCD ");
    EXPECT_EQ(table.GetString(15001), "No event");
    EXPECT_EQ(table.GetString(15020), "User");
    EXPECT_EQ(table.GetString(15501), "Time      Type      SubType       Data      OtherData");
    EXPECT_EQ(table.GetString(15502), "--------  --------  ------------  --------  ---------");
    EXPECT_EQ(table.GetString(1), "");
    EXPECT_EQ(table.GetString(99999), "");
    EXPECT_EQ(ReaderStrings().GetString(idInvalidResource), "Invalid TPString resource");
    EXPECT_EQ(ReaderStrings().Count(), 5u);
}

// A STR0 block made by hand: (id, UTF-16 text) pairs.
std::vector<std::uint8_t> MakeBlock(const std::vector<std::pair<std::uint32_t, std::u16string>>& entries) {
    std::vector<std::uint8_t> b = {'S', 'T', 'R', '0'};
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(8 + 12 * entries.size());
    for (const auto& [id, text] : entries) {
        put(id);
        put(offset);
        put(static_cast<std::uint32_t>(text.size()));
        offset += static_cast<std::uint32_t>(2 * text.size());
    }
    for (const auto& [id, text] : entries)
        for (char16_t u : text) {
            b.push_back(static_cast<std::uint8_t>(u & 0xFF));
            b.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    return b;
}

TEST(StringTables, TheReaderSearchesConvertsAndRejectsDamage) {
    auto block =
        MakeBlock({{3, u"three"}, {10, u"5 \u00B5l"}, {20, u"\u20AC \u4E00"}, {4000000000u, u"last"}});
    TAdStringResource reader(block);
    EXPECT_EQ(reader.Count(), 4u);
    EXPECT_EQ(reader.GetString(3), "three");
    EXPECT_EQ(reader.GetString(10), "5 \xB5l") << "micro sign is the byte 0xB5";
    EXPECT_EQ(reader.GetString(20), "\x80 ?") << "the euro sign is 0x80; what the code page lacks is '?'";
    EXPECT_EQ(reader.GetString(4000000000u), "last");
    EXPECT_EQ(reader.GetString(4), "");
    reader.RaiseOnMissing = true;
    try {
        reader.GetString(7);
        FAIL() << "missing id with RaiseOnMissing";
    } catch (const ETpsStringResourceError& e) {
        EXPECT_STREQ(e.what(), "String not found: 7");
    }

    auto empty = MakeBlock({});
    EXPECT_EQ(TAdStringResource(empty).GetString(0), "") << "an empty table never reads past its end";
    EXPECT_EQ(TAdStringResource(std::string_view()).GetString(0), "");

    auto expect_invalid = [](std::vector<std::uint8_t> bad) {
        try {
            TAdStringResource r{std::span<const std::uint8_t>(bad)};
            ADD_FAILURE() << "accepted a damaged table";
        } catch (const ETpsStringResourceError& e) {
            EXPECT_STREQ(e.what(), "Invalid TPString resource");
        }
    };
    auto wrong_signature = block;
    wrong_signature[3] = '1';
    expect_invalid(wrong_signature);
    auto cut = block;
    cut.resize(cut.size() - 1);  // the last text runs past the end
    expect_invalid(cut);
    auto too_many = block;
    too_many[4] = 200;  // more entries than the block holds
    expect_invalid(too_many);
    expect_invalid(MakeBlock({{5, u"b"}, {5, u"a"}}));  // ids not ascending
    expect_invalid({'S', 'T', 'R'});

    try {
        TAdStringResource missing("NO_SUCH_TABLE");
        FAIL();
    } catch (const ETpsStringResourceError& e) {
        EXPECT_STREQ(e.what(), "String resource not found: NO_SUCH_TABLE");
    }
}

// --- the mapper --------------------------------------------------------------------------------

template <class E>
std::function<bool(const std::exception&)> is() {
    return [](const std::exception& e) { return dynamic_cast<const E*>(&e) != nullptr; };
}

struct ClassCase {
    std::int32_t code;
    const char* name;
    std::function<bool(const std::exception&)> own;
    std::function<bool(const std::exception&)> group;
};

TEST(Mapper, EveryCodedClassIsRaisedWithItsCodeAndText) {
    const std::vector<ClassCase> cases = {
        {-1002, "EBadArgument", is<EBadArgument>(), is<EGeneral>()},
        {-1003, "EGotQuitMsg", is<EGotQuitMsg>(), is<EGeneral>()},
        {-1004, "EBufferTooBig", is<EBufferTooBig>(), is<EGeneral>()},
        {-1005, "EPortNotAssigned", is<EPortNotAssigned>(), is<EGeneral>()},
        {-1006, "EInternal", is<EInternal>(), is<EGeneral>()},
        {-7003, "EInternal", is<EInternal>(), is<EGeneral>()},
        {-7006, "EInternal", is<EInternal>(), is<EGeneral>()},
        {-7012, "EInternal", is<EInternal>(), is<EGeneral>()},
        {-1007, "EModemNotAssigned", is<EModemNotAssigned>(), is<EGeneral>()},
        {-1008, "EPhonebookNotAssigned", is<EPhonebookNotAssigned>(), is<EGeneral>()},
        {-1009, "ECannotUseWithWinSock", is<ECannotUseWithWinSock>(), is<EGeneral>()},
        {-2001, "EBadId", is<EBadId>(), is<EOpenComm>()},
        {-2002, "EBaudRate", is<EBaudRate>(), is<EOpenComm>()},
        {-2003, "EByteSize", is<EByteSize>(), is<EOpenComm>()},
        {-2004, "EDefault", is<EDefault>(), is<EOpenComm>()},
        {-2005, "EHardware", is<EHardware>(), is<EOpenComm>()},
        {-2006, "EMemory", is<EMemory>(), is<EOpenComm>()},
        {-2007, "ECommNotOpen", is<ECommNotOpen>(), is<EOpenComm>()},
        {-2008, "EAlreadyOpen", is<EAlreadyOpen>(), is<EOpenComm>()},
        {-2009, "ENoHandles", is<ENoHandles>(), is<EOpenComm>()},
        {-2010, "ENoTimers", is<ENoTimers>(), is<EOpenComm>()},
        {-2011, "ENoPortSelected", is<ENoPortSelected>(), is<EOpenComm>()},
        {-2012, "ENotOpenedByTapi", is<ENotOpenedByTapi>(), is<EOpenComm>()},
        {-3001, "ENullApi", is<ENullApi>(), is<ESerialIO>()},
        {-3003, "ERegisterHandlerFailed", is<ERegisterHandlerFailed>(), is<ESerialIO>()},
        {-3004, "EPutBlockFail", is<EPutBlockFail>(), is<ESerialIO>()},
        {-3005, "EGetBlockFail", is<EGetBlockFail>(), is<ESerialIO>()},
        {-3006, "EOutputBufferTooSmall", is<EOutputBufferTooSmall>(), is<ESerialIO>()},
        {-3007, "EBufferIsEmpty", is<EBufferIsEmpty>(), is<ESerialIO>()},
        {-3008, "ETracingNotEnabled", is<ETracingNotEnabled>(), is<ESerialIO>()},
        {-3009, "ELoggingNotEnabled", is<ELoggingNotEnabled>(), is<ESerialIO>()},
        {-3010, "EBaseAddressNotSet", is<EBaseAddressNotSet>(), is<ESerialIO>()},
        {-5001, "ENoMoreTriggers", is<ENoMoreTriggers>(), is<ETrigger>()},
        {-5002, "ETriggerTooLong", is<ETriggerTooLong>(), is<ETrigger>()},
        {-5003, "EBadTriggerHandle", is<EBadTriggerHandle>(), is<ETrigger>()},
        {-4001, "EModemNotStarted", is<EModemNotStarted>(), is<EModem>()},
        {-4008, "EModemStatusMismatch", is<EModemStatusMismatch>(), is<EModem>()},
        {-6006, "EProtocol", is<EProtocol>(), is<EProtocol>()},
        {-6009, "EProtocol", is<EProtocol>(), is<EProtocol>()},
        {-7001, "EKeyTooLong", is<EKeyTooLong>(), is<EINI>()},
        {-7014, "EBadFieldForIndex", is<EBadFieldForIndex>(), is<EINI>()},
        {-8001, "EFaxBadFormat", is<EFaxBadFormat>(), is<EFax>()},
        {-8053, "EInvalidPageNumber", is<EInvalidPageNumber>(), is<EFax>()},
        {-8070, "EFaxPageError", is<EFaxPageError>(), is<EFax>()},
        {-13801, "ETapiAllocated", is<ETapiAllocated>(), is<ETapi>()},
        {-13803, "ETapi", is<ETapi>(), is<ETapi>()},
        {-13886, "ETapiNoMultipleInstance", is<ETapiNoMultipleInstance>(), is<ETapi>()},
        {-13932, "ETapiGetAddrFail", is<ETapiGetAddrFail>(), is<ETapi>()},
        {-13942, "ETapiTranslateFail", is<ETapiTranslateFail>(), is<ETapi>()},
        {-13980, "ERasLoadFail", is<ERasLoadFail>(), is<ERas>()},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(HasExceptionClass(c.code)) << c.code;
        try {
            CheckResult(false, c.code);
            ADD_FAILURE() << c.code << " did not raise";
        } catch (const ESpException& e) {
            EXPECT_TRUE(c.own(e)) << c.code << " should be " << c.name;
            EXPECT_TRUE(c.group(e)) << c.code;
            EXPECT_EQ(e.ErrorCode, c.code);
            EXPECT_EQ(std::string(e.what()), ErrorText(c.code)) << c.code;
        }
    }
    // Classes of neighbouring codes are distinct.
    try {
        CheckResult(false, ecAlreadyOpen);
    } catch (const EBadId&) {
        ADD_FAILURE() << "EAlreadyOpen caught as EBadId";
    } catch (const EAlreadyOpen& e) {
        EXPECT_STREQ(e.what(), "ie_Open - device already open");
    }
    EXPECT_FALSE(IsTapiCode(-13804));
    EXPECT_FALSE(IsTapiCode(-13849));
    EXPECT_TRUE(IsTapiCode(-13935));
    EXPECT_FALSE(IsTapiCode(-13933));
}

TEST(Mapper, SystemErrorsRaiseTheInputOutputError) {
    try {
        CheckResult(false, -2);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
    try {
        CheckResult(false, -162);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 162);
        EXPECT_STREQ(e.what(), "General failure");
    }
    try {
        CheckResult(false, -87);  // a setting the device refused: the cause survives
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 87);
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    EXPECT_THROW(CheckResult(false, ecOutOfMemory), std::bad_alloc);
}

TEST(Mapper, OtherNegativeCodesRaiseSerialPortException) {
    for (std::int32_t code : {-1, -163, -1001, -3002, -4711, -20000}) {
        try {
            CheckResult(false, code);
            ADD_FAILURE() << code;
        } catch (const ESpException& e) {
            EXPECT_EQ(typeid(e), typeid(ESpException)) << code;
            EXPECT_STREQ(e.what(), "Serial port exception");
            EXPECT_EQ(e.ErrorCode, 0);
        }
    }
}

TEST(Mapper, NonNegativeResultsAndLoadingPassThrough) {
    EXPECT_EQ(CheckResult(false, 0), 0);
    EXPECT_EQ(CheckResult(false, 17), 17);
    EXPECT_EQ(CheckResult(false, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(CheckResult(true, ecNoPortSelected), ecNoPortSelected);
    EXPECT_EQ(CheckResult(true, -2), -2);

    TSpBaseComponent component;
    EXPECT_THROW(CheckResult(&component, ecBadId), EBadId);
    component.SetLoading(true);
    EXPECT_EQ(CheckResult(&component, ecBadId), ecBadId);
    EXPECT_THROW(CheckResult(static_cast<const TSpBaseComponent*>(nullptr), ecBadId), EBadId);
}

TEST(Exceptions, MadeFromAMessageCarryCodeZero) {
    ESpException e(std::string("Dispatcher already started"));
    EXPECT_EQ(e.ErrorCode, 0);
    EXPECT_STREQ(e.what(), "Dispatcher already started");
    EBadTriggerHandle t(ecBadTriggerHandle);
    EXPECT_STREQ(t.what(), "Bad trigger handle");
}

}  // namespace
