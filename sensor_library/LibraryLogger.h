// LibraryLogger.h: the sensor library's own logger, configured per owner from
// "log_config.txt" in the user's application-data directory.
#pragma once

#include <cstddef>
#include <istream>
#include <memory>
#include <string>

// What "log_config.txt" asks for.
struct LogConfig {
    bool active = false;
    bool console_sink = false;
    bool file_sink = false;
    bool raw_dump = false;
    std::string file_path;  // folder of the log and dump files
};

// One owner's logger state: the facade, each connection, and each transport
// (which holds a copy of its connection's state with its own tag).
//
// Lifetime: the configuration is read once, by ConfigureLogging; copies share
// the open files, which close with the last copy or with Close().
// Threads: every const member may be called from any thread at once; a line
// is formatted locally and written whole under the files' own lock.
class LibraryLogger {
public:
    static constexpr std::size_t MAX_LINE = 1024;

    // All sinks off.
    LibraryLogger() = default;

    // Reads the configuration (writing the default file when it is missing)
    // and opens the files it asks for. `name` (a sensor's IP address text, or
    // empty for the facade) gives the file name suffix; `owner_tag` is the
    // tag of this owner's lines and, when empty, rules out the raw-data dump.
    static LibraryLogger ConfigureLogging(const std::string& name, const std::string& owner_tag);

    // "<app data>/dorvane/Tesk3D SDK"; empty when no app data directory is known.
    static std::string ConfigFolder();
    // Applies the lines of a configuration file to `config`.
    static void ParseConfig(std::istream& lines, LogConfig& config);
    // "_a_b_c_d" for "a.b.c.d"; empty for an empty name.
    static std::string NameSuffix(const std::string& name);
    // The line as written: "[tag] yyyy mm dd hh mm ss mmm message", at most
    // MAX_LINE - 1 characters before the newline, "%%" written as "%".
    static std::string FormatLine(const std::string& tag, const char* message);

    // A copy that shares the files and writes its lines with another tag.
    LibraryLogger WithTag(const std::string& tag) const;

    bool IsActive() const { return config.active; }
    const LogConfig& Config() const { return config; }
    const std::string& Tag() const { return owner_tag; }

    // Nothing when the message is null or logging is off.
    void WriteLogLine(const std::string& tag, const char* message) const;
    void Info(const char* message) const { WriteLogLine("INFO", message); }
    void Error(const char* message) const { WriteLogLine("ERROR", message); }
    void Write(const std::string& tag, const char* message) const { WriteLogLine(tag, message); }
    // A line with this owner's tag.
    void Log(const std::string& message) const { WriteLogLine(owner_tag, message.c_str()); }
    // printf-style line with this owner's tag; formats only when logging is on.
    void Printf(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    // Appends received bytes to the raw-data dump, when it is on.
    void DumpReceived(const char* data, std::size_t size) const;

    void Close();

private:
    struct Files;

    void OpenLogFile(const std::string& folder, const std::string& suffix);
    void OpenDumpFile(const std::string& folder, const std::string& suffix);
    void EnsureLogFolder();

    LogConfig config;
    std::string owner_tag;
    std::shared_ptr<Files> files;
};
