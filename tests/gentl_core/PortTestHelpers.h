// PortTestHelpers.h: the calling thread's last error and the get-info
// answers of ports, as bytes, for the port, module and remote-device tests.
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

inline Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

}  // namespace PortTestHelpers
