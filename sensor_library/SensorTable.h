// SensorTable.h: the library-wide table of open sensors with their per-sensor
// locks, and the settings that later connects take.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

class CScanvo;
class LibraryLogger;

// One lock per kind of operation on a sensor; an operation takes exactly one,
// always the same. Anything taking several takes them in ascending order.
enum SlotLock : int {
    LOCK_CONNECT_STATUS = 0,
    LOCK_RAW_DATA = 1,
    LOCK_PROFILE = 2,  // GetXZIExtended and GetRangeImage
    LOCK_INFO = 3,
    LOCK_WRITE = 4,
    LOCK_LINEARIZE = 5,
    LOCK_LIN_FILE = 6,
    LOCK_RESET_FIFO = 7,
    LOCK_FIFO_STATE = 8,
    LOCK_LIN_DAT_TYPE = 9,
    LOCK_READ = 10,
    LOCK_IMAGE = 11,
    SLOT_LOCK_COUNT = 12,
};

// A slot's locks and the handle of the connection in it (null while free).
struct SensorSlotLocks {
    std::array<std::mutex, SLOT_LOCK_COUNT> locks;
    std::atomic<void*> handle{nullptr};
};

// Created once, on first use; shared by every ScanvoDLL instance. The last
// instance to go disconnects what is still open (EndUser).
//
// Threads: any. Connects and the library-level settings are serialised by
// connect_mutex. A handle is looked up without a lock and its connection
// re-checked under the slot lock (WithConnection); a connection is deleted
// only by a holder of all twelve slot locks, so it outlives every call made
// under one of them. A call from the connection's own read-data callback
// takes no slot lock: a disconnect may hold them all while it waits for that
// thread, and deleting the connection waits for that thread to end. Lock
// sets, once made, live as long as the table.
// Lock order: connect_mutex, then slot locks 0 to 11, then the connection's.
class SensorTable {
public:
    static constexpr int MAX_SENSORS = 200;
    static constexpr int UNKNOWN_HANDLE = -1000;
    static constexpr uint32_t DEFAULT_FIFO_BYTES = 41984000;
    static constexpr uint32_t DEFAULT_RECEIVE_BUFFER_BYTES = 8405000;

    static SensorTable& Instance();

    SensorTable(const SensorTable&) = delete;
    SensorTable& operator=(const SensorTable&) = delete;
    ~SensorTable();

    // Counts the ScanvoDLL instances sharing the table.
    void AddUser() { ++users; }
    // True for the last user, which then owns the teardown.
    bool EndUser() { return --users == 0; }

    // The slot holding this handle, or -1; null is never found.
    int Find(const void* handle) const;

    // True on the thread running this handle's read-data callback.
    static bool InCallbackOf(const void* handle);
    // Runs call(connection) under the slot's lock `lock` while the slot still
    // holds this handle; UNKNOWN_HANDLE otherwise. An exception from the call
    // becomes -1: nothing throws out of the library.
    template <class F>
    int WithConnection(const void* handle, SlotLock lock, F&& call);

    // Under connect_mutex: a free slot (the lowest), or -1 when all are taken.
    int FreeSlot() const;
    // Under connect_mutex: puts the connection into the free slot, making the
    // slot's locks on first use.
    void Occupy(int slot, CScanvo* connection);
    // Under connect_mutex: empties a slot whose connection never came up.
    // Nobody holds its handle yet, so no slot lock is needed.
    void Abandon(int slot);

    // Takes the slot's twelve locks and, while it still holds this handle,
    // empties it and returns the connection for the caller to end and delete
    // while the locks are held; null when the slot was emptied meanwhile.
    // Between lock 0 and the rest it wakes the connection's waits, so a read
    // with a long time-out does not hold the disconnect up.
    struct Removal {
        std::array<std::unique_lock<std::mutex>, SLOT_LOCK_COUNT> held;
        std::unique_ptr<CScanvo> connection;
    };
    Removal Remove(int slot, const void* handle);

    // Disconnects every open sensor.
    void DisconnectAll();

    // "SetScannerBufferSize", "SetLibraryScannerFiFoSize", "SetDllFiFoSize"
    // and "SetProductionMode": the text length, -1, or UNKNOWN_HANDLE when the
    // text names none of them.
    int ApplyLibraryCommand(const char* text, const LibraryLogger& logger);

    // Settings for later connects.
    uint32_t FifoBytes() const { return fifo_bytes.load(); }
    uint32_t ReceiveBufferBytes() const { return receive_buffer_bytes.load(); }
    bool ProductionMode() const { return production_mode.load(); }

    std::mutex& ConnectMutex() { return connect_mutex; }

    // The deliveries to the application since the last rate line.
    void ResetRate() { rate_counter = 0; }
    // Counts one delivery. With `line_wanted`, true when a rate line is due
    // (every 3 s), `deliveries` then holding the count since the last one.
    bool CountDelivery(bool line_wanted, int& deliveries);

private:
    struct Slot {
        std::atomic<CScanvo*> connection{nullptr};
        std::atomic<SensorSlotLocks*> locks{nullptr};
    };

    SensorTable() = default;

    std::array<Slot, MAX_SENSORS> slots;
    // Written under connect_mutex; read without a lock by handle lookups.
    std::atomic<int> slot_count{0};  // slots ever used: lookups scan 0 .. slot_count-1

    // Under connect_mutex; the atomic view in Slot::locks is what lookups read.
    std::array<std::unique_ptr<SensorSlotLocks>, MAX_SENSORS> owned_locks;

    std::atomic<uint32_t> fifo_bytes{DEFAULT_FIFO_BYTES};
    std::atomic<uint32_t> receive_buffer_bytes{DEFAULT_RECEIVE_BUFFER_BYTES};
    std::atomic<bool> production_mode{false};

    std::atomic<int> rate_counter{0};
    std::atomic<uint32_t> rate_tick{0};

    std::atomic<int> users{0};
    std::mutex connect_mutex;
};

template <class F>
int SensorTable::WithConnection(const void* handle, SlotLock lock, F&& call)
{
    const int slot = Find(handle);
    if (slot < 0)
        return UNKNOWN_HANDLE;
    std::unique_lock<std::mutex> guard(slots[slot].locks.load()->locks[lock], std::defer_lock);
    if (!InCallbackOf(handle))
        guard.lock();
    CScanvo* connection = slots[slot].connection.load();
    if (connection == nullptr || static_cast<const void*>(connection) != handle)
        return UNKNOWN_HANDLE;
    try {
        return call(*connection);
    } catch (...) {
        return -1;
    }
}
