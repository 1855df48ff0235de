// GenTLDataStreamInfo.cpp: what a data stream answers: DSGetInfo, the flow
// queries, the stream-level buffer lookups, its registers and the base
// bodies of the engine extension interface.
#include "gentl_core/CoreRegisterAccess.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenDCProtocolSupport.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLDataStream.h"
#include "gentl_core/InfoCommandHandling.h"
#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore {

namespace {

enum StreamRegisterId : uint32_t {
    REG_STREAM_ID = 4001,
    REG_ANNOUNCED_BUFFER_COUNT = 4002,
    REG_ANNOUNCE_BUFFER_MINIMUM = 4003,
    REG_BUFFER_HANDLING_MODE = 4004,
    REG_ACQUISITION_ACTIVE = 4005,
    REG_MODIFIES_PAYLOAD = 4006,
    REG_PAYLOAD_SIZE = 4007,
    REG_SCHEDULING_POLICY_IMPL = 4008,
    REG_SCHEDULING_POLICY = 4009,
    REG_THREAD_PRIORITY = 4010,
    REG_APPLY_PRIORITY = 4011,
    REG_AUX_BUFFER_COUNT = 4012,
};

constexpr RegisterDefinition STREAM_REGISTERS[] = {
    {REG_STREAM_ID, REG_TYPE_STRING, 0x0, 128, REG_ACCESS_RO, false},
    {REG_ANNOUNCED_BUFFER_COUNT, REG_TYPE_UINT32, 0x10000000, 4, REG_ACCESS_RO, false},
    {REG_ANNOUNCE_BUFFER_MINIMUM, REG_TYPE_UINT32, 0x10000004, 4, REG_ACCESS_RO, false},
    {REG_BUFFER_HANDLING_MODE, REG_TYPE_UINT32, 0x10000008, 4, REG_ACCESS_RW, false},
    {REG_ACQUISITION_ACTIVE, REG_TYPE_UINT32, 0x1000000C, 4, REG_ACCESS_RO, false},
    {REG_MODIFIES_PAYLOAD, REG_TYPE_UINT32, 0x10000010, 4, REG_ACCESS_RO, false},
    {REG_PAYLOAD_SIZE, REG_TYPE_UINT32, 0x10000014, 4, REG_ACCESS_RO, false},
    {REG_SCHEDULING_POLICY_IMPL, REG_TYPE_UINT32, 0x20000000, 4, REG_ACCESS_RO, false},
    {REG_SCHEDULING_POLICY, REG_TYPE_INT32, 0x20000004, 4, REG_ACCESS_RW, false},
    {REG_THREAD_PRIORITY, REG_TYPE_INT32, 0x20000008, 4, REG_ACCESS_RW, false},
    {REG_APPLY_PRIORITY, REG_TYPE_UINT32, 0x2000000C, 4, REG_ACCESS_WO, false},
    {REG_AUX_BUFFER_COUNT, REG_TYPE_UINT32, 0x20000010, 4, REG_ACCESS_RW, false},
};

constexpr const char* NO_FLOW_CONFIGURATION =
    ": flow configuration currently not available/applicable/queriable";

GC_ERROR UnknownStreamInfoCommand()
{
    return ReportError(GC_ERR_NOT_IMPLEMENTED,
                       "GetStreamInfo: unknown stream info command requested");
}

}  // namespace

std::span<const RegisterDefinition> GenTLDataStream::GetCoreRegisterTable()
{
    return RegisterTable();
}

std::span<const RegisterDefinition> GenTLDataStream::RegisterTable()
{
    return STREAM_REGISTERS;
}

const ModuleRegisterIds& GenTLDataStream::CommonRegisterIds()
{
    return COMMON_REGISTER_IDS;
}

// ---- DSGetInfo ----

