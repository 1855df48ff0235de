// The named values of CScanvo and its XML status.
#include "sensor_library/CScanvo.h"

void CScanvo::RegisterProperties()
{
}

void CScanvo::AddProperty(const std::string& key, PropertyGetter getter)
{
    properties[key + "\r"] = getter;
    properties["Get" + key] = getter;
    properties["Get" + key + "\r"] = getter;
    properties[key] = std::move(getter);
}

void CScanvo::ParseXmlProperties(const char* text)
{
    (void)text;
}

bool CScanvo::RequestXml()
{
    return true;
}

int32_t CScanvo::EnsureFresh(int32_t max_age)
{
    (void)max_age;
    return 0;
}

int32_t CScanvo::CopyStringProperty(uint16_t key, unsigned char* buffer, uint32_t size,
                                    int32_t max_age)
{
    (void)key;
    (void)buffer;
    (void)size;
    (void)max_age;
    return SCANVO_READDATAFEATURENOTDEFINED;
}

void CScanvo::ComputeRangeImageDefaults()
{
}
