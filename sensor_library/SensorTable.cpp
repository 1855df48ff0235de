#include "sensor_library/SensorTable.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/Clock.h"
#include "sensor_library/CScanvo.h"
#include "sensor_library/LibraryLogger.h"

namespace {

constexpr uint32_t RATE_INTERVAL_MS = 3000;

// The library-level commands; the first one named in a text decides.
struct LibrarySetting {
    enum Target { RECEIVE_BUFFER, FIFO, PRODUCTION_MODE };
    const char* name;
    Target target;
    uint32_t minimum;
    const char* too_small;
};
constexpr LibrarySetting LIBRARY_SETTINGS[] = {
    {"SetScannerBufferSize", LibrarySetting::RECEIVE_BUFFER, 1320000,
     "Error in SetScannerBufferSize, the given value for buffersize is less than the minimum "
     "1320000 allowed"},
    {"SetLibraryScannerFiFoSize", LibrarySetting::FIFO, 4198400,
     "Error in SetLibraryScannerFiFoSize, the given value for buffersize is smaller than the "
     "minimum 4198400 allowed."},
    {"SetDllFiFoSize", LibrarySetting::FIFO, 0, nullptr},
    {"SetProductionMode", LibrarySetting::PRODUCTION_MODE, 0, nullptr},
};

enum class ValueParse { OK, NO_NUMBER, TRAILING };

// A signed 32-bit decimal number that must take the whole text; leading
// white space and a sign are accepted.
ValueParse ParseValue(const std::string& text, int32_t& value)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE || parsed < std::numeric_limits<int32_t>::min() ||
        parsed > std::numeric_limits<int32_t>::max())
        return ValueParse::NO_NUMBER;
    if (*end != '\0')
        return ValueParse::TRAILING;
    value = static_cast<int32_t>(parsed);
    return ValueParse::OK;
}

}  // namespace

SensorTable& SensorTable::Instance()
{
    static SensorTable table;
    return table;
}

SensorTable::~SensorTable()
{
    DisconnectAll();
}

int SensorTable::Find(const void* handle) const
{
    if (handle == nullptr)
        return -1;
    const int count = slot_count.load();
    for (int slot = 0; slot < count; ++slot) {
        const SensorSlotLocks* locks = slots[slot].locks.load();
        if (locks != nullptr && locks->handle.load() == handle)
            return slot;
    }
    return -1;
}

bool SensorTable::InCallbackOf(const void* handle)
{
    return handle != nullptr && static_cast<const void*>(CScanvo::InReadDataCallback()) == handle;
}

int SensorTable::FreeSlot() const
{
    for (int slot = 0; slot < MAX_SENSORS; ++slot) {
        if (slots[slot].connection.load() == nullptr)
            return slot;
    }
    return -1;
}

void SensorTable::Occupy(int slot, CScanvo* connection)
{
    if (!owned_locks[slot]) {
        owned_locks[slot] = std::make_unique<SensorSlotLocks>();
        slots[slot].locks = owned_locks[slot].get();
    }
    slots[slot].connection = connection;
    owned_locks[slot]->handle = connection;
    if (slot >= slot_count.load())
        slot_count = slot + 1;
}

void SensorTable::Abandon(int slot)
{
    owned_locks[slot]->handle = nullptr;
    slots[slot].connection = nullptr;
}

SensorTable::Removal SensorTable::Remove(int slot, const void* handle)
{
    Removal removal;
    SensorSlotLocks& set = *slots[slot].locks.load();
    removal.held[0] = std::unique_lock<std::mutex>(set.locks[0]);
    CScanvo* connection = slots[slot].connection.load();
    if (connection == nullptr || static_cast<const void*>(connection) != handle)
        return removal;
    // Only a holder of lock 0 can remove the connection, so it stays alive
    // while its blocked reads are woken; they then give up the other locks.
    connection->BeginClose();
    for (int lock = 1; lock < SLOT_LOCK_COUNT; ++lock)
        removal.held[lock] = std::unique_lock<std::mutex>(set.locks[lock]);
    // The handle goes first: a connect takes only slots whose connection is
    // null, so it never sees a stale handle it could then lose.
    set.handle = nullptr;
    slots[slot].connection = nullptr;
    removal.connection.reset(connection);
    return removal;
}

void SensorTable::DisconnectAll()
{
    for (int slot = 0; slot < slot_count.load(); ++slot) {
        CScanvo* connection = slots[slot].connection.load();
        if (connection != nullptr)
            Remove(slot, connection);
    }
}

bool SensorTable::CountDelivery(bool line_wanted, int& deliveries)
{
    const int counted = ++rate_counter;
    if (!line_wanted)
        return false;
    const uint32_t now = Platform::GetTickCountMs();
    uint32_t last = rate_tick.load();
    // One caller wins the line when several see it due at once.
    if (now - last <= RATE_INTERVAL_MS || !rate_tick.compare_exchange_strong(last, now))
        return false;
    deliveries = counted;
    rate_counter = 0;
    return true;
}

int SensorTable::ApplyLibraryCommand(const char* text, const LibraryLogger& logger)
{
    if (text == nullptr)
        return UNKNOWN_HANDLE;
    const std::string command(text);
    const LibrarySetting* setting = nullptr;
    for (const LibrarySetting& candidate : LIBRARY_SETTINGS) {
        if (command.find(candidate.name) != std::string::npos) {
            setting = &candidate;
            break;
        }
    }
    if (setting == nullptr)
        return UNKNOWN_HANDLE;
    const std::size_t equals = command.rfind('=');
    if (equals == std::string::npos)
        return -1;
    std::string value = command.substr(equals + 1);
    const std::size_t cr = value.rfind('\r');
    if (cr != std::string::npos)
        value.resize(cr);
    int32_t number = 0;
    const ValueParse parse = ParseValue(value, number);
    if (parse == ValueParse::TRAILING)
        return -1;
    if (parse == ValueParse::NO_NUMBER) {
        logger.Error((std::string(setting->name) + " error. ").c_str());
        return -1;
    }
    // Sizes are counts: a negative value is read as a very large one.
    const uint32_t count = static_cast<uint32_t>(number);
    if (count < setting->minimum) {
        logger.Error(setting->too_small);
        return -1;
    }
    switch (setting->target) {
    case LibrarySetting::RECEIVE_BUFFER:
        receive_buffer_bytes = count;
        break;
    case LibrarySetting::FIFO:
        fifo_bytes = count;
        break;
    case LibrarySetting::PRODUCTION_MODE:
        production_mode = number != 0;
        logger.Info("SetProductionMode is successful. ");
        return static_cast<int>(command.size());
    }
    logger.Info((std::string(setting->name) + " " + value + " is successful.").c_str());
    return static_cast<int>(command.size());
}
