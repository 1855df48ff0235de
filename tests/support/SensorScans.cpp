#include "SensorScans.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace TestSupport {
namespace {

void AppendFloat(Bytes& out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    AppendU32(out, bits);
}

// The element tree of colon paths; children keep their first-seen order.
struct Element {
    std::string name;
    std::string text;
    std::vector<Element> children;

    Element& Child(const std::string& child_name)
    {
        for (Element& child : children) {
            if (child.name == child_name)
                return child;
        }
        children.push_back(Element{child_name, "", {}});
        return children.back();
    }

    std::string Write(const std::string& first_inside = "") const
    {
        std::string out = "<" + name + ">" + first_inside + text;
        for (const Element& child : children)
            out += child.Write();
        return out + "</" + name + ">";
    }
};

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

const char* const LOOKED_UP[] = {
    "general:ordernumber", "general:productversion", "general:producer",
    "general:hardwareversion:general", "general:firmwareversion:general", "general:serialnumber",
    "general:mac", "general:workingrange_z_start", "general:measuringrange_z",
    "general:fieldwidth_x_start", "general:fieldwidth_x_end", "general:pixel_x_max",
    "general:pixel_z_max", "general:lininfo", "general:maxfps", "general:encoder_htl",
    "general:encoder_ttl_rs422", "general:onoffcounter", "general:ontimecounter",
    "general:scannerstatus", "general:temperatur", "general:timestamp",
    "settings:userstring", "settings:protocol:profile:signal:enable",
    "settings:protocol:profile:signal:content:z", "settings:protocol:profile:signal:content:strength",
    "settings:protocol:profile:signal:content:width",
    "settings:protocol:profile:signal:content:reserved", "settings:acquisitionlinetime",
    "settings:camerarunning", "settings:operatingmode", "settings:cameramode", "settings:heartbeat",
    "settings:socketconnectiontimeout", "settings:triggersource", "settings:triggeramountprofilesy",
    "settings:amountprofilesy", "settings:triggerencoderstep", "settings:triggerdelay",
    "settings:exposuretime", "settings:laseractive", "settings:laserpwm",
    "settings:laserpwmdisablemode", "settings:roi:x1:width", "settings:roi:x1:offset",
    "settings:roi:x1:step", "settings:roi:z1:step", "settings:roi:z1:height",
    "settings:roi:z1:offset", "settings:syncout", "settings:syncoutdelay",
    "settings:signalwidthmin", "settings:signalwidthmax", "settings:signalstrengthmin",
    "settings:signalselection", "settings:encoder:triggerfunction",
    "settings:encoder:countdirection"};

const char* const EA_ITEMS[] = {"function", "functionlaseroff", "functionprofileenable",
                                "functionresetcounter", "inputfunction", "inputfunctionload",
                                "output", "outputfunction", "resetcounter:repeat",
                                "resetcounter:signaledge", "resetcounter:basetimecounter",
                                "resetcounter:picturecounter", "resetcounter:encoder_htl",
                                "resetcounter:encoder_ttl_rs422"};

std::string Dotted(std::string path)
{
    for (char& c : path) {
        if (c == ':')
            c = '.';
    }
    return path;
}

}  // namespace

Bytes PatternBytes(std::size_t size, uint8_t seed)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<uint8_t>(seed + 7 * i);
    return out;
}

Bytes RawProfilePayload(uint8_t echo_mask, uint8_t content, const std::array<uint8_t, 4>& bits,
                        const Bytes& points, uint8_t sign)
{
    Bytes out(12 + points.size(), 0);
    out[2] = echo_mask;
    out[3] = sign;
    out[4] = content;
    for (int i = 0; i < 4; ++i)
        out[5 + i] = bits[i];
    std::copy(points.begin(), points.end(), out.begin() + 12);
    return out;
}

Bytes LinearProfilePayload(int32_t columns, uint8_t echoes, const std::array<uint8_t, 4>& codes,
                           const std::vector<uint16_t>& words)
{
    Bytes out(48 + 2 * words.size(), 0);
    PutU32(out, 8, static_cast<uint32_t>(columns));
    out[12] = echoes;
    for (int i = 0; i < 4; ++i)
        out[20 + 4 * i] = codes[i];
    for (std::size_t i = 0; i < words.size(); ++i) {
        out[48 + 2 * i] = static_cast<uint8_t>(words[i]);
        out[49 + 2 * i] = static_cast<uint8_t>(words[i] >> 8);
    }
    return out;
}

