// Named values: every name read from its own source (the last scan, the
// XML status, the library, the sensor), under its four spellings, with the
// maximum-age rule and exact-fit buffer sizes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "ReadyConnection.h"
#include "platform/Clock.h"

namespace {

using namespace TestSupport;

const std::string XML_REFRESH = "get_xmldescriptorexpert\r";

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

// The block with `tag` of a container, found by walking it.
Bytes BlockOf(const Bytes& container, uint32_t tag)
{
    for (std::size_t at = 8; at + 8 <= container.size(); at += GetU32(container, at + 4)) {
        if (GetU32(container, at) == tag)
            return Bytes(container.begin() + static_cast<long>(at),
                         container.begin() + static_cast<long>(at + GetU32(container, at + 4)));
    }
    return {};
}

class NamedValuesTest : public ReadyConnection {
protected:
    void TakeScan()
    {
        fake->Feed(scan);
        double x[16];
        ASSERT_LE(0, scanvo.GetXZIExtended(x, nullptr, nullptr, nullptr, 16, nullptr, nullptr, 0,
                                           nullptr, 0, nullptr));
    }

    // The text read, or "" when the result is not 0 (kept in `result`).
    std::string Read(const std::string& name, int32_t max_age, uint32_t size = 256)
    {
        buffer.assign(size + 1, 0x7E);
        result = scanvo.ReadData(name.c_str(), reinterpret_cast<char*>(buffer.data()), size, max_age);
        return result == 0 ? std::string(reinterpret_cast<const char*>(buffer.data())) : std::string();
    }

