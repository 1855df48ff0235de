// PortTestHelpers.h: the calling thread's last error, get-info answers as
// bytes and log line counts, for the port, module, register map and event tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "GenTL.h"
#include "TestBranding.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLPort.h"

namespace PortTestHelpers {

using Bytes = std::vector<uint8_t>;

inline std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

// One get-info answer, asked for its size first, then read: `url_index` < 0
// asks GCGetPortInfo, else GCGetPortURLInfo of that URL.
struct InfoAnswer {
    GC_ERROR result = GC_ERR_SUCCESS;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    Bytes bytes;
};
inline InfoAnswer InfoOf(GenTLCore::GenTLPort& port, int32_t command, int url_index = -1)
{
    InfoAnswer answer;
    const auto query = [&](void* buffer, size_t* size) {
        return url_index < 0 ? port.GetPortInfo(command, &answer.type, buffer, size)
                             : port.GetPortURLInfo(url_index, command, &answer.type, buffer, size);
    };
    size_t size = 0;
    if ((answer.result = query(nullptr, &size)) != GC_ERR_SUCCESS) return answer;
    answer.bytes.resize(size);
    answer.result = query(answer.bytes.data(), &size);
    return answer;
}

inline Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}
// A text as a string answer carries it: with its NUL.
inline Bytes TextBytes(const std::string& text)
{
    return BytesOf(text + '\0');
}
template <class T>
Bytes ValueBytes(T value)
{
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// Every PORT_INFO_ID..PORT_INFO_PORTNAME answer against the five names, six
// flags, version and port name expected, strings for the names, BOOL8 for the flags.
inline void ExpectPortInfo(GenTLCore::GenTLPort& port, std::vector<std::string> names, Bytes flags)
{
    for (PORT_INFO_CMD command = PORT_INFO_ID; command <= PORT_INFO_PORTNAME; ++command) {
        const InfoAnswer answer = InfoOf(port, command);
        const bool flag = command >= PORT_INFO_LITTLE_ENDIAN && command <= PORT_INFO_ACCESS_NI;
        EXPECT_EQ(flag ? INFO_DATATYPE_BOOL8 : INFO_DATATYPE_STRING, answer.type) << command;
        const size_t name = command < PORT_INFO_LITTLE_ENDIAN ? command : command - 6;
        EXPECT_EQ(flag ? Bytes{flags[command - PORT_INFO_LITTLE_ENDIAN]} : TextBytes(names[name]),
                  answer.bytes)
            << command;
    }
}

// Reads the port's description document at 0xF0000000 and checks it against
// the branding's text, digest and file name, and against its URL entry.
inline void ExpectServesDocument(GenTLCore::GenTLPort& port, const TestSupport::TestDocument& doc)
{
    Bytes bytes(doc.text.size());
    size_t size = bytes.size();
    ASSERT_EQ(GC_ERR_SUCCESS, port.ReadPort(0xF0000000, bytes.data(), &size));
    EXPECT_EQ(BytesOf(doc.text), bytes);
    std::vector<Bytes> info;
    for (URL_INFO_CMD command = URL_INFO_URL; command <= URL_INFO_FILENAME; ++command)
        info.push_back(InfoOf(port, command, 0).bytes);
    EXPECT_EQ((std::vector<Bytes>{
                  TextBytes(GenTLCore::MakePortURL(doc.file_name, doc.text)), ValueBytes(1),
                  ValueBytes(1), ValueBytes(3), ValueBytes(7), ValueBytes(11),
                  TestSupport::Sha1Of(doc.text), ValueBytes<uint64_t>(0xF0000000),
                  ValueBytes<uint64_t>(bytes.size()), ValueBytes(0), TextBytes(doc.file_name)}),
              info);
}

// How many log lines start with `prefix` and hold every one of `parts`.
inline int CountLines(const std::vector<std::string>& lines, const std::string& prefix,
                      const std::vector<std::string>& parts)
{
    int count = 0;
    for (const std::string& line : lines) {
        bool all = line.rfind(prefix, 0) == 0;
        for (const std::string& part : parts) all = all && line.find(part) != std::string::npos;
        count += all ? 1 : 0;
    }
    return count;
}

}  // namespace PortTestHelpers
