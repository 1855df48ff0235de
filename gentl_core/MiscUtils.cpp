#include "gentl_core/MiscUtils.h"

#include <cstdio>

#include "gentl_core/GenTLBranding.h"
#include "platform/Assert.h"
#include "platform/ModulePath.h"

namespace GenTLCore {

namespace {

std::string Prefix()
{
    return GetBranding().UniqueIDPrefix();
}

const char* EventWord(EVENT_TYPE event_type)
{
    switch (event_type) {
        case EVENT_ERROR:
            return "err";
        case EVENT_NEW_BUFFER:
            return "newbuf";
        case EVENT_FEATURE_INVALIDATE:
            return "ftrinv";
        case EVENT_FEATURE_CHANGE:
            return "ftrchn";
        case EVENT_REMOTE_DEVICE:
            return "rmtdev";
        case EVENT_MODULE:
            return "mod";
        default:
            Platform::ReportAssertion("Unknown event type", __FILE__, __LINE__);
            return "unknown";
    }
}

std::string ToLowerHex(uint64_t number)
{
    char text[17];
    std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(number));
    return text;
}

char Separator()
{
    static const char separator = GetBranding().AlternativeIDSeparator();
    return separator;
}

}  // namespace

std::string MakeSystemUniqueString(bool path)
{
    if (path) {
        std::string producer_path = GetProducerPath();
        if (!producer_path.empty())
            return producer_path;
    }
    return Prefix() + "_SYSTEM";
}

std::string MakeInterfaceUniqueString(const std::string& unique_str)
{
    TL_ASSERT(!unique_str.empty ());
    return Prefix() + "_" + unique_str;
}

std::string MakeDeviceUniqueString(const std::string& device_id, const std::string& vendor_name,
                                   const std::string& model_name)
{
    std::string custom = GetBranding().CustomDeviceUniqueString(device_id, vendor_name, model_name);
    if (!custom.empty())
        return custom;
    return Prefix() + "_DEV_" + device_id;
}

std::string MakeRemoteDeviceUniqueString(const std::string& device_id)
{
    return Prefix() + "_RMT_" + device_id;
}

std::string MakeStreamUniqueString(const std::string& dev_unique_str, const std::string& stream_id)
{
    TL_ASSERT(!dev_unique_str.empty ());
    std::string custom = GetBranding().CustomStreamUniqueString(dev_unique_str, stream_id);
    if (!custom.empty())
        return custom;
    return Prefix() + "_STM" + stream_id + "_" + dev_unique_str;
}

std::string MakeBufferUniqueString(const std::string& dev_unique_str, const std::string& stream_id,
                                   uint32_t buffer_number)
{
    return MakeStreamUniqueString(dev_unique_str, stream_id) + "_BUF" +
           std::to_string(buffer_number);
}

std::string MakeEventUniqueString(EVENT_TYPE event_type)
{
    return Prefix() + "_EVT" + EventWord(event_type);
}

std::string MakePortURL(const std::string& file_name, const std::string& document)
{
    return "local:" + file_name + ";" + ToLowerHex(DESCRIPTION_REGISTER_ADDRESS) + ";" +
           ToLowerHex(document.size());
}

std::string GetProducerPath()
{
    return Platform::GetModulePath(&GetProducerPath);
}

std::string GetFileNameFromPath(const std::string& path)
{
    const size_t last = path.find_last_of("/\\");
    if (last == std::string::npos)
        return path;
    return path.substr(last + 1);
}

bool IsAlternativeID(const std::string& id)
{
    return !id.empty() && id.front() == Separator();
}

void ParseAlternativeID(const std::string& id, std::string& key, std::string& value)
{
    key.clear();
    value.clear();
    if (!IsAlternativeID(id))
        return;
    const size_t second = id.find(Separator(), 1);
    if (second == std::string::npos)
        return;
    key = id.substr(1, second - 1);
    value = id.substr(second + 1);
}

}  // namespace GenTLCore
