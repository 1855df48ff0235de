#include "sensor_library/FrameAssembler.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/Assert.h"
#include "sensor_library/Crc32.h"
#include "sensor_library/LittleEndian.h"

using LittleEndian::LoadU16;
using LittleEndian::LoadU32;

using namespace SensorFrame;

namespace {

uint32_t LoadBigEndianU32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsShortFrameStart(const uint8_t* p)
{
    return p[0] == SHORT_FRAME_LIN && p[1] == SHORT_FRAME_MARK;
}

}  // namespace

bool FrameAssembler::Allocate(uint32_t requested_bytes)
{
    // The receive path never uses more than BUFFERRXMAX; a smaller buffer
    // lowers its limits instead of being overrun.
    const uint32_t bytes = std::min(requested_bytes, BUFFERRXMAX);
    buffer.reset(new (std::nothrow) uint8_t[bytes > 0 ? bytes : 1]);
    capacity = buffer ? bytes : 0;
    begin = 0;
    fill = 0;
    header_ok = false;
    walk_offset = 0;
    return buffer != nullptr;
}

void FrameAssembler::Release()
{
    buffer.reset();
    capacity = 0;
    begin = 0;
    fill = 0;
    header_ok = false;
    walk_offset = 0;
}

uint32_t FrameAssembler::FrameLimit() const
{
    return std::min(MAX_FRAME, capacity);
}

void FrameAssembler::DropPartialFrame()
{
    begin = 0;
    fill = 0;
    header_ok = false;
    walk_offset = 0;
}

void FrameAssembler::Receive(const uint8_t* data, uint32_t size)
{
    if (size > MAX_CHUNK || data == nullptr || capacity == 0)
        return;
    statistics.bytes_per_sec += size;
    // A frame is at most FrameLimit() <= capacity bytes, so appending what
    // fits and handling it always frees room for the rest.
    while (size > 0) {
        if (begin > 0 && fill > 0)
            std::memmove(buffer.get(), Head(), fill);
        begin = 0;
        if (fill == capacity) {
            logger.Log("m_uiScanBuffer = 0 und  m_bHeaderOK = FALSE");
            DropPartialFrame();
        }
        const uint32_t piece = std::min(size, capacity - fill);
        Append(data, piece);
        data += piece;
        size -= piece;
        ProcessBuffered();
    }
}

void FrameAssembler::Append(const uint8_t* data, uint32_t size)
{
    std::memcpy(buffer.get() + begin + fill, data, size);
    fill += size;
}

void FrameAssembler::ProcessBuffered()
{
    for (;;) {
        if (!header_ok && !SearchFrameStart())
            return;
        const uint32_t before_fill = fill;
        const bool before_sync = header_ok;
        if (NextStep() == Step::Wait)
            return;
        // Every step that does not wait removes bytes or changes state.
        if (!TL_ASSERT(fill != before_fill || header_ok != before_sync))
            return;
    }
}

FrameAssembler::Step FrameAssembler::NextStep()
{
    if (fill < 4)
        return Step::Wait;
    const uint32_t tag = LoadU32(Head());
    const bool ready = sink.AcceptsContainers();
    if (ready && tag == CONTAINER_ID)
        return ContainerStep();
    if (ready && tag == SYNC_ID)
        return SyncStep(true);
    return ShortFrameStep();
}

// Moves the first frame start to the buffer head. Starts whose size field is
// not complete yet stay buffered (at most 7 bytes), so a start split over two
// chunks is found when the rest arrives; a start with an impossible size is
// passed over and the search goes on behind it.
bool FrameAssembler::SearchFrameStart()
{
    logger.Log("m_bHeaderOK == FALSE");
    const uint8_t* bytes = Head();
    const uint32_t limit = FrameLimit();
    for (uint32_t i = 0; i + 5 <= fill; ++i) {
        uint32_t size = 0;
        if (i + 8 <= fill && LoadU32(bytes + i) == CONTAINER_ID) {
            logger.Printf("CONTAINERID found at index %u", i);
            size = LoadU32(bytes + i + 4);
            // Size 0 is a container that only its end block delimits.
            if (size != 0 && (size < MIN_CONTAINER || size > limit))
                continue;
        } else if (IsShortFrameStart(bytes + i)) {
            size = uint32_t{bytes[i + 2]} | (uint32_t{bytes[i + 3]} << 8) |
                   (uint32_t{bytes[i + 4]} << 16);
            if (size < MIN_SHORT_FRAME || size > limit)
                continue;
        } else {
            continue;
        }
        ++statistics.sync_count;
        Remove(i);
        header_ok = true;
        return true;
    }
    const uint32_t keep = std::min<uint32_t>(fill, 7);
    Remove(fill - keep);
    return false;
}

