#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/forms/string_list.h"

namespace platform::forms {
namespace {

TEST(StringList, SortedListKeepsOrderOnAddAndRefusesPositionalInsert) {
    StringList list;
    list.sorted = true;
    EXPECT_EQ(list.add("delta"), 0);
    EXPECT_EQ(list.add("Alpha"), 0);
    EXPECT_EQ(list.add("charlie"), 1);
    EXPECT_EQ(list.add("Bravo"), 1);
    EXPECT_EQ(list.strings(), (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta"}));
    EXPECT_THROW(list.insert(0, "x"), std::logic_error);

    // Equal texts keep the order they came in; duplicates may be refused.
    list.add("ALPHA");
    EXPECT_EQ(list[1], "ALPHA");
    list.ignore_duplicates = true;
    EXPECT_EQ(list.add("bravo"), -1);
    EXPECT_EQ(list.count(), 5);
}

TEST(StringList, SearchesFoldOnlyAsciiLetters) {
    StringList list{"Port", "\xB5l", "COM1"};
    EXPECT_EQ(list.index_of("PORT"), 0);
    EXPECT_EQ(list.index_of("com1"), 2);
    EXPECT_EQ(list.index_of("\xB5L"), 1);
    EXPECT_EQ(list.index_of("missing"), -1);
    EXPECT_EQ(list.index_of_exact("port"), -1);
    EXPECT_EQ(list.index_of_exact("Port"), 0);
}

TEST(StringList, EditingKeepsTheObjectsColumnAligned) {
    StringList list;
    list.add("a", 10);
    list.add("c", 30);
    list.insert(1, "b", 20);
    EXPECT_EQ(list.object(1), 20);
    list.erase(0);
    EXPECT_EQ(list[0], "b");
    EXPECT_EQ(list.object(0), 20);
    EXPECT_EQ(list.index_of_object(30), 1);
    list.exchange(0, 1);
    EXPECT_EQ(list.object(0), 30);
    list.move(0, 1);
    EXPECT_EQ(list[1], "c");
    EXPECT_EQ(list.object(1), 30);
}

TEST(StringList, BadIndicesThrowInsteadOfReadingPastTheEnd) {
    StringList list{"only"};
    EXPECT_THROW((void)list[1], std::out_of_range);
    EXPECT_THROW((void)list[-1], std::out_of_range);
    EXPECT_THROW(list.erase(3), std::out_of_range);
    EXPECT_THROW(list.insert(2, "x"), std::out_of_range);
    EXPECT_NO_THROW(list.insert(1, "end"));
}

TEST(StringList, TextRoundTripsWithAnyLineEnd) {
    StringList list;
    list.set_text("one\r\ntwo\nthree\rfour");
    EXPECT_EQ(list.strings(), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(list.text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
    list.set_text("a\r\n\r\nb\r\n");
    EXPECT_EQ(list.strings(), (std::vector<std::string>{"a", "", "b"}));
    list.set_text("");
    EXPECT_TRUE(list.empty());
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
    StringList list{"a", "b c", "", "say \"hi\""};
    EXPECT_EQ(list.comma_text(), "a,\"b c\",\"\",\"say \"\"hi\"\"\"");
}

}  // namespace
}  // namespace platform::forms
