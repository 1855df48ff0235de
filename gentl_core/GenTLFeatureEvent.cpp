// GenTLFeatureEvent.cpp: feature-change and feature-invalidate data, as
// EventGetData writes them and EventGetDataInfo reads them back.
#include "gentl_core/GenTLFeatureEvent.h"

#include <algorithm>
#include <string_view>

#include "gentl_core/ErrorHandling.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace {

using namespace EventAnswers;

constexpr size_t MAX_TEXT_SIZE = GenTLFeatureChangeEvent::MAX_TEXT_SIZE;

// The text at `begin` up to its NUL, which must lie within the first
// MAX_TEXT_SIZE bytes before `end`. False when it does not.
bool ReadText(const char* begin, const char* end, std::string_view& text)
{
    const char* limit = begin + std::min<size_t>(static_cast<size_t>(end - begin), MAX_TEXT_SIZE);
    const char* nul = std::find(begin, limit, '\0');
    if (nul == limit) return false;
    text = std::string_view(begin, static_cast<size_t>(nul - begin));
    return true;
}

bool Rejected(const char* what)
{
    TL_LOG(LOG_CATEGORY_EVENT, LOG_LEVEL_ERROR) << "Rejected invalid " << what << " event";
    return false;
}

}  // namespace

// ---- GenTLFeatureChangeEvent ----

bool GenTLFeatureChangeEvent::AddEvent(const std::string& feature_name, const std::string& value)
{
    if (feature_name.size() >= MAX_TEXT_SIZE || value.size() >= MAX_TEXT_SIZE)
        return Rejected("feature change");
    return Push(FeatureChangeEventData_{feature_name, value});
}

GC_ERROR GenTLFeatureChangeEvent::CopyOutEventData(const FeatureChangeEventData_& datum,
                                                   void* buffer, size_t* size)
{
    TL_ASSERT_MSG(datum.ftr_name.size() + datum.value.size() + 2 <= MAX_FEATURE_CHANGE_EVENT_SIZE,
                  "evt_data.ftr_name.size() + evt_data.value.size() + 2 <= max_event_size");
    std::string packed = datum.ftr_name;
    packed.push_back('\0');
    packed += datum.value;
    packed.push_back('\0');
    return CopyOutBytes(packed.data(), packed.size(), buffer, size);
}

GC_ERROR GenTLFeatureChangeEvent::GetEventDataInfo(const void* event_buffer, size_t event_size,
                                                   EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type,
                                                   void* buffer, size_t* size)
{
    if (event_buffer == nullptr) return NullEventBuffer();
    if (event_size == 0) return InvalidEventBuffer();
    const char* begin = static_cast<const char*>(event_buffer);
    const char* end = begin + event_size;
    std::string_view name;
    std::string_view value;
    if (event_size > MAX_FEATURE_CHANGE_EVENT_SIZE || !ReadText(begin, end, name) ||
        !ReadText(name.data() + name.size() + 1, end, value))
        return CorruptedEventBuffer();
    switch (command) {
        case EVENT_DATA_ID:
            return CopyInfoString(name, type, buffer, size);
        case EVENT_DATA_VALUE:
            return CopyInfoString(value, type, buffer, size);
        case EVENT_DATA_NUMID:
            return ReportError(GC_ERR_NOT_AVAILABLE,
                               "GetEventDataInfo: feature change event ID has no numeric "
                               "representation");
        default:
            return UnknownDataInfoCommand();
    }
}

// ---- GenTLFeatureInvalidateEvent ----

bool GenTLFeatureInvalidateEvent::AddEvent(const std::string& feature_name)
{
    if (feature_name.size() >= MAX_FEATURE_INVALIDATE_EVENT_SIZE)
        return Rejected("feature invalidate");
    return Push(FeatureInvalidateEventData_{feature_name});
}

GC_ERROR GenTLFeatureInvalidateEvent::CopyOutEventData(const FeatureInvalidateEventData_& datum,
                                                       void* buffer, size_t* size)
{
    TL_ASSERT_MSG(datum.ftr_name.size() < MAX_FEATURE_INVALIDATE_EVENT_SIZE,
                  "evt_data.ftr_name.size() < max_event_size");
    return CopyOutBytes(datum.ftr_name.c_str(), datum.ftr_name.size() + 1, buffer, size);
}

GC_ERROR GenTLFeatureInvalidateEvent::GetEventDataInfo(const void* event_buffer, size_t event_size,
                                                       EVENT_DATA_INFO_CMD command,
                                                       INFO_DATATYPE* type, void* buffer,
                                                       size_t* size)
{
    if (event_buffer == nullptr) return NullEventBuffer();
    if (event_size == 0) return InvalidEventBuffer();
    switch (command) {
        case EVENT_DATA_ID:
            break;
        case EVENT_DATA_VALUE:
            return ReportError(GC_ERR_NOT_AVAILABLE,
                               "GetEventDataInfo: feature invalidate event carries no value, "
                               "just the ID");
        case EVENT_DATA_NUMID:
            return ReportError(GC_ERR_NOT_AVAILABLE,
                               "GetEventDataInfo: feature invalidate event ID has no numeric "
                               "representation");
        default:
            return UnknownDataInfoCommand();
    }
    const char* begin = static_cast<const char*>(event_buffer);
    std::string_view name;
    if (event_size > MAX_FEATURE_INVALIDATE_EVENT_SIZE ||
        !ReadText(begin, begin + event_size, name))
        return CorruptedEventBuffer();
    return CopyInfoString(name, type, buffer, size);
}

}  // namespace GenTLCore
