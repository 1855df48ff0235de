// SensorFakes.h: a virtual clock, a scripted sensor link and a sensor opened
// over them, for testing the command channel exactly and instantly.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "gentl_producers/GenTesk3d/GenTLDataStreamTesk.h"
#include "gentl_producers/GenTesk3d/SensorInterface.h"

namespace TestSupport {

// Time moves only by sleeps and Advance.
class VirtualClock : public GenTLCore::ZoTL::IClock {
public:
    int64_t NowMs() override { return now_ms; }
    void SleepForMs(int64_t ms) override { now_ms += ms > 0 ? ms : 0; }
    void Advance(int64_t ms) { now_ms += ms; }

private:
    int64_t now_ms = 1'000'000;
};

// One call the producer made: a write or a read, as the sensor would see it.
struct LinkCall {
    std::string text;  // "SetROI1WidthX=100" or "GetROI1WidthX", without "\r"
    int64_t at_ms = 0;
    int max_age_ms = 0;  // reads only
    bool operator==(const LinkCall&) const = default;
};

// A sensor that keeps one value per item: "Set<item>=v" stores v, unless the
// item is frozen; "Get<item>" answers the scripted replies first, then the
// value; items never set answer -3. Single-threaded, like the tests.
class ScriptedSensorLink : public GenTLCore::ZoTL::ISensorLink {
public:
    explicit ScriptedSensorLink(GenTLCore::ZoTL::IClock& clock) : clock(clock) {}

    void Set(const std::string& item, const std::string& value) { values[item] = value; }
    // Replies (a value, or a code after '!': "!-5") served once each, in order.
    void Script(const std::string& item, const std::vector<std::string>& replies)
    {
        scripted[item].assign(replies.begin(), replies.end());
    }
    void Freeze(const std::string& item) { frozen.insert(item); }
    void FailWrites(int count) { failing_writes = count; }

    const std::vector<LinkCall>& Calls() const { return calls; }
    void ClearCalls() { calls.clear(); }

    int WriteData(const std::string& text) override
    {
        const std::string command = text.substr(0, text.find('\r'));
        calls.push_back({command, clock.NowMs(), 0});
        if (failing_writes > 0) return --failing_writes, -1;
        const size_t equals = command.find('=');
        if (command.rfind("Set", 0) == 0 && equals != std::string::npos &&
            frozen.count(command.substr(3, equals - 3)) == 0)
            values[command.substr(3, equals - 3)] = command.substr(equals + 1);
        return static_cast<int>(text.size());
    }
    int ReadData(const std::string& request, std::string& reply, int max_age_ms) override
    {
        const std::string key = request.substr(0, request.find('\r'));
        calls.push_back({key, clock.NowMs(), max_age_ms});
        std::deque<std::string>& replies = scripted[key.substr(3)];
        if (replies.empty() && values.count(key.substr(3)) == 0) return -3;
        const std::string value = replies.empty() ? values[key.substr(3)] : replies.front();
        if (!replies.empty()) replies.pop_front();
        if (!value.empty() && value[0] == '!') return std::stoi(value.substr(1));
        reply = value;
        return 0;
    }
    // A profile read hands out the queued profiles in order (intensity
    // 0x10001, 0x10002, ..., user IO 0x5A); with none left it returns
    // `empty_result`, after the read's time-out when that is -1, and then
    // runs `on_empty_read`.
    struct Profile {
        std::vector<double> x, z;
        int picture_count = 0;
        unsigned int encoder = 0;
    };
    std::deque<Profile> profiles;
    int empty_result = -4;
    std::function<void()> on_empty_read;
    std::vector<uint8_t> image;  // the next camera image; taken once
    uint32_t image_width = 0, image_height = 0;

