// FrameAssembler.h: turns the sensor's byte stream into frames: finds frame
// starts, assembles containers across chunks, walks their blocks and hands
// complete frames to its sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "sensor_library/LibraryLogger.h"

namespace SensorFrame {
constexpr uint32_t CONTAINER_ID = 0x021A01FF;
constexpr uint32_t SYNC_ID = 0x021A0100;
constexpr uint32_t GENERAL_BLOCK = 0x021A0101;
constexpr uint32_t TEXT_BLOCK = 0x021A0103;
constexpr uint32_t CAMERA_BLOCK = 0x021A0501;
constexpr uint32_t PROFILE_BLOCK = 0x021A0601;
constexpr uint32_t LINEAR_PROFILE_BLOCK = 0x021A0602;
constexpr uint32_t END_BLOCK = 0x021AFFFF;
constexpr uint8_t SHORT_FRAME_LIN = 0x07;
constexpr uint8_t SHORT_FRAME_REFUSED = 0x04;
constexpr uint8_t SHORT_FRAME_MARK = 0x19;

constexpr uint32_t BUFFERRXMAX = 8405000;    // largest receive buffer
constexpr uint32_t MAX_FRAME = 4202500;      // largest frame
constexpr uint32_t MAX_CHUNK = 4202500;      // larger chunks are ignored
constexpr uint32_t MIN_CONTAINER = 20;       // head and end block
constexpr uint32_t MIN_SHORT_FRAME = 12;     // the fields a frame check reads, and the CRC
constexpr uint32_t MIN_DISPATCH_BYTES = 17;  // a container start is judged with this many
}  // namespace SensorFrame

// Reception counters. Touched by the receive thread only.
struct ReceiveStatistics {
    uint32_t bytes_per_sec = 0;
    uint32_t frames_per_sec = 0;
    uint32_t sync_count = 0;
    uint32_t pic_count = 0;
    uint32_t last_pic_count = 0;
    uint32_t pic_count_errors = 0;
    uint32_t time_stamp = 0;
    uint32_t last_time_stamp = 0;
    uint32_t period = 0;
    uint32_t max_period = 0;
    uint32_t min_period = 999999;
    uint32_t crc_errors = 0;
    uint32_t frame_errors = 0;
    uint32_t frame_count = 0;
    uint32_t legacy_frames = 0;
};

// What a complete container carried.
struct ContainerKind {
    bool profile = false;
    bool camera = false;
};

// Receives what the assembler recognises; called on the receive thread while
// the assembler is inside Receive. The pointers are valid for the call only.
class FrameSink {
public:
    // Containers and sync frames are acted on only once this holds.
    virtual bool AcceptsContainers() const = 0;
    // A linearization frame is checked and handed on only while this is false.
    virtual bool HasLinearizationData() const = 0;
    virtual void OnSyncFrame() = 0;
    // A whole text block, head included (length >= 8).
    virtual void OnTextBlock(const uint8_t* block, uint32_t length) = 0;
    // A complete profile or camera container; not yet CRC-checked.
    virtual void OnDataContainer(const uint8_t* container, uint32_t size, ContainerKind kind) = 0;
    // The payload of a CRC-checked linearization frame.
    virtual void OnLinearizationData(const uint8_t* data, uint32_t size) = 0;

protected:
    ~FrameSink() = default;
};

// Lifetime: owned by its connection; the sink outlives it.
// Threads: one thread at a time (the connection's receive lock); only
// IsSynchronised may be read from any thread.
class FrameAssembler {
public:
    explicit FrameAssembler(FrameSink& frame_sink) : sink(frame_sink) {}
    FrameAssembler(const FrameAssembler&) = delete;
    FrameAssembler& operator=(const FrameAssembler&) = delete;

    // Room ReceiveSpace lends behind the buffered bytes: one socket read.
    static constexpr uint32_t RECEIVE_ROOM = 65535;

