// The sensor's XML status and the named values read from it: the input is a
// value name, a NUL, then the XML.
#include <cstring>
#include <string>

#include "sensor_library/CScanvo.h"
#include "sensor_library/XmlStatusCache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    const auto* nul = static_cast<const char*>(std::memchr(text, 0, size));
    const std::string name = nul != nullptr ? std::string(text, nul) : std::string();
    const std::string xml = nul != nullptr ? std::string(nul + 1, text + size) : std::string(text, size);

    XmlStatusCache cache;
    cache.Parse(xml.c_str());
    for (uint16_t key = 0; key < XmlKey::COUNT; ++key)
        cache.Text(key);
    cache.IsPackedIntensity();
    FieldGeometry geometry;
    cache.ReadGeometry(geometry);

    CScanvo scanvo;
    scanvo.ParseXmlProperties(xml.c_str());
    char value[64];
    for (int32_t max_age : {-1, -2})
        for (uint32_t room : {0u, 1u, 8u, 64u})
            scanvo.ReadData(name.c_str(), value, room, max_age);
    return 0;
}
