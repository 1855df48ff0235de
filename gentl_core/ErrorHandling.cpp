#include "gentl_core/ErrorHandling.h"

#include <memory>
#include <new>

#include "gentl_core/Logger.h"
#include "platform/Assert.h"

namespace GenTLCore {
namespace {
// Set once at teardown; a plain load in every report.
std::atomic<bool> shut_down{false};

// Names of GC_ERR_ERROR (-1001) down to GC_ERR_BUSY (-1022), in code order.
const char* const ERROR_NAMES[] = {
    "GC_ERR_ERROR",          "GC_ERR_NOT_INITIALIZED",    "GC_ERR_NOT_IMPLEMENTED",
    "GC_ERR_RESOURCE_IN_USE", "GC_ERR_ACCESS_DENIED",     "GC_ERR_INVALID_HANDLE",
    "GC_ERR_INVALID_ID",     "GC_ERR_NO_DATA",            "GC_ERR_INVALID_PARAMETER",
    "GC_ERR_IO",             "GC_ERR_TIMEOUT",            "GC_ERR_ABORT",
    "GC_ERR_INVALID_BUFFER", "GC_ERR_NOT_AVAILABLE",      "GC_ERR_INVALID_ADDRESS",
    "GC_ERR_BUFFER_TOO_SMALL", "GC_ERR_INVALID_INDEX",    "GC_ERR_PARSING_CHUNK_DATA",
    "GC_ERR_INVALID_VALUE",  "GC_ERR_RESOURCE_EXHAUSTED", "GC_ERR_OUT_OF_MEMORY",
    "GC_ERR_BUSY",
};
constexpr int32_t FIRST_NAMED_CODE = -1001;
constexpr int32_t NAMED_CODE_COUNT = static_cast<int32_t>(sizeof(ERROR_NAMES) / sizeof(ERROR_NAMES[0]));
}  // namespace

const char* FindErrorName(GC_ERROR code)
{
    // 64 bits: the difference of two 32-bit codes may not fit in 32.
    const int64_t index = int64_t{FIRST_NAMED_CODE} - int64_t{code};
    return (index >= 0 && index < NAMED_CODE_COUNT) ? ERROR_NAMES[index] : nullptr;
}

const char* ErrorName(GC_ERROR code)
{
    const char* name = FindErrorName(code);
    return name != nullptr ? name : "Unknown error code";
}

void LogThreadException(const char* category, const std::string& owner, const char* thread,
                        const char* what) noexcept
{
    try {
        TL_LOG(category, LOG_LEVEL_ERROR) << owner << ": " << thread << " ended by " << what;
    } catch (...) {
        // Out of memory even for the line: the thread ends unlogged.
    }
}

void LogCallFailure(GC_ERROR code, const std::string& text)
{
    if (code == 0)
        return;
    try {
        TL_LOG(LOG_CATEGORY_TLERR, LOG_LEVEL_ERROR)
            << "GenTL interface call failure: " << ErrorName(code) << ", " << text << "\n";
    } catch (...) {
        // Out of memory while building the line: the report goes on without it.
    }
}

GC_ERROR ReportError(GC_ERROR code, const std::string& text)
{
    if (shut_down.load())
        return code;
    LogCallFailure(code, text);
    if (TLSControl* store = TLSControl::Instance())
        store->SetLastError(code, text);
    return code;
}

TLSControl* TLSControl::Instance()
{
    static TLSControl* const instance = new (std::nothrow) TLSControl();
    return instance;
}

TLSControl::TLSControl() : thread_slot(&TLSControl::OnThreadExit) {}

TLSControl::~TLSControl()
{
    // Delete the key first, so no ending thread frees a record behind our back.
    thread_slot.DeleteKey();
    ScopedLock guard(lock);
    for (LastErrorRecord* record : tls_slots)
        delete record;
    tls_slots.clear();
}

bool TLSControl::SetLastError(GC_ERROR code, const std::string& text)
{
    if (!thread_slot.IsValid())
        return false;
    try {
        // Copied before locking, so nothing under the lock can throw halfway.
        std::string new_text = text;
        ScopedLock guard(lock);
        auto* record = static_cast<LastErrorRecord*>(thread_slot.Get());
        if (record == nullptr) {
            std::unique_ptr<LastErrorRecord> created(new LastErrorRecord);
            tls_slots.insert(created.get());
            if (!thread_slot.Set(created.get())) {
                tls_slots.erase(created.get());
                return false;
            }
            record = created.release();
        }
        record->code = code;
        record->text.swap(new_text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool TLSControl::GetLastError(LastErrorRecord& out)
{
    if (shut_down.load() || !thread_slot.IsValid())
        return false;
    try {
        LastErrorRecord copy;
        {
            ScopedLock guard(lock);
            if (const auto* record = static_cast<const LastErrorRecord*>(thread_slot.Get()))
                copy = *record;
        }
        out = std::move(copy);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void TLSControl::ResetAllLastErrors()
{
    if (shut_down.load())
        return;
    ScopedLock guard(lock);
    // Assigning the short default text needs no allocation.
    for (LastErrorRecord* record : tls_slots)
        *record = LastErrorRecord();
}

void TLSControl::ReleaseThreadRecord()
{
    if (!thread_slot.IsValid())
        return;
    ScopedLock guard(lock);
    auto* record = static_cast<LastErrorRecord*>(thread_slot.Get());
    if (record == nullptr)
        return;
    ReleaseRecord(record);
    // The thread may go on calling in; its slot must not point at freed memory.
    thread_slot.Set(nullptr);
}

void TLSControl::OnThreadExit(void* record)
{
    if (TLSControl* store = Instance())
        store->ReleaseRecord(static_cast<LastErrorRecord*>(record));
}

void TLSControl::ReleaseRecord(LastErrorRecord* record)
{
    ScopedLock guard(lock);
    const auto found = tls_slots.find(record);
    // A record we do not know is not ours to free.
    if (!TL_ASSERT_MSG(found != tls_slots.end(),
                       "tls_slots.find (last_err_info) != tls_slots.end ()"))
        return;
    tls_slots.erase(found);
    delete record;
}

void TLSControl::Initialize(const SharedPtr<GenTLBranding>& branding)
{
    (void)branding;
}

void TLSControl::Shutdown()
{
    shut_down.store(true);
}

std::size_t TLSControl::RecordCountForTest()
{
    ScopedLock guard(lock);
    return tls_slots.size();
}

}  // namespace GenTLCore
