// What the built .cti exports: the 64 GenTL functions, the sensor library's
// C interface (checked in full by its own tests) and nothing internal.
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "gentl_core/GenTLFunctionList.h"

namespace {

// Symbols the linker itself defines in every shared library.
const std::set<std::string> LINKER_SYMBOLS = {"_init", "_fini", "__bss_start", "_edata", "_end"};

// Our namespaces: nothing defined in them may leave the library. (A standard
// template instantiated over one of our types is the compiler's, not ours.)
const char* const OUR_NAMESPACES[] = {"GenTLCore::", "Platform::", "TestSupport::"};

// What a demangled symbol names, without "vtable for " and the like.
std::string DefinedEntity(std::string readable)
{
    for (const char* prefix : {"typeinfo name for ", "typeinfo for ", "vtable for ",
                               "VTT for ", "guard variable for "}) {
        if (readable.rfind(prefix, 0) == 0)
            return readable.substr(std::string(prefix).size());
    }
    return readable;
}

std::set<std::string> DefinedDynamicSymbols(const std::string& path)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    if (!pipe)
        return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            names.insert(name);
    }
    return names;
}

std::string Demangle(const std::string& name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : name;
}

TEST(ExportsTest, ExactlyTheGenTLFunctionsAndNoInternalsAreExported)
{
    const std::set<std::string> symbols = DefinedDynamicSymbols(GENTESK_CTI_PATH);
    ASSERT_FALSE(symbols.empty()) << "nm found nothing in " << GENTESK_CTI_PATH;

#define EXPORTS_TEST_NAME(name, params, args) #name,
    const std::set<std::string> expected = {GENTL_FUNCTION_LIST(EXPORTS_TEST_NAME)};
#undef EXPORTS_TEST_NAME
    std::set<std::string> plain;
    for (const std::string& symbol : symbols) {
        if (symbol.rfind("_Z", 0) == 0) {
            const std::string entity = DefinedEntity(Demangle(symbol));
            for (const char* ours : OUR_NAMESPACES)
                EXPECT_NE(0u, entity.rfind(ours, 0)) << entity;
        } else if (LINKER_SYMBOLS.count(symbol) == 0 && symbol.rfind("Scanvo_", 0) != 0) {
            plain.insert(symbol);
        }
    }
    EXPECT_EQ(expected, plain);
}

}  // namespace