    // Allocates the receive buffer: the requested size, at most BUFFERRXMAX.
    // False when it cannot be allocated.
    bool Allocate(uint32_t requested_bytes);
    void Release();
    uint32_t Capacity() const { return capacity; }
    void SetLogger(const LibraryLogger& connection_logger) { logger = connection_logger; }

    // Appends a received chunk and handles every frame it completes.
    void Receive(const uint8_t* data, uint32_t size);
    // RECEIVE_ROOM bytes right behind the buffered ones, valid until the next
    // call that changes the buffer: a chunk read there and handed to Receive
    // is not copied. Null without a buffer.
    uint8_t* ReceiveSpace();

    // Checks a complete frame (size, CRC) and, for a short frame, takes its
    // picture counter and time stamp into the statistics.
    bool FrameCheck(const uint8_t* frame, uint32_t size);

    // Drops buffered bytes and searches for the next frame start.
    void DropPartialFrame();

    bool IsSynchronised() const { return header_ok.load(); }
    uint32_t BufferedBytes() const { return fill; }
    // The largest frame this buffer assembles.
    uint32_t FrameLimit() const;
    ReceiveStatistics& Statistics() { return statistics; }
    const ReceiveStatistics& Statistics() const { return statistics; }

private:
    enum class Step { Wait, Progress };

    void Compact();
    void Append(const uint8_t* data, uint32_t size);
    void ProcessBuffered();
    Step NextStep();
    bool SearchFrameStart();
    Step ContainerStep();
    Step SyncStep(bool deliver);
    Step ShortFrameStep();
    Step DiscardContainer();
    Step RejectFrame(uint32_t bytes, bool count_error);
    void FinishContainer(uint32_t size);
    bool JoinFailedWalk(uint64_t walk_end);
    std::size_t FindFailedMark(uint64_t offset);
    void MarkBlock(uint64_t offset, uint32_t tag);
    void KeepFailedWalk(uint64_t stop);
    void ForgetWalks();
    void TakeGeneralBlock(const uint8_t* block, uint32_t length);
    void TakePictureCounter(uint32_t pic_count, uint32_t time_stamp);
    void Remove(uint32_t bytes);
    const uint8_t* Head() const { return buffer.get() + begin; }
    // Others only read it as a status and take no data through it; a plain
    // store spares a locked instruction per candidate frame start.
    void SetSynchronised(bool on) { header_ok.store(on, std::memory_order_relaxed); }

    FrameSink& sink;  // outlives the assembler (owner's member)
    LibraryLogger logger;

    std::unique_ptr<uint8_t[]> buffer;  // capacity + RECEIVE_ROOM bytes
    uint32_t capacity = 0;
    uint32_t begin = 0;  // first unhandled byte
    uint32_t fill = 0;   // unhandled bytes from begin
    uint64_t head_offset = 0;  // stream offset of the first unhandled byte
    std::atomic<bool> header_ok{false};
    // Block walk of the container at the head, resumed when more bytes come.
    uint32_t walk_offset = 0;
    ContainerKind walk_kind;

    // A block head the walk passed, by stream offset, with the profile and
    // camera blocks counted from the walk's start up to and including it.
    struct WalkMark {
        uint64_t offset;
        uint32_t profiles;
        uint32_t cameras;
    };
    // The blocks of the current walk, and of the last failed walk with the
    // offset where it stopped. A later start whose walk reaches a block of the
    // failed one jumps along it instead of walking it again, which keeps the
    // work linear in the bytes received; blocks jumped over are not handed on
    // a second time.
    std::vector<WalkMark> walk_marks;
    std::vector<WalkMark> failed_marks;
    uint64_t failed_end = 0;
    std::size_t failed_cursor = 0;  // where the last search in failed_marks ended
    enum class WalkMemo { Fresh, Joined, Extending };
    WalkMemo walk_memo = WalkMemo::Fresh;
    ReceiveStatistics statistics;
};