FrameAssembler::Step FrameAssembler::ContainerStep()
{
    if (fill < MIN_DISPATCH_BYTES)
        return Step::Wait;
    const uint8_t* frame = Head();
    const uint32_t declared = LoadU32(frame + 4);
    if (declared != 0 && (declared < MIN_CONTAINER || declared > FrameLimit()))
        return RejectFrame(8, true);
    const uint32_t limit = declared != 0 ? declared : FrameLimit();
    if (walk_offset == 0) {
        walk_offset = 8;
        walk_kind = ContainerKind();
    }
    for (;;) {
        const uint32_t position = walk_offset;
        if (limit - position < 8)
            break;  // no room for another block head: bad container
        if (fill - position < 8)
            return Step::Wait;
        const uint32_t tag = LoadU32(frame + position);
        const uint32_t length = LoadU32(frame + position + 4);
        if (length < 8 || length > limit - position)
            break;
        if (length > fill - position)
            return Step::Wait;
        const uint8_t* block = frame + position;
        walk_offset = position + length;
        if (tag == TEXT_BLOCK) {
            sink.OnTextBlock(block, length);
        } else if (tag == GENERAL_BLOCK) {
            TakeGeneralBlock(block, length);
        } else if (tag == PROFILE_BLOCK || tag == LINEAR_PROFILE_BLOCK) {
            walk_kind.profile = true;
        } else if (tag == CAMERA_BLOCK) {
            walk_kind.camera = true;
        } else if (tag == END_BLOCK) {
            FinishContainer(walk_offset);
            return Step::Progress;
        }
    }
    logger.Log("no valid size deleting the memory until the containerid index");
    logger.Printf("m_uiScanBuffer %u uiNextIDOffset %u iFrameSize %u", fill, walk_offset, declared);
    return RejectFrame(8, true);
}

void FrameAssembler::FinishContainer(uint32_t size)
{
    const ContainerKind kind = walk_kind;
    if (kind.profile || kind.camera) {
        ++statistics.frames_per_sec;
        const uint32_t last = statistics.last_pic_count;
        const uint32_t now = statistics.pic_count;
        if (now - last != 1 && !(last == 65535 && now == 0)) {
            ++statistics.pic_count_errors;
            logger.Printf("PicCntErr: %u != %u", last, now);
        }
        statistics.last_pic_count = now;
        sink.OnDataContainer(Head(), size, kind);
    }
    Remove(size);
}

void FrameAssembler::TakeGeneralBlock(const uint8_t* block, uint32_t length)
{
    // Fields the block is too short for read as 0.
    const uint32_t pic_count = length >= 10 ? LoadU16(block + 8) : 0;
    const uint32_t time_stamp = length >= 14 ? LoadU32(block + 10) : 0;
    TakePictureCounter(pic_count, time_stamp);
}

void FrameAssembler::TakePictureCounter(uint32_t pic_count, uint32_t time_stamp)
{
    statistics.pic_count = pic_count;
    statistics.time_stamp = time_stamp;
    statistics.period = time_stamp - statistics.last_time_stamp;
    if (statistics.period > statistics.max_period)
        statistics.max_period = statistics.period;
    else if (statistics.period < statistics.min_period)
        statistics.min_period = statistics.period;
    statistics.last_time_stamp = time_stamp;
}

