// PortTestHelpers.h: the calling thread's last error, the get-info answers
// of ports as bytes, and log line counts, for the port, module, remote-device
// and register map tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/ErrorHandling.h"

namespace PortTestHelpers {

using Bytes = std::vector<uint8_t>;

inline std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

// One get-info answer: asked for its size first, then read.
struct InfoAnswer {
    GC_ERROR result = GC_ERR_SUCCESS;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    Bytes bytes;
};

// `query(type, buffer, size)` is the info call under test.
template <class Query>
InfoAnswer AskInfo(Query query)
{
    InfoAnswer answer;
    size_t size = 0;
    answer.result = query(&answer.type, nullptr, &size);
    if (answer.result != GC_ERR_SUCCESS) return answer;
    answer.bytes.resize(size);
    answer.result = query(&answer.type, answer.bytes.data(), &size);
    answer.bytes.resize(size);
    return answer;
}

// The answers of any port-like object (port, module, remote device).
template <class Port>
InfoAnswer PortInfoOf(Port& port, PORT_INFO_CMD command)
{
    return AskInfo([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return port.GetPortInfo(command, type, buffer, size);
    });
}
template <class Port>
InfoAnswer URLInfoOf(Port& port, URL_INFO_CMD command)
{
    return AskInfo([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return port.GetPortURLInfo(0, command, type, buffer, size);
    });
}

// A text as a string answer carries it: with its NUL.
inline Bytes TextBytes(const std::string& text)
{
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// The little-endian bytes of a number.
template <class T>
Bytes ValueBytes(T value)
{
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// How many log lines start with `prefix` and hold every one of `parts`.
inline int CountLines(const std::vector<std::string>& lines, const std::string& prefix,
                      const std::vector<std::string>& parts)
{
    int count = 0;
    for (const std::string& line : lines) {
        bool all = line.rfind(prefix, 0) == 0;
        for (const std::string& part : parts)
            all = all && line.find(part) != std::string::npos;
        count += all ? 1 : 0;
    }
    return count;
}

inline Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

}  // namespace PortTestHelpers