GC_ERROR GenTLDataStream::GetStreamInfo(STREAM_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                        size_t* size)
{
    ScopedLock lock(handle_lock);
    switch (command) {
        case STREAM_INFO_ID:
            return CopyInfoString(stream_id, type, buffer, size);
        case STREAM_INFO_NUM_DELIVERED:
            return CopyInfoUInt64(new_buffer_event->GetNumDelivered(), type, buffer, size);
        case STREAM_INFO_NUM_UNDERRUN:
            return CopyInfoUInt64(GetEngineBufferCount(ENGINE_COUNT_UNDERRUN) + lost_count.load(),
                                  type, buffer, size);
        case STREAM_INFO_NUM_ANNOUNCED:
            return CopyInfoSizeT(announced_pool.size(), type, buffer, size);
        case STREAM_INFO_NUM_QUEUED:
            return CopyInfoSizeT(GetEngineBufferCount(ENGINE_COUNT_QUEUED) + queued_pool.size(),
                                 type, buffer, size);
        case STREAM_INFO_NUM_AWAIT_DELIVERY:
            return CopyInfoSizeT(new_buffer_event->GetNumInQueue(), type, buffer, size);
        case STREAM_INFO_NUM_STARTED:
            return CopyInfoUInt64(GetEngineBufferCount(ENGINE_COUNT_STARTED), type, buffer, size);
        case STREAM_INFO_PAYLOAD_SIZE:
            if (!ModifiesPayload())
                return ReportError(GC_ERR_NOT_AVAILABLE,
                                   "GetStreamInfo: the payload size of this data stream is not "
                                   "modified by the producer, PayloadSize of the remote device "
                                   "should be used.");
            TL_ASSERT(KnowsPayloadSize());
            return CopyInfoSizeT(GetPayloadSize(), type, buffer, size);
        case STREAM_INFO_IS_GRABBING:
            return CopyInfoBool8(is_streaming.load(), type, buffer, size);
        case STREAM_INFO_DEFINES_PAYLOADSIZE:
            return CopyInfoBool8(ModifiesPayload(), type, buffer, size);
        case STREAM_INFO_TLTYPE:
            return CopyInfoString(GetBranding().TLType(), type, buffer, size);
        case STREAM_INFO_NUM_CHUNKS_MAX:
            return ReportError(GC_ERR_NOT_AVAILABLE,
                               "GetStreamInfo: the max number of chunks is unknown, the chunk "
                               "layout is device specific.");
        case STREAM_INFO_BUF_ANNOUNCE_MIN:
        case STREAM_INFO_BUF_ALIGNMENT:
            return CopyInfoSizeT(1, type, buffer, size);
        case STREAM_INFO_FLOW_TABLE: {
            if (!GetBranding().CompositeBufferAware())
                return ReportError(GC_ERR_NOT_IMPLEMENTED,
                                   "GetStreamInfo: this transport layer implementation does not "
                                   "support flows");
            const std::vector<uint8_t> table = GetFlowMappingTable();
            if (table.empty())
                return ReportError(GC_ERR_NO_DATA,
                                   std::string("GetStreamInfo") + NO_FLOW_CONFIGURATION);
            return CopyInfoBuffer(table.data(), table.size(), type, buffer, size);
        }
        case STREAM_INFO_GENDC_PREFETCH_DESCRIPTOR: {
            if (!ImplementsGenDC())
                return ReportError(GC_ERR_NOT_IMPLEMENTED,
                                   "GetStreamInfo: this transport layer implementation (or "
                                   "device) does not GenDC streaming");
            const std::vector<uint8_t> descriptor = GetGenDCPrefetchDescriptor();
            if (descriptor.empty())
                return ReportError(GC_ERR_NO_DATA,
                                   "GetStreamInfo: GenDC prefetch descriptor currently not "
                                   "available/applicable/queriable");
            return CopyInfoBuffer(descriptor.data(), descriptor.size(), type, buffer, size);
        }
        default:
            if (command >= STREAM_INFO_CUSTOM_ID)
                return GetCustomStreamInfo(command, type, buffer, size);
            return UnknownStreamInfoCommand();
    }
}

// ---- Flows ----

GC_ERROR GenTLDataStream::GetNumFlows(uint32_t* num_flows)
{
    ScopedLock lock(handle_lock);
    if (!GetBranding().CompositeBufferAware())
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetNumFlows: this transport layer implementation does not support "
                           "flows");
    if (num_flows == nullptr)
        return ReportError(GC_ERR_INVALID_PARAMETER, "GetNumFlows: invalid num_flows pointer");
    const std::vector<uint64_t> sizes = GetFlowSizes();
    if (sizes.empty())
        return ReportError(GC_ERR_NO_DATA, std::string("GetNumFlows") + NO_FLOW_CONFIGURATION);
    *num_flows = static_cast<uint32_t>(sizes.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::GetFlowInfo(uint32_t flow_index, FLOW_INFO_CMD command,
                                      INFO_DATATYPE* type, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    if (!GetBranding().CompositeBufferAware())
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetFlowInfo: this transport layer implementation does not support "
                           "flows");
    const std::vector<uint64_t> sizes = GetFlowSizes();
    if (sizes.empty())
        return ReportError(GC_ERR_NO_DATA, std::string("GetFlowInfo") + NO_FLOW_CONFIGURATION);
    if (flow_index >= sizes.size())
        return ReportError(GC_ERR_INVALID_INDEX,
                           "GetFlowInfo: invalid flow index, exceeding number of flows");
    if (command != FLOW_INFO_SIZE)
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetFlowInfo: unknown flow info command requested");
    return CopyInfoSizeT(sizes[flow_index], type, buffer, size);
}

// ---- Buffer lookups ----

