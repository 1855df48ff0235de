// GetModulePath: the absolute path of the file a piece of code was loaded from.
#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <string>

#include "platform/ModulePath.h"

namespace {

int FunctionInThisExecutable()
{
    return 1;
}

TEST(ModulePathTest, FindsTheExecutableOrTheSharedLibraryOfTheCodeOrNothing)
{
    EXPECT_EQ(std::filesystem::canonical("/proc/self/exe").string(),
              Platform::GetModulePath(&FunctionInThisExecutable));
    // std::terminate's code lives in the shared C++ runtime, not in the executable.
    const std::filesystem::path runtime = Platform::GetModulePath(&std::terminate);
    EXPECT_TRUE(runtime.is_absolute()) << runtime;
    EXPECT_NE(std::string::npos, runtime.filename().string().find("libstdc++")) << runtime;
    EXPECT_TRUE(std::filesystem::is_regular_file(runtime)) << runtime;
    EXPECT_EQ("", Platform::GetModulePath(static_cast<const void*>(nullptr)));
}

}  // namespace
