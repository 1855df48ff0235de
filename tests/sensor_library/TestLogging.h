// TestLogging.h: a private application-data folder per test, so the
// library's "log_config.txt" is the test's own, and a capture of the debug
// output the library writes its console lines to.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/DebugOutput.h"

class ScopedAppData {
public:
    ScopedAppData()
        : folder(std::filesystem::temp_directory_path() /
                 ("sensor1-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        ::setenv("APPDATA", folder.c_str(), 1);
    }
    ~ScopedAppData() { std::filesystem::remove_all(folder); }

    std::filesystem::path ConfigFolder() const { return folder / "dorvane" / "Tesk3D SDK"; }
    void WriteConfig(const std::string& text) const
    {
        std::filesystem::create_directories(ConfigFolder());
        std::ofstream(ConfigFolder() / "log_config.txt", std::ios::binary) << text;
    }

    const std::filesystem::path folder;
};

class DebugCapture {
public:
    DebugCapture() : previous(Platform::SetDebugOutputHookForTest(&Hook)) { Text(true); }
    ~DebugCapture() { Platform::SetDebugOutputHookForTest(previous); }

    // What was captured (and forgotten when `clear`).
    static std::string Text(bool clear = false)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return clear ? std::exchange(text, std::string()) : text;
    }

    static std::size_t Count(const std::string& part)
    {
        const std::string all = Text();
        std::size_t count = 0;
        for (std::size_t at = all.find(part); at != std::string::npos; at = all.find(part, at + 1)) ++count;
        return count;
    }

private:
    static void Hook(const char* data, std::size_t length)
    {
        std::lock_guard<std::mutex> lock(mutex);
        text.append(data, length);
    }

    static inline std::mutex mutex;
    static inline std::string text;
    const Platform::DebugOutputHook previous;
};