GC_ERROR GenTLDataStream::GetBufferInfo(BUFFER_HANDLE handle, BUFFER_INFO_CMD command,
                                        INFO_DATATYPE* type, void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    const auto found = announced_pool.find(handle);
    if (found == announced_pool.end())
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "GetBufferInfo: the required buffer was not announced in the data "
                           "stream.");
    return found->second->GetBufferInfo(command, type, buffer, size);
}

GC_ERROR GenTLDataStream::GetBufferPartInfo(BUFFER_HANDLE handle, uint32_t part_index,
                                            BUFFER_PART_INFO_CMD command, INFO_DATATYPE* type,
                                            void* buffer, size_t* size)
{
    ScopedLock lock(handle_lock);
    const auto found = announced_pool.find(handle);
    if (found == announced_pool.end())
        return ReportError(GC_ERR_INVALID_HANDLE,
                           "GetBufferPartInfo: the required buffer was not announced in the data "
                           "stream.");
    GenTLBuffer& target = *found->second;
    ScopedLock buffer_lock(target.GetHandleLock());
    if (!target.IsMultiPartAware())
        return ReportError(GC_ERR_NOT_IMPLEMENTED,
                           "GetBufferPartInfo: this transport layer implementation does not "
                           "support multi-part payloads.");
    return target.GetBufferPartInfo(part_index, command, type, buffer, size);
}

// ---- Registers ----

