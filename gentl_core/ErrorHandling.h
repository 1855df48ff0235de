// ErrorHandling.h: the framework's one error path: a failing operation logs
// its GenTL code and message and stores them as the calling thread's last
// error, which GCGetLastError hands back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <set>
#include <stdexcept>
#include <string>

#include "GenTL.h"
#include "gentl_core/GenTLCore.h"
#include "gentl_core/SyncObjects.h"
#include "platform/ThreadLocal.h"

namespace GenTLCore {

// Logs the failure ("TLErr", level 2) and stores code and text as the calling
// thread's last error; returns `code`, so a failing operation ends with
//     return ReportError(GC_ERR_INVALID_PARAMETER, "ReadPort: invalid buffer/size pointer");
// Does nothing once error handling is shut down. Never throws.
GC_ERROR ReportError(GC_ERROR code, const std::string& text);

// Runs `allocate`; false when it ran out of memory: std::bad_alloc, or
// std::length_error for a size no container can hold.
template <class Allocate>
bool TryAllocate(Allocate&& allocate)
{
    try {
        allocate();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Logs, under `category` at Error, that `owner`'s `thread` ended by the
// exception `what`. Never throws.
void LogThreadException(const char* category, const std::string& owner, const char* thread,
                        const char* what) noexcept;

// Runs a thread's body: an exception leaving a thread ends the process, so
// one that `body` lets out is logged and answered false, for the thread to
// end its work cleanly.
template <class Body>
bool RunThreadBody(const char* category, const std::string& owner, const char* thread,
                   Body&& body) noexcept
{
    try {
        body();
        return true;
    } catch (const std::exception& error) {
        LogThreadException(category, owner, thread, error.what());
    } catch (...) {
        LogThreadException(category, owner, thread, "an unknown exception");
    }
    return false;
}

// Writes the failure's log line when `code` is not 0 and the level is 2 or more:
// "GenTL interface call failure: <name of code>, <text>".
void LogCallFailure(GC_ERROR code, const std::string& text);

// The GenTL name of an error code from GC_ERR_ERROR (-1001) to GC_ERR_BUSY
// (-1022), or nullptr for any other code.
const char* FindErrorName(GC_ERROR code);
// FindErrorName, with "Unknown error code" for a code outside the table.
const char* ErrorName(GC_ERROR code);

// One thread's last error. A thread that never failed reads the default.
struct LastErrorRecord {
    GC_ERROR code = 0;
    std::string text = "No Error";
};

// Start-up singleton holding every thread's last error.
//
// Lifetime: created on the heap by the first Instance() call (the core start),
// Shutdown() at unload (after which reports, reads and resets do nothing) and
// deleted by the core teardown. A thread's record is created by its first
// stored error and freed when the thread ends, by ReleaseThreadRecord(), or
// with the store.
// Threads: any thread stores and reads its own record; ResetAllLastErrors
// touches every record. One lock (`lock`) guards the thread slots, the record
// set and every record's fields, so a reset never interleaves with a store.
class TLSControl : public StaticInitializationHelper {
public:
    // The one store; null only when its allocation failed.
    static TLSControl* Instance();

    ~TLSControl() override;

    // Stores code and text as the calling thread's last error. False when
    // nothing could be stored; the previous last error then stays.
    bool SetLastError(GC_ERROR code, const std::string& text);
    // Copies the calling thread's last error into `out` (code 0 and "No Error"
    // when it has none). False, with `out` untouched, once shut down or when
    // the store has no thread slot.
    bool GetLastError(LastErrorRecord& out);
    // Every thread's record back to code 0 and "No Error".
    void ResetAllLastErrors();
    // Frees the calling thread's record; it reads no error afterwards.
    void ReleaseThreadRecord();

    void Initialize(const SharedPtr<GenTLBranding>& branding) override;
    // From now on reports, reads and resets do nothing. Never undone.
    void Shutdown() override;

    // Number of records alive, to check that ending threads free theirs.
    std::size_t RecordCountForTest();

private:
    TLSControl();

    // The pthread-key destructor: `record` is the ending thread's slot value.
    static void OnThreadExit(void* record);
    void ReleaseRecord(LastErrorRecord* record);

    // The lock comes first: the slot's exit callback takes it until the key
    // is deleted in the destructor.
    Mutex lock;

    // Guarded by `lock` (a thread's own slot too, so a reset sees a
    // consistent set).
    Platform::ThreadLocal thread_slot;
    std::set<LastErrorRecord*> tls_slots;
};

}  // namespace GenTLCore
