// SensorInterface's trigger and pin operations: the GenICam triggers, lines
// and encoder inputs mapped onto the sensor's one trigger setting and the
// function codes of its four pins.
//
// Pin function codes: 1 trigger input, 2 timer output, 3 plain input, 4 user
// output, 5 encoder input. Sensor trigger values: 0 off, 1 the pin of
// function 1, 2 encoder, 3 software.
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"
#include "platform/Assert.h"

namespace GenTLCore::ZoTL {
namespace {

using Trigger = FeatureCache::Trigger;
using Line = FeatureCache::Line;

constexpr uint32_t PIN_COUNT = 4;
constexpr uint32_t TRIGGER_INPUT = 1;
constexpr uint32_t TIMER_OUTPUT = 2;
constexpr uint32_t PLAIN_INPUT = 3;
constexpr uint32_t USER_OUTPUT = 4;
constexpr uint32_t ENCODER_INPUT = 5;
constexpr uint32_t ENCODER1 = 5;
constexpr uint32_t ENCODER2 = 6;
constexpr uint32_t SOFTWARE = FeatureCache::SOURCE_SOFTWARE;
constexpr int32_t SENSOR_TRIGGER_OFF = 0;
constexpr int32_t SENSOR_TRIGGER_PIN = 1;
constexpr int32_t SENSOR_TRIGGER_ENCODER = 2;
constexpr int32_t SENSOR_TRIGGER_SOFTWARE = 3;
constexpr uint32_t LINE_SOURCE_USER_OUTPUT = 0;
constexpr uint32_t LINE_SOURCE_TIMER = 1;
constexpr uint32_t LINE_MODE_OUTPUT = 1;

constexpr const char* RESET_COUNTER_ITEMS[] = {"FunctionResetCounter", "ResetCounterRepeat",
                                               "ResetCounterEncoderHTL",
                                               "ResetCounterEncoderTTLRS422"};
constexpr int32_t RESET_COUNTER_ON[] = {1, 2, 1, 1};

bool IsPin(uint32_t source)
{
    return source >= 1 && source <= PIN_COUNT;
}

std::string PinItem(const char* prefix, uint32_t pin, const char* item)
{
    return std::string(prefix) + "EA" + std::to_string(pin) + item;
}

void SetMode(FeatureCache& cache, uint32_t index, bool on)
{
    cache.UpdateTrigger(index, [on](Trigger& trigger) { trigger.trigger_mode = on; });
}

void SetSource(FeatureCache& cache, uint32_t index, uint32_t source)
{
    cache.UpdateTrigger(index, [source](Trigger& trigger) { trigger.trigger_source = source; });
}

}  // namespace

// Every pin write passes here, so no command ever names a pin outside 1 to 4.
bool SensorInterface::WritePinItem(uint32_t pin, const char* item, int32_t value)
{
    return IsPin(pin) && WriteParameter(PinItem("Set", pin, item), value);
}

// A pin outside 1 to 4 reads 0, as a selector outside its range does.
int32_t SensorInterface::ReadPinItem(uint32_t pin, const char* item, int32_t* value)
{
    *value = 0;
    return IsPin(pin) ? ReadParameter(PinItem("Get", pin, item), value) : 0;
}

void SensorInterface::SetEA(uint32_t pin, uint32_t function)
{
    if (!TL_ASSERT_MSG(IsPin(pin), "Invalid Pin Number. Has to be 1-4") ||
        !TL_ASSERT_MSG(function >= 1 && function <= 5, "Invalid function index. Has to be 1-5"))
        return;
    if (WritePinItem(pin, "Function", static_cast<int32_t>(function)))
        UpdateCache([&](FeatureCache& cache) { cache.line_function[pin - 1] = function; });
}

int32_t SensorInterface::ReadLineFunctions()
{
    for (uint32_t pin = 1; pin <= PIN_COUNT; ++pin) {
        int32_t function = 0;
        const int32_t result = ReadPinItem(pin, "Function", &function);
        if (result != 0) return result;
        UpdateCache([&](FeatureCache& cache) {
            Line& line = cache.line[pin - 1];
            cache.line_function[pin - 1] = static_cast<uint32_t>(function);
            line.is_output = function == TIMER_OUTPUT || function == USER_OUTPUT ? 1 : 0;
            if (line.is_output)
                line.line_source =
                    function == TIMER_OUTPUT ? LINE_SOURCE_TIMER : LINE_SOURCE_USER_OUTPUT;
        });
    }
    return 0;
}

std::vector<uint32_t> SensorInterface::GetPlainInputLines()
{
    ReadLineFunctions();
    std::vector<uint32_t> pins;
    for (uint32_t pin = 1; pin <= PIN_COUNT; ++pin)
        if (cache_->GetLineFunction(pin - 1) == PLAIN_INPUT) pins.push_back(pin);
    return pins;
}

void SensorInterface::RefreshLineFunctions()
{
    ReadBatch batch(*this);
    ReadLineFunctions();
}

bool SensorInterface::IsEncoderLine(uint32_t pin)
{
    RefreshLineFunctions();
    return cache_->GetLineFunction(pin - 1) == ENCODER_INPUT;
}

void SensorInterface::ClearEAFunctions(uint32_t pin)
{
    for (const char* item : {"FunctionLaserOff", "FunctionProfileEnable", "FunctionResetCounter"})
        WritePinItem(pin, item, 0);
}

// Exactly one pin ends as the trigger input when every write succeeds.
void SensorInterface::SetTriggerInputLine(uint32_t pin)
{
    ClearEAFunctions(pin);
    for (uint32_t other = 1; other <= PIN_COUNT; ++other) {
        const bool input = cache_->GetLineFunction(other - 1) == TRIGGER_INPUT;
        if (input && other != pin) SetEA(other, PLAIN_INPUT);
        if (!input && other == pin) SetEA(other, TRIGGER_INPUT);
    }
}

void SensorInterface::SetProfileEnableLine(uint32_t pin)
{
    ClearEAFunctions(pin);
    for (uint32_t other = 1; other <= PIN_COUNT; ++other)
        WritePinItem(other, "FunctionProfileEnable", other == pin ? 1 : 0);
}

void SensorInterface::ClearAllProfileEnable()
{
    for (uint32_t pin = 1; pin <= PIN_COUNT; ++pin) WritePinItem(pin, "FunctionProfileEnable", 0);
}

bool SensorInterface::GetEAProfileEnable(uint32_t pin)
{
    int32_t value = 0;
    return ReadPinItem(pin, "FunctionProfileEnable", &value) == 0 && value != 0;
}

bool SensorInterface::GetEAResetCounter(uint32_t pin)
{
    int32_t value = 0;
    return ReadPinItem(pin, "FunctionResetCounter", &value) == 0 && value != 0;
}

void SensorInterface::WriteResetCounterItems(uint32_t pin, bool set)
{
    for (size_t i = 0; i < std::size(RESET_COUNTER_ITEMS); ++i)
        WritePinItem(pin, RESET_COUNTER_ITEMS[i], set ? RESET_COUNTER_ON[i] : 0);
}

// The pin's function is written directly: the cache keeps it as it was.
void SensorInterface::SetEAResetCounter(uint32_t pin)
{
    if (!IsPin(pin)) return;
    ClearEAFunctions(pin);
    WritePinItem(pin, "Function", PLAIN_INPUT);
    WriteResetCounterItems(pin, true);
}

void SensorInterface::ClearEAResetCounter(uint32_t pin)
{
    WriteResetCounterItems(pin, false);
}

uint32_t SensorInterface::EncoderResetSource()
{
    uint32_t pin = 0;
    UpdateCache([&](FeatureCache& cache) { pin = cache.encoder_reset_source; });
    return pin;
}

bool SensorInterface::IsLineInUse(uint32_t pin, int32_t selector)
{
    if (cache_->GetLine(pin - 1).is_output != 0 || EncoderResetSource() == pin) return true;
    if ((pin == 1 && IsLine1Encoder()) || (pin == 2 && IsLine2Encoder())) return true;
    if (selector < -1 || selector > static_cast<int32_t>(FeatureCache::ACQUISITION_ACTIVE))
        return false;
    for (uint32_t index = 0; index <= FeatureCache::ACQUISITION_ACTIVE; ++index) {
        const Trigger trigger = cache_->GetTrigger(index);
        if (static_cast<int32_t>(index) != selector && trigger.trigger_mode &&
            trigger.trigger_source == pin)
            return true;
    }
    return false;
}

// Drives the LineStart trigger; the item name follows the FrameStart mode.
void SensorInterface::SetTriggerSource(uint32_t source)
{
    const char* name = cache_->GetTrigger(FeatureCache::FRAME_START).trigger_mode
                           ? "SetTriggerAmountProfilesY"
                           : "SetTriggerSource";
    TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_DEBUG) << "Set Trigger Source: " << source;
    if (!cache_->GetTrigger(FeatureCache::LINE_START).trigger_mode) {
        WriteParameter(name, SENSOR_TRIGGER_OFF);
        return;
    }
    if (IsPin(source)) {
        WriteParameter(name, SENSOR_TRIGGER_PIN);
        SetTriggerInputLine(source);
    } else if (source == ENCODER1) {
        WriteParameter(name, SENSOR_TRIGGER_ENCODER);
        SetEA(1, ENCODER_INPUT);
        SetEA(2, ENCODER_INPUT);
    } else if (source == ENCODER2) {
        WriteParameter(name, SENSOR_TRIGGER_ENCODER);
        for (uint32_t pin : {1u, 2u})
            if (cache_->GetLineFunction(pin - 1) == ENCODER_INPUT) SetEA(pin, PLAIN_INPUT);
    } else if (source == SOFTWARE) {
        WriteParameter(name, SENSOR_TRIGGER_SOFTWARE);
    }
    SetSource(*cache_, FeatureCache::LINE_START, source);
}

