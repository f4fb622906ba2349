// Sections of the log are read whole, in list order, whatever their size.
#include "support/world.h"

#include <gtest/gtest.h>

#include "launcher.h"
#include "log_section.h"

#include <cstdio>

namespace {

std::vector<std::string> Walk(char* list)
{
    std::vector<std::string> lines;
    for (char* line = list; *line != '\0'; line = NextLine(line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> WalkBackwards(char* list)
{
    std::vector<std::string> lines;
    for (char* line = LastLine(list); line != nullptr; line = PreviousLine(list, line))
        lines.push_back(line);
    return lines;
}

void UseLog(const std::string& text)
{
    InstallApplication(text);
    snprintf(g_logPath, MAX_PATH, "%s", LOG_PATH);
}

TEST(LogSection, ListsTheLinesInOrderAndBackwards)
{
    UseLog(Lines({"[CopyFiles]", "C:\\a.txt=1", "C:\\b.txt", "C:\\c.txt=x=y"}));
    char* list = ReadLogSectionQuietly("copyfiles");
    EXPECT_EQ((std::vector<std::string>{"C:\\a.txt=1", "C:\\b.txt", "C:\\c.txt=x=y"}), Walk(list));
    EXPECT_EQ((std::vector<std::string>{"C:\\c.txt=x=y", "C:\\b.txt", "C:\\a.txt=1"}), WalkBackwards(list));
}

TEST(LogSection, AMissingOrEmptySectionIsAnEmptyList)
{
    UseLog(Lines({"[Empty]", "[Other]", "x=1"}));
    EXPECT_TRUE(Walk(ReadLogSectionQuietly("Empty")).empty());
    EXPECT_TRUE(Walk(ReadLogSectionQuietly("Missing")).empty());
    EXPECT_EQ(nullptr, LastLine(ReadLogSectionQuietly("Missing")));
}

TEST(LogSection, ASectionLargerThanTheBufferIsReadWhole)
{
    std::vector<std::string> log = {"[CopyFiles]"};
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        std::string line = "C:\\Program Files\\Acme Tool\\Data\\file" + std::to_string(i) + ".dat=1";
        log.push_back(line);
        expected.push_back(line);
    }
    UseLog(Lines(log));
    size_t bytes = 0;
    for (const std::string& line : expected)
        bytes += line.size() + 1;
    ASSERT_GT(bytes, SECTION_BUFFER_SIZE * 3);

    EXPECT_EQ(expected, Walk(ReadLogSectionQuietly("CopyFiles")));
    // A small section read afterwards is whole too, in the grown buffer.
    UseLog(Lines({"[CopyFiles]", "C:\\a.txt"}));
    EXPECT_EQ(std::vector<std::string>{"C:\\a.txt"}, Walk(ReadLogSectionQuietly("CopyFiles")));
}

TEST(LogSection, TheBufferGrowsOnlyForASectionThatDoesNotFit)
{
    UseLog(Lines({"[CopyFiles]", "C:\\a.txt"}));
    size_t before = SimHeapPeak();
    ReadLogSectionQuietly("CopyFiles");
    ReadLogSectionQuietly("CopyFiles");
    EXPECT_LE(SimHeapPeak(), before + SECTION_BUFFER_SIZE * 2);
    EXPECT_LE(SimCountCalls("GetPrivateProfileSectionA"), 2);
}

} // namespace
