// GenTLFeatureEvent.h: the events that tell a consumer a feature's value
// changed or its cached value is no longer valid.
#pragma once

#include <cstddef>
#include <string>

#include "gentl_core/GenTLEvent.h"

namespace GenTLCore {

struct FeatureChangeEventData_ {
    std::string ftr_name;
    std::string value;
};

// Delivers the feature name, NUL, the new value, NUL.
//
// Created by a module that reports feature changes; threads and lifetime as
// GenTLEventImpl.
class GenTLFeatureChangeEvent : public GenTLEventImpl<FeatureChangeEventData_> {
public:
    static constexpr size_t MAX_FEATURE_CHANGE_EVENT_SIZE = 128;
    // Name and value each end with their NUL within this many bytes.
    static constexpr size_t MAX_TEXT_SIZE = 64;

    GenTLFeatureChangeEvent() = default;

    // False (logged) for a name or value too long to be read back.
    bool AddEvent(const std::string& feature_name, const std::string& value);

    GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                              EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size) override;
    EVENT_TYPE GetEventType() const override { return EVENT_FEATURE_CHANGE; }

protected:
    size_t GetMaxEventSize() const override { return MAX_FEATURE_CHANGE_EVENT_SIZE; }
    size_t GetMaxInfoDataSize() const override { return MAX_TEXT_SIZE; }
    GC_ERROR CopyOutEventData(const FeatureChangeEventData_& datum, void* buffer,
                              size_t* size) override;
};

struct FeatureInvalidateEventData_ {
    std::string ftr_name;
};

// Delivers the feature name and its NUL.
//
// Created by a module that reports invalidated features; threads and
// lifetime as GenTLEventImpl.
class GenTLFeatureInvalidateEvent : public GenTLEventImpl<FeatureInvalidateEventData_> {
public:
    static constexpr size_t MAX_FEATURE_INVALIDATE_EVENT_SIZE = 64;

    GenTLFeatureInvalidateEvent() = default;

    // False (logged) for a name too long to be read back.
    bool AddEvent(const std::string& feature_name);

    GC_ERROR GetEventDataInfo(const void* event_buffer, size_t event_size,
                              EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                              size_t* size) override;
    EVENT_TYPE GetEventType() const override { return EVENT_FEATURE_INVALIDATE; }

protected:
    size_t GetMaxEventSize() const override { return MAX_FEATURE_INVALIDATE_EVENT_SIZE; }
    size_t GetMaxInfoDataSize() const override { return 0; }
    GC_ERROR CopyOutEventData(const FeatureInvalidateEventData_& datum, void* buffer,
                              size_t* size) override;
};

}  // namespace GenTLCore
