#include "SimulatedSettings.h"

#include <functional>

#include "SensorScans.h"

namespace TestSupport {
namespace {

using Clock = std::chrono::steady_clock;

struct Item {
    const char* name;
    const char* path;
    const char* value;
};

// The library reads each item at this path; everything else keeps its default.
const Item ITEMS[] = {
    {"ROI1WidthX", "device:settings:roi:x1:width:current", "640"},
    {"ROI1OffsetX", "device:settings:roi:x1:offset:current", "0"},
    {"ROI1StepX", "device:settings:roi:x1:step:current", "0"},
    {"ROI1HeightZ", "device:settings:roi:z1:height:current", "512"},
    {"ROI1OffsetZ", "device:settings:roi:z1:offset:current", "0"},
    {"ROI1StepZ", "device:settings:roi:z1:step:current", "0"},
    {"AmountProfilesY", "device:settings:amountprofilesy:current", "100"},
    {"AcquisitionLineTime", "device:settings:acquisitionlinetime:current", "500"},
    {"CameraMode", "device:settings:cameramode:current", "0"},
    {"SignalEnable", "device:settings:protocol:profile:signal:enable:current", "1"},
    {"TriggerSource", "device:settings:triggersource:current", "0"},
    {"MaxFps", "device:general:maxfps", "4000"},
    {"EA1Function", "device:settings:usrio:ea1:function:current", "3"},
    {"EA2Function", "device:settings:usrio:ea2:function:current", "3"},
    {"EA3Function", "device:settings:usrio:ea3:function:current", "3"},
    {"EA4Function", "device:settings:usrio:ea4:function:current", "3"},
};

}  // namespace

struct SimulatedSettings::State {
    struct Change {
        std::string written;  // as the command gave it
        std::string value;    // as the sensor will show it
        Clock::time_point seen;
    };

    explicit State(const Options& options) : options(options) {}

    std::string Quantised(const std::string& item, const std::string& written) const
    {
        const auto step = options.steps.find(item);
        if (step == options.steps.end() || step->second == 0) return written;
        try {
            const unsigned long value = std::stoul(written);
            return std::to_string(value - value % step->second);
        } catch (const std::exception&) {
            return written;
        }
    }

    const Options options;
    mutable std::mutex mutex;
    // Guarded by mutex.
    std::map<std::string, std::string> shown;
    std::map<std::string, Change> changes;
};

SimulatedSettings::SimulatedSettings() : SimulatedSettings(Options()) {}

SimulatedSettings::SimulatedSettings(const Options& options)
    : state(std::make_shared<State>(options))
{
    for (const Item& item : ITEMS) state->shown[item.name] = item.value;
}

std::function<std::string(const std::map<std::string, std::string>&)> SimulatedSettings::Builder()
    const
{
    return [state = state](const std::map<std::string, std::string>& written) {
        std::map<std::string, std::string> values = DefaultXmlValues();
        std::lock_guard<std::mutex> hold(state->mutex);
        const auto now = Clock::now();
        for (const Item& item : ITEMS) {
            const auto write = written.find(item.name);
            if (write != written.end()) {
                State::Change& change = state->changes[item.name];
                if (change.written != write->second)
                    change = {write->second, state->Quantised(item.name, write->second), now};
                if (now - change.seen >= state->options.delay)
                    state->shown[item.name] = change.value;
            }
            values[item.path] = state->shown[item.name];
        }
        return SensorXml(values);
    };
}

std::string SimulatedSettings::Value(const std::string& item) const
{
    std::lock_guard<std::mutex> hold(state->mutex);
    const auto found = state->shown.find(item);
    return found == state->shown.end() ? std::string() : found->second;
}

}  // namespace TestSupport
