// The library object and its handle pool, with a fake transport layer and
// pooled fakes of two kinds. One library object serves the whole process:
// a second one is a fault the library reports.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "ModuleDoubles.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/SyncObjects.h"

using GenTLCore::GenTLHandle;
using GenTLCore::GenTLSystem;
using GenTLCore::SharedPtr;
using TestSupport::AssertionRecorder;

namespace {

// Every fake notes its close here, by name.
std::vector<std::string> close_journal;

// A pooled object: named, with settable open and close results.
class FakeHandle : public GenTLHandle {
public:
    explicit FakeHandle(std::string object_name) : name(std::move(object_name))
    {
        CompleteConstruction();
    }
    std::string GetID() override { return name; }

    GC_ERROR open_result = GC_ERR_SUCCESS;
    GC_ERROR close_result = GC_ERR_SUCCESS;

protected:
    GC_ERROR DoOpen() override { return open_result; }
    GC_ERROR DoClose() override
    {
        close_journal.push_back(name);
        return close_result;
    }

private:
    const std::string name;
};

// Another kind, with a base beside GenTLHandle as events sources have.
class FakeEventSource {
public:
    virtual ~FakeEventSource() = default;
};
class FakeInterface : public FakeHandle, public FakeEventSource {
    using FakeHandle::FakeHandle;
};

// The transport layer's hooks with settable answers; the system is the
// module doubles' one.
enum class SystemCreation { NORMAL, EMPTY, OUT_OF_MEMORY };
struct LibraryKnobs {
    bool requires_global_lock = false;
    bool init_infrastructure = true;
    bool close_infrastructure = true;
    SystemCreation system_creation = SystemCreation::NORMAL;
    int close_infrastructure_calls = 0;
};

class FakeLibrary : public GenTLCore::GenTLLibrary {
public:
    LibraryKnobs knobs;

protected:
    bool RequiresGlobalLock() override { return knobs.requires_global_lock; }
    bool InitTLInfrastructure() override { return knobs.init_infrastructure; }
    bool CloseTLInfrastructure() override
    {
        ++knobs.close_infrastructure_calls;
        return knobs.close_infrastructure;
    }
    void OnInitialize() override {}
    SharedPtr<GenTLSystem> CreateSystem() override
    {
        if (knobs.system_creation == SystemCreation::OUT_OF_MEMORY) throw std::bad_alloc();
        if (knobs.system_creation == SystemCreation::EMPTY) return SharedPtr<GenTLSystem>();
        return SharedPtr<GenTLSystem>(new ModuleTest::TestSystem(journal));
    }

private:
    ModuleTest::Journal journal;
};

std::string LastErrorText()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record.text;
}

template <class T>
SharedPtr<GenTLHandle> AsHandle(const SharedPtr<T>& object)
{
    return object.template DynamicCast<GenTLHandle>();
}

// A branding that names the lock after this process, so that test processes
// running side by side do not meet.
class LockBranding : public ModuleTest::ModuleBranding {
public:
    std::string GlobalLockName() const override { return name; }
    const std::string name = "gentesk-library-test-" + std::to_string(std::random_device()());
};

class LibraryTest : public ::testing::Test {
protected:
    // Made once, kept to the end: a second library object is a fault.
    static void SetUpTestSuite()
    {
        if (library == nullptr) library = new FakeLibrary();
    }
    void SetUp() override
    {
        library->knobs = LibraryKnobs();
        close_journal.clear();
    }
    void TearDown() override
    {
        if (library->IsInitialized()) library->CloseLib();
    }
    // InitLib, the system opened and registered.
    void Initialize()
    {
        ASSERT_EQ(GC_ERR_SUCCESS, library->InitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, library->SysOpen(system));
        ASSERT_EQ(GC_ERR_SUCCESS, library->Register(AsHandle(system), nullptr, &hsystem));
    }
    // Registers `object` under `hparent`; returns its handle.
    template <class T>
    void* Add(const SharedPtr<T>& object, void* hparent)
    {
        void* handle = nullptr;
        EXPECT_EQ(GC_ERR_SUCCESS, library->Register(AsHandle(object), hparent, &handle));
        return handle;
    }

    static inline FakeLibrary* library = nullptr;
    SharedPtr<GenTLSystem> system;
    void* hsystem = nullptr;
};

// ---- InitLib and the cross-process lock ----

