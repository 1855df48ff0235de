// The remote device's registers over a scripted sensor and a virtual clock:
// the commands and sleeps each write makes, the pin items and triggers each
// change writes and the state it leaves, the read failures, and the writes
// refused before anything is sent.
#include <gtest/gtest.h>

#include <cctype>
#include <iomanip>

#include "SensorFakes.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_producers/GenTesk3d/DeviceTagTesk.h"
#include "gentl_producers/GenTesk3d/GenTLRemoteDeviceTesk.h"

namespace GenTLCore::ZoTL {
namespace {

std::string LastErrorText()
{
    LastErrorRecord record;
    TLSControl::Instance()->GetLastError(record);
    return record.text;
}

const RegisterDefinition& Row(uint32_t id)
{
    return REMOTE_DEVICE_REGISTERS[id - RD_WIDTH];
}

// A remote device of a "QRTA2600" sensor over the scripted link, once open;
// the link stays the one it opened on.
struct Remote {
    Remote()
    {
        sensor.SetItems(
            "TriggerEncoderStep=4 IOState=5 EncoderTriggerFunction=2 SignalSelection=1 "
            "SignalWidthMin=2 SignalWidthMax=30 SignalStrengthMin=9 TriggerDelay=1.5 SyncOut=7 "
            "SyncOutDelay=3 Temperature=41.5 ExposureTime=200 UserString=line OrderNumber=QRTA2600 "
            "Producer=dorvane ProductVersion=2 FirmwareVersion=1.2.0 SerialNumber=1234");
        for (const char* item : {"InputFunction", "InputLoad", "Output", "OutputFunction",
                                 "FunctionProfileEnable", "FunctionResetCounter"})
            for (const char* pin : {"EA1", "EA2", "EA3", "EA4"})
                sensor.link->Set(std::string(pin) + item, "0");
    }
    void Open()
    {
        interface = sensor.OpenShared();
        DeviceTagFields fields;
        fields.model = "QRTA2600";
        fields.serial = "1234";
        device = SharedPtr<GenTLRemoteDeviceTesk>(
            new GenTLRemoteDeviceTesk(SharedPtr<DeviceTag>(new DeviceTagTesk(fields)), interface,
                                      sensor.cache, [] { return false; }));
        device->CompleteConstruction();
        device->Open();
        sensor.link->ClearCalls();
        sensor.clock->Advance(SensorInterface::WRITE_SPACING_MS);
    }

    ~Remote()
    {
        if (device) device->Close();
    }

    GC_ERROR Read(uint32_t id, void* bytes)
    {
        size_t size = Row(id).size;
        return device->ReadPort(Row(id).address, bytes, &size);
    }
    GC_ERROR Write(uint32_t id, const std::string& text)
    {
        const RegisterDefinition& row = Row(id);
        std::string bytes = text;
        bytes.resize(row.size, '\0');  // strings as a consumer writes them
        if (row.type == REG_TYPE_FLOAT32) {
            const float value = std::stof(text);
            bytes.assign(reinterpret_cast<const char*>(&value), 4);
        } else if (row.type == REG_TYPE_UINT32) {
            const auto value = static_cast<uint32_t>(std::stoul(text, nullptr, 0));
            bytes.assign(reinterpret_cast<const char*>(&value), 4);
        }
        size_t size = bytes.size();
        return device->WritePort(row.address, bytes.data(), &size);
    }
    // The register's value as text: a number, or the string read.
    std::string Value(uint32_t id, GC_ERROR& result)
    {
        std::string bytes(Row(id).size, '\0');
        result = Read(id, bytes.data());
        std::ostringstream text;
        if (Row(id).type == REG_TYPE_FLOAT32)
            text << std::setprecision(9) << *reinterpret_cast<const float*>(bytes.data());
        else if (Row(id).type == REG_TYPE_UINT32)
            text << *reinterpret_cast<const uint32_t*>(bytes.data());
        else if (Row(id).type == REG_TYPE_INT32)
            text << *reinterpret_cast<const int32_t*>(bytes.data());
        else
            text << bytes.c_str();
        return text.str();
    }