// A sync frame announces itself with its size; any size outside
// [8, frame limit] is malformed and resynchronises instead of waiting.
FrameAssembler::Step FrameAssembler::SyncStep(bool deliver)
{
    if (fill < 8)
        return Step::Wait;
    if (deliver)
        logger.Log("CONTAINERSYNCID");
    const uint32_t size = LoadU32(Head() + 4);
    if (size < 8 || size > FrameLimit())
        return RejectFrame(8, true);
    if (size > fill)
        return Step::Wait;
    if (deliver)
        sink.OnSyncFrame();
    Remove(size);
    if (!deliver)
        header_ok = false;
    return Step::Progress;
}

// Frames met while containers are not accepted, and linearization frames.
// Every size is taken from the frame's own header.
FrameAssembler::Step FrameAssembler::ShortFrameStep()
{
    const uint8_t* frame = Head();
    const uint32_t tag = LoadU32(frame);
    if (tag == CONTAINER_ID)
        return DiscardContainer();
    if (tag == SYNC_ID)
        return SyncStep(false);
    if (!IsShortFrameStart(frame)) {
        header_ok = false;
        return Step::Progress;
    }
    if (fill < 6)
        return Step::Wait;
    const uint32_t size = LoadU32(frame + 2) & 0x7FFFFFFFu;
    if (size < MIN_SHORT_FRAME || size > FrameLimit())
        return RejectFrame(2, true);
    if (size > fill)
        return Step::Wait;
    if (!sink.HasLinearizationData()) {
        if (FrameCheck(frame, size)) {
            logger.Log("LinearizationData: OK");
            sink.OnLinearizationData(frame + 6, size - 10);
        } else {
            logger.Log("LinearizationData: NOT OK");
        }
    }
    const uint32_t behind = fill - size;
    if (behind >= 4 && behind < size)
        ++statistics.legacy_frames;
    Remove(size);
    header_ok = false;
    return Step::Progress;
}

// A container while the sensor is not ready is waited for whole and dropped;
// one without a usable size loses its head only and the search resumes.
FrameAssembler::Step FrameAssembler::DiscardContainer()
{
    if (fill < 8)
        return Step::Wait;
    const uint32_t declared = LoadU32(Head() + 4);
    if (declared < MIN_CONTAINER || declared > FrameLimit())
        return RejectFrame(8, declared != 0);
    if (declared > fill)
        return Step::Wait;
    Remove(declared);
    header_ok = false;
    return Step::Progress;
}

FrameAssembler::Step FrameAssembler::RejectFrame(uint32_t bytes, bool count_error)
{
    if (count_error)
        ++statistics.frame_errors;
    Remove(std::min(bytes, fill));
    header_ok = false;
    return Step::Progress;
}

void FrameAssembler::Remove(uint32_t bytes)
{
    begin += bytes;
    fill -= bytes;
    walk_offset = 0;
    if (fill == 0)
        begin = 0;
}

bool FrameAssembler::FrameCheck(const uint8_t* frame, uint32_t size)
{
    if (size > BUFFERRXMAX) {
        logger.Printf("uiBuffer > BUFFERRXMAX: %u(0x%08X) %u(0x%08X)\n", size, size, BUFFERRXMAX,
                      BUFFERRXMAX);
        return false;
    }
    if (frame == nullptr || size < MIN_SHORT_FRAME)
        return false;
    if (ComputeCrc32Mpeg2(frame, size - 4) != LoadBigEndianU32(frame + size - 4)) {
        ++statistics.crc_errors;
        return false;
    }
    if (frame[0] == SHORT_FRAME_REFUSED && frame[1] == SHORT_FRAME_MARK)
        return false;
    const bool container = LoadU32(frame) == CONTAINER_ID;
    // A short frame's size has 31 bits; its top bit is a flag.
    const uint32_t frame_size = container ? LoadU32(frame + 4) : LoadU32(frame + 2) & 0x7FFFFFFFu;
    if (frame_size > MAX_FRAME) {
        header_ok = false;
        return false;
    }
    if (container)
        return true;
    ++statistics.legacy_frames;
    header_ok = false;
    const uint32_t pic_count = LoadU16(frame + 6);
    const uint32_t last = statistics.last_pic_count;
    if (last != 0 && pic_count - last != 1 && !(last == 65535 && pic_count == 0))
        ++statistics.pic_count_errors;
    statistics.last_pic_count = pic_count;
    TakePictureCounter(pic_count, LoadU32(frame + 8));
    return true;
}