// Every failed InitLib leaves the library closed and gives the lock back.
TEST_F(LibraryTest, FailedInitLeavesTheLibraryClosedAndTheLockFree)
{
    auto* branding = new LockBranding();
    GenTLCore::BrandingControl::Instance()->Initialize(
        SharedPtr<GenTLCore::GenTLBranding>(branding));
    GenTLCore::GlobalLock other{branding->name};
    const struct {
        const char* name;
        LibraryKnobs knobs;
        bool held_elsewhere;
        GC_ERROR result;
        const char* text;  // null: none of its own
        int infrastructure_closes;
    } rows[] = {
        {"held elsewhere",
         {true},
         true,
         GC_ERR_RESOURCE_IN_USE,
         "InitLib: the library is already in use in another process.",
         0},
        {"infrastructure fails",
         {true, false},
         false,
         GC_ERR_ERROR,
         "InitLib: Initialization of TL-specific library infrastructure failed.",
         0},
        {"no system",
         {true, true, true, SystemCreation::EMPTY},
         false,
         GC_ERR_OUT_OF_MEMORY,
         nullptr,
         1},
        {"system out of memory",
         {true, true, true, SystemCreation::OUT_OF_MEMORY},
         false,
         GC_ERR_OUT_OF_MEMORY,
         nullptr,
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        library->knobs = row.knobs;
        if (row.held_elsewhere) {
            ASSERT_TRUE(other.Acquire());
        }
        GenTLCore::ReportError(GC_ERR_IO, "Earlier: failure");
        EXPECT_EQ(row.result, library->InitLib());
        if (row.text != nullptr) {
            EXPECT_EQ(row.text, LastErrorText());
        }
        EXPECT_EQ(row.infrastructure_closes, library->knobs.close_infrastructure_calls);
        EXPECT_FALSE(library->IsInitialized());
        if (!row.held_elsewhere) {
            EXPECT_TRUE(other.Acquire());
        }
        other.Release();
    }
    library->knobs = LibraryKnobs{true};
    ASSERT_EQ(GC_ERR_SUCCESS, library->InitLib());
    EXPECT_FALSE(other.Acquire());
    library->CloseLib();
    library->knobs.requires_global_lock = false;
    ASSERT_EQ(GC_ERR_SUCCESS, library->InitLib());
    EXPECT_TRUE(other.Acquire());
    other.Release();
}

// ---- CloseLib ----

TEST_F(LibraryTest, CloseLibClosesEverythingEvenWhenTheInfrastructureFails)
{
    Initialize();
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    Add(itf, hsystem);
    library->knobs.close_infrastructure = false;
    EXPECT_EQ(GC_ERR_ERROR, library->CloseLib());
    EXPECT_EQ("CloseLib: Uninitialization of TL-specific library infrastructure failed.",
              LastErrorText());
    EXPECT_EQ(std::vector<std::string>{"Itf"}, close_journal);
    EXPECT_FALSE(system->IsOpen());
    EXPECT_FALSE(library->IsInitialized());
}

TEST_F(LibraryTest, ClosedLibraryRefusesEveryOperation)
{
    Initialize();
    ASSERT_EQ(GC_ERR_SUCCESS, library->CloseLib());
    AssertionRecorder assertions;
    SharedPtr<GenTLSystem> found;
    void* out = nullptr;
    size_t size = 0;
    INFO_DATATYPE type = 0;
    const struct {
        std::function<GC_ERROR()> call;
        const char* text;
    } rows[] = {
        {[&] { return library->CloseLib(); },
         "CloseLib: attempt to close library, that is not initialized."},
        {[&] { return library->SysOpen(found); },
         "SysOpen: attempt to open a system handle with uninitialized library."},
        {[&] { return library->GetLibInfo(TL_INFO_ID, &type, nullptr, &size); },
         "GetLibInfo: the library is not initialized."},
        {[&] { return library->Lookup(hsystem, found); },
         "Attempt to perform operations on an uninitialized library."},
        {[&] { return library->Unregister<GenTLSystem>(hsystem); },
         "Close/Unregister: attempt to use a close handle operation with uninitialized library."},
        {[&] { return library->GetParent(hsystem, &out); },
         "GetParent: attempt to use a get-parent opreration with uninitialized library."},
        {[&] { return library->Register(AsHandle(system), nullptr, &out); },
         "Open/Register: attempt to use an open handle operation with uninitialized library."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(GC_ERR_NOT_INITIALIZED, row.call());
        EXPECT_EQ(row.text, LastErrorText());
    }
}

// ---- Register and Lookup ----

TEST_F(LibraryTest, RegisterRefusesWhatItCannotPoolAndAddsNothing)
{
    Initialize();
    AssertionRecorder assertions;
    void* handle = nullptr;
    EXPECT_EQ(GC_ERR_ERROR, library->Register(SharedPtr<GenTLHandle>(), hsystem, &handle));
    EXPECT_EQ("Open/Register: internal failure when looking up the opened object instance.",
              LastErrorText());
    EXPECT_EQ(1u, assertions.Count());

    auto failing = SharedPtr<FakeInterface>(new FakeInterface("Failing"));
    failing->open_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, library->Register(AsHandle(failing), hsystem, &handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_FALSE(failing->IsOpen());
    SharedPtr<FakeInterface> found;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE,
              library->Lookup(static_cast<GenTLHandle*>(failing.Get()), found));

    // A parent closed by another thread between the caller's lookup and Register.
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    void* hitf = Add(itf, hsystem);
    ASSERT_EQ(GC_ERR_SUCCESS, library->Unregister<FakeInterface>(hitf));
    auto dev = SharedPtr<FakeHandle>(new FakeHandle("Dev"));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library->Register(AsHandle(dev), hitf, &handle));
    EXPECT_EQ("Open/Register: parent handle not found in the pool", LastErrorText());
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_EQ(2u, assertions.Count());
}

TEST_F(LibraryTest, LookupSharesTheObjectAsItsKindOrABaseAndNothingElse)
{
    Initialize();
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    void* hitf = Add(itf, hsystem);
    EXPECT_EQ(static_cast<GenTLHandle*>(itf.Get()), hitf);
    SharedPtr<FakeInterface> found;
    ASSERT_EQ(GC_ERR_SUCCESS, library->Lookup(hitf, found));
    EXPECT_EQ(itf.Get(), found.Get());
    EXPECT_EQ(3, itf.UseCount());  // ours, the pool's, found
    // A base beside GenTLHandle needs a cross cast.
    SharedPtr<FakeEventSource> source;
    ASSERT_EQ(GC_ERR_SUCCESS, library->Lookup(hitf, source));
    EXPECT_EQ(static_cast<FakeEventSource*>(itf.Get()), source.Get());
    found.Reset();
    source.Reset();
    SharedPtr<GenTLSystem> not_a_system;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library->Lookup(hitf, not_a_system));
    EXPECT_EQ(2, itf.UseCount());  // the failed cast took no share
}