GC_ERROR GenTLDataStream::ReadUInt32Register(uint32_t id, uint32_t& value)
{
    switch (id) {
        case REG_ANNOUNCED_BUFFER_COUNT:
            value = static_cast<uint32_t>(announced_pool.size());
            return GC_ERR_SUCCESS;
        case REG_ANNOUNCE_BUFFER_MINIMUM:
            value = 1;
            return GC_ERR_SUCCESS;
        case REG_BUFFER_HANDLING_MODE:
            value = handling_mode;
            return GC_ERR_SUCCESS;
        case REG_ACQUISITION_ACTIVE:
            value = acquisition_started ? 1 : 0;
            return GC_ERR_SUCCESS;
        case REG_MODIFIES_PAYLOAD:
            value = ModifiesPayload() ? 1 : 0;
            return GC_ERR_SUCCESS;
        case REG_PAYLOAD_SIZE:
            value = static_cast<uint32_t>(GetPayloadSize());
            return GC_ERR_SUCCESS;
        case REG_SCHEDULING_POLICY_IMPL:
            value = 0;
            return GC_ERR_SUCCESS;
        case REG_AUX_BUFFER_COUNT:
            value = aux_buffer_count;
            return GC_ERR_SUCCESS;
        default:
            break;
    }
    if (!IsCommonRegister(COMMON_REGISTER_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the data stream uint32 register to be read");
    return GenTLModule::ReadUInt32Register(id, value);
}

GC_ERROR GenTLDataStream::ReadInt32Register(uint32_t id, int32_t& value)
{
    if (id == REG_SCHEDULING_POLICY || id == REG_THREAD_PRIORITY)
        return ReadThreadPriorityRegister(id, value);
    return ReportUnknownRegister(
        "Internal error: cannot identify the data stream int32 register to be read");
}

GC_ERROR GenTLDataStream::ReadThreadPriorityRegister(uint32_t id, int32_t& value)
{
    const bool policy_asked = id == REG_SCHEDULING_POLICY;
    int32_t& stored = policy_asked ? thread_policy : thread_priority;
    int policy = 0;
    int priority = 0;
    if (acq_thread.GetPriority(&policy, &priority))
        stored = policy_asked ? policy : priority;
    else
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_ERROR)
            << "Failed to query thread priority parameters";
    value = stored;
    if (!GetBranding().AcquisitionEngineControlFeatures()) return GC_ERR_SUCCESS;
    int32_t engine_policy = 0;
    int32_t engine_priority = 0;
    const bool engine_answered = GetEngineThreadPriority(engine_policy, engine_priority);
    if (!engine_answered || (policy_asked ? engine_policy : engine_priority) != value)
        TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_WARNING)
            << (policy_asked ? "Stream engine scheduling policy not synced with TL-specific code"
                             : "Stream engine thread priority not synced with TL-specific code");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::ReadStringRegister(uint32_t id, std::string& value)
{
    if (id == REG_STREAM_ID) {
        value = stream_id;
        return GC_ERR_SUCCESS;
    }
    if (!IsCommonRegister(COMMON_REGISTER_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the data stream string register to be read");
    return GenTLModule::ReadStringRegister(id, value);
}

GC_ERROR GenTLDataStream::WriteUInt32Register(uint32_t id, uint32_t value)
{
    switch (id) {
        case REG_BUFFER_HANDLING_MODE:
            return WriteHandlingMode(value);
        case REG_APPLY_PRIORITY:
            ConfigureEngineThreadPriority();
            return GC_ERR_SUCCESS;
        case REG_AUX_BUFFER_COUNT:
            return WriteAuxBufferCount(value);
        default:
            break;
    }
    if (!IsCommonRegister(COMMON_REGISTER_IDS, id))
        return ReportUnknownRegister(
            "Internal error: cannot identify the data stream uint32 register to be written");
    return GenTLModule::WriteUInt32Register(id, value);
}

GC_ERROR GenTLDataStream::WriteInt32Register(uint32_t id, int32_t value)
{
    if (id == REG_SCHEDULING_POLICY)
        thread_policy = value;
    else if (id == REG_THREAD_PRIORITY)
        thread_priority = value;
    else
        return ReportUnknownRegister(
            "Internal error: cannot identify the data stream int32 register to be written");
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::WriteUInt32CustomRegister(uint32_t, uint32_t)
{
    TL_ASSERT_MSG(false, "Unknown custom register");
    return ReportError(GC_ERR_ERROR,
                       "Internal error: cannot identify the data stream custom "
                       "uint32 register to be written");
}

GC_ERROR GenTLDataStream::WriteHandlingMode(uint32_t value)
{
    if (value >= BUFHMODE_LAST)
        return ReportError(GC_ERR_INVALID_VALUE,
                           "Trying to set an unknown buffer handling mode value");
    if (acquisition_started)
        return ReportError(GC_ERR_ACCESS_DENIED,
                           "Cannot change the buffer handling mode during active acquisition");
    handling_mode = value;
    return GC_ERR_SUCCESS;
}

GC_ERROR GenTLDataStream::WriteAuxBufferCount(uint32_t value)
{
    if (value > MAX_AUX_BUFFERS)
        return ReportError(GC_ERR_INVALID_VALUE,
                           "The requested number of auxiliary buffers is out of valid range");
    if (acquisition_started)
        return ReportError(GC_ERR_ACCESS_DENIED,
                           "Cannot change the number of auxiliary buffers during active "
                           "acquisition");
    aux_buffer_count = value;
    return GC_ERR_SUCCESS;
}

bool GenTLDataStream::PrepareCoreFeaturePersistence()
{
    if (!acquisition_started) return true;
    TL_LOG(LOG_CATEGORY_STREAM, LOG_LEVEL_ERROR)
        << "Refusing feature persistence start during active acquisition";
    return false;
}

bool GenTLDataStream::PrepareCoreRegisterStreaming()
{
    if (!PrepareCoreFeaturePersistence()) return false;
    register_streaming = true;
    return true;
}

bool GenTLDataStream::CleanupCoreRegisterStreaming()
{
    ConfigureEngineThreadPriority();
    register_streaming = false;
    return true;
}

// ---- Base bodies of the extension interface ----

uint64_t GenTLDataStream::GetPayloadSize()
{
    TL_ASSERT_MSG(false, "Stream payload size query not properly overriden");
    return 0;
}

std::vector<uint64_t> GenTLDataStream::GetFlowSizes()
{
    TL_ASSERT(GetBranding().CompositeBufferAware());
    TL_ASSERT_MSG(false, "Flow support not implemented by the transport layer");
    return {};
}

std::vector<uint8_t> GenTLDataStream::GetFlowMappingTable()
{
    const std::vector<uint64_t> sizes = GetFlowSizes();
    return sizes.empty() ? std::vector<uint8_t>() : BuildFlowMappingTable(sizes);
}

GC_ERROR GenTLDataStream::GetCustomStreamInfo(STREAM_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return UnknownStreamInfoCommand();
}

SharedPtr<GenTLBuffer> GenTLDataStream::CreateCompositeBuffer(const std::vector<MemorySegment>&,
                                                              void*, bool)
{
    TL_ASSERT(GetBranding().CompositeBufferAware());
    TL_ASSERT_MSG(false, "Composite buffer support not implemented by the transport layer");
    return SharedPtr<GenTLBuffer>();
}

bool GenTLDataStream::SetEngineThreadPriority(int32_t, int32_t)
{
    TL_ASSERT(GetBranding().AcquisitionEngineControlFeatures());
    TL_ASSERT_MSG(false, "Engine control not implemented by the transport layer");
    return false;
}

bool GenTLDataStream::GetEngineThreadPriority(int32_t&, int32_t&)
{
    TL_ASSERT(GetBranding().AcquisitionEngineControlFeatures());
    TL_ASSERT_MSG(false, "Engine control not implemented by the transport layer");
    return false;
}

std::vector<uint8_t> GenTLDataStream::GetGenDCPrefetchDescriptor()
{
    TL_ASSERT(ImplementsGenDC());
    TL_ASSERT_MSG(false, "GenDC support not implemented by the transport layer");
    return {};
}

}  // namespace GenTLCore
