// XmlStatusCache.h: the sensor's XML status (identity, measuring field,
// counters, settings) parsed into cached texts addressed by colon paths.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace tinyxml2 {
class XMLDocument;
}

// The cached texts, in the order the XML is read. The EA family is 14
// texts per user I/O: EA_FIRST + 14 * (n - 1) + suffix.
namespace XmlKey {
enum : uint16_t {
    ORDER_NUMBER, PRODUCT_VERSION, PRODUCER, HARDWARE_VERSION, FIRMWARE_VERSION, SERIAL_NUMBER,
    MAC, WORKING_RANGE_Z_START, MEASURING_RANGE_Z, FIELD_WIDTH_X_START, FIELD_WIDTH_X_END,
    PIXEL_X_MAX, PIXEL_Z_MAX, LIN_INFO, MAX_FPS, ENCODER_HTL, ENCODER_TTL,
    IO_STATE, TTL_STATE,
    ON_OFF_COUNTER, ON_TIME_COUNTER, SCANNER_STATUS, TEMPERATURE, TIMESTAMP,
    USER_STRING, SIGNAL_ENABLE, CONTENT_Z, CONTENT_STRENGTH, CONTENT_WIDTH, CONTENT_RESERVED,
    ACQUISITION_LINE_TIME, CAMERA_RUNNING, OPERATING_MODE, CAMERA_MODE, HEART_BEAT,
    SOCKET_TIMEOUT, TRIGGER_SOURCE, TRIGGER_AMOUNT_PROFILES_Y, AMOUNT_PROFILES_Y,
    TRIGGER_ENCODER_STEP, TRIGGER_DELAY, EXPOSURE_TIME, LASER_ACTIVE, LASER_PWM,
    LASER_PWM_DISABLE_MODE,
    ROI1_MM, ROI1Z_MM,
    ROI_X1_WIDTH, ROI_X1_OFFSET, ROI_X1_STEP, ROI_Z1_STEP, ROI_Z1_HEIGHT, ROI_Z1_OFFSET,
    SYNC_OUT, SYNC_OUT_DELAY, SIGNAL_WIDTH_MIN, SIGNAL_WIDTH_MAX, SIGNAL_STRENGTH_MIN,
    SIGNAL_SELECTION, ENCODER_TRIGGER_FUNCTION, ENCODER_COUNT_DIRECTION,
    EA_FIRST,
    COUNT = EA_FIRST + 4 * 14
};
constexpr uint16_t EA_SUFFIXES = 14;
}  // namespace XmlKey

// The numbers the range-image defaults come from, each with whether it read.
struct FieldGeometry {
    double fieldwidth_x_end = 0;
    double pixel_x_max = 0;
    double workingrange_z_start = 0;
    double measuringrange_z = 0;
    bool has_fieldwidth_x_end = false;
    bool has_pixel_x_max = false;
    bool has_workingrange_z_start = false;
    bool has_measuringrange_z = false;
};

// Lifetime: one per connection; never cleared, so a reconnect shows the old
// texts until new ones arrive.
// Threads: Parse on the receive thread; readers on any thread. Every member
// copies under `mutex`; the parse itself runs outside it.
class XmlStatusCache {
public:
    static constexpr const char* NOT_SET = "NotSet";
    // The path tails of one user I/O's texts, in key order.
    static const char* const EA_TAILS[XmlKey::EA_SUFFIXES];

    // False, with nothing changed, for an empty text or one that does not parse.
    bool Parse(const char* xml);

    std::string Text(uint16_t key) const;
    bool IsPackedIntensity() const;
    // Reads each of the four texts that starts with a number; false unless
    // all four do.
    bool ReadGeometry(FieldGeometry& out) const;

    // The element at a colon path ("device:general:serialnumber"): its text,
    // or "" when it has none. False, with `target` unchanged, when a
    // component is missing.
    static bool FindXmlValue(const tinyxml2::XMLDocument& document, const std::string& path,
                             std::string& target);
    // The text between the first "=" and the next double quote, else "NotSet".
    static std::string ParseRoiCommand(const tinyxml2::XMLDocument& document,
                                       const std::string& path);
    // Firmware "1.1.2" below 113 on a "QRTB" model sends packed intensity.
    static bool UsesPackedIntensity(const std::string& firmware, const std::string& order_number);

private:
    using Texts = std::array<std::string, XmlKey::COUNT>;

    static void ReadPaths(const tinyxml2::XMLDocument& document, Texts& texts);
    static void ReadInputStates(const tinyxml2::XMLDocument& document, Texts& texts);

    mutable std::mutex mutex;
    Texts texts;
    bool packed_intensity = false;
};