    TestSupport::ScriptedSensor sensor;
    SharedPtr<SensorInterface> interface;
    SharedPtr<GenTLRemoteDeviceTesk> device;
};

// Register ids by feature name, as RemoteDeviceRegister numbers them; the
// user output value and the output function swap registers, as the
// sensor's document has them.
const std::map<std::string, uint32_t> FEATURE_IDS = [] {
    std::map<std::string, uint32_t> ids;
    std::istringstream pairs(
        "TriggerSoftware=15027 TriggerSelector=15031 TriggerMode=15032 TriggerSource=15033 "
        "AcquisitionStart=15009 LineSelector=15055 LineMode=15056 LineInverter=15057 "
        "LineSource=15060 OutputFunction=15061 UserOutputValue=15062 EncoderSelector=15066 "
        "EncoderSourceA=15067 EncoderSourceB=15068 EncoderResetSource=15070 "
        "EncoderResetActivation=15071");
    for (std::string pair; pairs >> pair;)
        ids[pair.substr(0, pair.find('='))] = std::stoul(pair.substr(pair.find('=') + 1));
    return ids;
}();

// A script of register accesses: "id=value" (or "Feature=value") writes and
// "id?value" expects a read (the run's result is its first failing access's,
// so a refusal early in the script is not hidden by the accesses after it),
// "Read=0" reads the trigger source and the line and reset settings,
// "sensor.Item=value" sets the sensor's item (before the device opens when
// leading), "frozen.Item" keeps it from changing, "fail" fails the next
// sensor write, and "|" forgets the commands so far and starts the time.
struct ScriptRun {
    GC_ERROR result = GC_ERR_SUCCESS;
    int64_t start_ms = 0;
};
ScriptRun RunScript(Remote& remote, const std::string& script)
{
    ScriptRun run;
    const auto note = [&run](GC_ERROR result) {
        if (run.result == GC_ERR_SUCCESS) run.result = result;
    };
    std::istringstream words(script);
    for (std::string word; words >> word;) {
        const size_t op = word.find_first_of("=?");
        const std::string name = word.substr(0, op);
        if (!remote.device && word.rfind("sensor.", 0) != 0) remote.Open();
        const uint32_t id = FEATURE_IDS.count(name) ? FEATURE_IDS.at(name)
                            : std::isdigit(word[0]) ? std::stoul(name)
                                                    : 0;
        if (word.rfind("sensor.", 0) == 0) {
            remote.sensor.SetItems(word.substr(7));
        } else if (word.rfind("frozen.", 0) == 0) {
            remote.sensor.link->Freeze(word.substr(7));
        } else if (word == "|") {
            remote.sensor.link->ClearCalls();
            remote.sensor.clock->Advance(SensorInterface::WRITE_SPACING_MS);
            run.start_ms = remote.sensor.clock->NowMs();
        } else if (word == "fail") {
            remote.sensor.link->FailWrites(1);
        } else if (name == "Read") {
            for (const uint32_t read :
                 {RD_TRIGGER_SOURCE, RD_LINE_INVERTER, RD_INPUT_LOAD, RD_OUTPUT_FUNCTION,
                  RD_USER_OUTPUT_VALUE, RD_ENCODER_RESET_ACTIVATION}) {
                GC_ERROR result = GC_ERR_SUCCESS;
                remote.Value(read, result);
                note(result);
            }
        } else if (word[op] == '?') {
            GC_ERROR result = GC_ERR_SUCCESS;
            EXPECT_EQ(word.substr(op + 1), remote.Value(id, result)) << word;
            note(result);
        } else {
            note(remote.Write(id, word.substr(op + 1)));
        }
    }
    if (!remote.device) remote.Open();
    return run;
}

struct WriteRow {
    const char *name, *script;
    GC_ERROR result;
    const char* writes;
    int64_t ms;
};

TEST(RemoteDeviceTeskTest, EachWriteSendsItsCommandsAndSleeps)
{
    const WriteRow rows[] = {
        {"Width", "| 15001=320", GC_ERR_SUCCESS, "SetROI1WidthX=320", 300},
        {"Height of the line region", "| 15002=256", GC_ERR_SUCCESS, "SetROI1HeightZ=256", 300},
        {"Height of the scan region", "15034=1 | 15002=50", GC_ERR_SUCCESS, "SetAmountProfilesY=50",
         300},
        {"AcquisitionLineRate", "| 15003=2500.7", GC_ERR_SUCCESS, "SetAcquisitionLineTime=400", 0},
        {"ExposureTime", "| 15008=150.9", GC_ERR_SUCCESS,
         "SetExposureTime=150 SetCameraRegistersUpdateForce", 100},
        {"ExposureTime failing", "| fail 15008=150", GC_ERR_ERROR, "SetExposureTime=150", 0},
        {"DecimationHorizontal", "| 15013=2 15001?320 15039?50", GC_ERR_SUCCESS,
         "SetROI1StepX=1 SetROI1WidthX=320 SetROI1OffsetX=50", 700},
        {"DecimationHorizontal keeps 32 columns", "sensor.ROI1WidthX=40 | 15013=2", GC_ERR_SUCCESS,
         "SetROI1StepX=1 SetROI1WidthX=32 SetROI1OffsetX=50", 700},
        {"DecimationVertical", "| 15015=2", GC_ERR_SUCCESS,
         "SetROI1StepZ=1 SetROI1HeightZ=256 SetROI1OffsetZ=0", 500},
        {"OffsetX and OffsetY", "| 15039=8 15042=4", GC_ERR_SUCCESS,
         "SetROI1OffsetX=8 SetROI1OffsetZ=4", 600},
        {"TriggerDivider", "| 15054=5", GC_ERR_SUCCESS, "SetTriggerEncoderStep=4", 0},
        {"AcquisitionStart and Stop", "| 15009=1 15010=1", GC_ERR_SUCCESS,
         "SetAcquisitionStart SetAcquisitionStop", 100},
        {"FrameStart by software", "15031=1 15032=1 | 15009=1 15027=1 15010=1", GC_ERR_SUCCESS,
         "SetAcquisitionStart", 0},
        {"AcquisitionStart failing", "| fail 15009=1", GC_ERR_SUCCESS, "SetAcquisitionStart", 0},
        {"TriggerSoftware before start", "15031=0 15033=7 | 15027=1", GC_ERR_SUCCESS, "", 0},
        {"TriggerSoftware after start", "15031=0 15033=7 | 15009=1 15027=1", GC_ERR_SUCCESS,
         "SetAcquisitionStart SetTriggerSoftware", 100},
        {"UserOutputValue and OutputFunction cross over", "15055=1 | 15061=1 15062=2",
         GC_ERR_SUCCESS, "SetEA2OutputFunction=1 SetEA2Output=2", 100},
        {"Line settings", "15055=2 | 15056=1 15057=1 15063=1", GC_ERR_SUCCESS,
         "SetEA3Function=4 SetEA3InputFunction=0 SetEA3InputLoad=1", 200},
        {"LineSource of an output", "15055=2 15056=1 15056?1 | 15060=1", GC_ERR_SUCCESS,
         "SetEA3Function=2", 0},
        {"Line as input", "15055=0 | 15056=0", GC_ERR_SUCCESS, "SetEA1Function=3", 0},
        {"Line as a trigger's input", "15033=1 15055=0 | 15056=0", GC_ERR_SUCCESS,
         "SetEA1Function=1", 0},
        {"Encoder sources", "| 15067=1 15068=0", GC_ERR_SUCCESS,
         "SetEA1Function=5 SetEA2Function=3", 100},
        {"Encoder reset pin and edge", "| 15070=3 15071=1", GC_ERR_SUCCESS,
         "SetEA3FunctionLaserOff=0 SetEA3FunctionProfileEnable=0 SetEA3FunctionResetCounter=0 "
         "SetEA3Function=3 SetEA3FunctionResetCounter=1 SetEA3ResetCounterRepeat=2 "
         "SetEA3ResetCounterEncoderHTL=1 SetEA3ResetCounterEncoderTTLRS422=1 "
         "SetEA3ResetCounterSignaledge=1",
         800},
        {"RegionMode to camera", "| 15006=1 15003?1", GC_ERR_SUCCESS,
         "SetCameraMode=1 SetAcquisitionLineTime=1000000", 600},
        {"RegionMode failing", "| fail 15006=1", GC_ERR_ERROR, "SetCameraMode=1", 300},
        {"RegionMode unconfirmed", "| frozen.CameraMode 15006=1", GC_ERR_ERROR, "SetCameraMode=1",
         1000},
        {"RegionMode of the scan region", "15034=1 | 15006=1", GC_ERR_SUCCESS,
         "SetCameraMode=0 SetAcquisitionLineTime=5714", 600},
        {"line time above the rate, undefined rate",
         "sensor.MaxFps=!-3 | "
         "sensor.AcquisitionLineTime=100 frozen.AcquisitionLineTime 15003?4000",
         GC_ERR_SUCCESS, "SetAcquisitionLineTime=250", 0},
        {"line time above the rate, rate 0",
         "sensor.MaxFps=0 | sensor.AcquisitionLineTime=100 "
         "15003?4000",
         GC_ERR_SUCCESS, "SetAcquisitionLineTime=250", 0},
        {"line time 0", "| sensor.AcquisitionLineTime=0 15003?0", GC_ERR_NO_DATA, "", 0},
        {"Coordinate source of CoordinateB only",
         "| 15043=1 15050=0 15050?0 15043=0 15050=1 15050?0", GC_ERR_SUCCESS, "", 0},
        {"Coordinate offset within bounds", "| 15043=1 15045=5 15045=2000 15045?5", GC_ERR_SUCCESS,
         "", 0},
        {"EncoderOutputMode", "| 15069=2", GC_ERR_SUCCESS, "SetEncoderTriggerFunction=2", 0},
        {"EncoderReset", "| 15072=1", GC_ERR_SUCCESS, "SetResetEncoder", 0},
        {"Signal settings", "| 15074=3 15075=1 15076=2 15077=9 15078=4", GC_ERR_SUCCESS,
         "SetSignalEnable=3 SetSignalSelection=1 SetSignalWidthMin=2 SetSignalWidthMax=9 "
         "SetSignalStrengthMin=4",
         400},
        {"Timer and trigger delays", "| 15053=12.7 15064=5 15065=6", GC_ERR_SUCCESS,
         "SetTriggerDelay=12 SetSyncOut=5 SetSyncOutDelay=6", 200},
        {"DeviceUserID and AsciiCommand", "| 15079=left 15087=SetLaserPower=3", GC_ERR_SUCCESS,
         "SetUserString=left SetLaserPower=3", 100},
        {"DeviceReset", "| 15086=1", GC_ERR_SUCCESS, "SetResetSettings", 400},
        {"Cache-only switches", "| 15011=0 15024=0 15028=0 15029=0 15030=0 15018=1 15066=1",
         GC_ERR_SUCCESS, "", 0},
        {"Commands with no effect, SingleFrame too",
         "| 15020=1 15021=1 15022=1 15023=1 15007=1 15007=0 15007?1", GC_ERR_SUCCESS, "", 0},
        {"Coordinate scale within bounds", "| 15043=1 15044=0.5 15044=20 15044?0.5", GC_ERR_SUCCESS,
         "", 0},
        {"GenDC off", "| 15024=0 15025?0 15026?0", GC_ERR_SUCCESS, "", 0},
        // -0 lies within CoordinateC's offset bounds [0, 0] and reads back
        // as "-0" there: only the selector past C keeps it out.
        {"Selectors past their tables read 0 and change nothing",
         "15055=7 15034=1 15017=5 | 15058?0 15056=1 15061=1 15016=1 15016?0 15012?0 15012=0 "
         "15017=1 15012?1 15043=5 15044?0 15046?0 15045=-0 15043=2 15045?0",
         GC_ERR_SUCCESS, "", 0},
        {"Mono16 CoordinateA scale divided by the pixel count",
         "sensor.PixelXMax=800 | 15034=1 15017=1 15016=0x01100007 15043=0 15044?0.150000006 "
         "15046?1.24999997e-05",
         GC_ERR_SUCCESS, "", 0},
        // Refused, sending nothing.
        {"AcquisitionLineRate below 1", "| 15003=0.5", GC_ERR_INVALID_PARAMETER, "", 0},
        {"DecimationHorizontal 0", "| 15013=0", GC_ERR_INVALID_PARAMETER, "", 0},
        {"DecimationVertical 0", "| 15015=0", GC_ERR_INVALID_PARAMETER, "", 0},
        {"DecimationVertical above 65535", "| 15015=65536", GC_ERR_INVALID_PARAMETER, "", 0},
        {"TriggerDivider 0", "| 15054=0", GC_ERR_INVALID_PARAMETER, "", 0},
        {"EncoderResetSource past the pins", "| 15070=5", GC_ERR_INVALID_PARAMETER, "", 0},
        {"DecimationHorizontalMax", "15014?1280 | 15014=2", GC_ERR_ERROR, "", 0},
        {"ChunkScan3dOutputMode", "| 15019=2", GC_ERR_ERROR, "", 0},
        {"Line region format", "| 15034=0 15016=0x01080001 15034=1 15016?17825795", GC_ERR_SUCCESS,
         "", 0},
        {"Intensity cannot be a range format", "| 15034=1 15017=0 15016=0x01100007",
         GC_ERR_INVALID_PARAMETER, "", 0},
        {"Range cannot be Mono8", "| 15034=1 15017=1 15016=0x01080001", GC_ERR_INVALID_PARAMETER,
         "", 0},
        {"Range as ABC16",
         "| 15034=1 15017=1 15016=0x023000B9 15016?36700345 15034=0 15016?17301505", GC_ERR_SUCCESS,
         "", 0},
        {"ComponentEnable on the selected region", "| 15034=0 15012=0 15012?0 15034=1 15012?1",
         GC_ERR_SUCCESS, "", 0},
    };
    for (const WriteRow& row : rows) {
        SCOPED_TRACE(row.name);
        Remote remote;
        const ScriptRun run = RunScript(remote, row.script);
        EXPECT_EQ(row.result, run.result) << LastErrorText();
        EXPECT_EQ(row.writes, remote.sensor.Writes());
        EXPECT_EQ(row.ms, remote.sensor.clock->NowMs() - run.start_ms);
    }
}

// The triggers as "mode:source" (LineStart, FrameStart, AcquisitionActive)
// and the pins' function codes; then, unless all 0, the selected line's
// inverter, input load, user output and output function, and the encoder
// reset pin and edge.
std::string State(FeatureCache& cache)
{
    ScopedLock hold(cache.lock);
    std::ostringstream state, more;
    for (const FeatureCache::Trigger& trigger : cache.trigger)
        state << trigger.trigger_mode << ":" << trigger.trigger_source << " ";
    for (const uint32_t function : cache.line_function) state << function;
    const FeatureCache::Line line = cache.GetLine(cache.line_selector);
    more << +line.line_inverter << +line.input_load << line.user_output_value
         << line.output_function << cache.encoder_reset_source << cache.encoder_reset_activation;
    return state.str() + (more.str() == "000000" ? "" : " " + more.str());
}

// What a pin clears before it takes a new job.
std::string Clear(int pin)
{
    const std::string ea = "SetEA" + std::to_string(pin);
    return ea + "FunctionLaserOff=0 " + ea + "FunctionProfileEnable=0 " + ea +
           "FunctionResetCounter=0 ";
}

// Profile enable on every pin: 1 on `pin` only.
std::string ProfileEnable(int pin)
{
    std::string writes;
    for (int other = 1; other <= 4; ++other)
        writes += "SetEA" + std::to_string(other) +
                  "FunctionProfileEnable=" + (other == pin ? "1 " : "0 ");
    return writes;
}

TEST(RemoteDeviceTeskTest, EachTriggerAndPinChangeWritesItsItemsAndLeavesItsState)
{
    struct Row {
        const char *name, *script;
        std::string writes;
        const char* state;
    };
    const Row rows[] = {
        {"FrameStart on: the trigger moves to TriggerAmountProfilesY",
         "sensor.TriggerSource=1 sensor.EA2Function=1 TriggerSelector=1 TriggerMode=1",
         ProfileEnable(0) + "SetTriggerAmountProfilesY=1 " + Clear(2), "1:2 1:7 0:4 3133"},
        {"FrameStart off: back to TriggerSource, profile enable cleared",
         "sensor.TriggerSource=-1 sensor.TriggerAmountProfilesY=1 sensor.EA2Function=1 "
         "TriggerSelector=1 TriggerMode=0",
         "SetTriggerSource=1 " + Clear(2) + ProfileEnable(0), "1:2 0:7 0:4 3133"},
        {"FrameStart on a plain input, read back, then on no pin",
         "TriggerSelector=1 TriggerSource=3 | TriggerMode=1 Read=0 TriggerSource=9",
         ProfileEnable(0) + Clear(3) + ProfileEnable(3) + "SetTriggerAmountProfilesY=0 " +
             ProfileEnable(0),
         "0:7 1:9 0:4 3333 100000"},
        {"FrameStart on a pin LineStart holds: none",
         "sensor.TriggerSource=1 sensor.EA2Function=1 TriggerSelector=1 TriggerSource=2 | "
         "TriggerMode=1",
         ProfileEnable(0) + "SetTriggerAmountProfilesY=1 " + Clear(2), "1:2 1:7 0:4 3133"},
        {"Encoder1 takes both pins, Encoder2 gives them back and reads back; encoder inputs",
         "sensor.TriggerSource=3 TriggerSource=5 TriggerSource=6 Read=0 EncoderSourceA=1 "
         "EncoderSelector=1 EncoderSourceA=0 EncoderSourceB=1",
         "SetTriggerSource=2 SetEA1Function=5 SetEA2Function=5 SetTriggerSource=2 "
         "SetEA1Function=3 SetEA2Function=3 SetEA1Function=5 SetEA2Function=5",
         "1:6 0:7 0:4 5533 100000"},
        {"a pin trigger without a trigger input pin is switched off",
         "| sensor.TriggerSource=1 Read=0", "SetTriggerSource=0", "0:7 0:7 0:4 3333 100000"},
        {"both trigger items -1: one more read, then nothing changes",
         "sensor.TriggerSource=-1 sensor.TriggerAmountProfilesY=-1 Read=0", "",
         "0:7 0:7 0:4 3333 100000"},
        {"AcquisitionActive leaves a pin LineStart holds for the first free one",
         "sensor.TriggerSource=1 sensor.EA4Function=1 TriggerSelector=2 TriggerMode=1",
         Clear(1) + ProfileEnable(1), "1:4 0:7 1:1 3331"},
        {"AcquisitionActive takes a plain input, read back from the sensor",
         "TriggerSelector=2 TriggerMode=1 | TriggerSource=3 Read=0", Clear(3) + ProfileEnable(3),
         "0:7 0:7 1:3 3333 100000"},
        {"LineStart on a pin AcquisitionActive holds: software",
         "TriggerSelector=2 TriggerSource=3 TriggerMode=1 TriggerSelector=0 TriggerSource=3 | "
         "TriggerMode=1",
         "SetTriggerSource=3", "1:7 0:7 1:3 3333"},
        {"FrameStart on turns AcquisitionActive off",
         "TriggerSelector=2 TriggerMode=1 | TriggerSelector=1 TriggerMode=1 TriggerSelector=2 "
         "Read=0",
         ProfileEnable(0) + "SetTriggerAmountProfilesY=0", "0:7 1:7 0:4 3333 100000"},
        {"a source set while its trigger is off also moves LineStart",
         "sensor.TriggerSource=3 TriggerSelector=1 TriggerSource=2",
         "SetTriggerSource=1 " + Clear(2) + "SetEA2Function=1", "1:2 0:2 0:4 3133"},
        {"software LineStart after the start, software FrameStart, none on a pin",
         "sensor.TriggerSource=3 TriggerSoftware=1 AcquisitionStart=1 TriggerSoftware=1 "
         "TriggerSelector=1 TriggerSoftware=1 TriggerSelector=0 TriggerSource=2 TriggerSoftware=1",
         "SetAcquisitionStart SetTriggerSoftware SetAcquisitionStart SetTriggerSource=1 " +
             Clear(2) + "SetEA2Function=1",
         "1:2 0:7 0:4 3133"},
        {"lines: an input back to trigger input, an output by its source, items read and written",
         "sensor.TriggerSource=1 sensor.EA2Function=1 sensor.EA3InputFunction=1 "
         "sensor.EA3InputLoad=1 LineSelector=1 LineMode=0 LineSelector=2 Read=0 LineSource=1 "
         "LineMode=1 UserOutputValue=1 OutputFunction=2",
         "SetEA2Function=1 SetEA3Function=2 SetEA3Output=1 SetEA3OutputFunction=2",
         "1:2 0:7 0:4 3123 011200"},
        {"one encoder reset pin at a time",
         "sensor.EA2FunctionResetCounter=1 EncoderResetSource=3 EncoderResetActivation=2 Read=0",
         "SetEA2FunctionResetCounter=0 SetEA2ResetCounterRepeat=0 SetEA2ResetCounterEncoderHTL=0 "
         "SetEA2ResetCounterEncoderTTLRS422=0 " +
             Clear(3) +
             "SetEA3Function=3 SetEA3FunctionResetCounter=1 SetEA3ResetCounterRepeat=2 "
             "SetEA3ResetCounterEncoderHTL=1 SetEA3ResetCounterEncoderTTLRS422=1 "
             "SetEA3ResetCounterSignaledge=2",
         "0:7 0:7 0:4 3333 100032"},
        {"selectors, pins and sources out of range send nothing",
         "TriggerSelector=2 TriggerSource=7 | TriggerMode=0 TriggerSelector=3 LineSelector=4 "
         "TriggerMode=1 TriggerSource=2 TriggerSoftware=1 LineMode=0 LineMode=1 LineSource=1 "
         "LineInverter=1 EncoderResetSource=5 Read=0",
         "", "0:7 0:7 0:7 3333"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Remote remote;
        RunScript(remote, row.script);
        EXPECT_EQ(remote.sensor.Writes(),
                  row.writes.substr(0, row.writes.find_last_not_of(' ') + 1));
        EXPECT_EQ(State(*remote.sensor.cache), row.state);
    }
}

TEST(RemoteDeviceTeskTest, ReadFailuresNameTheLibraryCode)
{
    const struct {
        const char* reply;
        GC_ERROR result;
        const char* suffix;
    } rows[] = {
        {"!-1", GC_ERR_ABORT, "-1:SCANVO_READDATASMALLBUFFER."},
        {"!-2", GC_ERR_NO_DATA, "-2:SCANVO_READDATANOTSUPPORTEDMODE."},
        {"!-3", GC_ERR_ABORT, "-3:SCANVO_READDATAFEATURENOTDEFINED."},
        {"!-4", GC_ERR_NO_DATA, "-4:SCANVO_READDATANOSCAN."},
        {"!-5", GC_ERR_NO_DATA, "-5:SCANVO_READDATAFAILED."},
        {"!-6", GC_ERR_ABORT, "-6: GENTL_READDATA_READBACKTIMEOUT."},
        {"!-1000", GC_ERR_ABORT, "-1000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        Remote remote;
        remote.Open();
        GC_ERROR result = GC_ERR_ERROR;
        EXPECT_EQ("640", remote.Value(RD_WIDTH, result)) << LastErrorText();
        remote.sensor.link->Script("ROI1WidthX", {row.reply});
        remote.Value(RD_WIDTH, result);
        EXPECT_EQ(row.result, result);
        EXPECT_EQ(std::string("Read Width from QRTA2600_1234 failed with code ") + row.suffix,
                  LastErrorText());
    }
    // A sensor without a user string answers with the text as it was.
    Remote remote;
    remote.Open();
    remote.sensor.link->Script("UserString", {"!-3"});
    GC_ERROR result = GC_ERR_ERROR;
    EXPECT_EQ("", remote.Value(RD_DEVICE_USER_ID, result));
    EXPECT_EQ(GC_ERR_SUCCESS, result);
}

}  // namespace
}  // namespace GenTLCore::ZoTL
