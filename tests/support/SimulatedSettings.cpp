#include "SimulatedSettings.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "SensorScans.h"

namespace TestSupport {
namespace {

struct Item {
    std::string name;
    std::string path;
    std::string value;
    unsigned long step;  // the sensor's rounding, 0 for none
};

constexpr int PIN_COUNT = 4;

// A pin's items: "EA<n><name>" at "device:settings:usrio:ea<n>:<tail>".
const char* const PIN_ITEMS[][2] = {
    {"Function", "function"},
    {"FunctionLaserOff", "functionlaseroff"},
    {"FunctionProfileEnable", "functionprofileenable"},
    {"FunctionResetCounter", "functionresetcounter"},
    {"InputFunction", "inputfunction"},
    {"InputLoad", "inputfunctionload"},
    {"Output", "output"},
    {"OutputFunction", "outputfunction"},
    {"ResetCounterRepeat", "resetcounter:repeat"},
    {"ResetCounterSignaledge", "resetcounter:signaledge"},
    {"ResetCounterEncoderHTL", "resetcounter:encoder_htl"},
    {"ResetCounterEncoderTTLRS422", "resetcounter:encoder_ttl_rs422"},
};

std::string PinStatePath(int pin)
{
    return "device:general:usrio:ea" + std::to_string(pin) + ":state";
}

// The library reads each item at this path; every other path keeps its
// default. Pins start as plain inputs with every other item 0.
const std::vector<Item>& Items()
{
    static const std::vector<Item> items = [] {
        std::vector<Item> all = {
            {"ROI1WidthX", "device:settings:roi:x1:width:current", "640", 16},
            {"ROI1OffsetX", "device:settings:roi:x1:offset:current", "0", 32},
            {"ROI1StepX", "device:settings:roi:x1:step:current", "0", 0},
            {"ROI1HeightZ", "device:settings:roi:z1:height:current", "512", 0},
            {"ROI1OffsetZ", "device:settings:roi:z1:offset:current", "0", 0},
            {"ROI1StepZ", "device:settings:roi:z1:step:current", "0", 0},
            {"AmountProfilesY", "device:settings:amountprofilesy:current", "100", 0},
            {"AcquisitionLineTime", "device:settings:acquisitionlinetime:current", "500", 0},
            {"CameraMode", "device:settings:cameramode:current", "0", 0},
            {"SignalEnable", "device:settings:protocol:profile:signal:enable:current", "1", 0},
            {"SignalWidthMin", "device:settings:signalwidthmin:current", "0", 0},
            {"SignalWidthMax", "device:settings:signalwidthmax:current", "63", 0},
            {"TriggerSource", "device:settings:triggersource:current", "0", 0},
            // -1 answers for the frame-start mode the sensor is not in.
            {"TriggerAmountProfilesY", "device:settings:triggeramountprofilesy:current", "-1", 0},
            {"MaxFps", "device:general:maxfps", "4000", 0},
        };
        for (int pin = 1; pin <= PIN_COUNT; ++pin) {
            const std::string ea = "EA" + std::to_string(pin);
            for (const auto& [name, tail] : PIN_ITEMS)
                all.push_back(
                    {ea + name,
                     "device:settings:usrio:ea" + std::to_string(pin) + ":" + tail + ":current",
                     std::string(name) == "Function" ? "3" : "0", 0});
        }
        return all;
    }();
    return items;
}

}  // namespace

std::string SettingXmlPath(const std::string& item)
{
    for (const Item& known : Items())
        if (known.name == item) return known.path;
    return "";
}

struct SimulatedSettings::State {
    // The value as the sensor shows it once the change has settled.
    std::string Shown(const Item& item, const std::string& written) const
    {
        if (!quantise || item.step == 0) return written;
        const unsigned long value = std::strtoul(written.c_str(), nullptr, 10);
        return std::to_string(value - value % item.step);
    }

    bool quantise = true;
    std::chrono::milliseconds delay{0};
    std::mutex mutex;
    // Guarded by mutex.
    std::map<std::string, std::string> shown;
    // The last value written per item, and when a request first saw it.
    std::map<std::string, std::pair<std::string, std::chrono::steady_clock::time_point>> changes;
    unsigned pin_states = 0;
};

SimulatedSettings::SimulatedSettings(bool quantise, std::chrono::milliseconds delay)
    : state(std::make_shared<State>())
{
    state->quantise = quantise;
    state->delay = delay;
    for (const Item& item : Items()) state->shown[item.name] = item.value;
}

std::function<std::string(const std::map<std::string, std::string>&)> SimulatedSettings::Builder()
    const
{
    return [state = state](const std::map<std::string, std::string>& written) {
        std::map<std::string, std::string> values = DefaultXmlValues();
        std::lock_guard<std::mutex> hold(state->mutex);
        const auto now = std::chrono::steady_clock::now();
        for (const Item& item : Items()) {
            const auto write = written.find(item.name);
            if (write != written.end()) {
                auto& change = state->changes[item.name];
                if (change.first != write->second) change = {write->second, now};
                if (now - change.second >= state->delay)
                    state->shown[item.name] = state->Shown(item, write->second);
            } else if (state->changes.erase(item.name) != 0) {
                // Forgotten by a settings reset.
                state->shown[item.name] = item.value;
            }
            values[item.path] = state->shown[item.name];
        }
        for (int pin = 1; pin <= PIN_COUNT; ++pin)
            values[PinStatePath(pin)] = std::to_string((state->pin_states >> (pin - 1)) & 1);
        return SensorXml(values);
    };
}

void SimulatedSettings::SetPinStates(unsigned bits)
{
    std::lock_guard<std::mutex> hold(state->mutex);
    state->pin_states = bits;
}

}  // namespace TestSupport