// A value of -1 means the key asked the wrong FrameStart mode: ask once more
// with the other, and give up when that answers -1 too.
bool SensorInterface::GetTriggerSource()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (cache_->GetTrigger(FeatureCache::ACQUISITION_ACTIVE).trigger_mode) return true;
        const bool frame_start_on = cache_->GetTrigger(FeatureCache::FRAME_START).trigger_mode;
        int32_t value = 0;
        if (ReadParameter(frame_start_on ? "GetTriggerAmountProfilesY" : "GetTriggerSource",
                          &value) != 0)
            break;
        if (value != -1) {
            StoreTriggerSource(value, frame_start_on);
            return true;
        }
        SetMode(*cache_, FeatureCache::FRAME_START, !frame_start_on);
    }
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Read Trigger Source failed.";
    return false;
}

void SensorInterface::StoreTriggerSource(int32_t value, bool frame_start_on)
{
    const auto line_start = [this](bool on, uint32_t source) {
        SetMode(*cache_, FeatureCache::LINE_START, on);
        SetSource(*cache_, FeatureCache::LINE_START, source);
    };
    if (value == SENSOR_TRIGGER_OFF) {
        SetMode(*cache_, FeatureCache::LINE_START, false);
    } else if (value == SENSOR_TRIGGER_PIN) {
        ReadLineFunctions();
        uint32_t pin = 1;
        while (pin <= PIN_COUNT && cache_->GetLineFunction(pin - 1) != TRIGGER_INPUT) ++pin;
        if (IsPin(pin)) {
            line_start(true, pin);
        } else {
            TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_DEBUG) << "correct lineStart trigger source";
            SetMode(*cache_, FeatureCache::LINE_START, false);
            SetTriggerSource(cache_->GetTrigger(FeatureCache::LINE_START).trigger_source);
        }
    } else if (value == SENSOR_TRIGGER_ENCODER) {
        const bool both = cache_->GetLineFunction(0) == ENCODER_INPUT &&
                          cache_->GetLineFunction(1) == ENCODER_INPUT;
        line_start(true, both ? ENCODER1 : ENCODER2);
    } else if (value == SENSOR_TRIGGER_SOFTWARE) {
        line_start(true, SOFTWARE);
    }
    if (frame_start_on) SetSource(*cache_, FeatureCache::FRAME_START, FirstProfileEnabledInput());
    TL_LOG(LOG_CATEGORY_CONTROL, LOG_LEVEL_ALWAYS)
        << "Read Trigger Source: " << cache_->GetTrigger(FeatureCache::LINE_START).trigger_source;
}

