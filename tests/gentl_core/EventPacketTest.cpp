// EventPacketTest.cpp: the bytes EventGetData delivers for module, error and
// remote-device events, and what EventGetDataInfo reads back from them.
#include "gentl_core/GenTLEvent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EventTestHelpers.h"

namespace GenTLCore {
namespace {

using EventTestHelpers::LastErrorText;
using EventTestHelpers::Registered;
using EventTestHelpers::TakeDatum;
using EventTestHelpers::Taken;
using Bytes = std::vector<uint8_t>;

constexpr size_t MAX_DATA = 8;

// One EventGetDataInfo answer.
struct DataInfo {
    GC_ERROR result;
    INFO_DATATYPE type;
    Bytes value;
};

DataInfo ReadDataInfo(GenTLEvent& event, const Bytes& datum, EVENT_DATA_INFO_CMD command)
{
    DataInfo info{GC_ERR_SUCCESS, -1, Bytes(64, 0xEE)};
    size_t size = info.value.size();
    info.result = event.GetEventDataInfo(datum.data(), datum.size(), command, &info.type,
                                         info.value.data(), &size);
    info.value.resize(info.result == GC_ERR_SUCCESS ? size : 0);
    return info;
}

template <class T>
Bytes BytesOf(T value)
{
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

Bytes TextWithNul(const std::string& text)
{
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// Module events: "ykiv", the 32-bit ID little-endian, then the data.
class ModuleEventPacketTest : public ::testing::Test {
protected:
    Registered<GenTLModuleEvent> event{MAX_DATA};
};

TEST_F(ModuleEventPacketTest, PacketIsMagicThenLittleEndianIDThenData)
{
    const uint8_t data[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(event->AddEvent(0x11223344, data, sizeof data));
    const Bytes expected = {0x79, 0x6B, 0x69, 0x76, 0x44, 0x33, 0x22, 0x11, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(expected, TakeDatum(*event, 0).bytes);
}

TEST_F(ModuleEventPacketTest, DataOfTheMaximumSizeAreAccepted)
{
    const Bytes data(MAX_DATA, 0x5A);
    ASSERT_TRUE(event->AddEvent(1, data.data(), data.size()));
    EXPECT_EQ(MAX_DATA + 8, TakeDatum(*event, 0).bytes.size());
}

TEST_F(ModuleEventPacketTest, DataOneByteTooLongAreRejected)
{
    const Bytes data(MAX_DATA + 1, 0x5A);
    EXPECT_FALSE(event->AddEvent(1, data.data(), data.size()));
    EXPECT_EQ(0u, event->GetNumInQueue());
    EXPECT_EQ(0u, event->GetNumFired());
}

TEST_F(ModuleEventPacketTest, MissingDataAreRejected)
{
    EXPECT_FALSE(event->AddEvent(1, nullptr, 2));
    EXPECT_EQ(0u, event->GetNumInQueue());
}

// ID as eight lower-case hex digits with leading zeros, value as ID then data.
TEST_F(ModuleEventPacketTest, DataInfoReadsIDValueAndNumericID)
{
    const DataInfo id =
        ReadDataInfo(*event, {0x79, 0x6B, 0x69, 0x76, 0x01, 0xDD, 0xDD, 0xDD}, EVENT_DATA_ID);
    EXPECT_EQ(GC_ERR_SUCCESS, id.result);
    EXPECT_EQ(INFO_DATATYPE_STRING, id.type);
    EXPECT_EQ(TextWithNul("dddddd01"), id.value);
    EXPECT_EQ(TextWithNul("00000001"),
              ReadDataInfo(*event, {0x79, 0x6B, 0x69, 0x76, 0x01, 0, 0, 0}, EVENT_DATA_ID).value);

    const Bytes packet = {0x79, 0x6B, 0x69, 0x76, 0x01, 0x11, 0x11, 0x11, 0xAB, 0xCD};
    const DataInfo value = ReadDataInfo(*event, packet, EVENT_DATA_VALUE);
    EXPECT_EQ(INFO_DATATYPE_BUFFER, value.type);
    EXPECT_EQ((Bytes{0x01, 0x11, 0x11, 0x11, 0xAB, 0xCD}), value.value);
    const DataInfo numeric = ReadDataInfo(*event, packet, EVENT_DATA_NUMID);
    EXPECT_EQ(INFO_DATATYPE_UINT64, numeric.type);
    EXPECT_EQ(BytesOf<uint64_t>(0x11111101), numeric.value);
}

TEST_F(ModuleEventPacketTest, UnknownDataInfoCommandIsNotImplemented)
{
    const DataInfo info =
        ReadDataInfo(*event, {0x79, 0x6B, 0x69, 0x76, 0x01, 0x11, 0x11, 0x11}, 3);
    EXPECT_EQ(GC_ERR_NOT_IMPLEMENTED, info.result);
    EXPECT_EQ("GetEventDataInfo: unknown event data info command requested", LastErrorText());
}

TEST_F(ModuleEventPacketTest, NullEventBufferIsRefused)
{
    size_t size = 8;
    char out[8];
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              event->GetEventDataInfo(nullptr, 8, EVENT_DATA_ID, nullptr, out, &size));
    EXPECT_EQ("GetEventDataInfo: null event buffer passed", LastErrorText());
}

// Which packets EventGetDataInfo accepts from a module event.
struct PacketCase {
    const char* name;
    Bytes packet;
    bool accepted;
};

void PrintTo(const PacketCase& packet_case, std::ostream* out)
{
    *out << packet_case.name;
}

class ModuleEventPacketValidityTest : public ::testing::TestWithParam<PacketCase> {
protected:
    Registered<GenTLModuleEvent> event{MAX_DATA};
};

TEST_P(ModuleEventPacketValidityTest, DataInfoAcceptsOnlyWellFormedPackets)
{
    const DataInfo info = ReadDataInfo(*event, GetParam().packet, EVENT_DATA_NUMID);
    if (GetParam().accepted) {
        EXPECT_EQ(GC_ERR_SUCCESS, info.result);
    } else {
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, info.result);
        EXPECT_EQ("GetEventDataInfo: invalid event buffer passed", LastErrorText());
    }
}

Bytes MagicPacket(size_t data_bytes)
{
    Bytes packet = {0x79, 0x6B, 0x69, 0x76, 1, 0, 0, 0};
    packet.resize(8 + data_bytes, 0x33);
    return packet;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, ModuleEventPacketValidityTest,
    ::testing::Values(PacketCase{"HeaderOnly", MagicPacket(0), true},
                      PacketCase{"MaximumData", MagicPacket(MAX_DATA), true},
                      PacketCase{"OneByteBeyondMaximum", MagicPacket(MAX_DATA + 1), false},
                      PacketCase{"ShorterThanHeader", Bytes{0x79, 0x6B, 0x69, 0x76, 1, 0, 0},
                                 false},
                      PacketCase{"WrongMagic", Bytes{0x79, 0x6B, 0x69, 0x77, 1, 0, 0, 0}, false}),
    [](const ::testing::TestParamInfo<PacketCase>& info) { return info.param.name; });

// Error events: a message delivered with its NUL, always reporting -1001.
class ErrorEventTest : public ::testing::Test {
protected:
    Registered<GenTLErrorEvent> event;
};

TEST_F(ErrorEventTest, BufferWithoutRoomForTheNulFailsAndKeepsTheMessage)
{
    ASSERT_TRUE(event->AddEvent("boom"));
    EXPECT_EQ(GC_ERR_BUFFER_TOO_SMALL, TakeDatum(*event, 0, 4).result);
    EXPECT_EQ(TextWithNul("boom"), TakeDatum(*event, 0, 5).bytes);
}

TEST_F(ErrorEventTest, OverlongMessageIsCutToFitTheMaximumEventSize)
{
    ASSERT_TRUE(event->AddEvent(std::string(5000, 'x')));
    const Taken taken = TakeDatum(*event, 0, 1024);
    EXPECT_EQ(GC_ERR_SUCCESS, taken.result);
    EXPECT_EQ(TextWithNul(std::string(1023, 'x')), taken.bytes);
}

TEST_F(ErrorEventTest, IDIsAlwaysGenericError)
{
    const DataInfo id = ReadDataInfo(*event, TextWithNul("anything"), EVENT_DATA_ID);
    EXPECT_EQ(INFO_DATATYPE_INT32, id.type);
    EXPECT_EQ(BytesOf<int32_t>(-1001), id.value);
    const DataInfo numeric = ReadDataInfo(*event, TextWithNul("anything"), EVENT_DATA_NUMID);
    EXPECT_EQ(INFO_DATATYPE_UINT64, numeric.type);
    EXPECT_EQ(BytesOf<uint64_t>(0xFFFFFFFFFFFFFC17), numeric.value);
}

TEST_F(ErrorEventTest, ValueIsTheTextUpToItsNul)
{
    Bytes datum = TextWithNul("disk full");
    datum.push_back('z');
    const DataInfo info = ReadDataInfo(*event, datum, EVENT_DATA_VALUE);
    EXPECT_EQ(INFO_DATATYPE_STRING, info.type);
    EXPECT_EQ(TextWithNul("disk full"), info.value);
}

TEST_F(ErrorEventTest, TextWithoutNulOrBeyondTheMaximumSizeIsCorrupted)
{
    for (const Bytes& datum : {Bytes{'a', 'b'}, TextWithNul(std::string(1024, 'y'))}) {
        EXPECT_EQ(GC_ERR_INVALID_PARAMETER, ReadDataInfo(*event, datum, EVENT_DATA_VALUE).result);
        EXPECT_EQ("GetEventDataInfo: corrupted event buffer passed", LastErrorText());
    }
}

TEST_F(ErrorEventTest, EmptyBufferIsInvalid)
{
    const uint8_t byte = 0;
    size_t size = 4;
    int32_t out = 0;
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              event->GetEventDataInfo(&byte, 0, EVENT_DATA_ID, nullptr, &out, &size));
    EXPECT_EQ("GetEventDataInfo: invalid event buffer passed", LastErrorText());
}

// The virtual remote-device event: module-event packets with ID 0xF001.
class VirtualRemoteDeviceEventTest : public ::testing::Test {
protected:
    Registered<GenTLVirtualRemoteDeviceEvent> event{MAX_DATA};
};


TEST_F(VirtualRemoteDeviceEventTest, MakesNoPacketFromMissingData)
{
    EXPECT_TRUE(GenTLVirtualRemoteDeviceEvent::MakeEventPacket(nullptr, 3).empty());
}

TEST_F(VirtualRemoteDeviceEventTest, MakesAndQueuesPacketsWithIDF001Whole)
{
    const uint8_t data[2] = {0x01, 0x02};
    const Bytes packet = GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, sizeof data);
    EXPECT_EQ((Bytes{0x79, 0x6B, 0x69, 0x76, 0x01, 0xF0, 0x00, 0x00, 0x01, 0x02}), packet);
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(packet, TakeDatum(*event, 0).bytes);
}

TEST_F(VirtualRemoteDeviceEventTest, RejectsIDsFrom0x10000AndMoreDataThanTheMaximum)
{
    const Bytes wide_id = {0x79, 0x6B, 0x69, 0x76, 0x00, 0x00, 0x01, 0x00};
    EXPECT_FALSE(event->AddEventPacket(wide_id.data(), wide_id.size()));
    const Bytes data(MAX_DATA + 1, 0);
    const Bytes long_packet =
        GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data.data(), data.size());
    EXPECT_FALSE(event->AddEventPacket(long_packet.data(), long_packet.size()));
    EXPECT_EQ(0u, event->GetNumInQueue());
}

TEST_F(VirtualRemoteDeviceEventTest, DataInfoReadsFourDigitIDAndValue)
{
    const uint8_t data[1] = {0x7F};
    const Bytes packet = GenTLVirtualRemoteDeviceEvent::MakeEventPacket(data, sizeof data);
    EXPECT_EQ(TextWithNul("f001"), ReadDataInfo(*event, packet, EVENT_DATA_ID).value);
    EXPECT_EQ(BytesOf<uint64_t>(61441), ReadDataInfo(*event, packet, EVENT_DATA_NUMID).value);
    EXPECT_EQ((Bytes{0x01, 0xF0, 0x00, 0x00, 0x7F}),
              ReadDataInfo(*event, packet, EVENT_DATA_VALUE).value);
}

TEST_F(VirtualRemoteDeviceEventTest, SizeLimitsFollowTheMaximumData)
{
    size_t value = 0;
    size_t size = sizeof value;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, event->GetEventInfo(EVENT_SIZE_MAX, &type, &value, &size));
    EXPECT_EQ(MAX_DATA + 8, value);
    ASSERT_EQ(GC_ERR_SUCCESS, event->GetEventInfo(EVENT_EVENT_TYPE, &type, &value, &size));
    EXPECT_EQ(uint32_t{EVENT_REMOTE_DEVICE}, static_cast<uint32_t>(value));
}

