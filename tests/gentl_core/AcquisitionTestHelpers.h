// AcquisitionTestHelpers.h: the branding, last-error reader, typed info
// reader and scripted steps shared by the buffer, data stream and local
// device tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/SmartPointers.h"

namespace AcquisitionTest {

// The switches the acquisition engine asks of the branding. Install it
// before the code under test runs; the answers must not change afterwards.
class AcquisitionBranding : public GenTLCore::DefaultBranding {
public:
    bool multi_part_aware = true;
    bool composite_buffer_aware = false;
    bool buffer_changes_during_acquisition = false;
    bool stop_without_start_allowed = false;
    uint64_t default_aux_buffer_count = 0;

    // clang-format off
    std::string TLType() const override { return "TestTL"; }
    std::string UniqueIDPrefix() const override { return "Acq"; }
    bool MultiPartAware() const override { return multi_part_aware; }
    bool CompositeBufferAware() const override { return composite_buffer_aware; }
    bool BufferChangesDuringAcquisition() const override { return buffer_changes_during_acquisition; }
    bool StopWithoutStartAllowed() const override { return stop_without_start_allowed; }
    uint64_t DefaultAuxBufferCount() const override { return default_aux_buffer_count; }
    std::vector<std::string> AlternativeStreamIDKeys() const override { return {"slot"}; }
    std::string DataStreamDescription() const override { return "<RegisterDescription/>"; }
    std::string DataStreamDescriptionFileName() const override { return "stream.xml"; }
    // clang-format on
};

// Makes a new branding the one in force; adjust it before use.
inline AcquisitionBranding& InstallAcquisitionBranding()
{
    auto* branding = new AcquisitionBranding;
    GenTLCore::BrandingControl::Instance()->Initialize(
        GenTLCore::SharedPtr<GenTLCore::GenTLBranding>(branding));
    return *branding;
}

inline GenTLCore::LastErrorRecord LastError()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record;
}

// One typed answer of an info query: the result code, the data type and
// the value's bytes.
template <class T>
struct InfoAnswer {
    GC_ERROR result = GC_ERR_ERROR;
    INFO_DATATYPE type = -1;
    T value{};
};

// Runs `query(type, buffer, size)` into a T-sized buffer.
template <class T, class Query>
InfoAnswer<T> Ask(Query query)
{
    InfoAnswer<T> answer;
    size_t size = sizeof(T);
    answer.result = query(&answer.type, &answer.value, &size);
    return answer;
}

// One step of a scripted test: what it does and the value or values it
// must give.
using Values = std::vector<int64_t>;
struct Step {
    Step(const char* what, std::function<int64_t()> run, int64_t expected)
        : what(what), run([run] { return Values{run()}; }), expected{expected}
    {
    }
    Step(const char* what, std::function<Values()> run, Values expected)
        : what(what), run(std::move(run)), expected(std::move(expected))
    {
    }
    const char* what;
    std::function<Values()> run;
    Values expected;
};
// Runs the steps in order; a failure names its step.
inline void RunSteps(const std::vector<Step>& steps)
{
    for (const Step& step : steps) EXPECT_EQ(step.run(), step.expected) << step.what;
}

}  // namespace AcquisitionTest
