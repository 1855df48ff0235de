// Named values: every name read from its own source (the last scan, the
// XML status, the library, the sensor), under its four spellings, with the
// maximum-age rule and exact-fit buffer sizes.
#include <gtest/gtest.h>

#include "ReadyConnection.h"
#include "platform/Clock.h"

namespace {

using namespace TestSupport;

// A scan whose blocks are patterned (every field reads its own value), with
// a text block, one camera register block and no scale block.
Bytes PatternedScan()
{
    ContainerBuilder builder;
    AddPatternedBlocks(builder);
    return builder.AddTextBlock("hello")
        .AddBlock(Tag::CAMERA_QRTA, PatternBytes(24, 0x33))
        .AddBlock(Tag::RAW_PROFILE, RawProfilePayload(1, 7, {16, 8, 8, 0}, PatternBytes(16, 1)))
        .Build();
}

class NamedValuesTest : public ReadyConnection {
protected:
    void TakeScan()
    {
        fake->Feed(scan);
        double x[16];
        ASSERT_LE(0, scanvo.GetXZIExtended(x, nullptr, nullptr, nullptr, 16, nullptr, nullptr, 0, nullptr, 0, nullptr));
    }

    // The text read, or "" when the result is not 0 (kept in `result`).
    std::string Read(const std::string& name, int32_t max_age, uint32_t size = 256)
    {
        buffer.assign(size + 1, 0x7E);
        result = scanvo.ReadData(name.c_str(), reinterpret_cast<char*>(buffer.data()), size, max_age);
        return result == 0 ? std::string(reinterpret_cast<const char*>(buffer.data())) : std::string();
    }
    Bytes Prefix(std::size_t size) const { return Bytes(buffer.begin(), buffer.begin() + long(size)); }

