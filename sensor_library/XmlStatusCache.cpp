#include "sensor_library/XmlStatusCache.h"

#include <tinyxml2.h>

bool XmlStatusCache::Parse(const char* xml)
{
    (void)xml;
    return false;
}

std::string XmlStatusCache::Text(uint16_t key) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return key < texts.size() ? texts[key] : std::string();
}

bool XmlStatusCache::IsPackedIntensity() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return packed_intensity;
}
