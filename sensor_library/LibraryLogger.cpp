#include "sensor_library/LibraryLogger.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <system_error>

#include "platform/AppData.h"
#include "platform/DebugOutput.h"
#include "platform/LocalTime.h"

namespace {

const char* const CONFIG_FILE = "log_config.txt";

// The value of `key` in `line` starts this many characters after the key
// ("activate_log=" is 13 long); npos when the line ends before that.
std::size_t ValueStart(const std::string& line, const char* key, std::size_t skip)
{
    const std::size_t found = line.find(key);
    if (found == std::string::npos || found + skip > line.size())
        return std::string::npos;
    return found + skip;
}

void ApplyActivate(const std::string& line, LogConfig& config)
{
    const std::size_t start = ValueStart(line, "activate_log", 13);
    if (start == std::string::npos)
        return;
    const std::size_t decider = line.find_first_of("10/#", start);
    if (decider != std::string::npos)
        config.active = line[decider] == '1';
}

void ApplySinks(const std::string& line, LogConfig& config)
{
    const std::size_t start = ValueStart(line, "sink_type", 10);
    if (start == std::string::npos)
        return;
    for (std::size_t i = start; i < line.size() && line[i] != '/' && line[i] != '#'; ++i) {
        if (line[i] == '0')
            config.console_sink = true;
        else if (line[i] == '1')
            config.file_sink = true;
        else if (line[i] == '2')
            config.raw_dump = true;
    }
}

bool IsPathCharacter(char c)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    return letter || digit || c == '/' || c == '\\' || c == ':' || c == '_' || c == '-';
}

void ApplyFilePath(const std::string& line, LogConfig& config)
{
    const std::size_t start = ValueStart(line, "file_path", 10);
    if (start == std::string::npos)
        return;
    const std::size_t open = line.find('"', start);
    const std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close != std::string::npos) {
        config.file_path = line.substr(open + 1, close - open - 1);
        return;
    }
    std::size_t first = start;
    while (first < line.size() && !(std::isalpha(static_cast<unsigned char>(line[first])) ||
                                     line[first] == '/'))
        ++first;
    std::size_t end = first;
    while (end < line.size() && IsPathCharacter(line[end]))
        ++end;
    if (end > first)
        config.file_path = line.substr(first, end - first);
}

bool WriteDefaultConfig(const std::string& folder, const std::string& file)
{
    std::error_code error;
    if (!std::filesystem::exists(folder, error) &&
        !std::filesystem::create_directories(folder, error)) {
        std::cerr << "error creating logging configuration file in " << folder << "\n";
        return false;
    }
    std::ofstream out(file, std::ios::binary);
    if (!out) {
        std::cerr << "error writing to logging configuration file \n";
        return false;
    }
    out << "activate_log=0 \t\t#activate 1/deactivate 0 the log output\n"
        << "sink_type=0,1 \t\t#0:terminal 1:file\n"
        << "file_path=\"" << folder << "\"\t\t# folder path to store logfile.\n";
    return true;
}

}  // namespace

struct LibraryLogger::Files {
    std::mutex mutex;
    std::ofstream log_file;         // guarded by mutex
    std::FILE* dump_file = nullptr;  // guarded by mutex

    ~Files()
    {
        if (dump_file != nullptr)
            std::fclose(dump_file);
    }
};

std::string LibraryLogger::ConfigFolder()
{
    const std::string app_data = Platform::AppDataDir();
    if (app_data.empty())
        return std::string();
    return app_data + "/dorvane/Tesk3D SDK";
}

void LibraryLogger::ParseConfig(std::istream& lines, LogConfig& config)
{
    std::string line;
    while (std::getline(lines, line)) {
        ApplyActivate(line, config);
        ApplySinks(line, config);
        ApplyFilePath(line, config);
        if (line.find("savereceivedbinarydata") != std::string::npos)
            config.raw_dump = true;
    }
}

std::string LibraryLogger::NameSuffix(const std::string& name)
{
    if (name.empty())
        return std::string();
    std::string suffix = "_" + name;
    for (char& c : suffix) {
        if (c == '.')
            c = '_';
    }
    return suffix;
}

std::string LibraryLogger::FormatLine(const std::string& tag, const char* message)
{
    const Platform::LocalTime now = Platform::GetLocalTime();
    char head[MAX_LINE];
    const int head_length =
        std::snprintf(head, sizeof(head), "[%s] %04u %02u %02u %02u %02u %02u %03u ",
                      tag.empty() ? "INFO" : tag.c_str(), now.year, now.month, now.day, now.hour,
                      now.minute, now.second, now.millisecond);
    std::string line(head, static_cast<std::size_t>(head_length) < sizeof(head)
                               ? static_cast<std::size_t>(head_length)
                               : sizeof(head) - 1);
    for (const char* c = message; *c != '\0' && line.size() < MAX_LINE - 1; ++c) {
        line += *c;
        if (c[0] == '%' && c[1] == '%')
            ++c;
    }
    line += '\n';
    return line;
}

