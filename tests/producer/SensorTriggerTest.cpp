// SensorInterface's triggers and pins against a scripted sensor: the pin
// items and trigger values each change writes, and the state it leaves.
#include <gtest/gtest.h>

#include <functional>

#include "SensorFakes.h"

namespace GenTLCore::ZoTL {
namespace {

using S = TestSupport::ScriptedSensor;

// Feature accesses as the remote device's registers make them.
const std::map<std::string, void (*)(S&, uint32_t)> FEATURES = {
    {"TriggerSelector", [](S& f, uint32_t v) { f.cache->trigger_selector = v; }},
    {"TriggerMode", [](S& f, uint32_t v) { f.sensor->SetTriggerMode(v != 0); }},
    {"TriggerSource", [](S& f, uint32_t v) { f.sensor->SetSelectedTriggerSource(v); }},
    {"TriggerSoftware", [](S& f, uint32_t) { f.sensor->SetTriggerSoftware(); }},
    {"AcquisitionStart", [](S& f, uint32_t) { f.sensor->SetAcquisitionStart(); }},
    {"LineSelector", [](S& f, uint32_t v) { f.cache->line_selector = v; }},
    {"LineMode", [](S& f, uint32_t v) { f.sensor->SetLineMode(v); }},
    {"LineSource", [](S& f, uint32_t v) { f.sensor->SetLineSource(v); }},
    {"LineInverter", [](S& f, uint32_t v) { f.sensor->SetLineInverter(v != 0); }},
    {"UserOutputValue", [](S& f, uint32_t v) { f.sensor->SetUserOutputValue(v); }},
    {"OutputFunction", [](S& f, uint32_t v) { f.sensor->SetOutputFunction(v); }},
    {"EncoderSelector", [](S& f, uint32_t v) { f.cache->encoder_selector = v; }},
    {"EncoderSourceA", [](S& f, uint32_t v) { f.sensor->SetEncoderSourceA(v != 0); }},
    {"EncoderSourceB", [](S& f, uint32_t v) { f.sensor->SetEncoderSourceB(v != 0); }},
    {"EncoderResetSource", [](S& f, uint32_t v) { f.sensor->SetEncoderResetSource(v); }},
    {"EncoderResetActivation", [](S& f, uint32_t v) { f.sensor->SetResetSignalEdge(v); }},
    {"Read",
     [](S& f, uint32_t) {
         f.sensor->GetSelectedTriggerSource();
         for (auto read :
              {&SensorInterface::GetLineInverter, &SensorInterface::GetInputLoad,
               &SensorInterface::GetUserOutputValue, &SensorInterface::GetOutputFunction,
               &SensorInterface::GetResetSignalEdge})
             ((*f.sensor).*read)();
     }},
};

// "Feature=value ...", "sensor.Item=value" for what the sensor holds, and
// "|" to forget the calls so far. The leading items are the sensor's before
// it opens, and apply only then; the rest only once it is open.
void Apply(S& f, const std::string& script)
{
    std::istringstream words(script);
    bool leading = true;
    for (std::string word; words >> word;) {
        const std::string name = word.substr(0, word.find('='));
        const std::string value = word.substr(word.find('=') + 1);
        const bool item = name.rfind("sensor.", 0) == 0;
        leading = leading && item;
        if (leading == (f.sensor != nullptr)) continue;
        if (word == "|")
            f.link->ClearCalls();
        else if (item)
            f.link->Set(name.substr(7), value);
        else
            FEATURES.at(name)(f, static_cast<uint32_t>(std::stoi(value)));
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

TEST(SensorTriggerTest, EachChangeWritesItsPinsAndTrigger)
{
    struct Row {
        const char* name;
        const char* script;
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
         "0:7 1:9 0:4 3333"},
        {"FrameStart on a pin LineStart holds: none",
         "sensor.TriggerSource=1 sensor.EA2Function=1 TriggerSelector=1 TriggerSource=2 | "
         "TriggerMode=1",
         ProfileEnable(0) + "SetTriggerAmountProfilesY=1 " + Clear(2), "1:2 1:7 0:4 3133"},
        {"Encoder1 takes both pins, Encoder2 gives them back and reads back; encoder inputs",
         "sensor.TriggerSource=3 TriggerSource=5 TriggerSource=6 Read=0 EncoderSourceA=1 "
         "EncoderSelector=1 EncoderSourceA=0 EncoderSourceB=1",
         "SetTriggerSource=2 SetEA1Function=5 SetEA2Function=5 SetTriggerSource=2 "
         "SetEA1Function=3 SetEA2Function=3 SetEA1Function=5 SetEA2Function=5",
         "1:6 0:7 0:4 5533"},
        {"a pin trigger without a trigger input pin is switched off",
         "| sensor.TriggerSource=1 Read=0", "SetTriggerSource=0", "0:7 0:7 0:4 3333"},
        {"both trigger items -1: one more read, then nothing changes",
         "sensor.TriggerSource=-1 sensor.TriggerAmountProfilesY=-1 Read=0", "", "0:7 0:7 0:4 3333"},
        {"AcquisitionActive leaves a pin LineStart holds for the first free one",
         "sensor.TriggerSource=1 sensor.EA4Function=1 TriggerSelector=2 TriggerMode=1",
         Clear(1) + ProfileEnable(1), "1:4 0:7 1:1 3331"},
        {"AcquisitionActive takes a plain input, read back from the sensor",
         "TriggerSelector=2 TriggerMode=1 | TriggerSource=3 Read=0", Clear(3) + ProfileEnable(3),
         "0:7 0:7 1:3 3333"},
        {"LineStart on a pin AcquisitionActive holds: software",
         "TriggerSelector=2 TriggerSource=3 TriggerMode=1 TriggerSelector=0 TriggerSource=3 | "
         "TriggerMode=1",
         "SetTriggerSource=3", "1:7 0:7 1:3 3333"},
        {"FrameStart on turns AcquisitionActive off",
         "TriggerSelector=2 TriggerMode=1 | TriggerSelector=1 TriggerMode=1 TriggerSelector=2 "
         "Read=0",
         ProfileEnable(0) + "SetTriggerAmountProfilesY=0", "0:7 1:7 0:4 3333"},
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
         "0:7 0:7 0:4 3333 000032"},
        {"selectors, pins and sources out of range send nothing",
         "TriggerSelector=2 TriggerSource=7 | TriggerMode=0 TriggerSelector=3 LineSelector=4 "
         "TriggerMode=1 TriggerSource=2 TriggerSoftware=1 LineMode=0 LineMode=1 LineSource=1 "
         "LineInverter=1 EncoderResetSource=5 Read=0",
         "", "0:7 0:7 0:7 3333"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        S fixture;
        Apply(fixture, row.script);
        fixture.Open();
        Apply(fixture, row.script);
        EXPECT_EQ(fixture.Writes(), row.writes.substr(0, row.writes.find_last_not_of(' ') + 1));
        EXPECT_EQ(State(*fixture.cache), row.state);
    }
}

// Pin 1 an output, pin 2 the LineStart input, pin 3 the encoder reset.
TEST(SensorTriggerTest, OffersOnlyFreePins)
{
    S fixture;
    Apply(fixture,
          "sensor.EA1Function=4 sensor.TriggerSource=1 sensor.EA2Function=1 "
          "sensor.EA3FunctionResetCounter=1");
    fixture.Open();
    SensorInterface& sensor = *fixture.sensor;
    sensor.GetEncoderResetSource();
    const auto pins = [](const std::function<bool(uint32_t)>& available) {
        std::string offered;
        for (uint32_t pin = 1; pin <= 4; ++pin) offered += available(pin) ? '1' : '0';
        return offered;
    };
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor.IsTriggerSourceAvailable(pin); }), "0101");
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor.IsResetSourceAvailable(pin); }), "0011");
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor.IsEncoderSourceAvailable(pin); }), "0001");
    EXPECT_EQ(pins([&](uint32_t pin) {
                  fixture.cache->line_selector = pin - 1;
                  return sensor.IsLineOutputAvailable();
              }),
              "1001");
    fixture.cache->trigger_selector = 1;
    EXPECT_EQ(pins([&](uint32_t pin) { return sensor.IsTriggerSourceAvailable(pin); }), "0001");
}

}  // namespace
}  // namespace GenTLCore::ZoTL
