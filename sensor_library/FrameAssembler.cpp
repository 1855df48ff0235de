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
    // The room behind lets a chunk be read in even when the buffer is full.
    buffer.reset(new (std::nothrow) uint8_t[std::size_t{bytes} + RECEIVE_ROOM]);
    capacity = buffer ? bytes : 0;
    begin = 0;
    fill = 0;
    SetSynchronised(false);
    walk_offset = 0;
    ForgetWalks();
    return buffer != nullptr;
}

void FrameAssembler::Release()
{
    buffer.reset();
    capacity = 0;
    begin = 0;
    fill = 0;
    SetSynchronised(false);
    walk_offset = 0;
    ForgetWalks();
}

uint32_t FrameAssembler::FrameLimit() const
{
    return std::min(MAX_FRAME, capacity);
}

void FrameAssembler::DropPartialFrame()
{
    head_offset += fill;
    ForgetWalks();
    begin = 0;
    fill = 0;
    SetSynchronised(false);
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
        Compact();
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

uint8_t* FrameAssembler::ReceiveSpace()
{
    if (!buffer)
        return nullptr;
    Compact();
    return buffer.get() + fill;
}

// Moving the buffered bytes down never touches a chunk received behind them.
void FrameAssembler::Compact()
{
    if (begin > 0 && fill > 0)
        std::memmove(buffer.get(), Head(), fill);
    begin = 0;
}

// A chunk received in place already sits at the tail, or further on when a
// full buffer was dropped or part of the chunk was taken before.
void FrameAssembler::Append(const uint8_t* data, uint32_t size)
{
    uint8_t* tail = buffer.get() + begin + fill;
    if (data != tail)
        std::memmove(tail, data, size);
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
    if (logger.IsActive())  // spares the work of a log line per candidate start
        logger.Log("m_bHeaderOK == FALSE");
    const uint8_t* bytes = Head();
    const uint32_t limit = FrameLimit();
    for (uint32_t i = 0; i + 5 <= fill; ++i) {
        uint32_t size = 0;
        if (i + 8 <= fill && LoadU32(bytes + i) == CONTAINER_ID) {
            if (logger.IsActive())
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
        SetSynchronised(true);
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
    const uint64_t walk_end = head_offset + limit;
    for (;;) {
        if (walk_memo == WalkMemo::Fresh && JoinFailedWalk(walk_end))
            continue;
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
        MarkBlock(head_offset + position, tag);
    }
    KeepFailedWalk(head_offset + walk_offset);
    if (logger.IsActive()) {
        logger.Log("no valid size deleting the memory until the containerid index");
        logger.Printf("m_uiScanBuffer %u uiNextIDOffset %u iFrameSize %u", fill, walk_offset,
                      declared);
    }
    return RejectFrame(8, true);
}

// Jumps along the failed walk when the current one has reached one of its
// blocks: from there both walks are the same, and each block passes as long
// as the next one starts within this walk's end.
bool FrameAssembler::JoinFailedWalk(uint64_t walk_end)
{
    const uint64_t at = head_offset + walk_offset;
    if (failed_marks.empty() || at < failed_marks.front().offset ||
        at > failed_marks.back().offset)
        return false;
    const auto marks_begin = failed_marks.begin();
    const auto joined = marks_begin + static_cast<std::ptrdiff_t>(FindFailedMark(at));
    if (joined->offset != at)
        return false;
    std::size_t last = failed_marks.size() - 1;  // the last block jumped over
    uint64_t target = failed_end;
    if (failed_end <= walk_end) {
        walk_memo = WalkMemo::Extending;
    } else {
        const auto beyond = std::upper_bound(
            joined, failed_marks.end(), walk_end,
            [](uint64_t offset, const WalkMark& mark) { return offset < mark.offset; });
        if (beyond - joined < 2)
            return false;
        target = (beyond - 1)->offset;
        last = static_cast<std::size_t>(beyond - marks_begin) - 2;
        walk_memo = WalkMemo::Joined;
    }
    const WalkMark none{0, 0, 0};
    const WalkMark& before = joined == marks_begin ? none : *(joined - 1);
    walk_kind.profile = walk_kind.profile || failed_marks[last].profiles != before.profiles;
    walk_kind.camera = walk_kind.camera || failed_marks[last].cameras != before.cameras;
    walk_offset = static_cast<uint32_t>(target - head_offset);
    return true;
}

// The first failed mark at or behind `offset`. Walks start ever further on,
// so the search gallops forward from where the last one ended.
std::size_t FrameAssembler::FindFailedMark(uint64_t offset)
{
    const std::size_t count = failed_marks.size();
    std::size_t low = failed_cursor < count && failed_marks[failed_cursor].offset <= offset
                          ? failed_cursor
                          : 0;
    while (low < count && low < failed_cursor + 4 && failed_marks[low].offset < offset)
        ++low;
    std::size_t high = low;
    for (std::size_t step = 1; high < count && failed_marks[high].offset < offset; step *= 2) {
        low = high + 1;
        high = std::min(count, low + step);
    }
    const auto found = std::lower_bound(
        failed_marks.begin() + static_cast<std::ptrdiff_t>(low),
        failed_marks.begin() + static_cast<std::ptrdiff_t>(std::min(high, count)), offset,
        [](const WalkMark& mark, uint64_t wanted) { return mark.offset < wanted; });
    failed_cursor = static_cast<std::size_t>(found - failed_marks.begin());
    return failed_cursor;
}

void FrameAssembler::MarkBlock(uint64_t offset, uint32_t tag)
{
    std::vector<WalkMark>& marks =
        walk_memo == WalkMemo::Extending ? failed_marks : walk_marks;
    WalkMark mark = marks.empty() ? WalkMark{offset, 0, 0} : marks.back();
    mark.offset = offset;
    if (tag == PROFILE_BLOCK || tag == LINEAR_PROFILE_BLOCK)
        ++mark.profiles;
    else if (tag == CAMERA_BLOCK)
        ++mark.cameras;
    marks.push_back(mark);
}

void FrameAssembler::KeepFailedWalk(uint64_t stop)
{
    if (walk_memo == WalkMemo::Joined)
        return;  // it stopped inside the failed walk, which reaches further
    if (walk_memo == WalkMemo::Fresh) {
        if (walk_marks.empty())
            return;
        failed_marks.swap(walk_marks);
        failed_cursor = 0;
    }
    failed_end = stop;
}

void FrameAssembler::ForgetWalks()
{
    walk_marks.clear();
    failed_marks.clear();
    failed_cursor = 0;
    walk_memo = WalkMemo::Fresh;
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
        SetSynchronised(false);
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
        SetSynchronised(false);
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
    SetSynchronised(false);
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
    SetSynchronised(false);
    return Step::Progress;
}

FrameAssembler::Step FrameAssembler::RejectFrame(uint32_t bytes, bool count_error)
{
    if (count_error)
        ++statistics.frame_errors;
    Remove(std::min(bytes, fill));
    SetSynchronised(false);
    return Step::Progress;
}

void FrameAssembler::Remove(uint32_t bytes)
{
    // A walk that extended the failed one and then succeeded leaves marks
    // whose end is unknown.
    if (walk_memo == WalkMemo::Extending && walk_offset > 0 &&
        head_offset + walk_offset != failed_end)
        failed_marks.clear();
    head_offset += bytes;
    begin += bytes;
    fill -= bytes;
    walk_offset = 0;
    walk_marks.clear();
    walk_memo = WalkMemo::Fresh;
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
        SetSynchronised(false);
        return false;
    }
    if (container)
        return true;
    ++statistics.legacy_frames;
    SetSynchronised(false);
    const uint32_t pic_count = LoadU16(frame + 6);
    const uint32_t last = statistics.last_pic_count;
    if (last != 0 && pic_count - last != 1 && !(last == 65535 && pic_count == 0))
        ++statistics.pic_count_errors;
    statistics.last_pic_count = pic_count;
    TakePictureCounter(pic_count, LoadU32(frame + 8));
    return true;
}
