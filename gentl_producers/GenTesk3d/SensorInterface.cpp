#include "gentl_producers/GenTesk3d/SensorInterface.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <locale>
#include <sstream>
#include <type_traits>

#include "gentl_core/Logger.h"
#include "gentl_producers/GenTesk3d/SaturatingCast.h"

namespace GenTLCore::ZoTL {
namespace {

constexpr float READBACK_TOLERANCE = 0.0001f;
// A retry costs at least READBACK_RETRY_MS, so a sound clock ends the loop
// through the time-out first; this bound only guards against a stuck clock.
constexpr int MAX_READBACK_RETRIES =
    SensorInterface::READBACK_LIMIT_MS / SensorInterface::READBACK_RETRY_MS + 1;

bool MatchesStep(float written, float read, int step)
{
    const float lower = static_cast<float>(SaturatingCast<int64_t>(written / step) * step);
    return std::fabs(lower - read) < READBACK_TOLERANCE ||
           std::fabs(lower + step - read) < READBACK_TOLERANCE ||
           std::fabs(written - read) < READBACK_TOLERANCE;
}

template <class T>
T Converted(float value)
{
    if constexpr (std::is_same_v<T, float>)
        return value;
    else
        return SaturatingCast<T>(value);
}

}  // namespace

SensorInterface::ReadBatch::ReadBatch(SensorInterface& owner)
    : owner(owner), nested(owner.read_batch_.exchange(true))
{
    if (!nested) owner.batch_fresh_ = false;
}

SensorInterface::ReadBatch::~ReadBatch()
{
    if (nested) return;
    owner.read_batch_ = false;
    owner.batch_fresh_ = false;
}

SensorInterface::SensorInterface(std::unique_ptr<ISensorLink> link,
                                 const SharedPtr<FeatureCache>& cache,
                                 std::unique_ptr<IClock> clock)
    : link_(std::move(link)), cache_(cache), clock_(std::move(clock))
{
    last_write_time_ = clock_->NowMs();
    {
        ReadBatch batch(*this);
        ReadRegionSettings();
        ReadGeometry();
        GetAcquisitionLineTime();
        ReadLineFunctions();
        // Its failure line would only blame a read that was never made.
        if (!startup_failure_) GetTriggerSource();
    }
    if (!startup_failure_) {
        SetAcquisitionStop();
        startup_ = true;  // the stop above ended it; reads may still take older values
        GetCameraMode();
    }
    starting_ = false;
}

void SensorInterface::EndStartup(const std::string& written)
{
    batch_fresh_ = false;
    if (startup_.exchange(false))
        TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_DEBUG) << "Startup ended due to write: " << written;
}

// Paces the write and sends it; the time of a successful write paces the next.
// A refusal is logged as "Write " + text + `refused` + the code.
bool SensorInterface::SendWrite(const std::string& text, const char* refused)
{
    int64_t last = 0;
    {
        std::lock_guard<std::mutex> hold(channel_lock_);
        last = last_write_time_;
    }
    const int64_t elapsed = ElapsedMs(last, clock_->NowMs());
    if (elapsed < WRITE_SPACING_MS) clock_->SleepForMs(WRITE_SPACING_MS - elapsed);
    const int result = link_->WriteData(text);
    if (result < 0) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS) << "Write " << text << refused << result;
        return false;
    }
    std::lock_guard<std::mutex> hold(channel_lock_);
    last_write_time_ = clock_->NowMs();
    return true;
}

bool SensorInterface::WriteCommand(std::string command)
{
    EndStartup(command);
    if (!SendWrite(command + "\r", " failed. Err: ")) return false;
    TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_ALWAYS) << "Write " << command;
    return true;
}

template <class T>
bool SensorInterface::WriteParameter(const std::string& name, T value)
{
    EndStartup(name);
    const std::string setting = name + "=" + std::to_string(value);
    if (!SendWrite(setting + "\r", " . Err: ")) return false;
    RegisterWriteCommand(name, static_cast<float>(value));
    TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_ALWAYS) << "Write " << setting;
    return true;
}

int SensorInterface::CacheAgeMs() const
{
    if (startup_.load()) return CACHE_AGE_MS;
    return read_batch_.load() && batch_fresh_.load() ? CACHE_AGE_MS : 0;
}

void SensorInterface::WaitReadSpacing()
{
    if (batch_fresh_.load()) return;
    int64_t last = 0;
    {
        std::lock_guard<std::mutex> hold(channel_lock_);
        last = last_write_time_;
    }
    const int64_t elapsed = ElapsedMs(last, clock_->NowMs());
    if (elapsed < READ_SPACING_MS) clock_->SleepForMs(READ_SPACING_MS - elapsed);
}

