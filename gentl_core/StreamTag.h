// StreamTag.h: the identity of one data stream of a device.
#pragma once

#include <string>

namespace GenTLCore {

// Implemented by the transport layer; held by SharedPtr in the data stream
// made from it. Its answers never change.
//
// Threads: read by the data stream under the stream's lock.
class StreamTag {
public:
    StreamTag() = default;
    StreamTag(const StreamTag&) = delete;
    StreamTag& operator=(const StreamTag&) = delete;
    virtual ~StreamTag() = default;

    virtual std::string GetDeviceID() const = 0;
    // The stream's ID suffix within its device.
    virtual std::string GetStreamID() const = 0;
    virtual std::string GetDisplayName() const = 0;
    virtual bool MatchesAlternativeID(const std::string& key, const std::string& value) const = 0;
};

}  // namespace GenTLCore
