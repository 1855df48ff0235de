// The library's own logger: its configuration file, sinks and line format.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestLogging.h"
#include "sensor_library/LibraryLogger.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path)
{
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

// Each case gets its own application-data folder.
class LoggerTest : public ::testing::Test {
protected:
    ScopedAppData app;
    DebugCapture capture;
};

TEST_F(LoggerTest, RawDumpTakesEveryReceivedByte)
{
    app.WriteConfig("activate_log=1\nsink_type=1\nsavereceivedbinarydata\n");
    EXPECT_FALSE(LibraryLogger::ConfigureLogging("", "").Config().raw_dump);  // no owner tag
    LibraryLogger logger = LibraryLogger::ConfigureLogging("1.2.3.4", "42");
    logger.DumpReceived("ab\0c", 4);
    logger.WithTag("7").DumpReceived("d", 1);
    logger.Close();
    EXPECT_EQ(std::string("ab\0cd", 5), Slurp(app.ConfigFolder() / "Tesk3d_1_2_3_4_RxRawData_recv.bin"));
}

TEST_F(LoggerTest, CreatesAMissingLogFolderAndSwitchesTheFileSinkOffForAnUnusableOne)
{
    const fs::path folder = app.folder / "logs" / "deeper";
    app.WriteConfig("activate_log=1\nsink_type=1\nfile_path=" + folder.string() + "\n");
    LibraryLogger logger = LibraryLogger::ConfigureLogging("", "");
    logger.Info("in the new folder");
    logger.Close();
    EXPECT_NE(std::string::npos, Slurp(folder / "Tesk3dLog.txt").find("[INFO] "));
    EXPECT_NE(std::string::npos, DebugCapture::Text().find("Logpath created :"));
    std::ofstream(app.folder / "plainfile") << "x";
    app.WriteConfig("activate_log=1\nsink_type=1\nfile_path=\"" + (app.folder / "plainfile" / "sub").string() + "\"\n");
    EXPECT_FALSE(LibraryLogger::ConfigureLogging("", "").Config().file_sink);
    EXPECT_NE(std::string::npos, DebugCapture::Text().find("Failed creating Logpath - error: "));
}

// Configuration lines: the switches they set, and a path read whole.
TEST(LogConfigTest, ReadsTheSwitchesAndThePathOfEachLine)
{
    // text; active, console, file, raw dump; path
    const std::tuple<const char*, bool, bool, bool, bool, const char*> rows[] = {
        {"activate_log=1 # x", true, false, false, false, ""},
        {"activate_log=#1", false, false, false, false, ""},
        {"activate_log=/1", false, false, false, false, ""},
        {"activate_log", false, false, false, false, ""},                   // too short for a value
        {"activate_log=1\nactivate_log=x", true, false, false, false, ""},  // no decider: as it was
        {"sink_type=0,2 # 1", false, true, false, true, ""},
        {"sink_type", false, false, false, false, ""},
        {"x savereceivedbinarydata", false, false, false, true, ""},
        {"\n\n\r\n", false, false, false, false, ""},
        {"file_path=\"/tmp/a b/c\"\t\t# folder", false, false, false, false, "/tmp/a b/c"},
        {"file_path= /var/log/x_y-z:1 rest", false, false, false, false, "/var/log/x_y-z:1"},
    };
    for (const auto& [text, active, console, file, dump, path] : rows) {
        std::istringstream lines(text);
        LogConfig config;
        LibraryLogger::ParseConfig(lines, config);
        EXPECT_EQ(std::make_tuple(active, console, file, dump, std::string(path)),
                  std::make_tuple(config.active, config.console_sink, config.file_sink, config.raw_dump, config.file_path))
            << text;
    }
}

TEST(LogLineTest, HasTheTagTheLocalTimeAndTheMessageCutToTheLineBuffer)
{
    const std::string line = LibraryLogger::FormatLine("ERROR", "went wrong");
    ASSERT_EQ(std::string("[ERROR] 2024 01 02 03 04 05 006 went wrong\n").size(), line.size());
    EXPECT_EQ(0u, line.find("[ERROR] "));
    EXPECT_EQ("   ", (std::string{line[12], line[15], line[31]}));
    EXPECT_EQ(0u, LibraryLogger::FormatLine("", "m").find("[INFO] "));
    // Percent directives stay; doubled percent signs are halved.
    EXPECT_NE(std::string::npos, LibraryLogger::FormatLine("T", "%d and FiFo(%%): 5").find("%d and FiFo(%): 5\n"));
    const std::string long_line = LibraryLogger::FormatLine("T", std::string(5000, 'a').c_str());
    EXPECT_EQ(LibraryLogger::MAX_LINE, long_line.size());
    EXPECT_EQ('\n', long_line.back());
    EXPECT_EQ("_192_168_0_10", LibraryLogger::NameSuffix("192.168.0.10"));
    EXPECT_EQ("", LibraryLogger::NameSuffix(""));
}

}  // namespace
