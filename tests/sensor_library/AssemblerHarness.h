// AssemblerHarness.h: a FrameAssembler with a sink that keeps what it was
// given, checking containers as the connection does before it stores them.
#pragma once

#include <string>
#include <vector>

#include "support/ContainerBuilder.h"
#include "sensor_library/FrameAssembler.h"

class RecordingSink : public FrameSink {
public:
    bool ready = true;
    bool has_lin = false;
    FrameAssembler* assembler = nullptr;

    std::vector<TestSupport::Bytes> containers;  // passed the frame check
    int rejected_containers = 0;
    std::vector<std::string> texts;
    std::vector<TestSupport::Bytes> lin_payloads;
    int syncs = 0;

    bool AcceptsContainers() const override { return ready; }
    bool HasLinearizationData() const override { return has_lin; }
    void OnSyncFrame() override { ++syncs; }
    void OnTextBlock(const uint8_t* block, uint32_t length) override
    {
        texts.emplace_back(reinterpret_cast<const char*>(block) + 8, length - 8);
    }
    void OnDataContainer(const uint8_t* container, uint32_t size, ContainerKind) override
    {
        if (assembler->FrameCheck(container, size))
            containers.emplace_back(container, container + size);
        else
            ++rejected_containers;
    }
    void OnLinearizationData(const uint8_t* data, uint32_t size) override
    {
        lin_payloads.emplace_back(data, data + size);
        has_lin = true;
    }
};

struct AssemblerHarness {
    explicit AssemblerHarness(uint32_t buffer_bytes = SensorFrame::BUFFERRXMAX)
    {
        sink.assembler = &assembler;
        assembler.Allocate(buffer_bytes);
    }

    void Feed(const TestSupport::Bytes& bytes)
    {
        assembler.Receive(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    // Feeds `bytes` in pieces of the given sizes (the last piece takes the rest).
    void FeedSplit(const TestSupport::Bytes& bytes, std::vector<std::size_t> pieces)
    {
        pieces.push_back(bytes.size());
        for (std::size_t offset = 0, n = 0; offset < bytes.size(); offset += pieces[n++]) {
            pieces[n] = std::min(pieces[n], bytes.size() - offset);
            assembler.Receive(bytes.data() + offset, static_cast<uint32_t>(pieces[n]));
        }
    }

    const ReceiveStatistics& Stats() const { return assembler.Statistics(); }

    RecordingSink sink;
    FrameAssembler assembler{sink};
};
