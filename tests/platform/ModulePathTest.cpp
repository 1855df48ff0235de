#include <gtest/gtest.h>

#include <filesystem>
#include <exception>
#include <string>

#include "platform/ModulePath.h"

namespace {

int FunctionInThisExecutable()
{
    return 1;
}

// GetModulePath: the file a piece of code was loaded from.
TEST(ModulePathTest, FindsTheTestExecutableByAbsolutePath)
{
    const std::string path = Platform::GetModulePath(&FunctionInThisExecutable);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
    EXPECT_EQ(std::filesystem::canonical("/proc/self/exe").string(), path);
}

TEST(ModulePathTest, FindsTheSharedLibraryOfItsCode)
{
    // std::terminate's code lives in the shared C++ runtime, not in the executable.
    const std::string path = Platform::GetModulePath(&std::terminate);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
    EXPECT_NE(std::string::npos, std::filesystem::path(path).filename().string().find("libstdc++"))
        << path;
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
}

TEST(ModulePathTest, AddressOutsideEveryModuleGivesEmptyPath)
{
    EXPECT_EQ("", Platform::GetModulePath(static_cast<const void*>(nullptr)));
}

}  // namespace