    int GetXZIExtended(GenTLCore::ZoTL::ProfileRequest& request) override
    {
        if (profiles.empty()) {
            if (empty_result == -1) clock.SleepForMs(request.timeout_ms);
            if (on_empty_read) on_empty_read();
            return empty_result;
        }
        const Profile profile = profiles.front();
        profiles.pop_front();
        const int count = std::min<int>(static_cast<int>(profile.x.size()), request.buffer_size);
        for (int i = 0; i < count; ++i) {
            request.x[i] = profile.x[i];
            request.z[i] = profile.z[i];
            request.intensity[i] = 0x10001 + i;
        }
        request.encoder = profile.encoder;
        request.user_io = 0x5A;
        request.picture_count = profile.picture_count;
        return count;
    }
    int GetConnectStatus(int& status) override { return status = 3, 0; }
    int ResetDllFiFo() override { return 0; }
    int GetFifoDropped(uint32_t& dropped) override
    {
        dropped = 0;
        return 0;
    }
    bool TakeCameraImage(std::vector<uint8_t>& out, uint32_t& width, uint32_t& height,
                         uint32_t) override
    {
        out = std::exchange(image, {});
        width = image_width;
        height = image_height;
        return !out.empty();
    }
    void Disconnect() override {}

private:
    GenTLCore::ZoTL::IClock& clock;  // the test's, which outlives the link
    std::map<std::string, std::string> values;
    std::map<std::string, std::deque<std::string>> scripted;
    std::set<std::string> frozen;
    std::vector<LinkCall> calls;
    int failing_writes = 0;
};

// A scripted sensor with plausible settings, opened by Open().
struct ScriptedSensor {
    ScriptedSensor()
    {
        SetItems(
            "SignalEnable=1 PixelXMax=1280 PixelZMax=1024 ROI1StepX=0 ROI1StepZ=0 ROI1WidthX=640 "
            "ROI1HeightZ=512 AmountProfilesY=100 ROI1OffsetX=100 ROI1OffsetZ=0 FieldWidthXEnd=120 "
            "WorkingRangeZStart=100 MeasuringRangeZ=200 FieldWidthXStart=80 MaxFps=4000 "
            "AcquisitionLineTime=500 EA1Function=3 EA2Function=3 EA3Function=3 EA4Function=3 "
            "TriggerSource=0 CameraMode=0");
    }

    // Items as "Name=value", separated by blanks.
    void SetItems(const std::string& items)
    {
        std::istringstream words(items);
        for (std::string item; words >> item;)
            link->Set(item.substr(0, item.find('=')), item.substr(item.find('=') + 1));
    }

    // The sensor as scripted so far opens; by default the calls from here on
    // are the test's.
    void Open(bool keep_calls = false)
    {
        sensor = std::make_unique<GenTLCore::ZoTL::SensorInterface>(std::move(owned_link), cache,
                                                                    std::move(owned_clock));
        if (!keep_calls) link->ClearCalls();
    }

    // The sensor as scripted so far, opened to be shared by a device or a
    // stream; the calls so far stay.
    GenTLCore::SharedPtr<GenTLCore::ZoTL::SensorInterface> OpenShared()
    {
        return GenTLCore::SharedPtr<GenTLCore::ZoTL::SensorInterface>(
            new GenTLCore::ZoTL::SensorInterface(std::move(owned_link), cache,
                                                 std::move(owned_clock)));
    }

    // The commands written, joined by blanks.
    std::string Writes() const
    {
        std::string writes;
        for (const LinkCall& call : link->Calls())
            if (call.text.rfind("Set", 0) == 0) writes += (writes.empty() ? "" : " ") + call.text;
        return writes;
    }

    std::unique_ptr<VirtualClock> owned_clock = std::make_unique<VirtualClock>();
    VirtualClock* const clock = owned_clock.get();
    std::unique_ptr<ScriptedSensorLink> owned_link = std::make_unique<ScriptedSensorLink>(*clock);
    ScriptedSensorLink* const link = owned_link.get();  // owned by `sensor` once open
    GenTLCore::SharedPtr<GenTLCore::ZoTL::FeatureCache> cache{new GenTLCore::ZoTL::FeatureCache};
    std::unique_ptr<GenTLCore::ZoTL::SensorInterface> sensor;
};

// A stream of type S, the producer's or a test's subclass of it, over the
// sensor as scripted so far.
template <class S = GenTLCore::ZoTL::GenTLDataStreamTesk>
GenTLCore::SharedPtr<S> StreamOver(ScriptedSensor& sensor)
{
    using namespace GenTLCore;
    return SharedPtr<S>(new S(SharedPtr<StreamTag>(new ZoTL::StreamTagTesk("device")),
                              sensor.OpenShared(), sensor.cache));
}

}  // namespace TestSupport
