// SimulatedSettings.h: the simulated sensor's settings as numbers at the XML
// paths the sensor library reads them from, changed by "Set<item>=<v>"
// commands (the pins' "SetEA<n><item>=<v>" too), optionally rounded like
// the sensor and shown after a delay, and the levels of its pins.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace TestSupport {

// Plug in with SimulatedSensor::SetXmlBuilder(settings.Builder()). The
// builder runs on the sensor's threads; its state is under its own lock.
class SimulatedSettings {
public:
    // With `quantise`, ROI1WidthX shows rounded down to 16 and ROI1OffsetX to
    // 32. A change shows `delay` after the first settings request after it.
    explicit SimulatedSettings(bool quantise = true, std::chrono::milliseconds delay = {});

    // The XML description with the items written so far.
    std::function<std::string(const std::map<std::string, std::string>&)> Builder() const;

    // The levels of pins EA1 to EA4 as bits 0 to 3; all low until set.
    void SetPinStates(unsigned bits);

private:
    struct State;
    std::shared_ptr<State> state;
};

// The XML path the library reads `item` ("ROI1WidthX") from, or "" for an
// item without one here.
std::string SettingXmlPath(const std::string& item);

}  // namespace TestSupport
