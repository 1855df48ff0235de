// Feature-change and feature-invalidate events: the texts EventGetData
// delivers and what EventGetDataInfo answers for them, or refuses.
#include "gentl_core/GenTLFeatureEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EventTestHelpers.h"

namespace GenTLCore {
namespace {

using Bytes = std::vector<uint8_t>;
using EventTestHelpers::LastErrorText;
using EventTestHelpers::Registered;
using EventTestHelpers::TakeDatum;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// One row: an EventGetDataInfo call and its answer (a text, or the error's
// last-error message).
struct InfoRow {
    const char* name;
    Bytes datum;
    EVENT_DATA_INFO_CMD command;
    GC_ERROR result;
    std::string answer;
};

void CheckInfoRows(GenTLEvent& event, const std::vector<InfoRow>& rows)
{
    for (const InfoRow& row : rows) {
        SCOPED_TRACE(row.name);
        char text[80] = {};
        INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
        size_t size = sizeof text;
        const GC_ERROR result = event.GetEventDataInfo(row.datum.empty() ? nullptr : row.datum.data(),
                                                       row.datum.size(), row.command, &type, text, &size);
        EXPECT_EQ(row.result, result);
        EXPECT_EQ(row.answer, result == GC_ERR_SUCCESS ? std::string(text) : LastErrorText());
    }
}

const std::string NULL_BUFFER = "GetEventDataInfo: null event buffer passed";
const std::string CORRUPTED = "GetEventDataInfo: corrupted event buffer passed";
const std::string UNKNOWN = "GetEventDataInfo: unknown event data info command requested";
const std::string LONG_NAME(64, 'N');  // its NUL would lie beyond 64 bytes

TEST(FeatureChangeEventTest, DeliversNameAndValueAndReadsThemBack)
{
    Registered<GenTLFeatureChangeEvent> event;
    ASSERT_TRUE(event->AddEvent("Gain", "12"));
    EXPECT_FALSE(event->AddEvent(LONG_NAME, "1"));
    EXPECT_FALSE(event->AddEvent("Gain", LONG_NAME));
    const Bytes datum = TakeDatum(*event, 0).bytes;
    EXPECT_EQ(BytesOf(std::string("Gain\0" "12\0", 8)), datum);
    EXPECT_EQ(GC_ERR_TIMEOUT, TakeDatum(*event, 0).result);  // the long ones were not queued

    CheckInfoRows(*event, {
        {"name", datum, EVENT_DATA_ID, GC_ERR_SUCCESS, "Gain"},
        {"value", datum, EVENT_DATA_VALUE, GC_ERR_SUCCESS, "12"},
        {"numeric ID", datum, EVENT_DATA_NUMID, GC_ERR_NOT_AVAILABLE,
         "GetEventDataInfo: feature change event ID has no numeric representation"},
        {"unknown command", datum, 7, GC_ERR_NOT_IMPLEMENTED, UNKNOWN},
        {"null buffer", {}, EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, NULL_BUFFER},
        {"value without its NUL", BytesOf(std::string("Gain\0" "12", 7)), EVENT_DATA_ID,
         GC_ERR_INVALID_PARAMETER, CORRUPTED},
        {"name without a NUL in 64 bytes", BytesOf(LONG_NAME + std::string("\0" "1\0", 3)),
         EVENT_DATA_VALUE, GC_ERR_INVALID_PARAMETER, CORRUPTED},
    });
}

TEST(FeatureInvalidateEventTest, DeliversTheNameAndHasNoValue)
{
    Registered<GenTLFeatureInvalidateEvent> event;
    ASSERT_TRUE(event->AddEvent("ExposureTime"));
    EXPECT_FALSE(event->AddEvent(LONG_NAME));
    const Bytes datum = TakeDatum(*event, 0).bytes;
    EXPECT_EQ(BytesOf(std::string("ExposureTime\0", 13)), datum);

    CheckInfoRows(*event, {
        {"name", datum, EVENT_DATA_ID, GC_ERR_SUCCESS, "ExposureTime"},
        {"value", datum, EVENT_DATA_VALUE, GC_ERR_NOT_AVAILABLE,
         "GetEventDataInfo: feature invalidate event carries no value, just the ID"},
        {"numeric ID", datum, EVENT_DATA_NUMID, GC_ERR_NOT_AVAILABLE,
         "GetEventDataInfo: feature invalidate event ID has no numeric representation"},
        {"unknown command", datum, 7, GC_ERR_NOT_IMPLEMENTED, UNKNOWN},
        {"null buffer", {}, EVENT_DATA_ID, GC_ERR_INVALID_PARAMETER, NULL_BUFFER},
        {"name without a NUL in 64 bytes", BytesOf(LONG_NAME), EVENT_DATA_ID,
         GC_ERR_INVALID_PARAMETER, CORRUPTED},
    });
}

}  // namespace
}  // namespace GenTLCore