// ---- Unregister and subtree removal ----

// system ─┬─ itf_a ─┬─ dev_a ── dev_a_child
//         │         └─ dev_b
//         └─ itf_b
class SubtreeTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Initialize();
        handles["itf_a"] = Add(itf_a, hsystem);
        handles["itf_b"] = Add(itf_b, hsystem);
        handles["dev_a"] = Add(dev_a, handles["itf_a"]);
        handles["dev_b"] = Add(dev_b, handles["itf_a"]);
        handles["dev_a_child"] = Add(dev_a_child, handles["dev_a"]);
        close_journal.clear();
    }

    SharedPtr<FakeInterface> itf_a{new FakeInterface("itf_a")};
    SharedPtr<FakeInterface> itf_b{new FakeInterface("itf_b")};
    SharedPtr<FakeHandle> dev_a{new FakeHandle("dev_a")};
    SharedPtr<FakeHandle> dev_b{new FakeHandle("dev_b")};
    SharedPtr<FakeHandle> dev_a_child{new FakeHandle("dev_a_child")};
    std::map<std::string, void*> handles;
};

// A failing close is reported for the object asked for, ignored below it;
// the entries go all the same. The wrong kind removes nothing.
TEST_F(SubtreeTest, FailingClosesStillRemoveTheEntries)
{
    dev_a_child->close_result = GC_ERR_IO;
    dev_b->close_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library->Unregister<FakeInterface>(handles["dev_b"]));
    EXPECT_EQ("Close/Unregister: requested handle is of unexpected type", LastErrorText());
    EXPECT_TRUE(close_journal.empty());
    EXPECT_EQ(GC_ERR_IO, library->Unregister<FakeHandle>(handles["dev_b"]));
    SharedPtr<FakeHandle> gone;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library->Lookup(handles["dev_b"], gone));
    EXPECT_FALSE(dev_b->IsOpen());
    EXPECT_EQ(GC_ERR_SUCCESS, library->Unregister<FakeInterface>(handles["itf_a"]));
    EXPECT_EQ(4u, close_journal.size());
}

TEST_F(LibraryTest, ASecondLibraryObjectIsReported)
{
    AssertionRecorder assertions;
    FakeLibrary second;
    ASSERT_EQ(1u, assertions.Count());
    EXPECT_NE(std::string::npos,
              assertions.Failures()[0].find("GenTL library object instantiated more than once"));
}

}  // namespace
