// SensorInterface's triggers and pins against a scripted sensor: the pin
// items and trigger values each change writes, and the state it leaves.
#include <gtest/gtest.h>

#include <functional>

#include "SensorFakes.h"
#include "support/AssertionCounter.h"

namespace GenTLCore::ZoTL {
namespace {

using TestSupport::ScriptedSensor;

// The triggers as "mode:source" (LineStart, FrameStart, AcquisitionActive),
// then the pins' function codes.
std::string State(FeatureCache& cache)
{
    ScopedLock hold(cache.lock);
    std::string state;
    for (const FeatureCache::Trigger& trigger : cache.trigger)
        state += std::to_string(trigger.trigger_mode) + ":" +
                 std::to_string(trigger.trigger_source) + " ";
    for (const uint32_t function : cache.line_function) state += std::to_string(function);
    return state;
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
    using F = ScriptedSensor&;
    struct Row {
        const char* name;
        const char* items;  // the sensor's before it opens
        std::function<void(F)> change;
        std::string writes;
        const char* state;
    };
    const Row rows[] = {
        {"FrameStart on: the trigger moves to TriggerAmountProfilesY",
         "TriggerSource=1 EA2Function=1",
         [](F f) {
             f.cache->trigger_selector = 1;
             f.sensor->SetTriggerMode(true);
         },
         ProfileEnable(0) + "SetTriggerAmountProfilesY=1 " + Clear(2), "1:2 1:7 0:4 3133"},
        {"FrameStart off: back to TriggerSource, profile enable cleared",
         "TriggerSource=-1 TriggerAmountProfilesY=1 EA2Function=1",
         [](F f) {
             f.cache->trigger_selector = 1;
             f.sensor->SetTriggerMode(false);
         },
         "SetTriggerSource=1 " + Clear(2) + ProfileEnable(0), "1:2 0:7 0:4 3133"},
        {"FrameStart on a pin that LineStart holds: no pin", "TriggerSource=1 EA2Function=1",
         [](F f) {
             f.cache->trigger[1].trigger_source = 2;
             f.cache->trigger_selector = 1;
             f.sensor->SetTriggerMode(true);
         },
         ProfileEnable(0) + "SetTriggerAmountProfilesY=1 " + Clear(2), "1:2 1:7 0:4 3133"},
        {"Encoder1 takes both pins", "TriggerSource=3",
         [](F f) { f.sensor->SetSelectedTriggerSource(5); },
         "SetTriggerSource=2 SetEA1Function=5 SetEA2Function=5", "1:5 0:7 0:4 5533"},
        {"Encoder2 gives function 5 back, and reads back as Encoder2",
         "TriggerSource=2 EA1Function=5 EA2Function=5",
         [](F f) {
             f.sensor->SetSelectedTriggerSource(6);
             f.sensor->GetTriggerSource();
         },
         "SetTriggerSource=2 SetEA1Function=3 SetEA2Function=3", "1:6 0:7 0:4 3333"},
        {"a pin trigger without a trigger input pin is switched off", "",
         [](F f) {
             f.link->Set("TriggerSource", "1");
             f.sensor->GetTriggerSource();
         },
         "SetTriggerSource=0", "0:7 0:7 0:4 3333"},
        {"both trigger items -1: one more read, then failure",
         "TriggerSource=-1 TriggerAmountProfilesY=-1",
         [](F f) {
             EXPECT_FALSE(f.sensor->GetTriggerSource());
             EXPECT_EQ(f.link->Calls().size(), 2u);
         },
         "", "0:7 0:7 0:4 3333"},
        {"AcquisitionActive leaves a pin LineStart holds for the first free one",
         "TriggerSource=1 EA4Function=1",
         [](F f) {
             f.cache->trigger_selector = 2;
             f.sensor->SetTriggerMode(true);
         },
         Clear(1) + ProfileEnable(1), "1:4 0:7 1:1 3331"},
        {"AcquisitionActive takes a plain input, read back from the sensor", "",
         [](F f) {
             f.cache->trigger[2].trigger_mode = true;
             f.cache->trigger_selector = 2;
             f.sensor->SetSelectedTriggerSource(3);
             EXPECT_EQ(f.sensor->GetSelectedTriggerSource(), 3u);
         },
         Clear(3) + ProfileEnable(3), "0:7 0:7 1:3 3333"},
        {"LineStart on a pin AcquisitionActive holds: software", "",
         [](F f) {
             f.cache->trigger[0].trigger_source = 3;
             f.cache->trigger[2] = {true, 3};
             f.sensor->SetTriggerMode(true);
         },
         "SetTriggerSource=3", "1:7 0:7 1:3 3333"},
        {"FrameStart on turns AcquisitionActive off; while on, nothing is read", "",
         [](F f) {
             f.cache->trigger[2].trigger_mode = true;
             EXPECT_TRUE(f.sensor->GetTriggerSource());
             EXPECT_TRUE(f.link->Calls().empty());
             f.cache->trigger[1].trigger_mode = true;
             f.cache->trigger_selector = 2;
             EXPECT_FALSE(f.sensor->GetSelectedTriggerMode());
         },
         "", "0:7 1:7 0:4 3333"},
        {"a source set while its trigger is off also moves LineStart", "TriggerSource=3",
         [](F f) {
             f.cache->trigger_selector = 1;
             f.sensor->SetSelectedTriggerSource(2);
         },
         "SetTriggerSource=1 " + Clear(2) + "SetEA2Function=1", "1:2 0:2 0:4 3133"},
        {"software FrameStart starts a scan", "",
         [](F f) {
             f.cache->trigger_selector = 1;
             f.sensor->SetTriggerSoftware();
         },
         "SetAcquisitionStart", "0:7 0:7 0:4 3333"},
        {"software LineStart waits for the start", "TriggerSource=3",
         [](F f) {
             f.sensor->SetTriggerSoftware();
             f.sensor->SetAcquisitionStart();
             f.sensor->SetTriggerSoftware();
         },
         "SetAcquisitionStart SetTriggerSoftware", "1:7 0:7 0:4 3333"},
        {"no software trigger on a pin", "TriggerSource=1 EA2Function=1",
         [](F f) {
             f.sensor->SetAcquisitionStart();
             f.sensor->SetTriggerSoftware();
         },
         "SetAcquisitionStart", "1:2 0:7 0:4 3133"},
        {"lines: input back to trigger input, output by its source",
         "TriggerSource=1 EA2Function=1 EA3InputFunction=1 EA3InputLoad=1",
         [](F f) {
             f.cache->line_selector = 1;
             f.sensor->SetLineMode(0);
             f.cache->line_selector = 2;
             f.sensor->SetLineSource(1);
             f.sensor->SetLineMode(1);
             EXPECT_EQ(f.sensor->GetLineInverter() + f.sensor->GetInputLoad(), 0);
             EXPECT_EQ(f.cache->line[2].line_inverter + f.cache->line[2].input_load, 1);
             f.sensor->SetLineInverter(true);
             f.sensor->SetInputLoad(false);
             f.sensor->SetUserOutputValue(1);
             f.sensor->SetOutputFunction(2);
         },
         "SetEA2Function=1 SetEA3Function=2 SetEA3InputFunction=0 SetEA3InputLoad=0 "
         "SetEA3Output=1 SetEA3OutputFunction=2",
         "1:2 0:7 0:4 3123"},
        {"encoders by selector", "",
         [](F f) {
             f.sensor->SetEncoderSourceA(true);
             f.cache->encoder_selector = 1;
             f.sensor->SetEncoderSourceA(false);
             f.sensor->SetEncoderSourceB(true);
         },
         "SetEA1Function=5 SetEA2Function=5", "0:7 0:7 0:4 5533"},
        {"one encoder reset pin at a time", "EA2FunctionResetCounter=1",
         [](F f) {
             EXPECT_EQ(f.sensor->SetEncoderResetSource(3), GC_ERR_SUCCESS);
             EXPECT_EQ(f.sensor->GetEncoderResetSource(), 3u);
             f.sensor->SetResetSignalEdge(2);
             EXPECT_EQ(f.sensor->GetResetSignalEdge(), 2);
         },
         "SetEA2FunctionResetCounter=0 SetEA2ResetCounterRepeat=0 SetEA2ResetCounterEncoderHTL=0 "
         "SetEA2ResetCounterEncoderTTLRS422=0 " +
             Clear(3) +
             "SetEA3Function=3 SetEA3FunctionResetCounter=1 SetEA3ResetCounterRepeat=2 "
             "SetEA3ResetCounterEncoderHTL=1 SetEA3ResetCounterEncoderTTLRS422=1 "
             "SetEA3ResetCounterSignaledge=2",
         "0:7 0:7 0:4 3333"},
        {"selectors, pins and sources out of range send nothing", "",
         [](F f) {
             TestSupport::AssertionCounter assertions;
             f.cache->trigger_selector = 3;
             f.cache->line_selector = 4;
             f.sensor->SetTriggerMode(true);
             f.sensor->SetSelectedTriggerSource(2);
             f.sensor->SetTriggerSoftware();
             f.sensor->SetLineMode(0);
             f.sensor->SetLineMode(1);
             f.sensor->SetLineSource(1);
             f.sensor->SetLineInverter(true);
             EXPECT_EQ(f.sensor->GetSelectedTriggerSource() + f.sensor->GetLineInverter(), 0);
             EXPECT_FALSE(f.sensor->IsLineOutputAvailable());
             EXPECT_EQ(f.sensor->SetEncoderResetSource(5), GC_ERR_INVALID_PARAMETER);
             f.cache->trigger[2].trigger_source = 7;
             f.sensor->SetAcquisitionActiveMode(false);
             f.sensor->SetEA(5, 1);
             f.sensor->SetEA(1, 6);
             EXPECT_EQ(assertions.Failures(), 2);
         },
         "", "0:7 0:7 0:7 3333"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedSensor fixture;
        fixture.SetItems(row.items);
        fixture.Open();
        row.change(fixture);
        EXPECT_EQ(fixture.Writes(), row.writes.substr(0, row.writes.find_last_not_of(' ') + 1));
        EXPECT_EQ(State(*fixture.cache), row.state);
    }
}

// Pin 1 an output, pin 2 the LineStart input, pin 3 the encoder reset.
TEST(SensorTriggerTest, OffersOnlyFreePins)
{
    ScriptedSensor fixture;
    fixture.SetItems("EA1Function=4 TriggerSource=1 EA2Function=1 EA3FunctionResetCounter=1");
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