int32_t SensorInterface::ReadReply(const std::string& request, std::string& reply, int age_ms)
{
    if (startup_failure_) return startup_failure_->code;
    const int32_t result = link_->ReadData(request, reply, age_ms);
    if (result == 0) return 0;
    TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
        << "ReadData failed. " << request << " Err: " << result;
    if (starting_ && (result == READ_FAILED || result == ISensorLink::CLOSED))
        startup_failure_ = StartupFailure{request.substr(0, request.find('\r')), result};
    return result;
}

// Reads until the sensor shows a pending write of the feature, or gives up a
// second after that write.
int32_t SensorInterface::ReadWithReadback(const std::string& key, float& value)
{
    const int age = CacheAgeMs();
    WaitReadSpacing();
    const std::string request = key + "\r";
    for (int attempt = 0;; ++attempt) {
        std::string reply;
        if (const int32_t result = ReadReply(request, reply, age); result != 0) return result;
        std::istringstream parse(reply);
        value = 0;
        parse >> value;
        const int state = attempt < MAX_READBACK_RETRIES ? CheckState(request, value) : -1;
        if (state > 0) {
            TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_DEBUG)
                << request << " result: " << value << " cashtimeout: " << age;
            if (read_batch_.load()) batch_fresh_ = true;
            return 0;
        }
        if (state < 0) {
            TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
                << "ReadData Readback Timeout. " << request << " Err: " << 0 << "Val:" << value;
            return READBACK_TIMEOUT;
        }
        if (read_batch_.load()) batch_fresh_ = false;
        clock_->SleepForMs(READBACK_RETRY_MS);
    }
}

template <class T>
int32_t SensorInterface::ReadParameter(const std::string& key, T* out)
{
    float value = 0;
    const int32_t result = ReadWithReadback(key, value);
    if (result == 0 || result == READBACK_TIMEOUT) *out = Converted<T>(value);
    return result;
}

int32_t SensorInterface::ReadStringParameter(const std::string& key, std::string* out)
{
    const int age = CacheAgeMs();
    WaitReadSpacing();
    const std::string request = key + "\r";
    std::string reply;
    if (const int32_t result = ReadReply(request, reply, age); result != 0) return result;
    std::istringstream words(reply);
    out->clear();
    for (std::string word; words >> word;) *out += (out->empty() ? "" : " ") + word;
    TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_ALWAYS) << request << " result:" << *out;
    return 0;
}

namespace {

// As a stream reads it; read three times a profile, so the sensor's plain
// answers (a number, a letter) skip building one. Outside the classic
// locale, or for anything else, the stream decides.
template <class T>
void ParseScanValue(const std::string& reply, T* out)
{
    const bool plain = !reply.empty() && std::locale() == std::locale::classic();
    if constexpr (std::is_same_v<T, char>) {
        if (plain && !std::isspace(static_cast<unsigned char>(reply[0]))) {
            *out = reply[0];
            return;
        }
    } else {
        T value{};
        if (plain && std::isdigit(static_cast<unsigned char>(reply[0])) &&
            std::from_chars(reply.data(), reply.data() + reply.size(), value).ec == std::errc()) {
            *out = value;
            return;
        }
    }
    std::istringstream parse(reply);
    parse >> *out;
}

}  // namespace

template <class T>
bool SensorInterface::ReadScanValue(const std::string& key, T* out)
{
    const std::string request = key + "\r";
    std::string reply;
    const int result = link_->ReadData(request, reply, -1);
    if (result != 0) {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ALWAYS)
            << "ReadData from Scan failed. " << request << " Err: " << result;
        return false;
    }
    ParseScanValue(reply, out);
    TL_LOG(LOG_CATEGORY_TLCALL, LOG_LEVEL_DEBUG) << request << " result:" << *out;
    return true;
}

std::string SensorInterface::ExtractFeatureName(const std::string& text)
{
    std::string name = text;
    if (name.rfind("Set", 0) == 0 || name.rfind("Get", 0) == 0) name.erase(0, 3);
    name = name.substr(0, name.find('='));
    name = name.substr(0, name.find('\r'));
    TL_LOG(LOG_CATEGORY_LOWLEVEL, LOG_LEVEL_DEBUG) << "extracted Feature Name: " << name;
    return name;
}

