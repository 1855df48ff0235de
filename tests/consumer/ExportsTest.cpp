// What the built .cti exports: the 64 GenTL functions, the sensor library's
// C interface (checked in full by its own tests) and nothing internal.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "gentl_core/GenTLFunctionList.h"

namespace {

// What a demangled symbol names, without "vtable for " and the like.
std::string DefinedEntity(const std::string& symbol)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(
        abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status), &std::free);
    const std::string readable = status == 0 && text ? std::string(text.get()) : symbol;
    for (const char* prefix : {"typeinfo name for ", "typeinfo for ", "vtable for ", "VTT for ",
                               "guard variable for "}) {
        if (readable.rfind(prefix, 0) == 0) return readable.substr(std::string(prefix).size());
    }
    return readable;
}

TEST(ExportsTest, ExactlyTheGenTLFunctionsAndNoInternalsAreExported)
{
    const std::string path = GENTESK_CTI_PATH;
    const std::string command = "nm -D --defined-only '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    ASSERT_TRUE(pipe);
#define EXPORTS_TEST_NAME(name, params, args) #name,
    const std::set<std::string> expected = {GENTL_FUNCTION_LIST(EXPORTS_TEST_NAME)};
#undef EXPORTS_TEST_NAME
    // The linker's own symbols are in every shared library.
    const std::set<std::string> linker = {"_init", "_fini", "__bss_start", "_edata", "_end"};
    std::set<std::string> plain;
    char address[64], type[8], name[4096];
    while (std::fscanf(pipe.get(), "%63s %7s %4095s", address, type, name) == 3) {
        const std::string symbol = name;
        if (symbol.rfind("_Z", 0) == 0) {
            // A standard template instantiated over one of our types is the
            // compiler's, not ours; nothing defined in our namespaces may leave.
            const std::string entity = DefinedEntity(symbol);
            for (const char* ours : {"GenTLCore::", "Platform::", "TestSupport::"})
                EXPECT_NE(0u, entity.rfind(ours, 0)) << entity;
        } else if (linker.count(symbol) == 0 && symbol.rfind("Scanvo_", 0) != 0) {
            plain.insert(symbol);
        }
    }
    EXPECT_EQ(expected, plain);
}

}  // namespace
