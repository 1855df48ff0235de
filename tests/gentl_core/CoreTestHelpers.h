// CoreTestHelpers.h: the calling thread's last error, answers as bytes,
// port info and registered events seen as a consumer sees them, for the
// port, module, register map, info and event tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLEvent.h"
#include "gentl_core/GenTLPort.h"

namespace CoreTestHelpers {

using Bytes = std::vector<uint8_t>;

inline std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

// clang-format off
inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }
// A text as a string answer carries it: with its NUL.
inline Bytes TextBytes(const std::string& text) { return BytesOf(text + '\0'); }
template <class T> Bytes ValueBytes(T value) { Bytes bytes(sizeof value); std::memcpy(bytes.data(), &value, sizeof value); return bytes; }
// clang-format on

// A call and what it must answer: its result and, for a failure with a
// text, the calling thread's last error.
struct Call {
    std::function<GC_ERROR()> call;
    GC_ERROR result;
    std::string text = "";
};
inline void ExpectCalls(std::initializer_list<Call> calls)
{
    int step = 0;
    for (const Call& expected : calls) {
        SCOPED_TRACE("step " + std::to_string(step++) + " " + expected.text);
        EXPECT_EQ(expected.result, expected.call());
        EXPECT_EQ(expected.text, expected.text.empty() ? "" : LastErrorText());
    }
}

// One answer, asked for its size first, then read with that size; an
// answer the first query refuses has no bytes.
struct Answer {
    GC_ERROR result = GC_ERR_SUCCESS;
    Bytes bytes;
    INFO_DATATYPE type = -1;
};
template <class Query>
Answer SizedAnswer(Query query)
{
    Answer answer;
    size_t size = 0;
    if ((answer.result = query(&answer.type, nullptr, &size)) != GC_ERR_SUCCESS) return answer;
    answer.bytes.resize(size);
    answer.result = query(&answer.type, answer.bytes.data(), &size);
    return answer;
}
// GCGetPortInfo when `url_index` < 0, else GCGetPortURLInfo of that URL.
inline Answer InfoOf(GenTLCore::GenTLPort& port, int32_t command, int url_index = -1)
{
    return SizedAnswer([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return url_index < 0 ? port.GetPortInfo(command, type, buffer, size)
                             : port.GetPortURLInfo(url_index, command, type, buffer, size);
    });
}

// Every PORT_INFO_ID..PORT_INFO_PORTNAME answer against the five names, six
// flags, version and port name expected, strings for the names, BOOL8 for the flags.
inline void ExpectPortInfo(GenTLCore::GenTLPort& port, std::vector<std::string> names, Bytes flags)
{
    for (PORT_INFO_CMD command = PORT_INFO_ID; command <= PORT_INFO_PORTNAME; ++command) {
        const Answer answer = InfoOf(port, command);
        const bool flag = command >= PORT_INFO_LITTLE_ENDIAN && command <= PORT_INFO_ACCESS_NI;
        EXPECT_EQ(flag ? INFO_DATATYPE_BOOL8 : INFO_DATATYPE_STRING, answer.type) << command;
        EXPECT_EQ(flag
                      ? Bytes{flags[command - PORT_INFO_LITTLE_ENDIAN]}
                      : TextBytes(names[command < PORT_INFO_LITTLE_ENDIAN ? command : command - 6]),
                  answer.bytes)
            << command;
    }
}

// An event completed and registered (opened as the handle pool would) for
// the life of the holder; closed again at the end.
template <class Event>
struct Registered {
    template <class... Args>
    explicit Registered(Args&&... args) : event(new Event(std::forward<Args>(args)...))
    {
        event->CompleteConstruction();
        EXPECT_EQ(GC_ERR_SUCCESS, event->Open());
    }
    ~Registered()
    {
        if (event->IsOpen()) event->Close();
    }
    Event* operator->() const { return event.Get(); }
    Event& operator*() const { return *event; }
    GenTLCore::SharedPtr<Event> event;
};

// EventGetData into a buffer of `capacity` bytes: as many bytes as reported.
inline Answer TakeDatum(GenTLCore::GenTLEvent& event, uint64_t timeout_ms, size_t capacity = 64)
{
    Answer taken{GC_ERR_SUCCESS, Bytes(capacity, 0xEE)};
    size_t size = capacity;
    taken.result = event.GetEventData(taken.bytes.data(), &size, timeout_ms);
    taken.bytes.resize(taken.result == GC_ERR_SUCCESS ? size : 0);
    return taken;
}
inline Answer DataInfo(GenTLCore::GenTLEvent& event, const Bytes& datum,
                       EVENT_DATA_INFO_CMD command)
{
    return SizedAnswer([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return event.GetEventDataInfo(datum.data(), datum.size(), command, type, buffer, size);
    });
}

// A module event's packet: "ykiv", the 32-bit ID little-endian, then `data`.
inline Bytes PacketWithID(uint32_t id, const Bytes& data = {})
{
    // Sized once: GCC 12 at -O2 misreads a growing insert as an overrun.
    Bytes packet(8 + data.size());
    std::memcpy(packet.data(), "ykiv", 4);
    std::memcpy(packet.data() + 4, &id, 4);
    std::copy(data.begin(), data.end(), packet.begin() + 8);
    return packet;
}

}  // namespace CoreTestHelpers
