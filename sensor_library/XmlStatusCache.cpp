#include "sensor_library/XmlStatusCache.h"

#include <tinyxml2.h>

#include "sensor_library/LeadingNumber.h"

namespace {

struct PathKey {
    const char* path;
    uint16_t key;
};

using namespace XmlKey;

// Read in this order; the input states and the derived texts sit between
// the first and second group.
constexpr PathKey GENERAL_PATHS[] = {
    {"device:general:ordernumber", ORDER_NUMBER},
    {"device:general:productversion", PRODUCT_VERSION},
    {"device:general:producer", PRODUCER},
    {"device:general:hardwareversion:general", HARDWARE_VERSION},
    {"device:general:firmwareversion:general", FIRMWARE_VERSION},
    {"device:general:serialnumber", SERIAL_NUMBER},
    {"device:general:mac", MAC},
    {"device:general:workingrange_z_start", WORKING_RANGE_Z_START},
    {"device:general:measuringrange_z", MEASURING_RANGE_Z},
    {"device:general:fieldwidth_x_start", FIELD_WIDTH_X_START},
    {"device:general:fieldwidth_x_end", FIELD_WIDTH_X_END},
    {"device:general:pixel_x_max", PIXEL_X_MAX},
    {"device:general:pixel_z_max", PIXEL_Z_MAX},
    {"device:general:lininfo", LIN_INFO},
    {"device:general:maxfps", MAX_FPS},
    {"device:general:encoder_htl", ENCODER_HTL},
    {"device:general:encoder_ttl_rs422", ENCODER_TTL},
};

constexpr const char* IO_STATE_PATHS[] = {
    "device:general:usrio:ea1:state", "device:general:usrio:ea2:state",
    "device:general:usrio:ea3:state", "device:general:usrio:ea4:state"};
constexpr const char* TTL_STATE_PATHS[] = {"device:general:ttl_rs422:en_a:state",
                                           "device:general:ttl_rs422:en_b:state",
                                           "device:general:ttl_rs422:en_0:state"};

constexpr PathKey SETTINGS_PATHS[] = {
    {"device:general:onoffcounter", ON_OFF_COUNTER},
    {"device:general:ontimecounter", ON_TIME_COUNTER},
    {"device:general:scannerstatus", SCANNER_STATUS},
    {"device:general:temperatur", TEMPERATURE},
    {"device:general:timestamp", TIMESTAMP},
    {"device:settings:userstring:current", USER_STRING},
    {"device:settings:protocol:profile:signal:enable:current", SIGNAL_ENABLE},
    {"device:settings:protocol:profile:signal:content:z:current", CONTENT_Z},
    {"device:settings:protocol:profile:signal:content:strength:current", CONTENT_STRENGTH},
    {"device:settings:protocol:profile:signal:content:width:current", CONTENT_WIDTH},
    {"device:settings:protocol:profile:signal:content:reserved:current", CONTENT_RESERVED},
    {"device:settings:acquisitionlinetime:current", ACQUISITION_LINE_TIME},
    {"device:settings:camerarunning:current", CAMERA_RUNNING},
    {"device:settings:operatingmode:current", OPERATING_MODE},
    {"device:settings:cameramode:current", CAMERA_MODE},
    {"device:settings:heartbeat:current", HEART_BEAT},
    {"device:settings:socketconnectiontimeout:current", SOCKET_TIMEOUT},
    {"device:settings:triggersource:current", TRIGGER_SOURCE},
    {"device:settings:triggeramountprofilesy:current", TRIGGER_AMOUNT_PROFILES_Y},
    {"device:settings:amountprofilesy:current", AMOUNT_PROFILES_Y},
    {"device:settings:triggerencoderstep:current", TRIGGER_ENCODER_STEP},
    {"device:settings:triggerdelay:current", TRIGGER_DELAY},
    {"device:settings:exposuretime:current", EXPOSURE_TIME},
    {"device:settings:laseractive:current", LASER_ACTIVE},
    {"device:settings:laserpwm:current", LASER_PWM},
    {"device:settings:laserpwmdisablemode:current", LASER_PWM_DISABLE_MODE},
};

constexpr PathKey REGION_PATHS[] = {
    {"device:settings:roi:x1:width:current", ROI_X1_WIDTH},
    {"device:settings:roi:x1:offset:current", ROI_X1_OFFSET},
    {"device:settings:roi:x1:step:current", ROI_X1_STEP},
    {"device:settings:roi:z1:step:current", ROI_Z1_STEP},
    {"device:settings:roi:z1:height:current", ROI_Z1_HEIGHT},
    {"device:settings:roi:z1:offset:current", ROI_Z1_OFFSET},
    {"device:settings:syncout:current", SYNC_OUT},
    {"device:settings:syncoutdelay:current", SYNC_OUT_DELAY},
    {"device:settings:signalwidthmin:current", SIGNAL_WIDTH_MIN},
    {"device:settings:signalwidthmax:current", SIGNAL_WIDTH_MAX},
    {"device:settings:signalstrengthmin:current", SIGNAL_STRENGTH_MIN},
    {"device:settings:signalselection:current", SIGNAL_SELECTION},
    {"device:settings:encoder:triggerfunction:current", ENCODER_TRIGGER_FUNCTION},
    {"device:settings:encoder:countdirection:current", ENCODER_COUNT_DIRECTION},
};

}  // namespace

