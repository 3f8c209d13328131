// The byte trace: ring behaviour and the dump's exact layout.
#include "serial/trace.h"

#include <gtest/gtest.h>

#include "platform/testing/temp_tree.h"
#include "serial/errors.h"

namespace {

using namespace serial;
using zor_testing::read_file;
using TempFolder = zor_testing::TempTree;

TEST(Trace, SentThenReceivedDumpsTwoSections) {
    TempFolder dir;
    TSpTrace trace;
    ASSERT_EQ(trace.Init(100), 0);
    trace.Add(kTraceSent, 'A');
    trace.Add(kTraceSent, 'B');
    trace.Add(kTraceReceived, 13);
    ASSERT_EQ(trace.Dump(dir.file("SERIAL.TRC"), false, false, false), 0);
    EXPECT_EQ(read_file(dir.file("SERIAL.TRC")), "Transmit: \r\nAB\r\n\r\nReceive: \r\n[13]");
    EXPECT_FALSE(trace.Allocated()) << "a dump frees the buffer";
    EXPECT_FALSE(trace.Active());
}

TEST(Trace, AFullRingKeepsTheNewestEntriesOldestFirst) {
    TempFolder dir;
    TSpTrace trace;
    ASSERT_EQ(trace.Init(2), 0);
    trace.Add(kTraceSent, '1');
    trace.Add(kTraceSent, '2');
    trace.Add(kTraceReceived, '3');
    EXPECT_TRUE(trace.Wrapped());
    EXPECT_EQ(trace.Head(), 1u);
    ASSERT_EQ(trace.Dump(dir.file("t"), false, false, false), 0);
    EXPECT_EQ(read_file(dir.file("t")), "Transmit: \r\n2\r\n\r\nReceive: \r\n3");
}

TEST(Trace, NothingRecordedLeavesNoFile) {
    TempFolder dir;
    TSpTrace trace;
    ASSERT_EQ(trace.Init(10), 0);
    EXPECT_EQ(trace.Dump(dir.file("none"), false, true, false), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none")));
    EXPECT_EQ(TSpTrace().Dump(dir.file("none"), false, true, false), 0) << "never initialised";
    EXPECT_FALSE(std::filesystem::exists(dir.file("none")));
}

TEST(Trace, SizeLimitAndClear) {
    TSpTrace trace;
    EXPECT_EQ(trace.Init(4'000'001), ecBadArgument);
    EXPECT_FALSE(trace.Allocated());
    ASSERT_EQ(trace.Init(4'000'000), 0);
    trace.Add('T', 1);
    trace.Stop();
    EXPECT_FALSE(trace.Active());
    trace.Start();
    EXPECT_TRUE(trace.Active());
    EXPECT_EQ(trace.Init(5), 0) << "with a buffer, init clears it and keeps its size";
    EXPECT_EQ(trace.Size(), 4'000'000u);
    EXPECT_EQ(trace.Head(), 0u);
    trace.Free();
    trace.Start();
    EXPECT_FALSE(trace.Active()) << "no buffer, no start";
}

TEST(Trace, ByteDisplayByOption) {
    EXPECT_EQ(DisplayByte('A', false, false).text, "A");
    EXPECT_EQ(DisplayByte(' ', false, false).text, " ");
    EXPECT_EQ(DisplayByte(' ', true, false).text, "[20]") << "in hex, the blank is shown in hex";
    EXPECT_EQ(DisplayByte('A', false, true).text, "[41]");
    EXPECT_EQ(DisplayByte(0xB5, true, false).text, "[B5]");
    auto d = DisplayByte(7, false, false);
    EXPECT_EQ(d.text, "[7]");
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(DisplayByte(13, false, false).width, 4);
    EXPECT_EQ(DisplayByte(200, false, false).text, "[200]");
    EXPECT_EQ(DisplayByte(200, false, false).width, 5);
}

TEST(Trace, LinesStopAt78ColumnsAndSpecialKindsGetTheirHeader) {
    TempFolder dir;
    TSpTrace trace;
    ASSERT_EQ(trace.Init(1000), 0);
    for (int i = 0; i < 100; ++i) trace.Add(kTraceReceived, 'x');
    for (int i = 0; i < 20; ++i) trace.Add(kTraceReceived, 0x01);  // 4 columns each in hex
    trace.Add('S', 'z');
    ASSERT_EQ(trace.Dump(dir.file("t"), false, true, false), 0);
    std::string expected = "Receive: \r\n" + std::string(78, 'x') + "\r\n" + std::string(22, 'x');
    // 22 + 14 * 4 = 78 fits; the 15th item starts a line.
    for (int i = 0; i < 14; ++i) expected += "[01]";
    expected += "\r\n";
    for (int i = 0; i < 6; ++i) expected += "[01]";
    expected += "\r\n\r\nSpecial-S: \r\nz";
    EXPECT_EQ(read_file(dir.file("t")), expected);
}

TEST(Trace, AppendAddsToAnExistingFileAndFailuresStillFree) {
    TempFolder dir;
    TSpTrace trace;
    trace.Init(10);
    trace.Add('T', 'a');
    ASSERT_EQ(trace.Dump(dir.file("t"), false, false, false), 0);
    trace.Init(10);
    trace.Add('T', 'b');
    ASSERT_EQ(trace.Dump(dir.file("t"), true, false, false), 0);
    EXPECT_EQ(read_file(dir.file("t")), "Transmit: \r\naTransmit: \r\nb");
    trace.Init(10);
    trace.Add('T', 'c');
    ASSERT_EQ(trace.Dump(dir.file("t"), false, false, false), 0) << "without append the file is made anew";
    EXPECT_EQ(read_file(dir.file("t")), "Transmit: \r\nc");

    trace.Init(10);
    trace.Add('T', 'd');
    EXPECT_EQ(trace.Dump(dir.file("no/such/folder/t"), false, false, false), -3);
    EXPECT_FALSE(trace.Allocated());
}

}  // namespace