bool SensorInterface::ReadbackMatches(const std::string& feature, float written, float read)
{
    if (feature == "ROI1WidthX") return MatchesStep(written, read, 16);
    if (feature == "ROI1OffsetX") return MatchesStep(written, read, 32);
    return std::fabs(written - read) <= READBACK_TOLERANCE;
}

void SensorInterface::RegisterWriteCommand(const std::string& name, float value)
{
    const std::string feature = ExtractFeatureName(name);
    std::lock_guard<std::mutex> hold(channel_lock_);
    if (pending_writes_.size() >= MAX_PENDING_WRITES) pending_writes_.pop_front();
    pending_writes_.push_back(PendingWrite{feature, value, clock_->NowMs()});
    TL_LOG(LOG_CATEGORY_LOWLEVEL, LOG_LEVEL_DEBUG)
        << "Register write command:" << name << " " << value;
}

int SensorInterface::CheckState(const std::string& key, float value)
{
    const std::string feature = ExtractFeatureName(key);
    std::lock_guard<std::mutex> hold(channel_lock_);
    auto newest = pending_writes_.end();
    for (auto entry = pending_writes_.end(); entry != pending_writes_.begin();) {
        if ((--entry)->feature_name == feature) {
            newest = entry;
            break;
        }
    }
    if (newest == pending_writes_.end()) {
        TL_LOG(LOG_CATEGORY_LOWLEVEL, LOG_LEVEL_DEBUG)
            << "Check State NoReadback:" << feature << " " << value;
        return 1;
    }
    int state = 0;
    if (ReadbackMatches(feature, newest->value, value)) {
        TL_LOG(LOG_CATEGORY_LOWLEVEL, LOG_LEVEL_DEBUG)
            << "Check State found:" << feature << " " << value;
        state = 2;
    } else if (ElapsedMs(newest->write_time_ms, clock_->NowMs()) >= READBACK_LIMIT_MS) {
        TL_LOG(LOG_CATEGORY_LOWLEVEL, LOG_LEVEL_DEBUG)
            << "Check State found but Timeout:" << feature << " " << value;
        state = -1;
    } else {
        TL_LOG(LOG_CATEGORY_LOWLEVEL, LOG_LEVEL_DEBUG)
            << "Check State Repeat:" << feature << " " << value;
        return 0;
    }
    pending_writes_.erase(pending_writes_.begin(), newest + 1);
    return state;
}

size_t SensorInterface::PendingWriteCountForTest()
{
    std::lock_guard<std::mutex> hold(channel_lock_);
    return pending_writes_.size();
}

void SensorInterface::UpdateCache(const std::function<void(FeatureCache&)>& update)
{
    ScopedLock hold(cache_->lock);
    update(*cache_);
}

void SensorInterface::SetDeviceLabel(const std::string& label)
{
    std::lock_guard<std::mutex> hold(channel_lock_);
    device_label_ = label;
    qrta_series_ = label.rfind("QRTA", 0) == 0;
}

std::string SensorInterface::GetDeviceLabel()
{
    std::lock_guard<std::mutex> hold(channel_lock_);
    return device_label_;
}

void SensorInterface::SetDeviceEventSlot(const DeviceEventSlot& slot)
{
    ScopedLock hold(lock_);
    device_event_slot_ = slot;
}

bool SensorInterface::SendDeviceEventForTest(const std::string& data)
{
    ScopedLock hold(lock_);
    if (device_event_slot_.send == nullptr) return false;
    device_event_slot_.send(data, device_event_slot_.context);
    return true;
}

template bool SensorInterface::WriteParameter<int32_t>(const std::string&, int32_t);
template bool SensorInterface::WriteParameter<uint32_t>(const std::string&, uint32_t);
template bool SensorInterface::WriteParameter<uint64_t>(const std::string&, uint64_t);
template int32_t SensorInterface::ReadParameter<uint32_t>(const std::string&, uint32_t*);
template int32_t SensorInterface::ReadParameter<int32_t>(const std::string&, int32_t*);
template int32_t SensorInterface::ReadParameter<float>(const std::string&, float*);
template int32_t SensorInterface::ReadParameter<uint64_t>(const std::string&, uint64_t*);
template int32_t SensorInterface::ReadParameter<uint8_t>(const std::string&, uint8_t*);
template bool SensorInterface::ReadScanValue<uint32_t>(const std::string&, uint32_t*);
template bool SensorInterface::ReadScanValue<char>(const std::string&, char*);

}  // namespace GenTLCore::ZoTL