    const Bytes scan = PatternedScan();
    Bytes buffer;
    int32_t result = 0;
};

// Every name but the requests, library values and blocks: its number from
// the last scan (maxAge -1) and its cached text (maxAge -2); null where the
// name has no such value (-2, not supported).
struct NamedValue {
    const char* name;
    const char* live;
    const char* cached;
};

// Numbers by hand from the patterns: general byte i = 0x10 + 7i, static
// 0x40 + 7i, X region 0x80 + 7i, Z region 0xA0 + 7i, status byte j = 5 + 7j.
// Status byte 1 has bit 3 set, so the trigger source reads -1; the encoder
// counter of general bytes 22 to 25 has its top bit set.
const NamedValue NAMED_VALUES[] = {
    NamedValue{"PictureCounter", "20296", nullptr},
    NamedValue{"SystemTime", "1801739606", nullptr},
    NamedValue{"UserIOCounter", "117", nullptr},
    NamedValue{"EAFunctionInputCounter", "117", nullptr},
    NamedValue{"CPUFiFo", "2846006164", nullptr},
    NamedValue{"FPGAFiFo", "3317610416", nullptr},
    NamedValue{"BandwidthEth", "35202", nullptr},
    NamedValue{"BandwidthDMA", "38800", nullptr},
    NamedValue{"StatisticDataUserData", "47795", nullptr},
    NamedValue{"GetPllLockStatus", "-115", nullptr},
    NamedValue{"GetFPGAErrorCode", "53", nullptr},
    NamedValue{"Encoder", "-1078414934", nullptr},
    NamedValue{"LinearizationMode", "0", nullptr},
    NamedValue{"Timestamp", "1801739606", "general.timestamp"},
    NamedValue{"IOState", "235", "13"},
    NamedValue{"EncoderHTL", "2273343858", "general.encoder_htl"},
    NamedValue{"EncoderTTL", "3216552362", "general.encoder_ttl_rs422"},
    NamedValue{"Temperature", "32", "general.temperatur"},
    NamedValue{"ScannerState", "5", "general.scannerstatus"},
    NamedValue{"LaserActive", "0", "settings.laseractive"},
    NamedValue{"TriggerSource", "-1", "settings.triggersource"},
    NamedValue{"TriggerAmountProfilesY", "12", "settings.triggeramountprofilesy"},
    NamedValue{"CameraRunning", "0", "settings.camerarunning"},
    NamedValue{"AcquisitionLineTime", "2169363", "settings.acquisitionlinetime"},
    NamedValue{"TriggerDelay", "3551016", "settings.triggerdelay"},
    NamedValue{"SyncOutDelay", "7695975", "settings.syncoutdelay"},
    NamedValue{"SyncOut", "9077628", "settings.syncout"},
    NamedValue{"SignalEnable", "152", "settings.protocol.profile.signal.enable"},
    NamedValue{"SignalContentZ", "0", "settings.protocol.profile.signal.content.z"},
    NamedValue{"SignalContentStrength", "1", "settings.protocol.profile.signal.content.strength"},
    NamedValue{"SignalContentWidth", "1", "settings.protocol.profile.signal.content.width"},
    NamedValue{"SignalContentReserved", "0", "settings.protocol.profile.signal.content.reserved"},
    NamedValue{"TriggerEncoderStep", "53449", "settings.triggerencoderstep"},
    NamedValue{"SignalSelection", "22", "settings.signalselection"},
    NamedValue{"SignalWidthMin", "29", "settings.signalwidthmin"},
    NamedValue{"SignalWidthMax", "36", "settings.signalwidthmax"},
    NamedValue{"AmountProfilesY", "16441", "settings.amountprofilesy"},
    NamedValue{"SignalStrengthMin", "43426", "settings.signalstrengthmin"},
    NamedValue{"EncoderCountDirection", "0", "settings.encoder.countdirection"},
    NamedValue{"EncoderTriggerFunction", "0", "settings.encoder.triggerfunction"},
    NamedValue{"ExposureTime", "6774873", "settings.exposuretime"},
    NamedValue{"ROI1OffsetX", "52678", "settings.roi.x1.offset"},
    NamedValue{"ROI1WidthX", "56276", "settings.roi.x1.width"},
    NamedValue{"ROI1StepX", "59874", "settings.roi.x1.step"},
    NamedValue{"ROI1OffsetZ", "60902", "settings.roi.z1.offset"},
    NamedValue{"ROI1HeightZ", "64500", "settings.roi.z1.height"},
    NamedValue{"ROI1StepZ", "2306", "settings.roi.z1.step"},
    NamedValue{"EA1Function", "133", "settings.usrio.ea1.function"},
    NamedValue{"EA1FunctionLaserOff", "0", "settings.usrio.ea1.functionlaseroff"},
    NamedValue{"EA1FunctionProfileEnable", "0", "settings.usrio.ea1.functionprofileenable"},
    NamedValue{"EA1FunctionResetCounter", "1", "settings.usrio.ea1.functionresetcounter"},
    NamedValue{"EA1InputFunction", "1", "settings.usrio.ea1.inputfunction"},
    NamedValue{"EA1InputLoad", "0", "settings.usrio.ea1.inputfunctionload"},
    NamedValue{"EA1Output", "19", "settings.usrio.ea1.output"},
    NamedValue{"EA1OutputFunction", "1", "settings.usrio.ea1.outputfunction"},
    NamedValue{"EA1ResetCounterRepeat", "0", "settings.usrio.ea1.resetcounter.repeat"},
    NamedValue{"EA1ResetCounterSignaledge", "2", "settings.usrio.ea1.resetcounter.signaledge"},
    NamedValue{"EA1ResetCounterBaseTimeCounter", "1", "settings.usrio.ea1.resetcounter.basetimecounter"},
    NamedValue{"EA1ResetCounterPictureCounter", "0", "settings.usrio.ea1.resetcounter.picturecounter"},
    NamedValue{"EA1ResetCounterEncoderHTL", "0", "settings.usrio.ea1.resetcounter.encoder_htl"},
    NamedValue{"EA1ResetCounterEncoderTTLRS422", "0", "settings.usrio.ea1.resetcounter.encoder_ttl_rs422"},
    NamedValue{"EA4Function", "3", "settings.usrio.ea4.function"},
    NamedValue{"EA4ResetCounterEncoderTTLRS422", "1", "settings.usrio.ea4.resetcounter.encoder_ttl_rs422"},
    NamedValue{"CameraMode", nullptr, "settings.cameramode"},
    NamedValue{"OperatingMode", nullptr, "settings.operatingmode"},
    NamedValue{"OrderNumber", nullptr, "QRTB-SIM-100"},
    NamedValue{"ProductVersion", nullptr, "general.productversion"},
    NamedValue{"Producer", nullptr, "general.producer"},
    NamedValue{"HardwareVersion", nullptr, "general.hardwareversion.general"},
    NamedValue{"FirmwareVersion", nullptr, "2.0.0"},
    NamedValue{"SerialNumber", nullptr, "12345678"},
    NamedValue{"MAC", nullptr, "general.mac"},
    NamedValue{"WorkingRangeZStart", nullptr, "100"},
    NamedValue{"WorkingRangeZEnd", nullptr, "200"},
    NamedValue{"MeasuringRangeZ", nullptr, "200"},
    NamedValue{"FieldWidthXStart", nullptr, "80"},
    NamedValue{"FieldWidthXEnd", nullptr, "120"},
    NamedValue{"PixelXMax", nullptr, "1280"},
    NamedValue{"PixelZMax", nullptr, "1024"},
    NamedValue{"linInfo", nullptr, "general.lininfo"},
    NamedValue{"MaxFps", nullptr, "general.maxfps"},
    NamedValue{"TTLState", nullptr, "6"},
    NamedValue{"OnOffCounter", nullptr, "general.onoffcounter"},
    NamedValue{"OnTimeCounter", nullptr, "general.ontimecounter"},
    NamedValue{"UserString", nullptr, "settings.userstring"},
    NamedValue{"HeartBeat", nullptr, "settings.heartbeat"},
    NamedValue{"SocketConnectionTimeout", nullptr, "settings.socketconnectiontimeout"},
    NamedValue{"LaserPWM", nullptr, "settings.laserpwm"},
    NamedValue{"LaserPWMDisableMode", nullptr, "settings.laserpwmdisablemode"},
    NamedValue{"ROI1_mm", nullptr, "-40,100,40,300"},
    NamedValue{"ROI1Z_mm", nullptr, "150,250"},
};

// Each name answers as itself, with "Get" before it and a carriage return
// after; any other spelling is unknown (-3, the buffer cleared).
TEST_F(NamedValuesTest, EveryNameReadsItsOwnSourceUnderItsFourSpellings)
{
    TakeScan();
    for (const NamedValue& value : NAMED_VALUES) {
        for (const std::string& name :
             {std::string(value.name), "Get" + std::string(value.name),
              value.name + std::string("\r"), "Get" + std::string(value.name) + "\r"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(value.live ? value.live : "", Read(name, -1));
            EXPECT_EQ(value.live ? 0 : -2, result);
            EXPECT_EQ(value.cached ? value.cached : "", Read(name, -2));
            EXPECT_EQ(value.cached ? 0 : -2, result);
        }
    }
    EXPECT_EQ("-115", Read("GetGetPllLockStatus", -1));
    for (const char* name : {"temperature", "PllLockStatus", "GetTemperature\r\r", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ("", Read(name, -1));
        EXPECT_EQ(-3, result);
        EXPECT_EQ(0, buffer[0]);
    }
    // Without a buffer nothing is written, whatever the name.
    for (const char* name : {"temperature", "Temperature", "IDGeneral", "RawData", "SerialNumber"})
        EXPECT_EQ(-1, scanvo.ReadData(name, nullptr, 10, name[0] == 'S' ? -2 : -1)) << name;
}

// Blocks of the last scan, copied whole; -5 for a block the scan lacks.
TEST_F(NamedValuesTest, BlockNamesCopyTheWholeBlockOfTheLastScan)
{
    const std::pair<const char*, uint32_t> blocks[] = {{"IDGeneral", Tag::GENERAL},
                                                       {"IDStatic", Tag::STATIC},
                                                       {"IDDescriptor", Tag::TEXT},
                                                       {"IDROIX", Tag::X_ROI},
                                                       {"IDROIZ", Tag::Z_ROI},
                                                       {"IDScan", Tag::RAW_PROFILE},
                                                       {"IDScanLinear", 0},
                                                       {"IDRegisterCameraQRTA", Tag::CAMERA_QRTA},
                                                       {"IDRegisterCameraQRTB", 0},
                                                       {"IDRegisterFPGAQRTA", 0},
                                                       {"IDRegisterFPGAQRTB", Tag::FPGA_QRTB},
                                                       {"IDScaleParams", 0},
                                                       {"IDCRC", Tag::END}};
    TakeScan();
    for (const auto& [name, tag] : blocks) {
        SCOPED_TRACE(name);
        Read(name, -1, 4096);
        EXPECT_EQ(tag == 0 ? -5 : 0, result);
        const Bytes block = BlockOf(scan, tag);
        EXPECT_EQ(block, Bytes(buffer.begin(), buffer.begin() + static_cast<long>(block.size())));
    }
}

TEST_F(NamedValuesTest, ValuesFitOnlyWithASpareByteExceptTheLinearizationData)
{
    EXPECT_EQ("", Read("OrderNumber", -2, 12));  // "QRTB-SIM-100"
    EXPECT_EQ(-1, result);
    EXPECT_EQ(0x7E, buffer[0]);
    EXPECT_EQ("QRTB-SIM-100", Read("OrderNumber", -2, 13));
    Read("SerialNumber", -2, 0);
    EXPECT_EQ(-1, result);
    TakeScan();
    const std::tuple<const char*, int32_t, uint32_t, int32_t> sizes[] = {
        {"IDGeneral", -1, 52, -1},
        {"IDGeneral", -1, 53, 0},
        {"IDGeneral", -2, 53, -2},
        {"RawData", -1, static_cast<uint32_t>(scan.size()), -1},
        {"RawData", -1, static_cast<uint32_t>(scan.size() + 1), 0},
        {"LinearizationData", -1, static_cast<uint32_t>(lin.size() - 1), -2},
        {"LinearizationData", -1, static_cast<uint32_t>(lin.size()), 0}};
    for (const auto& [name, age, size, expected] : sizes) {
        Read(name, age, size);
        EXPECT_EQ(expected, result) << name << " in " << size;
    }
    EXPECT_EQ(lin, Bytes(buffer.begin(), buffer.begin() + static_cast<long>(lin.size())));
    Read("RawData", -1, static_cast<uint32_t>(scan.size() + 1));
    EXPECT_EQ(scan, Bytes(buffer.begin(), buffer.begin() + static_cast<long>(scan.size())));
    EXPECT_EQ(std::to_string(lin.size()), Read("LinearizationDataSize", 0));
}

TEST_F(NamedValuesTest, LiveValuesWaitForAScanAfterConnectAndReset)
{
    for (const char* name : {"Temperature", "PictureCounter", "SerialNumber", "IDGeneral", "RawData"}) {
        Read(name, -1);
        EXPECT_EQ(-4, result) << name;
    }
    TakeScan();
    EXPECT_EQ("20296", Read("PictureCounter", -1));
    scanvo.ResetDllFiFo();
    for (const char* name : {"PictureCounter", "RawData"}) {
        Read(name, -1);
        EXPECT_EQ(-4, result) << name;
    }
}

// Age 0 refreshes the XML status, a positive age only when it is older;
// requests ignore the age and send their own text.
TEST_F(NamedValuesTest, TheMaximumAgeDecidesWhenTheSensorIsAsked)
{
    EXPECT_EQ("general.temperatur", Read("Temperature", 0));
    EXPECT_EQ((std::vector<std::string>{XML_REFRESH}), fake->Sent());
    fake->ClearSent();
    EXPECT_EQ("general.temperatur", Read("Temperature", 60000));
    EXPECT_EQ("general.temperatur", Read("Temperature", -7));
    EXPECT_TRUE(fake->Sent().empty());
    const uint32_t parsed = Platform::GetTickCountMs();
    ASSERT_TRUE(WaitUntil([&] { return Platform::GetTickCountMs() - parsed > 3; }));
    EXPECT_EQ("general.temperatur", Read("Temperature", 2));
    EXPECT_EQ(1u, fake->Sent().size());
    Read("PictureCounter", 0);
    EXPECT_EQ(-2, result);
    fake->ClearSent();
    EXPECT_EQ("settings 1", Read("Settings=1", -1));
    EXPECT_EQ(SensorXml(DefaultXmlValues()), Read("XmlDescriptor", -1, 1 << 16));
    EXPECT_EQ((std::vector<std::string>{"GetSettings=1", "get_xmldescriptor\r"}), fake->Sent());
    // A silent sensor fails the refresh after a second; the cache keeps its texts.
    answering = false;
    Read("SerialNumber", 0);
    EXPECT_EQ(-5, result);
    EXPECT_EQ("12345678", Read("SerialNumber", -2));
}

TEST_F(NamedValuesTest, LibraryValuesFollowTheFieldAndTheCommands)
{
    EXPECT_EQ("0.093750", Read("RangeImageXScale", -1));  // 120 mm over 1280 pixels
    EXPECT_EQ("-60.000000", Read("RangeImageXOffset", -1));
    EXPECT_EQ("100.000000", Read("RangeImageZOffset", 5));
    EXPECT_EQ("1", Read("RangeImageNrProfiles", 0));
    EXPECT_EQ(28, scanvo.WriteData("SetRangeImageNrProfiles=0x20", 28));
    EXPECT_EQ("32", Read("RangeImageNrProfiles", 0));
    EXPECT_EQ("0", Read("CheckLinearizationMode", 0));
    EXPECT_TRUE(fake->Sent().empty());
}

// The XML status behind the cached values.
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