// A device format whose packets carry several events: pairs of bytes, a pair
// starting with 0xFF being no valid event.
class PairedDeviceEvent : public GenTLRemoteDeviceEvent {
protected:
    size_t GetMaxEventSize() const override { return 2; }
    size_t GetMaxInfoDataSize() const override { return 1; }
    bool VerifyEventPacket(const void* packet, size_t size, bool single) override
    {
        const auto* bytes = static_cast<const uint8_t*>(packet);
        if (packet == nullptr || size == 0 || size % 2 != 0)
            return false;
        return !single || (size == 2 && bytes[0] != 0xFF);
    }
    bool SplitEventPacket(const void* packet, size_t size,
                          std::vector<EventPacket>& single_events) override
    {
        if (size == 2)
            return false;
        const auto* bytes = static_cast<const uint8_t*>(packet);
        for (size_t at = 0; at < size; at += 2)
            single_events.push_back({bytes[at], bytes[at + 1]});
        return true;
    }
    uint16_t GetEventIDFromPacket(const void* packet, size_t) override
    {
        return *static_cast<const uint8_t*>(packet);
    }
    EventValueLocation GetEventValueLocation(const void*, size_t) override { return {1, 1}; }
};

// A device packet of several events is queued event by event.
class RemoteDeviceEventSplitTest : public ::testing::Test {
protected:
    Registered<PairedDeviceEvent> event;
};