Bytes ScalePayload(float x_scale, float x_offset, float z_scale, float z_offset)
{
    Bytes out;
    for (float value : {x_scale, x_offset, z_scale, z_offset})
        AppendFloat(out, value);
    out.resize(24, 0);
    return out;
}

Bytes RegionPayload(uint16_t offset, uint16_t size, uint16_t step, std::size_t block_length)
{
    Bytes out(block_length - 8, 0);
    out[2] = static_cast<uint8_t>(offset);
    out[3] = static_cast<uint8_t>(offset >> 8);
    out[4] = static_cast<uint8_t>(size);
    out[5] = static_cast<uint8_t>(size >> 8);
    out[6] = static_cast<uint8_t>(step);
    out[7] = static_cast<uint8_t>(step >> 8);
    return out;
}

uint16_t ScanRawZ(uint32_t column)
{
    return static_cast<uint16_t>(32 * (256 + (column % 64) * 8));
}

uint8_t ScanIntensity(uint32_t column, uint16_t counter)
{
    return static_cast<uint8_t>(column + counter);
}

uint8_t ScanLowByte(uint32_t column)
{
    return static_cast<uint8_t>(column * 37);
}

uint16_t ScanLinearZ(uint32_t column)
{
    return static_cast<uint16_t>(1000 + 3 * column);
}

uint16_t ScanLinearX(uint32_t column)
{
    return static_cast<uint16_t>(16 * column);
}

uint8_t ScanPixel(uint32_t x, uint32_t y, uint16_t counter)
{
    return static_cast<uint8_t>(x + 3 * y + counter);
}

