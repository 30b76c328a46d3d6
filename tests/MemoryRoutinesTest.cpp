// The plug-in's own memory and string routines (integer code, in place of the C
// library's), called through pointers read at each call so that the compiler cannot answer
// for them.
#include <gtest/gtest.h>

#include <string.h>

#include <cstring>
#include <string>

namespace {

// Read afresh at each call (volatile), so that no call is answered at compile time.
decltype(&std::memmove) volatile const move = &std::memmove;
decltype(&std::memcmp) volatile const compare = &std::memcmp;
char* (*volatile const find)(const char*, const char*) = &::strstr;
char* (*volatile const findChar)(const char*, int) = &::strchr;
decltype(&std::strncmp) volatile const compareN = &std::strncmp;

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(MemoryRoutines, CopiesOverlappingEitherWay) {
    const struct {
        size_t to, from, count;
        const char* result;
    } rows[] = {{2, 0, 5, "abab" "cdeh"}, {0, 2, 5, "cdefgfgh"}, {0, 0, 8, "abcdefgh"}, {3, 1, 0, "abcdefgh"}};
    for (const auto& row : rows) {
        char text[] = "abcdefgh";
        EXPECT_EQ(move(text + row.to, text + row.from, row.count), text + row.to);
        EXPECT_STREQ(text, row.result) << row.to << " " << row.from << " " << row.count;
    }
}

TEST(MemoryRoutines, CompareAndFindAsTheCLibraryDoes) {
    EXPECT_EQ(Sign(compare("ab\x80", "ab\x01", 3)), 1);  // bytes unsigned
    EXPECT_EQ(Sign(compare("ab\x01", "ab\x80", 3)), -1);
    EXPECT_EQ(compare("abx", "aby", 2), 0);
    EXPECT_EQ(Sign(compareN("CAR\xC3", "CARS", 4)), 1);
    EXPECT_EQ(compareN("CAR", "CAR\0X", 8), 0);
    const char* const text = "MorvaneCars\\SUPRA";
    const struct {
        const char* part;
        const char* found;  // null: none
    } rows[] = {{"Cars", text + 7}, {"SUPRA", text + 12}, {"", text}, {"SUPRAS", nullptr}, {"x", nullptr}};
    for (const auto& row : rows) EXPECT_EQ(find(text, row.part), row.found) << row.part;
    EXPECT_EQ(findChar(text, '\\'), text + 11);
    EXPECT_EQ(findChar(text, '\0'), text + 17);
    EXPECT_EQ(findChar(text, 'z'), nullptr);
}

}  // namespace
