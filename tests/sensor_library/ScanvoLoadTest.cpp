// What loading the .cti does for the sensor library, what it exports, and
// the extended connect, whose connection no handle can end.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "ScanvoLoader.h"
#include "TestLogging.h"
#include "gentl_core/GenTLFunctionList.h"
#include "support/SimulatedSensor.h"

namespace fs = std::filesystem;

namespace {

// Demangled dynamic symbols the .cti defines, as nm shows them:
// "<address> <type> <name>".
std::set<std::string> ExportedSymbols()
{
    std::set<std::string> names;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen("nm -D --defined-only --demangle '" GENTESK_CTI_PATH "'", "r"), &pclose);
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        const std::string text(line);
        const std::size_t name_at = text.find(' ', text.find(' ') + 1) + 1;
        if (name_at != 0 && name_at < text.size())
            names.insert(text.substr(name_at, text.find_last_not_of('\n') + 1 - name_at));
    }
    return names;
}

TEST(ScanvoExportsTest, OnlyTheCInterfacesTheFacadeClassAndTheEventFunctionsLeave)
{
    const std::set<std::string> symbols = ExportedSymbols();
    ASSERT_FALSE(symbols.empty());
#define SCANVO_EXPORTS_NAME(name, ...) #name,
    std::set<std::string> expected_functions = {GENTL_FUNCTION_LIST(SCANVO_EXPORTS_NAME)
                                                    SCANVO_FUNCTION_NAMES(SCANVO_EXPORTS_NAME)};
#undef SCANVO_EXPORTS_NAME
    const std::set<std::string> linker = {"_init", "_fini", "__bss_start", "_edata", "_end"};
    std::set<std::string> functions, events;
    for (const std::string& symbol : symbols) {
        if (symbol.find_first_of(" :(") == std::string::npos) {
            if (linker.count(symbol) == 0)
                functions.insert(symbol);
            continue;
        }
        const std::size_t for_at = symbol.rfind(" for ");
        const std::string entity = symbol.substr(for_at == std::string::npos ? 0 : for_at + 5);
        EXPECT_TRUE(entity.rfind("ScanvoDLL", 0) == 0 || entity.rfind("ISensor", 0) == 0 ||
                    entity.rfind("neosmart::", 0) == 0)
            << symbol;
        if (entity.rfind("neosmart::", 0) == 0)
            events.insert(entity.substr(10, entity.find('(') - 10));
    }
    EXPECT_EQ(84u, expected_functions.size());
    EXPECT_EQ(expected_functions, functions);
    EXPECT_EQ((std::set<std::string>{"CreateEventW", "DestroyEvent", "ResetEvent", "SetEvent", "WaitForEvent"}), events);
    EXPECT_EQ(1u, symbols.count("ScanvoDLL::ScanvoDLL(ScanvoDLL const&)"));
    EXPECT_EQ(1u, symbols.count("vtable for ScanvoDLL"));
}

// The first load of the process: it writes the default log configuration
// and starts no thread; the extended connect then opens a sensor.
TEST(ScanvoLoadTest, LoadsWithoutAThreadAndConnectExOpensTheSensorThoughItGivesNoHandleBack)
{
    ScopedAppData app;
    const auto threads = [] {
        const fs::directory_iterator tasks("/proc/self/task");
        return std::distance(fs::begin(tasks), fs::end(tasks));
    };
    const auto threads_before = threads();
    ScanvoLoader cti(GENTESK_CTI_PATH);
    ASSERT_TRUE(cti.IsComplete()) << cti.Error();
    EXPECT_EQ(threads_before, threads());
    EXPECT_TRUE(fs::exists(app.ConfigFolder() / "log_config.txt"));
    TestSupport::SimulatedSensor sensor(TestSupport::SimulatedSensor::Options{"127.0.0.2"});
    std::string ip = sensor.Ip(), port = sensor.PortText();
    cti->Scanvo_ConnectEx(nullptr, ip.data(), port.data(), 0);
    EXPECT_TRUE(sensor.WaitForCommand("SetInitializeAcquisition"));
}

}  // namespace
