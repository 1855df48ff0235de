#include <gtest/gtest.h>

#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/DebugOutput.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// WriteDebugOutput without a hook: the text reaches stderr, line by line.
class DebugOutputToStderrTest : public ::testing::Test {
protected:
    void SetUp() override { Platform::SetDebugOutputToStderr(true); }
    void TearDown() override { Platform::SetDebugOutputToStderr(false); }
};

TEST_F(DebugOutputToStderrTest, WritesTheLineAsGiven)
{
    CaptureStderr();
    Platform::WriteDebugOutput("one line\n");
    EXPECT_EQ("one line\n", GetCapturedStderr());
}

TEST_F(DebugOutputToStderrTest, EndsAnUnterminatedTailWithANewline)
{
    CaptureStderr();
    Platform::WriteDebugOutput("first\nsecond");
    EXPECT_EQ("first\nsecond\n", GetCapturedStderr());
}

TEST_F(DebugOutputToStderrTest, KeepsEmptyLines)
{
    CaptureStderr();
    Platform::WriteDebugOutput("\n\nx\n");
    EXPECT_EQ("\n\nx\n", GetCapturedStderr());
}

TEST_F(DebugOutputToStderrTest, WritesNothingForEmptyText)
{
    CaptureStderr();
    Platform::WriteDebugOutput("");
    EXPECT_EQ("", GetCapturedStderr());
}

TEST_F(DebugOutputToStderrTest, ConcurrentWritersNeverSplitALine)
{
    constexpr int THREADS = 4;
    constexpr int LINES = 300;
    // Long lines make a split, if there were one, likely.
    const std::string filler(200, '.');
    CaptureStderr();
    std::vector<std::thread> writers;
    for (int t = 0; t < THREADS; ++t) {
        writers.emplace_back([t, &filler] {
            std::string line(1, '<');
            line += static_cast<char>('0' + t);
            line += filler;
            line += ">\n";
            for (int i = 0; i < LINES; ++i)
                Platform::WriteDebugOutput(line);
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    std::istringstream output(GetCapturedStderr());
    std::vector<int> counts(THREADS, 0);
    std::string line;
    while (std::getline(output, line)) {
        ASSERT_EQ(filler.size() + 3, line.size()) << line;
        ASSERT_EQ('<', line.front());
        ASSERT_EQ('>', line.back());
        ASSERT_EQ(filler, line.substr(2, filler.size()));
        ++counts.at(static_cast<std::size_t>(line[1] - '0'));
    }
    EXPECT_EQ(std::vector<int>(THREADS, LINES), counts);
}

// The test hook takes the text of each call, unsplit, instead of stderr.
class DebugOutputHookTest : public ::testing::Test {
protected:
    static void Capture(const char* text, std::size_t length)
    {
        std::lock_guard<std::mutex> guard(captured_mutex);
        captured.emplace_back(text, length);
    }
    void TearDown() override { Platform::SetDebugOutputHookForTest(nullptr); }

    static inline std::mutex captured_mutex;
    static inline std::vector<std::string> captured;
};

TEST_F(DebugOutputHookTest, ReceivesEachCallOnceAndStderrNothing)
{
    Platform::SetDebugOutputHookForTest(&Capture);
    CaptureStderr();
    Platform::WriteDebugOutput("a\nb");
    Platform::WriteDebugOutput("c\n");
    EXPECT_EQ("", GetCapturedStderr());
    EXPECT_EQ((std::vector<std::string>{"a\nb", "c\n"}), captured);
}

TEST_F(DebugOutputHookTest, RemovingTheHookRestoresStderr)
{
    EXPECT_EQ(nullptr, Platform::SetDebugOutputHookForTest(&Capture));
    EXPECT_EQ(&Capture, Platform::SetDebugOutputHookForTest(nullptr));
    Platform::SetDebugOutputToStderr(true);
    CaptureStderr();
    Platform::WriteDebugOutput("back\n");
    Platform::SetDebugOutputToStderr(false);
    EXPECT_EQ("back\n", GetCapturedStderr());
    EXPECT_TRUE(captured.empty());
}

}  // namespace