uint32_t SensorInterface::FirstProfileEnabledInput()
{
    for (uint32_t pin = 1; pin <= PIN_COUNT; ++pin)
        if (cache_->GetLine(pin - 1).is_output == 0 && GetEAProfileEnable(pin)) return pin;
    return SOFTWARE;
}

// A pin that something else holds is not taken: software triggers instead.
void SensorInterface::SetLineStartMode(bool on)
{
    SetMode(*cache_, FeatureCache::LINE_START, on);
    const uint32_t source = cache_->GetTrigger(FeatureCache::LINE_START).trigger_source;
    const bool taken = on && IsPin(source) && IsLineInUse(source, FeatureCache::LINE_START);
    SetTriggerSource(taken ? SOFTWARE : source);
}

void SensorInterface::SetFrameStartSource(uint32_t source)
{
    ClearAllProfileEnable();
    if (IsPin(source))
        SetProfileEnableLine(source);
    else if (source != SOFTWARE)
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "SetFrameStart invalid TriggerSource: " << source;
    SetSource(*cache_, FeatureCache::FRAME_START, source);
}

// The sensor's trigger moves between its two items with the FrameStart mode,
// so it is written again either way.
void SensorInterface::SetFrameStartMode(bool on)
{
    SetMode(*cache_, FeatureCache::FRAME_START, on);
    if (on) {
        const uint32_t source = cache_->GetTrigger(FeatureCache::FRAME_START).trigger_source;
        if (IsPin(source) && IsLineInUse(source, FeatureCache::FRAME_START)) {
            ClearAllProfileEnable();
            SetSource(*cache_, FeatureCache::FRAME_START, SOFTWARE);
        } else {
            SetFrameStartSource(source);
        }
    }
    SetTriggerSource(cache_->GetTrigger(FeatureCache::LINE_START).trigger_source);
    if (!on) ClearAllProfileEnable();
}