TEST_F(RemoteDeviceEventSplitTest, QueuesEachEventOfAPacket)
{
    const Bytes packet = {0x01, 0xA0, 0x02, 0xB0, 0x03, 0xC0};
    ASSERT_TRUE(event->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ((Bytes{0x01, 0xA0}), TakeDatum(*event, 0).bytes);
    EXPECT_EQ((Bytes{0x02, 0xB0}), TakeDatum(*event, 0).bytes);
    EXPECT_EQ((Bytes{0x03, 0xC0}), TakeDatum(*event, 0).bytes);
}

TEST_F(RemoteDeviceEventSplitTest, StopsAtTheFirstInvalidEvent)
{
    const Bytes packet = {0x01, 0xA0, 0xFF, 0xB0, 0x03, 0xC0};
    EXPECT_FALSE(event->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(1u, event->GetNumInQueue());
}

TEST_F(RemoteDeviceEventSplitTest, RejectsAnInvalidPacket)
{
    const Bytes packet = {0x01, 0xA0, 0x02};
    EXPECT_FALSE(event->AddEventPacket(packet.data(), packet.size()));
    EXPECT_EQ(0u, event->GetNumInQueue());
}

TEST_F(RemoteDeviceEventSplitTest, DataInfoReadsFourDigitIDAndValueLocation)
{
    const Bytes single = {0x2A, 0x99};
    EXPECT_EQ(TextWithNul("002a"), ReadDataInfo(*event, single, EVENT_DATA_ID).value);
    EXPECT_EQ(Bytes{0x99}, ReadDataInfo(*event, single, EVENT_DATA_VALUE).value);
    EXPECT_EQ(BytesOf<uint64_t>(0x2A), ReadDataInfo(*event, single, EVENT_DATA_NUMID).value);
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              ReadDataInfo(*event, Bytes{0x01, 0x02, 0x03, 0x04}, EVENT_DATA_ID).result);
}

}  // namespace
}  // namespace GenTLCore
