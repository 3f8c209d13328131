// The dispatch log: entry format, ring overflow and the dump.
#include "serial/dispatch_log.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/testing/temp_tree.h"
#include "serial/errors.h"
#include "serial/tick_timer.h"

namespace {

using namespace serial;
using zor_testing::read_file;
using TempFolder = zor_testing::TempTree;

TEST(DispatchLog, TimeTextHasThreeDecimals) {
    EXPECT_EQ(LogTimeText(1234), "0001.234");
    EXPECT_EQ(LogTimeText(0), "0000.000");
    EXPECT_EQ(LogTimeText(9'999'999), "9999.999");
    EXPECT_EQ(LogTimeText(12'345'678), "12345.678") << "long logs keep seconds and milliseconds apart";
}

TEST(DispatchLog, EntryLinesFollowTheFixedColumns) {
    TSpDispatchLog::Entry timer{dtTrigger, dstTimer, 1234, 8, {}};
    EXPECT_EQ(FormatLogEntry(timer, true, false), "0001.234  Trigger   Timer         00000008  ");

    TSpDispatchLog::Entry received{dtDispatch, dstReadCom, 5, 3, {'O', 'K', 13}};
    EXPECT_EQ(FormatLogEntry(received, false, false), "0000.005  Dispatch  ReadCom       00000003  OK[13]");
    EXPECT_EQ(FormatLogEntry(received, true, true),
              "0000.005  Dispatch  ReadCom       00000003  [4F][4B][0D]");

    TSpDispatchLog::Entry removed{dtTriggerDispose, dstStatusTrigger, 7, 0x13, {2}};
    EXPECT_EQ(FormatLogEntry(removed, false, false).substr(44), "(Line status)");

    TSpDispatchLog::Entry modem{dtDispatch, dstModemStatus, 0, 0x31, {}};
    EXPECT_EQ(FormatLogEntry(modem, false, false).substr(44), " (DCTS CTS DSR)");

    TSpDispatchLog::Entry user{dtUser, dstNone, 0, 0, {'h', 'i'}};
    EXPECT_EQ(FormatLogEntry(user, false, true).substr(44), "hi") << "user bytes stay characters";

    TSpDispatchLog::Entry telnet{dtTelnet, dstNone, 0, 99, {}};
    EXPECT_EQ(FormatLogEntry(telnet, false, false).substr(44), " []");
}

TEST(DispatchLog, LongDataContinuesIndented) {
    TSpDispatchLog::Entry e{dtDispatch, dstWriteCom, 0, 40, std::vector<std::uint8_t>(40, 'w')};
    std::string line = FormatLogEntry(e, false, false);
    // The column count starts at 45 and each byte adds its width first: 33 bytes reach 78.
    std::string head = line.substr(0, 44);
    EXPECT_EQ(line, head + std::string(33, 'w') + "\r\n" + std::string(44, ' ') + std::string(7, 'w'));
}

TEST(DispatchLog, FullRingDropsTheOldestEntries) {
    TSpDispatchLog log;
    ASSERT_EQ(log.Init(100), 0);
    std::uint8_t data[10] = {};
    for (std::uint8_t i = 0; i < 5; ++i) {
        data[0] = i;
        log.AddEntryAt(i, dtDispatch, dstReadCom, i, data, 10);  // 26 bytes each
    }
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].data, 2u);
    EXPECT_EQ(entries[2].data, 4u);
    EXPECT_EQ(entries[2].bytes[0], 4);
    EXPECT_EQ(log.FreeSpace(), 100u - 3 * 26);

    std::vector<std::uint8_t> huge(84, 1);
    log.AddEntryAt(9, dtDispatch, dstReadCom, 9, huge.data(), 84);  // 100 bytes: never fits
    EXPECT_EQ(log.EntryCount(), 3u) << "an entry as large as the ring is dropped, the others stay";
    log.AddEntryAt(10, dtDispatch, dstReadCom, 10, huge.data(), 83);  // 99 bytes: clears the ring
    ASSERT_EQ(log.EntryCount(), 1u);
    EXPECT_EQ(log.Entries()[0].bytes.size(), 83u);
    log.Clear();
    EXPECT_EQ(log.EntryCount(), 0u);
    EXPECT_EQ(log.FreeSpace(), 100u);
    EXPECT_EQ(log.Init(16'000'001), ecBadArgument);
}

TEST(DispatchLog, TimesCountFromTheStart) {
    std::uint64_t now = 50'000;
    clock_state().now_ms = [&] { return now; };
    TSpDispatchLog log;
    log.Init(1000);
    now += 1234;
    log.AddEntry(dtTrigger, dstTimer, 8);
    EXPECT_EQ(log.Entries().at(0).time_ms, 1234);
    reset_clock_state_for_tests();
}

TEST(DispatchLog, DumpWritesHeaderAndOneLinePerEntry) {
    TempFolder dir;
    TSpDispatchLog log;
    ASSERT_EQ(log.Init(1000), 0);
    log.AddEntryAt(1234, dtTrigger, dstTimer, 8, nullptr, 0);
    log.AddEntryAt(1300, dtDispatch, dstReadCom, 2, "OK", 2);
    ASSERT_EQ(log.Dump(dir.file("SERIAL.LOG"), false, false, false, "COM1"), 0);
    EXPECT_FALSE(log.Allocated());
    std::string text = read_file(dir.file("SERIAL.LOG"));
    std::regex layout(
        "SERIAL v4\\.03\r\n"
        "Compiler : [^\r\n]+\r\n"
        "Operating System : Unknown[0-9]+\\.[0-9]+ [^\r\n]*\r\n"
        "Device: COM1\r\n"
        "Date/time: [0-9]{2}/[0-9]{2}/[0-9]{2}, [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n"
        "Time      Type      SubType       Data      OtherData\r\n"
        "--------  --------  ------------  --------  ---------\r\n"
        "0001\\.234  Trigger   Timer         00000008  \r\n"
        "0001\\.300  Dispatch  ReadCom       00000002  OK\r\n");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;

    ASSERT_EQ(log.Init(1000), 0);
    EXPECT_EQ(log.Dump(dir.file("empty.log"), false, false, false, "COM1"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.log")));
    ASSERT_EQ(log.Init(1000), 0);
    log.AddEntryAt(1, dtTrigger, dstTimer, 8, nullptr, 0);
    EXPECT_EQ(log.Dump(dir.file("missing/x.log"), false, false, false, "COM1"), -3);
    EXPECT_FALSE(log.Allocated());
}

}  // namespace