    const Bytes scan = PatternedScan();
    Bytes buffer;
    int32_t result = 0;
};

// Every name but the requests, library values and blocks: its number from
// the last scan (maxAge -1) and its cached text (maxAge -2); null where the
// name has no such value (-2, not supported).
using NamedValue = std::tuple<const char*, const char*, const char*>;  // name, live, cached

// Numbers by hand from the patterns: general byte i = 0x10 + 7i, static
// 0x40 + 7i, X region 0x80 + 7i, Z region 0xA0 + 7i, status byte j = 5 + 7j.
// Status byte 1 has bit 3 set, so the trigger source reads -1; the encoder
// counter of general bytes 22 to 25 has its top bit set.
const NamedValue NAMED_VALUES[] = {
    {"PictureCounter", "20296", nullptr},
    {"UserIOCounter", "117", nullptr},
    {"CPUFiFo", "2846006164", nullptr},
    {"GetPllLockStatus", "-115", nullptr},
    {"Encoder", "-1078414934", nullptr},
    {"LinearizationMode", "0", nullptr},
    {"Timestamp", "1801739606", "general.timestamp"},
    {"IOState", "235", "13"},
    {"EncoderTTL", "3216552362", "general.encoder_ttl_rs422"},
    {"Temperature", "32", "general.temperatur"},
    {"LaserActive", "0", "settings.laseractive"},
    {"TriggerSource", "-1", "settings.triggersource"},
    {"TriggerAmountProfilesY", "12", "settings.triggeramountprofilesy"},
    {"AcquisitionLineTime", "2169363", "settings.acquisitionlinetime"},
    {"SignalContentStrength", "1", "settings.protocol.profile.signal.content.strength"},
    {"EncoderCountDirection", "0", "settings.encoder.countdirection"},
    {"EncoderTriggerFunction", "0", "settings.encoder.triggerfunction"},
    {"ExposureTime", "6774873", "settings.exposuretime"},
    {"ROI1WidthX", "56276", "settings.roi.x1.width"},
    {"ROI1StepZ", "2306", "settings.roi.z1.step"},
    {"EA1Function", "133", "settings.usrio.ea1.function"},
    {"EA1Output", "19", "settings.usrio.ea1.output"},
    {"EA1ResetCounterSignaledge", "2", "settings.usrio.ea1.resetcounter.signaledge"},
    {"EA4Function", "3", "settings.usrio.ea4.function"},
    {"EA4ResetCounterEncoderTTLRS422", "1", "settings.usrio.ea4.resetcounter.encoder_ttl_rs422"},
    {"OrderNumber", nullptr, "QRTB-SIM-100"},
    {"SerialNumber", nullptr, "12345678"},
    {"WorkingRangeZEnd", nullptr, "200"},
    {"TTLState", nullptr, "6"},
    {"ROI1_mm", nullptr, "-40,100,40,300"},
    {"ROI1Z_mm", nullptr, "150,250"},
};

// Each name answers as itself, with "Get" before it and a carriage return
// after; any other spelling is unknown (-3, the buffer cleared). Live values
// wait for a scan after connect and after a reset (-4).
TEST_F(NamedValuesTest, EveryNameReadsItsOwnSourceUnderItsFourSpellings)
{
    for (const char* name : {"Temperature", "PictureCounter", "SerialNumber", "IDGeneral", "RawData"})
        EXPECT_EQ(-4, (Read(name, -1), result)) << name;
    TakeScan();
    for (const auto& [value_name, live, cached] : NAMED_VALUES) {
        const std::string name = value_name;
        for (const std::string& spelling : {name, "Get" + name, name + "\r", "Get" + name + "\r"}) {
            SCOPED_TRACE(spelling);
            EXPECT_EQ(live ? live : "", Read(spelling, -1));
            EXPECT_EQ(live ? 0 : -2, result);
            EXPECT_EQ(cached ? cached : "", Read(spelling, -2));
            EXPECT_EQ(cached ? 0 : -2, result);
        }
    }
    EXPECT_EQ("-115", Read("GetGetPllLockStatus", -1));
    for (const char* name : {"temperature", "PllLockStatus", "GetTemperature\r\r", ""}) {
        EXPECT_EQ("", Read(name, -1)) << name;
        EXPECT_EQ(-3, result);
        EXPECT_EQ(0, buffer[0]);
    }
    // Without a buffer nothing is written, whatever the name.
    for (const char* name : {"temperature", "Temperature", "IDGeneral", "RawData", "SerialNumber"})
        EXPECT_EQ(-1, scanvo.ReadData(name, nullptr, 10, name[0] == 'S' ? -2 : -1)) << name;
    scanvo.ResetDllFiFo();
    for (const char* name : {"PictureCounter", "RawData"})
        EXPECT_EQ(-4, (Read(name, -1), result)) << name;
}

TEST_F(NamedValuesTest, ValuesAndBlocksFitOnlyWithASpareByteExceptTheLinearizationData)
{
    EXPECT_EQ("", Read("OrderNumber", -2, 12));  // "QRTB-SIM-100"
    EXPECT_EQ(-1, result);
    EXPECT_EQ(0x7E, buffer[0]);
    EXPECT_EQ("QRTB-SIM-100", Read("OrderNumber", -2, 13));
    TakeScan();
    const uint32_t scan_size = static_cast<uint32_t>(scan.size()), lin_size = static_cast<uint32_t>(lin.size());
    const std::tuple<const char*, int32_t, uint32_t, int32_t> sizes[] = {
        {"SerialNumber", -2, 0, -1},
        {"IDGeneral", -1, 52, -1},
        {"IDGeneral", -1, 53, 0},
        {"IDGeneral", -2, 53, -2},
        {"IDScan", -1, 4096, 0},
        {"IDScanLinear", -1, 4096, -5},  // a block the scan lacks
        {"RawData", -1, scan_size, -1},
        {"LinearizationData", -1, lin_size - 1, -2},
        {"LinearizationData", -1, lin_size, 0},
        {"RawData", -1, scan_size + 1, 0}};
    for (const auto& [name, age, size, expected] : sizes)
        EXPECT_EQ(expected, (Read(name, age, size), result)) << name << " in " << size;
    EXPECT_EQ(scan, Prefix(scan.size()));
    Read("IDGeneral", -1, 53);  // blocks are copied whole
    EXPECT_EQ(Bytes(scan.begin() + 8, scan.begin() + 60), Prefix(52));
    Read("LinearizationData", -1, lin_size);
    EXPECT_EQ(lin, Prefix(lin.size()));
    EXPECT_EQ(std::to_string(lin.size()), Read("LinearizationDataSize", 0));
}

// Age 0 refreshes the XML status, a positive age only when it is older;
// requests ignore the age and send their own text; library values come from
// the field and the commands, and ask the sensor nothing.
TEST_F(NamedValuesTest, TheMaximumAgeDecidesWhenTheSensorIsAsked)
{
    EXPECT_EQ("general.temperatur", Read("Temperature", 0));
    EXPECT_EQ(std::vector<std::string>{"get_xmldescriptorexpert\r"}, fake->Sent());
    fake->ClearSent();
    EXPECT_EQ("general.temperatur", Read("Temperature", 60000));
    EXPECT_EQ("general.temperatur", Read("Temperature", -7));
    EXPECT_EQ("0.093750", Read("RangeImageXScale", -1));  // 120 mm over 1280 pixels
    EXPECT_EQ("-60.000000", Read("RangeImageXOffset", -1));
    EXPECT_EQ("100.000000", Read("RangeImageZOffset", 5));
    EXPECT_EQ("1", Read("RangeImageNrProfiles", 0));
    EXPECT_EQ(28, scanvo.WriteData("SetRangeImageNrProfiles=0x20", 28));
    EXPECT_EQ("32", Read("RangeImageNrProfiles", 0));
    EXPECT_EQ("0", Read("CheckLinearizationMode", 0));
    EXPECT_TRUE(fake->Sent().empty());
    const uint32_t parsed = Platform::GetTickCountMs();
    ASSERT_TRUE(WaitUntil([&] { return Platform::GetTickCountMs() - parsed > 3; }));
    EXPECT_EQ("general.temperatur", Read("Temperature", 2));
    EXPECT_EQ(1u, fake->Sent().size());
    EXPECT_EQ(-2, (Read("PictureCounter", 0), result));
    fake->ClearSent();
    EXPECT_EQ("settings 1", Read("Settings=1", -1));
    EXPECT_EQ(SensorXml(DefaultXmlValues()), Read("XmlDescriptor", -1, 1 << 16));
    EXPECT_EQ((std::vector<std::string>{"GetSettings=1", "get_xmldescriptor\r"}), fake->Sent());
    // A silent sensor fails the refresh after a second; the cache keeps its texts.
    answering = false;
    EXPECT_EQ(-5, (Read("SerialNumber", 0), result));
    EXPECT_EQ("12345678", Read("SerialNumber", -2));
}

// The XML status behind the cached values: text that does not parse changes
// nothing, a missing pin state repeats the one before it, the ROI command is
// the text between the equals sign and the quote.
TEST(XmlStatusCacheTest, ReadsTheTextsTheNamedValuesGive)
{
    XmlStatusCache cache;
    ASSERT_TRUE(cache.Parse(SensorXml(DefaultXmlValues()).c_str()));
    for (const char* garbage : {"", "<device><general>", "no xml at all", "<a></b>", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(cache.Parse(garbage)) << (garbage ? garbage : "null");
    EXPECT_EQ("general.producer", cache.Text(XmlKey::PRODUCER));
    const std::tuple<const char*, const char*, uint16_t, const char*> rows[] = {
        {"device:general:usrio:ea2:state", nullptr, XmlKey::IO_STATE, "15"},
        {"device:settings:roi:roimm:command", "a=1,2\" b=3\"", XmlKey::ROI1_MM, "1,2"},
        {"device:settings:roi:roimm:command", "a=\"", XmlKey::ROI1_MM, ""},
        {"device:settings:roi:roimm:command", "no equals\"", XmlKey::ROI1_MM, "NotSet"},
        {"device:settings:roi:roimm:command", "a=no quote", XmlKey::ROI1_MM, "NotSet"},
        {"device:settings:roi:roimm:command", "", XmlKey::ROI1_MM, "NotSet"}};
    for (const auto& [path, text, key, expected] : rows) {
        auto values = DefaultXmlValues();
        text ? void(values[path] = text) : void(values.erase(path));
        XmlStatusCache fresh;
        ASSERT_TRUE(fresh.Parse(SensorXml(values).c_str()));
        EXPECT_EQ(expected, fresh.Text(key)) << path << " " << (text ? text : "missing");
    }
    const std::tuple<const char*, const char*, bool> versions[] = {
        {"1.1.2", "QRTB-100", true},
        {"1.1.3-rc1", "QRTB-100", false},
        {"1.0.9r2", "x-QRTB", true},
        {"1.1.2", "QRTA-100", false},
        {"beta", "QRTB-100", false},
        {"", "QRTB-100", false}};
    for (const auto& [firmware, order, packed] : versions)
        EXPECT_EQ(packed, XmlStatusCache::UsesPackedIntensity(firmware, order)) << firmware << " " << order;
}

}  // namespace
