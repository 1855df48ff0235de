// The exported GenTL functions: each passes its arguments unchanged to the
// same operation of the installed service, and answers without one.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "GenTL.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLSrv.h"

using TestSupport::AssertionRecorder;

namespace {

#define EXPORTS_TEST_NAME(name, params, args) #name,
const std::vector<std::string> FUNCTION_NAMES = {GENTL_FUNCTION_LIST(EXPORTS_TEST_NAME)};
#undef EXPORTS_TEST_NAME

template <class T>
uint64_t AsNumber(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(value);
    else
        return static_cast<uint64_t>(value);
}

// A different, recognisable value for each argument position.
template <class T>
T Distinct(size_t position)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(uintptr_t{0x1000} * (position + 1));
    else
        return static_cast<T>(position + 1);
}

// Records which operation ran with which arguments; answers a code of its own
// per operation (1000 + slot), or throws when asked to.
class RecordingService : public GenTLCore::GenTLSrv {
public:
#define EXPORTS_TEST_RECORD(name, params, args) \
    GC_ERROR name params override               \
    {                                           \
        Record args;                            \
        return Answer(#name);                   \
    }
    GENTL_FUNCTION_LIST(EXPORTS_TEST_RECORD)
#undef EXPORTS_TEST_RECORD

    enum class Throw { NOTHING, OUT_OF_MEMORY, OTHER } to_throw = Throw::NOTHING;
    std::string called;
    std::vector<uint64_t> arguments;

private:
    template <class... Args>
    void Record(Args... values)
    {
        arguments = {AsNumber(values)...};
    }

    GC_ERROR Answer(const std::string& name)
    {
        called = name;
        if (to_throw == Throw::OUT_OF_MEMORY)
            throw std::bad_alloc();
        if (to_throw == Throw::OTHER)
            throw std::runtime_error("unexpected");
        return static_cast<GC_ERROR>(1000 + SlotOf(name));
    }

public:
    static size_t SlotOf(const std::string& name)
    {
        for (size_t slot = 0; slot < FUNCTION_NAMES.size(); ++slot) {
            if (FUNCTION_NAMES[slot] == name)
                return slot;
        }
        return FUNCTION_NAMES.size();
    }
};

template <class... Args, size_t... POSITION>
GC_ERROR CallWithDistinct(GC_ERROR (*function)(Args...), std::index_sequence<POSITION...>,
                          std::vector<uint64_t>& passed)
{
    passed = {AsNumber(Distinct<Args>(POSITION))...};
    return function(Distinct<Args>(POSITION)...);
}

template <class... Args>
GC_ERROR CallWithDistinct(GC_ERROR (*function)(Args...), std::vector<uint64_t>& passed)
{
    return CallWithDistinct(function, std::index_sequence_for<Args...>(), passed);
}

GenTLCore::LastErrorRecord LastError()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record;
}

class ExportForwardingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GenTLCore::TLSControl::Instance()->ResetAllLastErrors();
        GenTLCore::SetExportedService(&service);
    }
    void TearDown() override { GenTLCore::SetExportedService(nullptr); }

    RecordingService service;
};

TEST_F(ExportForwardingTest, EveryExportReachesItsOperationWithItsArgumentsInOrder)
{
    std::vector<uint64_t> passed;
#define EXPORTS_TEST_FORWARD(name, params, args)                                            \
    EXPECT_EQ(static_cast<GC_ERROR>(1000 + RecordingService::SlotOf(#name)),                \
              CallWithDistinct(&::name, passed));                                           \
    EXPECT_EQ(#name, service.called);                                                       \
    EXPECT_EQ(passed, service.arguments) << #name;
    GENTL_FUNCTION_LIST(EXPORTS_TEST_FORWARD)
#undef EXPORTS_TEST_FORWARD
    EXPECT_EQ(0, LastError().code);
}

TEST_F(ExportForwardingTest, NoExceptionLeavesTheLibrary)
{
    service.to_throw = RecordingService::Throw::OUT_OF_MEMORY;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, GCInitLib());
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, TLOpen(nullptr));
    service.to_throw = RecordingService::Throw::OTHER;
    EXPECT_EQ(GC_ERR_ERROR, GCCloseLib());
}

// Start-up failed: no service behind the exports.
TEST_F(ExportForwardingTest, WithoutServiceInitLibIsAnErrorAndEveryOtherCallNotInitialized)
{
    GenTLCore::SetExportedService(nullptr);
    AssertionRecorder assertions;
    std::vector<uint64_t> passed;
#define EXPORTS_TEST_NO_SERVICE(name, params, args)                                              \
    EXPECT_EQ(std::string(#name) == "GCInitLib" ? GC_ERR_ERROR : GC_ERR_NOT_INITIALIZED,         \
              CallWithDistinct(&::name, passed))                                                 \
        << #name;
    GENTL_FUNCTION_LIST(EXPORTS_TEST_NO_SERVICE)
#undef EXPORTS_TEST_NO_SERVICE
    EXPECT_EQ(static_cast<size_t>(GENTL_FUNCTION_COUNT), assertions.Count());
    EXPECT_EQ(0, LastError().code);
    EXPECT_EQ("No Error", LastError().text);
}

}  // namespace
