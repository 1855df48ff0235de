// The sensor's XML status: the texts at every path, the derived masks and
// region commands, and text that must change nothing.
#include <gtest/gtest.h>

#include "sensor_library/XmlStatusCache.h"
#include "support/SensorScans.h"

namespace {

using TestSupport::DefaultXmlValues;
using TestSupport::SensorXml;

class XmlStatusCacheTest : public ::testing::Test {
protected:
    XmlStatusCache cache;
};

TEST_F(XmlStatusCacheTest, AMissingPathKeepsItsTextAndAnEmptyElementClearsIt)
{
    ASSERT_TRUE(cache.Parse(SensorXml(DefaultXmlValues()).c_str()));
    ASSERT_TRUE(cache.Parse("<device><general><producer/><serial>x</serial></general></device>"));
    EXPECT_EQ("", cache.Text(XmlKey::PRODUCER));
    EXPECT_EQ("12345678", cache.Text(XmlKey::SERIAL_NUMBER));
    EXPECT_EQ("13", cache.Text(XmlKey::IO_STATE));
    EXPECT_EQ("NotSet", cache.Text(XmlKey::ROI1_MM));
}

TEST_F(XmlStatusCacheTest, TextThatDoesNotParseChangesNothing)
{
    ASSERT_TRUE(cache.Parse(SensorXml(DefaultXmlValues()).c_str()));
    for (const char* garbage : {"", "<device><general>", "no xml at all", "<a></b>"})
        EXPECT_FALSE(cache.Parse(garbage)) << garbage;
    EXPECT_FALSE(cache.Parse(nullptr));
    EXPECT_EQ("general.producer", cache.Text(XmlKey::PRODUCER));
}

TEST_F(XmlStatusCacheTest, GarbageNumbersGiveNoGeometryAndZeroStates)
{
    auto values = DefaultXmlValues();
    values["device:general:pixel_x_max"] = "wide";
    values["device:general:usrio:ea1:state"] = "on";
    ASSERT_TRUE(cache.Parse(SensorXml(values).c_str()));
    FieldGeometry geometry;
    EXPECT_FALSE(cache.ReadGeometry(geometry));
    EXPECT_EQ("12", cache.Text(XmlKey::IO_STATE));
}

TEST_F(XmlStatusCacheTest, AMissingStateRepeatsTheOneBeforeIt)
{
    auto values = DefaultXmlValues();
    values.erase("device:general:usrio:ea2:state");  // repeats ea1's "1"
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
