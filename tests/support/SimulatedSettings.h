// SimulatedSettings.h: the simulated sensor's settings as numbers at the XML
// paths the sensor library reads them from, changed by "Set<item>=<v>"
// commands, optionally quantised and shown only after a delay.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace TestSupport {

// Plug in with SimulatedSensor::SetXmlBuilder(settings.Builder()).
// Threads: the builder runs on the sensor's threads, Value on the test's;
// the state is shared and under its own lock.
class SimulatedSettings {
public:
    struct Options {
        // A written value shows rounded down to a multiple of its step.
        std::map<std::string, uint32_t> steps{{"ROI1WidthX", 16}, {"ROI1OffsetX", 32}};
        // A change shows this long after the first settings request that follows it.
        std::chrono::milliseconds delay{0};
    };

    SimulatedSettings();
    explicit SimulatedSettings(const Options& options);

    // Builds the XML description from the items written so far.
    std::function<std::string(const std::map<std::string, std::string>&)> Builder() const;
    // The number the sensor shows now for `item` ("ROI1WidthX"); "" if unknown.
    std::string Value(const std::string& item) const;

private:
    struct State;
    std::shared_ptr<State> state;
};

}  // namespace TestSupport
