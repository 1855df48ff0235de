// The command side of CScanvo: commands it handles itself, the ones it sends,
// request/reply exchanges and the information texts.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <locale>
#include <sstream>
#include <vector>

#include "sensor_library/CScanvo.h"

namespace {

constexpr const char* SYNC_REQUEST = "SetRequestSyncContainer\r";
constexpr int32_t SYNC_REQUEST_BYTES = 24;
constexpr uint32_t UPLOAD_CHUNK = 2000;

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// The command alone or with its carriage return.
bool IsCommand(const std::string& text, const std::string& command)
{
    return text == command || text == command + "\r";
}

std::string Lowercase(const char* text)
{
    std::string out = text != nullptr ? text : "";
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "%.3f" with a decimal point whatever the process locale.
std::string Fixed3(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

std::string StreamText(float value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

}  // namespace

bool CScanvo::ParseReply(const std::string& text, std::string& value)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return false;
    const std::size_t end = text.find('\r', equals + 1);
    value = text.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1);
    return true;
}

// The value of a "key=value" text without leading white space and a '+'
// sign; `negative` tells whether it had a '-' in front.
bool CScanvo::ValueDigits(const std::string& text, std::string& digits, bool& negative)
{
    std::string value;
    if (!ParseReply(text, value))
        return false;
    std::size_t start = 0;
    while (start < value.size() && std::isspace(static_cast<unsigned char>(value[start])))
        ++start;
    negative = start < value.size() && value[start] == '-';
    if (start < value.size() && (value[start] == '-' || value[start] == '+'))
        ++start;
    digits = value.substr(start);
    return true;
}

bool CScanvo::ParseIntValue(const std::string& text, int64_t& value)
{
    value = 0;
    std::string digits;
    bool negative = false;
    if (!ValueDigits(text, digits, negative))
        return false;
    std::size_t start = 0;
    int base = 10;
    if (digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        start = 2;
    } else if (digits.size() > 1 && digits[0] == '0') {
        base = 8;
        start = 1;
    }
    const char* first = digits.data() + start;
    const char* last = digits.data() + digits.size();
    uint64_t magnitude = 0;
    const auto result = std::from_chars(first, last, magnitude, base);
    if (first == last || result.ec != std::errc() || result.ptr != last || magnitude > INT64_MAX)
        return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool CScanvo::ParseFloatValue(const std::string& text, float& value)
{
    value = 0.0f;
    std::string digits;
    bool negative = false;
    if (!ValueDigits(text, digits, negative))
        return false;
    const char* first = digits.data();
    const char* last = first + digits.size();
    float parsed = 0.0f;
    const auto result = std::from_chars(first, last, parsed);
    if (first == last || result.ec != std::errc() || result.ptr != last || *first == '-')
        return false;
    value = negative ? -parsed : parsed;
    return true;
}

int32_t CScanvo::WriteData(const char* text, int32_t length)
{
    if (text == nullptr || length < 0)
        return -1;
    // The text ends at its NUL or at `length`, whichever comes first; nothing
    // past either is read.
    const std::string command(text, strnlen(text, static_cast<std::size_t>(length)));
    const int32_t count = static_cast<int32_t>(command.size());
    logger.Log(command);
    if (Contains(command, "uploadfile"))
        UploadFile(command);
    if (Contains(command, "SetAcquisitionStop")) {
        acquisition_stopped = true;
        return SendCommand(text, count);
    }
    if (Contains(command, "SetAcquisitionStart") && acquisition_stopped.exchange(false)) {
        std::lock_guard<std::mutex> lock(receive_mutex);
        assembler.DropPartialFrame();
        return SendCommand(text, count);
    }
    if (Contains(command, "SetAcquisitionStartNoBuffReset"))
        return SendCommand("SetAcquisitionStart\r", 20);
    if (IsCommand(command, "SaveMatrixBin")) {
        SaveMatrixBin();
        return SendCommand(text, count);
    }
    if (IsCommand(command, "SetAutoConnectMode=0") || IsCommand(command, "SetAutoConnectMode=1")) {
        if (transport)
            transport->SetAutoReconnect(command[19] == '1');
        return count;
    }
    int32_t range_result = 0;
    if (SetRangeImageValue(command, range_result))
        return range_result == 0 ? count : range_result;
    if (SetSwitch(command))
        return count;
    return SendCommand(text, count);
}

int32_t CScanvo::SendDirect(const char* text)
{
    const std::shared_ptr<EthernetInterface> link = transport;
    if (!link)
        return -1;
    return link->send(text, static_cast<int>(std::strlen(text)));
}

int32_t CScanvo::SendCommand(const char* text, int32_t length)
{
    if (!transport)
        return -1;
    if (!echo_mode)
        return transport->send(text, length);
    std::lock_guard<std::recursive_mutex> exchange(exchange_mutex);
    const int32_t sent = transport->send(text, length);
    sync_event.Reset();
    const int32_t sync_sent = SendDirect(SYNC_REQUEST);
    if (!WaitForSync())
        return -2;
    ResetDllFiFo();
    return sent + sync_sent - SYNC_REQUEST_BYTES;
}

bool CScanvo::WaitForSync()
{
    return WaitUnlessClosing(sync_event, REPLY_WAIT_MS);
}

int32_t CScanvo::UploadFile(const std::string& command)
{
    std::string path = command.substr(command.rfind('=') + 1);
    if (!path.empty() && path.back() == '\r')
        path.pop_back();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t offset = 0; offset < bytes.size(); offset += UPLOAD_CHUNK) {
        const std::size_t piece = std::min<std::size_t>(UPLOAD_CHUNK, bytes.size() - offset);
        OnReceive(bytes.data() + offset, static_cast<uint32_t>(piece));
    }
    return 0;
}

void CScanvo::SaveMatrixBin()
{
    std::shared_ptr<const std::vector<uint8_t>> raw;
    {
        std::lock_guard<std::mutex> lock(linearization_mutex);
        raw = lin_raw;
    }
    if (!raw)
        return;
    std::ofstream out("matrix.bin", std::ios::binary);
    if (out)
        out.write(reinterpret_cast<const char*>(raw->data()), static_cast<std::streamsize>(raw->size()));
}

bool CScanvo::SetRangeImageValue(const std::string& command, int32_t& result)
{
    result = 0;
    if (Contains(command, "SetRangeImageNrProfiles")) {
        int64_t value = 0;
        if (!ParseIntValue(command, value)) {
            logger.Log("Wrong Argument ");
            result = -2;
        } else if (value < 0 || value > MAX_RANGE_IMAGE_PROFILES) {
            // Negative counts are out of range too.
            result = -3;
        } else {
            range_image_nr_profiles = static_cast<int32_t>(value);
            logger.Log("Value Set " + std::to_string(value));
        }
        return true;
    }
    const std::pair<const char*, RangeParameter RangeImageScaling::*> names[] = {
        {"SetRangeImageXScale", &RangeImageScaling::x_scale},
        {"SetRangeImageZScale", &RangeImageScaling::z_scale},
        {"SetRangeImageXOffset", &RangeImageScaling::x_offset},
        {"SetRangeImageZOffset", &RangeImageScaling::z_offset}};
    for (const auto& [name, member] : names) {
        if (!Contains(command, name))
            continue;
        float value = 0.0f;
        if (!ParseFloatValue(command, value)) {
            logger.Log("Wrong Argument ");
            result = -2;
            return true;
        }
        std::lock_guard<std::mutex> lock(range_mutex);
        RangeParameter& parameter = range_image.*member;
        const bool scale =
            member == &RangeImageScaling::x_scale || member == &RangeImageScaling::z_scale;
        // A scale of 0 would leave every range image blank.
        if (!(value >= parameter.minimum && value <= parameter.maximum) ||
            (scale && !(value > 0))) {
            result = -3;
            return true;
        }
        parameter.value = value;
        logger.Log("Value Set " + StreamText(value));
        return true;
    }
    return false;
}

RangeImageScaling CScanvo::RangeImage() const
{
    std::lock_guard<std::mutex> lock(range_mutex);
    return range_image;
}

bool CScanvo::SetSwitch(const std::string& command)
{
    const std::pair<const char*, std::atomic<bool>*> switches[] = {
        {"SetSortingX=", &sorting_x},
        {"SetEchoMode=", &echo_mode},
        {"SetLibraryScannerFiFoMode=", &fifo_newest_only}};
    for (const auto& [name, flag] : switches) {
        for (const char digit : {'0', '1'}) {
            if (!IsCommand(command, std::string(name) + digit))
                continue;
            // Scanner FIFO mode 1 is "keep every container"; 0 keeps the newest only.
            const bool inverted = flag == &fifo_newest_only;
            *flag = (digit == '1') != inverted;
            return true;
        }
    }
    return false;
}

int32_t CScanvo::RequestReply(const char* command, char* buffer, uint32_t size, uint32_t* length)
{
    if (command == nullptr)
        return -1;
    std::lock_guard<std::recursive_mutex> exchange(exchange_mutex);
    {
        std::lock_guard<std::mutex> lock(reply_mutex);
        std::memset(reply_block.get() + 8, 0, REPLY_TEXT_BYTES);
    }
    reply_event.Reset();
    WriteData(command, static_cast<int32_t>(std::strlen(command)));
    if (!WaitUnlessClosing(reply_event, REPLY_WAIT_MS))
        return -5;
    std::lock_guard<std::mutex> lock(reply_mutex);
    const char* text = reply_block.get() + 8;
    const uint32_t text_length = static_cast<uint32_t>(strnlen(text, REPLY_TEXT_BYTES));
    if (text_length == 0)
        return -5;
    if (buffer == nullptr || text_length + 1 > size)
        return -1;
    std::memcpy(buffer, text, text_length + 1);
    if (length != nullptr)
        *length = text_length;
    return 0;
}

int32_t CScanvo::ReadData(const char* name, char* buffer, uint32_t size, int32_t max_age)
{
    if (max_age >= 0)
        logger.Log(std::string("Read property: ") + (name != nullptr ? name : ""));
    // Without a buffer there is no room: every getter then answers "too small".
    if (buffer == nullptr)
        size = 0;
    if (name != nullptr) {
        const auto found = properties.find(std::string_view(name));
        if (found != properties.end())
            return found->second(reinterpret_cast<unsigned char*>(buffer), size, max_age);
    }
    if (size == 0 || buffer == nullptr)
        return -1;
    buffer[0] = '\0';
    return -3;
}

int32_t CScanvo::GetInfo(char* buffer, int32_t size, const char* key)
{
    if (buffer == nullptr || size <= 0)
        return -2;
    const std::string which = Lowercase(key);
    if (which.empty() || which == "text")
        return CopyInfoText(buffer, size);
    if (which == "lintable")
        return CopyLinTable(buffer, size);
    if (which == "xml")
        return InfoRequest("calling XML", "get_xmldescriptor\r", buffer, size, true);
    if (which == "sync")
        return InfoSync();
    if (which == "settingsdefault")
        return InfoRequest("calling Settings Default", "GetSettings=0\r", buffer, size, false);
    if (which == "settings1")
        return InfoRequest("calling Settings 1", "GetSettings=1\r", buffer, size, false);
    if (which == "settings2")
        return InfoRequest("calling Settings 2 ", "GetSettings=2\r", buffer, size, false);
    if (which == "settings3")
        return InfoRequest("calling Settings 3 ", "GetSettings=3\r", buffer, size, false);
    return -6;
}

int32_t CScanvo::CopyInfoText(char* buffer, int32_t size)
{
    const std::shared_ptr<const LinearizationData> data = Linearization();
    if (!data || !geometry_current || data->Record().geometry_loaded == 0)
        return -3;
    const LinearizationRecord& r = data->Record();
    char serial[16];
    std::snprintf(serial, sizeof(serial), "%" PRIu32, static_cast<uint32_t>(r.serial_number));
    const std::string text = "[general]\r\nsn=" + std::string(serial) + "\r\nz_start=" +
                             Fixed3(r.z_start) + "\r\nz_range=" + Fixed3(r.z_range) +
                             "\r\nx_range_at_start=" + Fixed3(r.x_range_at_start) +
                             "\r\nx_range_at_end=" + Fixed3(r.x_range_at_end) + "\r\nwidthX=" +
                             std::to_string(r.width_x) + "\r\nwidthZ=" +
                             std::to_string(r.width_z) + "\r\n";
    if (text.size() + 1 > static_cast<std::size_t>(size))
        return -2;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int32_t>(text.size());
}

int32_t CScanvo::CopyLinTable(char* buffer, int32_t size)
{
    std::shared_ptr<const std::vector<uint8_t>> raw;
    {
        std::lock_guard<std::mutex> lock(linearization_mutex);
        raw = lin_raw;
    }
    if (!raw)
        return -3;
    if (raw->size() > static_cast<std::size_t>(size))
        return -2;
    std::memcpy(buffer, raw->data(), raw->size());
    return static_cast<int32_t>(raw->size());
}

int32_t CScanvo::InfoRequest(const char* log_text, const char* command, char* buffer,
                             int32_t size, bool give_length)
{
    logger.Log(log_text);
    uint32_t length = 0;
    const int32_t result = RequestReply(command, buffer, static_cast<uint32_t>(size), &length);
    if (result == -5)
        return -4;
    if (result != 0)
        return -2;
    return give_length ? static_cast<int32_t>(length) : 0;
}

int32_t CScanvo::InfoSync()
{
    std::lock_guard<std::recursive_mutex> exchange(exchange_mutex);
    sync_event.Reset();
    SendDirect(SYNC_REQUEST);
    return WaitForSync() ? 1 : -5;
}