LibraryLogger LibraryLogger::ConfigureLogging(const std::string& name, const std::string& tag)
{
    LibraryLogger logger;
    logger.owner_tag = tag;
    const std::string folder = ConfigFolder();
    if (folder.empty()) {
        Platform::WriteDebugOutput(" configure file error");
        return logger;
    }
    const std::string file = folder + "/" + CONFIG_FILE;
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        WriteDefaultConfig(folder, file);
        return logger;
    }
    LogConfig config;
    config.file_path = folder;
    std::ifstream in(file);
    ParseConfig(in, config);
    if (!config.active)
        return logger;
    logger.config = config;
    logger.files = std::make_shared<Files>();
    if (tag.empty())
        logger.config.raw_dump = false;
    logger.EnsureLogFolder();
    const std::string suffix = NameSuffix(name);
    if (logger.config.file_sink)
        logger.OpenLogFile(logger.config.file_path, suffix);
    if (logger.config.raw_dump) {
        Platform::WriteDebugOutput("Binary Logging activated\n");
        logger.OpenDumpFile(logger.config.file_path, suffix);
    }
    Platform::WriteDebugOutput("Logging activated\n");
    Platform::WriteDebugOutput("Sink type state - console: " +
                               std::to_string(logger.config.console_sink) +
                               " file: " + std::to_string(logger.config.file_sink));
    Platform::WriteDebugOutput("File path: " + logger.config.file_path);
    return logger;
}

void LibraryLogger::EnsureLogFolder()
{
    if (!config.file_sink && !config.raw_dump)
        return;
    const std::string& folder = config.file_path;
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return;
    if (folder.empty()) {
        Platform::WriteDebugOutput("Logfile Path is invalid");
        config.file_sink = config.raw_dump = false;
        return;
    }
    Platform::WriteDebugOutput("Logfile Path doesn't exist.. trying to create\n");
    if (std::filesystem::create_directories(folder, error) ||
        std::filesystem::is_directory(folder)) {
        Platform::WriteDebugOutput("Logpath created :" + folder + "\n");
        return;
    }
    Platform::WriteDebugOutput("Failed creating Logpath - error: " + error.message() + "\n");
    config.file_sink = config.raw_dump = false;
}

void LibraryLogger::OpenLogFile(const std::string& folder, const std::string& suffix)
{
    const std::string name = folder + "/Tesk3dLog" + suffix + ".txt";
    {
        std::lock_guard<std::mutex> lock(files->mutex);
        files->log_file.open(name, std::ios::out | std::ios::trunc);
        if (files->log_file.is_open())
            return;
    }
    Platform::WriteDebugOutput("Error in opening the debug file\n");
    std::cerr << "Error in opening the debug file\n";
    config.file_sink = false;
    Error(("Error in opening the debug file: " + name).c_str());
}

void LibraryLogger::OpenDumpFile(const std::string& folder, const std::string& suffix)
{
    const std::string name = folder + "/Tesk3d" + suffix + "_RxRawData_recv.bin";
    bool opened = false;
    {
        std::lock_guard<std::mutex> lock(files->mutex);
        files->dump_file = std::fopen(name.c_str(), "wb");
        opened = files->dump_file != nullptr;
        if (!opened && files->log_file.is_open())
            files->log_file << "could not create a binary file!" << std::endl;
    }
    if (opened) {
        Log(name + " is created/opened.");
        return;
    }
    Platform::WriteDebugOutput("could not create a binary file!\n");
    config.raw_dump = false;
    Error(("could not create a binary file: " + name).c_str());
}

LibraryLogger LibraryLogger::WithTag(const std::string& tag) const
{
    LibraryLogger copy = *this;
    copy.owner_tag = tag;
    return copy;
}

void LibraryLogger::WriteLogLine(const std::string& tag, const char* message) const
{
    if (message == nullptr || !config.active)
        return;
    const std::string line = FormatLine(tag, message);
    if (config.console_sink)
        Platform::WriteDebugOutput(line);
    if (config.file_sink && files) {
        std::lock_guard<std::mutex> lock(files->mutex);
        if (files->log_file.is_open()) {
            files->log_file.write(line.data(), static_cast<std::streamsize>(line.size()));
            files->log_file.flush();
        }
    }
}

void LibraryLogger::Printf(const char* format, ...) const
{
    if (!config.active)
        return;
    char message[MAX_LINE];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof(message), format, arguments);
    va_end(arguments);
    WriteLogLine(owner_tag, message);
}

void LibraryLogger::DumpReceived(const char* data, std::size_t size) const
{
    if (!config.active || !config.raw_dump || !files)
        return;
    std::lock_guard<std::mutex> lock(files->mutex);
    if (files->dump_file != nullptr)
        std::fwrite(data, 1, size, files->dump_file);
}

void LibraryLogger::Close()
{
    if (!config.active || !files)
        return;
    std::lock_guard<std::mutex> lock(files->mutex);
    if (config.file_sink && files->log_file.is_open())
        files->log_file.close();
    if (config.raw_dump && files->dump_file != nullptr) {
        std::fclose(files->dump_file);
        files->dump_file = nullptr;
    }
}