const char* const XmlStatusCache::EA_TAILS[XmlKey::EA_SUFFIXES] = {
    "function:current",
    "functionlaseroff:current",
    "functionprofileenable:current",
    "functionresetcounter:current",
    "inputfunction:current",
    "inputfunctionload:current",
    "output:current",
    "outputfunction:current",
    "resetcounter:repeat:current",
    "resetcounter:signaledge:current",
    "resetcounter:basetimecounter:current",
    "resetcounter:picturecounter:current",
    "resetcounter:encoder_htl:current",
    "resetcounter:encoder_ttl_rs422:current",
};

bool XmlStatusCache::Parse(const char* xml)
{
    if (xml == nullptr || *xml == '\0')
        return false;
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(xml) != tinyxml2::XML_SUCCESS)
        return false;
    // Only this thread writes, so a copy updated outside the lock loses nothing.
    Texts updated;
    {
        std::lock_guard<std::mutex> lock(mutex);
        updated = texts;
    }
    ReadPaths(document, updated);
    const bool packed = UsesPackedIntensity(updated[FIRMWARE_VERSION], updated[ORDER_NUMBER]);
    std::lock_guard<std::mutex> lock(mutex);
    texts.swap(updated);
    packed_intensity = packed;
    return true;
}

void XmlStatusCache::ReadPaths(const tinyxml2::XMLDocument& document, Texts& out)
{
    for (const PathKey& entry : GENERAL_PATHS)
        FindXmlValue(document, entry.path, out[entry.key]);
    ReadInputStates(document, out);
    for (const PathKey& entry : SETTINGS_PATHS)
        FindXmlValue(document, entry.path, out[entry.key]);
    out[ROI1_MM] = ParseRoiCommand(document, "device:settings:roi:roimm:command");
    out[ROI1Z_MM] = ParseRoiCommand(document, "device:settings:roi:roizmm:command");
    for (const PathKey& entry : REGION_PATHS)
        FindXmlValue(document, entry.path, out[entry.key]);
    for (uint16_t n = 0; n < 4; ++n) {
        const std::string prefix = "device:settings:usrio:ea" + std::to_string(n + 1) + ":";
        for (uint16_t tail = 0; tail < EA_SUFFIXES; ++tail)
            FindXmlValue(document, prefix + EA_TAILS[tail], out[EA_FIRST + EA_SUFFIXES * n + tail]);
    }
}

// Each state adds its value times 1, 2, 4, 8; a missing one repeats the
// value read before it. Without any state the derived text stays as it was.
void XmlStatusCache::ReadInputStates(const tinyxml2::XMLDocument& document, Texts& out)
{
    std::string state;
    const auto combine = [&document, &state](const char* const* paths, int count, std::string& target) {
        bool any = false;
        long long sum = 0;
        for (int i = 0; i < count; ++i) {
            any = FindXmlValue(document, paths[i], state) || any;
            int value = 0;
            if (!LeadingNumber(state, value))
                value = 0;
            sum += static_cast<long long>(value) << i;
        }
        if (any)
            target = std::to_string(sum);
    };
    combine(IO_STATE_PATHS, 4, out[IO_STATE]);
    combine(TTL_STATE_PATHS, 3, out[TTL_STATE]);
}

bool XmlStatusCache::FindXmlValue(const tinyxml2::XMLDocument& document, const std::string& path,
                                  std::string& target)
{
    const tinyxml2::XMLNode* node = &document;
    const tinyxml2::XMLElement* element = nullptr;
    for (std::size_t start = 0; start != std::string::npos;) {
        const std::size_t colon = path.find(':', start);
        const std::string name = path.substr(start, colon == std::string::npos ? colon : colon - start);
        element = node->FirstChildElement(name.c_str());
        if (element == nullptr)
            return false;
        node = element;
        start = colon == std::string::npos ? colon : colon + 1;
    }
    const char* text = element->GetText();
    target = text != nullptr ? text : "";
    return true;
}

std::string XmlStatusCache::ParseRoiCommand(const tinyxml2::XMLDocument& document,
                                            const std::string& path)
{
    std::string text;
    if (!FindXmlValue(document, path, text))
        return NOT_SET;
    const std::size_t equals = text.find('=');
    const std::size_t quote = equals == std::string::npos ? equals : text.find('"', equals + 1);
    if (quote == std::string::npos)
        return NOT_SET;
    return text.substr(equals + 1, quote - equals - 1);
}

bool XmlStatusCache::UsesPackedIntensity(const std::string& firmware,
                                         const std::string& order_number)
{
    std::string digits = firmware.substr(0, firmware.find_first_of("-rc"));
    std::erase(digits, '.');
    long long version = 0;
    return LeadingNumber(digits, version) && version < 113 &&
           order_number.find("QRTB") != std::string::npos;
}

std::string XmlStatusCache::Text(uint16_t key) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return key < texts.size() ? texts[key] : std::string();
}

bool XmlStatusCache::IsPackedIntensity() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return packed_intensity;
}

bool XmlStatusCache::ReadGeometry(FieldGeometry& out) const
{
    std::lock_guard<std::mutex> lock(mutex);
    out.has_fieldwidth_x_end = LeadingNumber(texts[FIELD_WIDTH_X_END], out.fieldwidth_x_end);
    out.has_pixel_x_max = LeadingNumber(texts[PIXEL_X_MAX], out.pixel_x_max);
    out.has_workingrange_z_start =
        LeadingNumber(texts[WORKING_RANGE_Z_START], out.workingrange_z_start);
    out.has_measuringrange_z = LeadingNumber(texts[MEASURING_RANGE_Z], out.measuringrange_z);
    return out.has_fieldwidth_x_end && out.has_pixel_x_max && out.has_workingrange_z_start &&
           out.has_measuringrange_z;
}
