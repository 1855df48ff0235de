// WriteDebugOutput: whole lines on stderr once switched on, or every call
// unsplit to the test hook instead.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../gentl_core/LogCapture.h"
#include "platform/DebugOutput.h"

namespace {

// What stderr receives for `texts` while the output is switched on.
std::string OnStderr(const std::vector<std::string>& texts)
{
    Platform::SetDebugOutputToStderr(true);
    ::testing::internal::CaptureStderr();
    for (const std::string& text : texts) Platform::WriteDebugOutput(text);
    Platform::SetDebugOutputToStderr(false);
    return ::testing::internal::GetCapturedStderr();
}

TEST(DebugOutputTest, WritesEveryLineAndEndsAnUnterminatedTail)
{
    const std::pair<std::string, std::string> cases[] = {{"one line\n", "one line\n"},
                                                         {"first\nsecond", "first\nsecond\n"},
                                                         {"\n\nx\n", "\n\nx\n"},
                                                         {"", ""}};
    for (const auto& [text, written] : cases) EXPECT_EQ(written, OnStderr({text})) << text;
}

TEST(DebugOutputTest, HookTakesEachCallUnsplitInsteadOfStderr)
{
    {
        TestSupport::LogCapture capture;
        EXPECT_EQ("", OnStderr({"a\nb", "c\n"}));
        EXPECT_EQ((std::vector<std::string>{"a\nb", "c\n"}), capture.Lines());
    }
    EXPECT_EQ("back\n", OnStderr({"back\n"}));
}

// Long lines make a split, if there were one, likely.
TEST(DebugOutputTest, ConcurrentWritersNeverSplitALine)
{
    constexpr int THREADS = 4;
    constexpr int LINES = 300;
    const std::string filler(200, '.');
    Platform::SetDebugOutputToStderr(true);
    ::testing::internal::CaptureStderr();
    std::vector<std::thread> writers;
    for (int t = 0; t < THREADS; ++t)
        writers.emplace_back([t, &filler] {
            const std::string line = "<" + std::to_string(t) + filler + ">\n";
            for (int i = 0; i < LINES; ++i) Platform::WriteDebugOutput(line);
        });
    for (std::thread& writer : writers) writer.join();
    Platform::SetDebugOutputToStderr(false);
    std::istringstream output(::testing::internal::GetCapturedStderr());
    std::vector<int> counts(THREADS, 0);
    for (std::string line; std::getline(output, line);) {
        ASSERT_EQ("<" + line.substr(1, 1) + filler + ">", line);
        ++counts.at(static_cast<size_t>(line[1] - '0'));
    }
    EXPECT_EQ(std::vector<int>(THREADS, LINES), counts);
}

}  // namespace