// The stored source stays: the next read of the trigger takes the pin from
// the sensor.
void SensorInterface::SetAcquisitionActiveSource(uint32_t source)
{
    if (!IsPin(source)) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "SetAcquisitionActive invalid source: " << source;
        return;
    }
    if (cache_->GetLine(source - 1).is_output == 0) SetProfileEnableLine(source);
}

void SensorInterface::SetAcquisitionActiveMode(bool on)
{
    SetMode(*cache_, FeatureCache::ACQUISITION_ACTIVE, on);
    const uint32_t source = cache_->GetTrigger(FeatureCache::ACQUISITION_ACTIVE).trigger_source;
    if (on)
        SetAcquisitionActiveSource(source);
    else
        WritePinItem(source, "FunctionProfileEnable", 0);
}

uint32_t SensorInterface::GetFrameStartSource()
{
    if (cache_->GetTrigger(FeatureCache::FRAME_START).trigger_mode)
        SetSource(*cache_, FeatureCache::FRAME_START, FirstProfileEnabledInput());
    return cache_->GetTrigger(FeatureCache::FRAME_START).trigger_source;
}

// FrameStart and AcquisitionActive exclude each other.
uint32_t SensorInterface::GetAcquisitionActiveSource()
{
    ReadBatch batch(*this);
    if (cache_->GetTrigger(FeatureCache::FRAME_START).trigger_mode) {
        SetMode(*cache_, FeatureCache::ACQUISITION_ACTIVE, false);
        return 0;
    }
    for (uint32_t pin = 1; pin <= PIN_COUNT; ++pin) {
        int32_t function = 0;
        int32_t enable = 0;
        if (ReadPinItem(pin, "Function", &function) == 0 &&
            ReadPinItem(pin, "FunctionProfileEnable", &enable) == 0 &&
            function == static_cast<int32_t>(PLAIN_INPUT) && enable != 0) {
            SetMode(*cache_, FeatureCache::ACQUISITION_ACTIVE, true);
            SetSource(*cache_, FeatureCache::ACQUISITION_ACTIVE, pin);
            return 1;
        }
    }
    return 0;
}

void SensorInterface::SetTriggerMode(bool on)
{
    ScopedLock hold(lock_);
    const uint32_t selector = cache_->trigger_selector.load();
    if (selector == FeatureCache::LINE_START) {
        SetLineStartMode(on);
    } else if (selector == FeatureCache::FRAME_START) {
        SetFrameStartMode(on);
    } else if (selector == FeatureCache::ACQUISITION_ACTIVE) {
        const uint32_t source = cache_->GetTrigger(selector).trigger_source;
        if (on && IsLineInUse(source, FeatureCache::ACQUISITION_ACTIVE)) {
            uint32_t free = 1;
            while (free <= PIN_COUNT && IsLineInUse(free, -1)) ++free;
            if (!IsPin(free)) return;
            SetSource(*cache_, selector, free);
        }
        SetAcquisitionActiveMode(on);
    }
    SetMode(*cache_, selector, on);
}

// With the selected trigger off the source is only stored, and the LineStart
// trigger follows it whatever the selector.
void SensorInterface::SetSelectedTriggerSource(uint32_t source)
{
    ScopedLock hold(lock_);
    const uint32_t selector = cache_->trigger_selector.load();
    if (selector > FeatureCache::ACQUISITION_ACTIVE) return;
    if (!cache_->GetTrigger(selector).trigger_mode) {
        SetSource(*cache_, selector, source);
        SetTriggerSource(source);
    } else if (selector == FeatureCache::LINE_START) {
        SetTriggerSource(source);
    } else if (selector == FeatureCache::FRAME_START) {
        SetFrameStartSource(source);
    } else {
        SetAcquisitionActiveSource(source);
    }
}

