// The sensor's XML status: firmware rules, region commands, and text that
// must change nothing.
#include <gtest/gtest.h>

#include "sensor_library/XmlStatusCache.h"
#include "support/SensorScans.h"

namespace {

using TestSupport::DefaultXmlValues;
using TestSupport::SensorXml;

TEST(XmlStatusCacheTest, TextThatDoesNotParseChangesNothing)
{
    XmlStatusCache cache;
    ASSERT_TRUE(cache.Parse(SensorXml(DefaultXmlValues()).c_str()));
    for (const char* garbage : {"", "<device><general>", "no xml at all", "<a></b>"})
        EXPECT_FALSE(cache.Parse(garbage)) << garbage;
    EXPECT_FALSE(cache.Parse(nullptr));
    EXPECT_EQ("general.producer", cache.Text(XmlKey::PRODUCER));
}

TEST(XmlStatusCacheTest, AMissingStateRepeatsTheOneBeforeIt)
{
    auto values = DefaultXmlValues();
    values.erase("device:general:usrio:ea2:state");
    XmlStatusCache cache;
    ASSERT_TRUE(cache.Parse(SensorXml(values).c_str()));
    EXPECT_EQ("15", cache.Text(XmlKey::IO_STATE));
}

TEST(PackedIntensityTest, FollowsTheFirmwareVersionOfQrtbSensors)
{
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"1.1.2", "QRTB-100", true},  {"1.1.3-rc1", "QRTB-100", false}, {"1.0.9r2", "x-QRTB", true},
        {"1.1.2", "QRTA-100", false}, {"beta", "QRTB-100", false},      {"", "QRTB-100", false}};
    for (const auto& [firmware, order, packed] : rows)
        EXPECT_EQ(packed, XmlStatusCache::UsesPackedIntensity(firmware, order))
            << firmware << " " << order;
}

TEST(RoiCommandTest, TakesTheTextBetweenEqualsAndQuote)
{
    const std::pair<const char*, const char*> rows[] = {{"a=1,2\" b=3\"", "1,2"},
                                                        {"a=\"", ""},
                                                        {"no equals\"", "NotSet"},
                                                        {"a=no quote", "NotSet"},
                                                        {"", "NotSet"}};
    for (const auto& [text, command] : rows) {
        auto values = DefaultXmlValues();
        values["device:settings:roi:roimm:command"] = text;
        XmlStatusCache cache;
        ASSERT_TRUE(cache.Parse(SensorXml(values).c_str()));
        EXPECT_EQ(command, cache.Text(XmlKey::ROI1_MM)) << text;
    }
}

}  // namespace