namespace {

void PutU16(uint8_t* out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

std::size_t PointBytes(ScanKind kind, uint32_t width)
{
    return kind == ScanKind::Camera ? std::size_t{width} * (width / 2)
                                    : (kind == ScanKind::RawProfile ? 4u : 6u) * std::size_t{width};
}

void WritePoints(ScanKind kind, uint32_t width, uint16_t counter, uint8_t* out)
{
    if (kind == ScanKind::Camera) {
        for (uint32_t y = 0; y < width / 2; ++y) {
            for (uint32_t x = 0; x < width; ++x)
                *out++ = ScanPixel(x, y, counter);
        }
        return;
    }
    for (uint32_t c = 0; c < width; ++c) {
        if (kind == ScanKind::RawProfile) {
            PutU16(out, ScanRawZ(c));
            out[2] = ScanIntensity(c, counter);
            out[3] = ScanLowByte(c);
            out += 4;
        } else {
            PutU16(out, ScanLinearZ(c));
            PutU16(out + 2, static_cast<uint16_t>(ScanIntensity(c, counter) << 6 | ScanLowByte(c) % 64));
            PutU16(out + 4, ScanLinearX(c));
            out += 6;
        }
    }
}

}  // namespace

ScanTemplate::ScanTemplate(ScanKind scan_kind, uint32_t scan_width)
    : kind(scan_kind), width(scan_width)
{
    ContainerBuilder builder;
    builder.AddGeneralBlock(0, 0);
    const Bytes points(PointBytes(kind, width), 0);
    std::size_t tail = 12;  // end block and CRC
    if (kind == ScanKind::Camera) {
        builder.AddBlock(Tag::X_ROI, RegionPayload(0, static_cast<uint16_t>(width), 0, 60));
        builder.AddBlock(Tag::Z_ROI, RegionPayload(0, static_cast<uint16_t>(width / 2), 0, 64));
        builder.AddBlock(Tag::CAMERA, Concat({Bytes(8, 0), points}));
    } else if (kind == ScanKind::RawProfile) {
        builder.AddStatusBlocks();
        builder.AddBlock(Tag::RAW_PROFILE, RawProfilePayload(1, 7, {16, 8, 8, 16}, points));
    } else {
        builder.AddStatusBlocks();
        Bytes linear = LinearProfilePayload(static_cast<int32_t>(width), 1, {2, 4, 1, 0}, {});
        builder.AddBlock(Tag::LINEAR_PROFILE, Concat({linear, points}));
        builder.AddBlock(Tag::SCALE, ScalePayload(SCAN_X_SCALE, SCAN_X_OFFSET, SCAN_Z_SCALE,
                                                  SCAN_Z_OFFSET));
        tail += 32;
    }
    container = builder.Build();
    points_offset = container.size() - tail - points.size();
}

const Bytes& ScanTemplate::Scan(uint16_t counter, uint32_t time_stamp)
{
    // The general block's payload starts behind the container's and its own head.
    PutU16(container.data() + 16, counter);
    PutU32(container, 18, time_stamp);
    WritePoints(kind, width, counter, container.data() + points_offset);
    WriteCrc(container);
    return container;
}

Bytes ScanContainer(ScanKind kind, uint16_t counter, uint32_t time_stamp, uint32_t width)
{
    return ScanTemplate(kind, width).Scan(counter, time_stamp);
}

ContainerBuilder& AddPatternedBlocks(ContainerBuilder& builder)
{
    builder.AddBlock(Tag::GENERAL, PatternBytes(52 - 8, 0x10 + 7 * 8));
    builder.AddBlock(Tag::STATIC, PatternBytes(60 - 8, 0x40 + 7 * 8));
    builder.AddBlock(Tag::X_ROI, PatternBytes(60 - 8, 0x80 + 7 * 8));
    builder.AddBlock(Tag::Z_ROI, PatternBytes(64 - 8, 0xA0 + 7 * 8));
    return builder.AddBlock(Tag::FPGA_QRTB, PatternBytes(160 - 8, 0x05));
}

std::map<std::string, std::string> DefaultXmlValues()
{
    std::map<std::string, std::string> values;
    const auto add = [&values](const std::string& path) {
        const bool setting = path.rfind("settings:", 0) == 0;
        values["device:" + path + (setting ? ":current" : "")] = Dotted(path);
    };
    for (const char* path : LOOKED_UP)
        add(path);
    for (int n = 1; n <= 4; ++n) {
        for (const char* item : EA_ITEMS)
            add("settings:usrio:ea" + std::to_string(n) + ":" + item);
    }
    values["device:general:ordernumber"] = "QRTB-SIM-100";
    values["device:general:serialnumber"] = "12345678";  // the linearization data's serial
    values["device:general:firmwareversion:general"] = "2.0.0";
    values["device:general:workingrange_z_start"] = "100";
    values["device:general:measuringrange_z"] = "200";
    values["device:general:fieldwidth_x_start"] = "80";
    values["device:general:fieldwidth_x_end"] = "120";
    values["device:general:pixel_x_max"] = "1280";
    values["device:general:pixel_z_max"] = "1024";
    const char* const states[][2] = {{"usrio:ea1", "1"}, {"usrio:ea2", "0"}, {"usrio:ea3", "1"},
                                     {"usrio:ea4", "1"}, {"ttl_rs422:en_a", "0"},
                                     {"ttl_rs422:en_b", "1"}, {"ttl_rs422:en_0", "1"}};
    for (const auto& state : states)
        values[std::string("device:general:") + state[0] + ":state"] = state[1];
    values["device:settings:roi:roimm:command"] = "SetROI1mm=-40,100,40,300\"";
    values["device:settings:roi:roizmm:command"] = "SetROI1Zmm=150,250\"";
    return values;
}

std::string SensorXml(const std::map<std::string, std::string>& values,
                      const std::string& settings_first)
{
    Element document{"", "", {}};
    for (const auto& [path, value] : values) {
        Element* element = &document;
        for (std::size_t start = 0; start != std::string::npos;) {
            const std::size_t colon = path.find(':', start);
            element = &element->Child(path.substr(start, colon == std::string::npos ? colon : colon - start));
            start = colon == std::string::npos ? colon : colon + 1;
        }
        element->text = Escape(value);
    }
    Element& device = document.Child("device");
    std::string out = "<?xml version=\"1.0\"?>\n<device>";
    for (const Element& child : device.children)
        out += child.name == "settings" ? child.Write(settings_first) : child.Write();
    return out + "</device>";
}

}  // namespace TestSupport
