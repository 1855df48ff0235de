// The exported GenTL functions: each passes its arguments unchanged to the
// same operation of the installed service, and answers without one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLSrv.h"
#include "ModuleTreeFixture.h"

namespace {

#define EXPORTS_TEST_NAME(name, params, args) #name,
const std::vector<std::string> FUNCTION_NAMES = {GENTL_FUNCTION_LIST(EXPORTS_TEST_NAME)};
#undef EXPORTS_TEST_NAME

// Each export's answer: 1000 + its slot in the list.
GC_ERROR AnswerOf(const std::string& name)
{
    const auto slot = std::find(FUNCTION_NAMES.begin(), FUNCTION_NAMES.end(), name);
    return static_cast<GC_ERROR>(1000 + (slot - FUNCTION_NAMES.begin()));
}

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

// Records which operation ran with which arguments, or throws when asked to.
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
        if (to_throw == Throw::OUT_OF_MEMORY) throw std::bad_alloc();
        if (to_throw == Throw::OTHER) throw std::runtime_error("unexpected");
        return AnswerOf(name);
    }
};

template <class... Args, size_t... POSITION>
GC_ERROR CallWithDistinct(GC_ERROR (*function)(Args...), std::vector<uint64_t>& passed,
                          std::index_sequence<POSITION...>)
{
    passed = {AsNumber(Distinct<Args>(POSITION))...};
    return function(Distinct<Args>(POSITION)...);
}
template <class... Args>
GC_ERROR CallWithDistinct(GC_ERROR (*function)(Args...), std::vector<uint64_t>& passed)
{
    return CallWithDistinct(function, passed, std::index_sequence_for<Args...>());
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
    std::vector<uint64_t> passed;
};

TEST_F(ExportForwardingTest, EveryExportReachesItsOperationWithItsArgumentsInOrder)
{
#define EXPORTS_TEST_FORWARD(name, params, args)                       \
    EXPECT_EQ(AnswerOf(#name), CallWithDistinct(&::name, passed)); \
    EXPECT_EQ(#name, service.called);                                  \
    EXPECT_EQ(passed, service.arguments) << #name;
    GENTL_FUNCTION_LIST(EXPORTS_TEST_FORWARD)
#undef EXPORTS_TEST_FORWARD
    EXPECT_EQ("No Error", ModuleTest::LastErrorText());
}

// An exception reaching an export is reported with the export's name.
TEST_F(ExportForwardingTest, NoExceptionLeavesTheLibrary)
{
    service.to_throw = RecordingService::Throw::OUT_OF_MEMORY;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, TLOpen(nullptr));
    EXPECT_EQ("TLOpen: out of memory", ModuleTest::LastErrorText());
    service.to_throw = RecordingService::Throw::OTHER;
    EXPECT_EQ(GC_ERR_ERROR, GCCloseLib());
    EXPECT_EQ("GCCloseLib: unexpected internal error", ModuleTest::LastErrorText());
}

// Start-up failed: no service behind the exports.
TEST_F(ExportForwardingTest, WithoutServiceInitLibIsAnErrorAndEveryOtherCallNotInitialized)
{
    GenTLCore::SetExportedService(nullptr);
    TestSupport::AssertionRecorder assertions;
#define EXPORTS_TEST_NO_SERVICE(name, params, args)                                      \
    EXPECT_EQ(std::string(#name) == "GCInitLib" ? GC_ERR_ERROR : GC_ERR_NOT_INITIALIZED, \
              CallWithDistinct(&::name, passed))                                         \
        << #name;
    GENTL_FUNCTION_LIST(EXPORTS_TEST_NO_SERVICE)
#undef EXPORTS_TEST_NO_SERVICE
    EXPECT_EQ(static_cast<size_t>(GENTL_FUNCTION_COUNT), assertions.Count());
    EXPECT_EQ("No Error", ModuleTest::LastErrorText());
}

}  // namespace