uint32_t SensorInterface::GetSelectedTriggerSource()
{
    ScopedLock hold(lock_);
    const uint32_t selector = cache_->trigger_selector.load();
    if (selector > FeatureCache::ACQUISITION_ACTIVE) return 0;
    {
        ReadBatch batch(*this);
        if (selector == FeatureCache::ACQUISITION_ACTIVE)
            GetAcquisitionActiveSource();
        else
            GetTriggerSource();
    }
    return cache_->GetTrigger(selector).trigger_source;
}

bool SensorInterface::GetSelectedTriggerMode()
{
    ScopedLock hold(lock_);
    GetSelectedTriggerSource();
    return cache_->GetTrigger(cache_->trigger_selector.load()).trigger_mode;
}

void SensorInterface::SetTriggerSoftware()
{
    const uint32_t selector = cache_->trigger_selector.load();
    if (selector > FeatureCache::FRAME_START ||
        cache_->GetTrigger(selector).trigger_source != SOFTWARE)
        return;
    if (selector == FeatureCache::FRAME_START)
        WriteCommand("SetAcquisitionStart");
    else if (acquisition_started_.load())
        WriteCommand("SetTriggerSoftware");
    else
        TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_WARNING)
            << "TriggerSoftware did not work. In Trigger LineStart, it is neccessary to start "
               "acquisition before SetTriggerSoftware.";
}

bool SensorInterface::IsTriggerSourceAvailable(uint32_t pin)
{
    return cache_->GetTrigger(cache_->trigger_selector.load()).trigger_source == pin ||
           !IsLineInUse(pin, -1);
}

bool SensorInterface::IsResetSourceAvailable(uint32_t pin)
{
    return EncoderResetSource() == pin || !IsLineInUse(pin, -1);
}

bool SensorInterface::IsEncoderSourceAvailable(uint32_t pin)
{
    return IsLine1Encoder() || IsLine2Encoder() || !IsLineInUse(pin, -1);
}

bool SensorInterface::IsLineOutputAvailable()
{
    const uint32_t pin = SelectedPin();
    if (!IsPin(pin)) return false;
    return cache_->GetLine(pin - 1).is_output != 0 || !IsLineInUse(pin, -1);
}

void SensorInterface::SetEncoderSourceA(bool on)
{
    if (cache_->encoder_selector.load() == 0) SetEA(1, on ? ENCODER_INPUT : PLAIN_INPUT);
}

void SensorInterface::SetEncoderSourceB(bool on)
{
    SetEA(2, on ? ENCODER_INPUT : PLAIN_INPUT);
}

// Only one pin resets the counter: a plain input that did is cleared first.
GC_ERROR SensorInterface::SetEncoderResetSource(uint32_t pin)
{
    if (pin > PIN_COUNT)
        return ReportError(GC_ERR_INVALID_PARAMETER, "Encoder reset source " + std::to_string(pin) +
                                                         " is neither Off nor a line 1 to 4.");
    if (pin != 0) {
        ReadLineFunctions();
        for (uint32_t other = 1; other <= PIN_COUNT; ++other)
            if (cache_->GetLineFunction(other - 1) == PLAIN_INPUT && GetEAResetCounter(other))
                ClearEAResetCounter(other);
        SetEAResetCounter(pin);
    } else {
        for (uint32_t other = 1; other <= PIN_COUNT; ++other) ClearEAResetCounter(other);
    }
    UpdateCache([&](FeatureCache& cache) { cache.encoder_reset_source = pin; });
    return GC_ERR_SUCCESS;
}

uint32_t SensorInterface::GetEncoderResetSource()
{
    ReadBatch batch(*this);
    ReadLineFunctions();
    uint32_t pin = 1;
    while (pin <= PIN_COUNT && !GetEAResetCounter(pin)) ++pin;
    const uint32_t source = IsPin(pin) ? pin : 0;
    UpdateCache([&](FeatureCache& cache) { cache.encoder_reset_source = source; });
    return source;
}

void SensorInterface::SetResetSignalEdge(int32_t edge)
{
    WritePinItem(EncoderResetSource(), "ResetCounterSignaledge", edge);
}

