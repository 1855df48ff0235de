#include "SimulatedSettings.h"

#include <cstdlib>
#include <mutex>

#include "SensorScans.h"

namespace TestSupport {
namespace {

struct Item {
    const char* name;
    const char* path;
    const char* value;
    unsigned long step;  // the sensor's rounding, 0 for none
};

// The library reads each item at this path; every other path keeps its default.
const Item ITEMS[] = {
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
    {"TriggerSource", "device:settings:triggersource:current", "0", 0},
    {"MaxFps", "device:general:maxfps", "4000", 0},
    {"EA1Function", "device:settings:usrio:ea1:function:current", "3", 0},
    {"EA2Function", "device:settings:usrio:ea2:function:current", "3", 0},
    {"EA3Function", "device:settings:usrio:ea3:function:current", "3", 0},
    {"EA4Function", "device:settings:usrio:ea4:function:current", "3", 0},
};

}  // namespace

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
};

SimulatedSettings::SimulatedSettings(bool quantise, std::chrono::milliseconds delay)
    : state(std::make_shared<State>())
{
    state->quantise = quantise;
    state->delay = delay;
    for (const Item& item : ITEMS) state->shown[item.name] = item.value;
}

std::function<std::string(const std::map<std::string, std::string>&)> SimulatedSettings::Builder()
    const
{
    return [state = state](const std::map<std::string, std::string>& written) {
        std::map<std::string, std::string> values = DefaultXmlValues();
        std::lock_guard<std::mutex> hold(state->mutex);
        const auto now = std::chrono::steady_clock::now();
        for (const Item& item : ITEMS) {
            const auto write = written.find(item.name);
            if (write != written.end()) {
                auto& change = state->changes[item.name];
                if (change.first != write->second) change = {write->second, now};
                if (now - change.second >= state->delay)
                    state->shown[item.name] = state->Shown(item, write->second);
            }
            values[item.path] = state->shown[item.name];
        }
        return SensorXml(values);
    };
}

}  // namespace TestSupport