// A failed read keeps the edge read before.
int32_t SensorInterface::GetResetSignalEdge()
{
    const uint32_t pin = EncoderResetSource();
    int32_t edge = 0;
    const bool read = IsPin(pin) && ReadPinItem(pin, "ResetCounterSignaledge", &edge) == 0;
    uint32_t activation = 0;
    UpdateCache([&](FeatureCache& cache) {
        if (read) cache.encoder_reset_activation = static_cast<uint32_t>(edge);
        activation = cache.encoder_reset_activation;
    });
    return static_cast<int32_t>(activation);
}

void SensorInterface::SetLineOutput()
{
    const uint32_t pin = SelectedPin();
    const uint32_t source = cache_->GetLine(pin - 1).line_source;
    if (!IsPin(pin) || source > LINE_SOURCE_TIMER) return;
    SetEA(pin, source == LINE_SOURCE_TIMER ? TIMER_OUTPUT : USER_OUTPUT);
}

// An input that is a trigger's source goes back to being the trigger input.
void SensorInterface::SetLineMode(uint32_t mode)
{
    const uint32_t pin = SelectedPin();
    if (!IsPin(pin)) return;
    if (mode == LINE_MODE_OUTPUT) {
        SetLineOutput();
        return;
    }
    const bool source = cache_->GetTrigger(FeatureCache::LINE_START).trigger_source == pin ||
                        cache_->GetTrigger(FeatureCache::FRAME_START).trigger_source == pin;
    SetEA(pin, source ? TRIGGER_INPUT : PLAIN_INPUT);
}

void SensorInterface::SetLineSource(uint32_t source)
{
    const uint32_t index = SelectedPin() - 1;
    cache_->UpdateLine(index, [source](Line& line) { line.line_source = source; });
    if (cache_->GetLine(index).is_output == 1) SetLineOutput();
}

// The cache follows the requested value even when the write fails.
void SensorInterface::WriteLineItem(const char* item, int32_t value,
                                    const std::function<void(Line&)>& store)
{
    WritePinItem(SelectedPin(), item, value);
    cache_->UpdateLine(SelectedPin() - 1, store);
}

int32_t SensorInterface::ReadLineItem(const char* item,
                                      const std::function<void(Line&, int32_t)>& store)
{
    int32_t value = 0;
    const int32_t result = ReadPinItem(SelectedPin(), item, &value);
    if (result == 0) cache_->UpdateLine(SelectedPin() - 1, [&](Line& line) { store(line, value); });
    return result;
}

void SensorInterface::SetOutputFunction(uint32_t value)
{
    WriteLineItem("OutputFunction", static_cast<int32_t>(value),
                  [value](Line& line) { line.output_function = value; });
}

int32_t SensorInterface::GetOutputFunction()
{
    return ReadLineItem("OutputFunction", [](Line& line, int32_t value) {
        line.output_function = static_cast<uint32_t>(value);
    });
}

void SensorInterface::SetUserOutputValue(uint32_t value)
{
    WriteLineItem("Output", static_cast<int32_t>(value),
                  [value](Line& line) { line.user_output_value = value; });
}

int32_t SensorInterface::GetUserOutputValue()
{
    return ReadLineItem("Output", [](Line& line, int32_t value) {
        line.user_output_value = static_cast<uint32_t>(value);
    });
}

void SensorInterface::SetInputLoad(bool on)
{
    WriteLineItem("InputLoad", on ? 1 : 0, [on](Line& line) { line.input_load = on; });
}

int32_t SensorInterface::GetInputLoad()
{
    return ReadLineItem("InputLoad",
                        [](Line& line, int32_t value) { line.input_load = value == 1; });
}

// The sensor's item says whether the input is taken as it is.
void SensorInterface::SetLineInverter(bool on)
{
    WriteLineItem("InputFunction", on ? 0 : 1, [on](Line& line) { line.line_inverter = on; });
}

int32_t SensorInterface::GetLineInverter()
{
    return ReadLineItem("InputFunction",
                        [](Line& line, int32_t value) { line.line_inverter = value != 1; });
}

int32_t SensorInterface::GetIOState()
{
    uint8_t state = 0;
    const int32_t result = ReadParameter("GetIOState", &state);
    if (result != 0) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Read IO State failed.";
        return result;
    }
    UpdateCache([&](FeatureCache& cache) {
        for (uint32_t bit = 0; bit < PIN_COUNT; ++bit) cache.line_status[bit] = (state >> bit) & 1;
    });
    return 0;
}

}  // namespace GenTLCore::ZoTL
