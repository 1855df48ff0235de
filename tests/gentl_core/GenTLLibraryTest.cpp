// The library object and its handle pool, with a fake transport layer and
// fake module kinds. Every case runs in a process of its own (one library
// object per process).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLBranding.h"
#include "gentl_core/GenTLLibrary.h"
#include "gentl_core/SmartPointers.h"
#include "gentl_core/SyncObjects.h"

using GenTLCore::GenTLHandle;
using GenTLCore::GenTLLibrary;
using GenTLCore::GenTLSystem;
using GenTLCore::SharedPtr;
using TestSupport::AssertionRecorder;

namespace {

// Every fake object notes its close here, by name.
std::vector<std::string> close_journal;

// A pooled object of some kind: named, with settable open and close results.
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

// A base that modules carry beside GenTLHandle, as events sources do.
class FakeEventSource {
public:
    virtual ~FakeEventSource() = default;
};

class FakeInterface : public FakeHandle, public FakeEventSource {
    using FakeHandle::FakeHandle;
};
class FakeDevice : public FakeHandle {
    using FakeHandle::FakeHandle;
};

class FakeSystem : public GenTLSystem {
public:
    std::string GetID() override { return "FakeSystem"; }

protected:
    GC_ERROR DoClose() override
    {
        close_journal.push_back("FakeSystem");
        return GC_ERR_SUCCESS;
    }
};

// The transport layer's hooks with settable answers.
class FakeLibrary : public GenTLLibrary {
public:
    bool requires_global_lock = false;
    bool init_infrastructure = true;
    bool close_infrastructure = true;
    enum class SystemCreation {
        NORMAL,
        EMPTY,
        OUT_OF_MEMORY
    } system_creation = SystemCreation::NORMAL;
    int close_infrastructure_calls = 0;

protected:
    bool RequiresGlobalLock() override { return requires_global_lock; }
    bool InitTLInfrastructure() override { return init_infrastructure; }
    bool CloseTLInfrastructure() override
    {
        ++close_infrastructure_calls;
        return close_infrastructure;
    }
    void OnInitialize() override {}
    SharedPtr<GenTLSystem> CreateSystem() override
    {
        if (system_creation == SystemCreation::OUT_OF_MEMORY)
            throw std::bad_alloc();
        if (system_creation == SystemCreation::EMPTY)
            return SharedPtr<GenTLSystem>();
        return SharedPtr<GenTLSystem>(new FakeSystem());
    }
};

GenTLCore::LastErrorRecord LastError()
{
    GenTLCore::LastErrorRecord record;
    GenTLCore::TLSControl::Instance()->GetLastError(record);
    return record;
}

template <class T>
SharedPtr<GenTLHandle> AsHandle(const SharedPtr<T>& object)
{
    return object.template DynamicCast<GenTLHandle>();
}

class LibraryTest : public ::testing::Test {
protected:
    FakeLibrary library;
};

class InitializedLibraryTest : public LibraryTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(GC_ERR_SUCCESS, library.InitLib());
        ASSERT_EQ(GC_ERR_SUCCESS, library.SysOpen(system));
        ASSERT_EQ(GC_ERR_SUCCESS, library.Register(AsHandle(system), nullptr, &hsystem));
        close_journal.clear();
    }
    void TearDown() override { library.CloseLib(); }

    // Registers `object` under `hparent`; returns its handle.
    template <class T>
    void* Add(const SharedPtr<T>& object, void* hparent)
    {
        void* handle = nullptr;
        EXPECT_EQ(GC_ERR_SUCCESS, library.Register(AsHandle(object), hparent, &handle));
        return handle;
    }

    SharedPtr<GenTLSystem> system;
    void* hsystem = nullptr;
};

// ---- InitLib ----

using LibraryInitTest = LibraryTest;

TEST_F(LibraryInitTest, InfrastructureFailureLeavesTheLibraryClosed)
{
    library.init_infrastructure = false;
    EXPECT_EQ(GC_ERR_ERROR, library.InitLib());
    EXPECT_EQ("InitLib: Initialization of TL-specific library infrastructure failed.",
              LastError().text);
    EXPECT_FALSE(library.IsInitialized());
    EXPECT_EQ(0, library.close_infrastructure_calls);
}

class MissingSystemTest : public LibraryTest,
                          public ::testing::WithParamInterface<FakeLibrary::SystemCreation> {};

TEST_P(MissingSystemTest, IsOutOfMemoryWithoutMessageAndClosesTheInfrastructure)
{
    library.system_creation = GetParam();
    GenTLCore::ReportError(GC_ERR_IO, "Earlier: failure");
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, library.InitLib());
    EXPECT_EQ(0, LastError().code);  // reset by InitLib, nothing stored since
    EXPECT_EQ(1, library.close_infrastructure_calls);
    EXPECT_FALSE(library.IsInitialized());

    library.system_creation = FakeLibrary::SystemCreation::NORMAL;
    EXPECT_EQ(GC_ERR_SUCCESS, library.InitLib());
    library.CloseLib();
}

INSTANTIATE_TEST_SUITE_P(EmptyOrThrowing, MissingSystemTest,
                         ::testing::Values(FakeLibrary::SystemCreation::EMPTY,
                                           FakeLibrary::SystemCreation::OUT_OF_MEMORY));

// ---- The cross-process lock ----

// A branding that names the lock after this process, handed over after the
// library object was made, as at load.
class LibraryGlobalLockTest : public LibraryTest {
protected:
    class LockBranding : public GenTLCore::DefaultBranding {
    public:
        std::string GlobalLockName() const override
        {
            // Unique, so that test processes running side by side do not meet.
            static const std::string name =
                "gentesk-library-test-" + std::to_string(std::random_device()());
            return name;
        }
    };

    void SetUp() override
    {
        GenTLCore::BrandingControl::Instance()->Initialize(
            SharedPtr<GenTLCore::GenTLBranding>(new LockBranding()));
        library.requires_global_lock = true;
    }

    GenTLCore::GlobalLock other{LockBranding().GlobalLockName()};
};

TEST_F(LibraryGlobalLockTest, NameHeldElsewhereRefusesInit)
{
    ASSERT_TRUE(other.Acquire());
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, library.InitLib());
    EXPECT_EQ("InitLib: the library is already in use in another process.", LastError().text);

    other.Release();
    EXPECT_EQ(GC_ERR_SUCCESS, library.InitLib());
    EXPECT_FALSE(other.Acquire());
    library.CloseLib();
    EXPECT_TRUE(other.Acquire());
    other.Release();
}

TEST_F(LibraryGlobalLockTest, FailedInitGivesTheLockBack)
{
    library.init_infrastructure = false;
    EXPECT_EQ(GC_ERR_ERROR, library.InitLib());
    library.system_creation = FakeLibrary::SystemCreation::EMPTY;
    library.init_infrastructure = true;
    EXPECT_EQ(GC_ERR_OUT_OF_MEMORY, library.InitLib());

    library.system_creation = FakeLibrary::SystemCreation::NORMAL;
    EXPECT_EQ(GC_ERR_SUCCESS, library.InitLib());
    library.CloseLib();
}

TEST_F(LibraryGlobalLockTest, NoLockIsTakenUnlessAsked)
{
    library.requires_global_lock = false;
    ASSERT_EQ(GC_ERR_SUCCESS, library.InitLib());
    EXPECT_TRUE(other.Acquire());
    other.Release();
    library.CloseLib();
}

// ---- CloseLib ----

using LibraryCloseTest = InitializedLibraryTest;

TEST_F(LibraryCloseTest, ClosesTheOpenSystemAndEverythingBelow)
{
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    Add(itf, hsystem);
    EXPECT_EQ(GC_ERR_SUCCESS, library.CloseLib());
    EXPECT_EQ((std::vector<std::string>{"Itf", "FakeSystem"}), close_journal);
    EXPECT_FALSE(itf->IsOpen());
    EXPECT_FALSE(library.IsInitialized());
}

TEST_F(LibraryCloseTest, InfrastructureFailureIsReportedButTheLibraryIsClosed)
{
    library.close_infrastructure = false;
    EXPECT_EQ(GC_ERR_ERROR, library.CloseLib());
    EXPECT_EQ("CloseLib: Uninitialization of TL-specific library infrastructure failed.",
              LastError().text);
    EXPECT_FALSE(library.IsInitialized());
}

TEST_F(LibraryCloseTest, ClosedLibraryRefusesEveryOperation)
{
    ASSERT_EQ(GC_ERR_SUCCESS, library.CloseLib());
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.CloseLib());
    EXPECT_EQ("CloseLib: attempt to close library, that is not initialized.", LastError().text);

    SharedPtr<GenTLSystem> reopened;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.SysOpen(reopened));
    EXPECT_EQ("SysOpen: attempt to open a system handle with uninitialized library.",
              LastError().text);
    size_t size = 0;
    INFO_DATATYPE type = 0;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.GetLibInfo(TL_INFO_ID, &type, nullptr, &size));
    EXPECT_EQ("GetLibInfo: the library is not initialized.", LastError().text);
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.Lookup(hsystem, reopened));
    EXPECT_EQ("Attempt to perform operations on an uninitialized library.", LastError().text);
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.Unregister<GenTLSystem>(hsystem));
    EXPECT_EQ(
        "Close/Unregister: attempt to use a close handle operation with uninitialized library.",
        LastError().text);
    void* parent = nullptr;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.GetParent(hsystem, &parent));
    EXPECT_EQ("GetParent: attempt to use a get-parent opreration with uninitialized library.",
              LastError().text);

    AssertionRecorder assertions;
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    void* handle = nullptr;
    EXPECT_EQ(GC_ERR_NOT_INITIALIZED, library.Register(AsHandle(itf), nullptr, &handle));
    EXPECT_EQ("Open/Register: attempt to use an open handle operation with uninitialized library.",
              LastError().text);
}

// ---- Register ----

using RegisterTest = InitializedLibraryTest;

TEST_F(RegisterTest, HandleIsTheObjectsAddressAndTheObjectIsOpened)
{
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    void* handle = Add(itf, hsystem);
    EXPECT_EQ(static_cast<GenTLHandle*>(itf.Get()), handle);
    EXPECT_TRUE(itf->IsOpen());
    EXPECT_EQ(2, itf.UseCount());  // ours and the pool's
}

TEST_F(RegisterTest, SecondRegistrationIsInUse)
{
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    void* first = Add(itf, hsystem);
    void* second = nullptr;
    EXPECT_EQ(GC_ERR_RESOURCE_IN_USE, library.Register(AsHandle(itf), hsystem, &second));
    EXPECT_EQ("Open/Register: requested object is already in use", LastError().text);
    EXPECT_EQ(nullptr, second);
    EXPECT_NE(nullptr, first);
}

TEST_F(RegisterTest, MissingOutputPointerIsCheckedBeforeTheCandidate)
{
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER,
              library.Register(SharedPtr<GenTLHandle>(), hsystem, nullptr));
    EXPECT_EQ("Open/Register: invalid output handle pointer.", LastError().text);
}

TEST_F(RegisterTest, EmptyCandidateIsAnInternalFailure)
{
    AssertionRecorder assertions;
    void* handle = nullptr;
    EXPECT_EQ(GC_ERR_ERROR, library.Register(SharedPtr<GenTLHandle>(), hsystem, &handle));
    EXPECT_EQ("Open/Register: internal failure when looking up the opened object instance.",
              LastError().text);
    EXPECT_EQ(1u, assertions.Count());
}

TEST_F(RegisterTest, FailingOpenPassesItsCodeAndAddsNothing)
{
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    itf->open_result = GC_ERR_IO;
    void* handle = nullptr;
    EXPECT_EQ(GC_ERR_IO, library.Register(AsHandle(itf), hsystem, &handle));
    EXPECT_EQ(nullptr, handle);
    EXPECT_FALSE(itf->IsOpen());
    SharedPtr<FakeInterface> found;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Lookup(static_cast<GenTLHandle*>(itf.Get()), found));
}

// A parent closed by another thread between the caller's lookup and Register.
TEST_F(RegisterTest, ParentNoLongerPooledIsRefusedBeforeOpening)
{
    auto dev = SharedPtr<FakeDevice>(new FakeDevice("Dev"));
    auto itf = SharedPtr<FakeInterface>(new FakeInterface("Itf"));
    void* hitf = Add(itf, hsystem);
    ASSERT_EQ(GC_ERR_SUCCESS, library.Unregister<FakeInterface>(hitf));

    AssertionRecorder assertions;
    void* handle = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Register(AsHandle(dev), hitf, &handle));
    EXPECT_EQ("Open/Register: parent handle not found in the pool", LastError().text);
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_EQ(1u, assertions.Count());
}

// ---- Lookup ----

class LookupTest : public InitializedLibraryTest {
protected:
    void SetUp() override
    {
        InitializedLibraryTest::SetUp();
        hitf = Add(itf, hsystem);
    }

    SharedPtr<FakeInterface> itf{new FakeInterface("Itf")};
    void* hitf = nullptr;
};

TEST_F(LookupTest, FindsTheObjectAsItsKindOrABaseAndSharesIt)
{
    SharedPtr<FakeInterface> found;
    ASSERT_EQ(GC_ERR_SUCCESS, library.Lookup(hitf, found));
    EXPECT_EQ(itf.Get(), found.Get());
    EXPECT_EQ(3, itf.UseCount());  // ours, the pool's, found

    // A base beside GenTLHandle needs a cross cast.
    SharedPtr<FakeEventSource> source;
    ASSERT_EQ(GC_ERR_SUCCESS, library.Lookup(hitf, source));
    EXPECT_EQ(static_cast<FakeEventSource*>(itf.Get()), source.Get());
}

TEST_F(LookupTest, WrongKindIsInvalidWithItsOwnMessage)
{
    SharedPtr<FakeDevice> device;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Lookup(hitf, device));
    EXPECT_EQ("Requested handle is of unexpected type", LastError().text);
    EXPECT_FALSE(device);
    SharedPtr<GenTLSystem> not_a_system;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Lookup(hitf, not_a_system));
    EXPECT_EQ(2, itf.UseCount());  // the failed casts took no share
}

TEST_F(LookupTest, UnknownHandleIsNotFound)
{
    SharedPtr<FakeInterface> found;
    for (void* unknown : {static_cast<void*>(nullptr), reinterpret_cast<void*>(0x10),
                          static_cast<void*>(&found)}) {
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Lookup(unknown, found));
        EXPECT_EQ("Requested handle not found in the pool", LastError().text);
    }
}

// ---- Unregister and subtree removal ----

// system ─┬─ itf_a ─┬─ dev_a ── dev_a_child
//         │         └─ dev_b
//         └─ itf_b
class SubtreeTest : public InitializedLibraryTest {
protected:
    void SetUp() override
    {
        InitializedLibraryTest::SetUp();
        handles["itf_a"] = Add(itf_a, hsystem);
        handles["itf_b"] = Add(itf_b, hsystem);
        handles["dev_a"] = Add(dev_a, handles["itf_a"]);
        handles["dev_b"] = Add(dev_b, handles["itf_a"]);
        handles["dev_a_child"] = Add(dev_a_child, handles["dev_a"]);
        handles["FakeSystem"] = hsystem;
        parents = {{"itf_a", "FakeSystem"}, {"itf_b", "FakeSystem"}, {"dev_a", "itf_a"},
                   {"dev_b", "itf_a"}, {"dev_a_child", "dev_a"}};
    }

    size_t Position(const std::string& name) const
    {
        return std::find(close_journal.begin(), close_journal.end(), name) - close_journal.begin();
    }

    SharedPtr<FakeInterface> itf_a{new FakeInterface("itf_a")};
    SharedPtr<FakeInterface> itf_b{new FakeInterface("itf_b")};
    SharedPtr<FakeDevice> dev_a{new FakeDevice("dev_a")};
    SharedPtr<FakeDevice> dev_b{new FakeDevice("dev_b")};
    SharedPtr<FakeDevice> dev_a_child{new FakeDevice("dev_a_child")};
    std::map<std::string, void*> handles;
    std::map<std::string, std::string> parents;
};

TEST_F(SubtreeTest, ClosingTheSystemClosesChildrenFirstAndSiblingsInHandleOrder)
{
    EXPECT_EQ(GC_ERR_SUCCESS, library.Unregister<GenTLSystem>(hsystem));

    ASSERT_EQ(6u, close_journal.size());
    for (const auto& [child, parent] : parents)
        EXPECT_LT(Position(child), Position(parent)) << child << " after " << parent;
    // Depth first: a subtree is closed as a whole before its next sibling's.
    EXPECT_EQ(Position("dev_a") - 1, Position("dev_a_child"));
    const bool a_first = handles["itf_a"] < handles["itf_b"];
    EXPECT_EQ(a_first, Position("itf_a") < Position("itf_b"));
    EXPECT_EQ(handles["dev_a"] < handles["dev_b"], Position("dev_a") < Position("dev_b"));

    SharedPtr<GenTLHandle> gone;
    for (const auto& [name, handle] : handles)
        EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Lookup(handle, gone)) << name;
    EXPECT_FALSE(dev_a_child->IsOpen());
}

TEST_F(SubtreeTest, ChildFailuresAreIgnored)
{
    dev_a_child->close_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_SUCCESS, library.Unregister<FakeInterface>(handles["itf_a"]));
    EXPECT_EQ(4u, close_journal.size());
}

TEST_F(SubtreeTest, EntryGoesEvenWhenClosingFails)
{
    dev_b->close_result = GC_ERR_IO;
    EXPECT_EQ(GC_ERR_IO, library.Unregister<FakeDevice>(handles["dev_b"]));
    SharedPtr<FakeDevice> gone;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Lookup(handles["dev_b"], gone));
    EXPECT_FALSE(dev_b->IsOpen());
}

TEST_F(SubtreeTest, WrongKindLeavesTheEntryInPlace)
{
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Unregister<FakeDevice>(handles["itf_b"]));
    EXPECT_EQ("Close/Unregister: requested handle is of unexpected type", LastError().text);
    EXPECT_TRUE(close_journal.empty());
    SharedPtr<FakeInterface> still_there;
    EXPECT_EQ(GC_ERR_SUCCESS, library.Lookup(handles["itf_b"], still_there));
}

TEST_F(SubtreeTest, SecondUnregisterIsNotFound)
{
    ASSERT_EQ(GC_ERR_SUCCESS, library.Unregister<FakeDevice>(handles["dev_b"]));
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.Unregister<FakeDevice>(handles["dev_b"]));
    EXPECT_EQ("Close/Unregister: requested handle not found in the pool", LastError().text);
}

// ---- GetParent ----

using GetParentTest = SubtreeTest;

TEST_F(GetParentTest, SystemHasParentZeroWithoutAssertion)
{
    AssertionRecorder assertions;
    void* parent = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(GC_ERR_SUCCESS, library.GetParent(hsystem, &parent));
    EXPECT_EQ(nullptr, parent);
    EXPECT_EQ(0u, assertions.Count());
}

TEST_F(GetParentTest, BadArgumentsAreRefused)
{
    EXPECT_EQ(GC_ERR_INVALID_PARAMETER, library.GetParent(handles["dev_a"], nullptr));
    EXPECT_EQ("GetParent: invalid parent handle pointer", LastError().text);
    void* parent = nullptr;
    EXPECT_EQ(GC_ERR_INVALID_HANDLE, library.GetParent(reinterpret_cast<void*>(0x10), &parent));
    EXPECT_EQ("GetParent: requested handle not found in the pool", LastError().text);
}

// ---- The system through the library ----

using LibInfoTest = InitializedLibraryTest;

TEST_F(LibInfoTest, AnswersTheInfoOfTheOneSystemSysOpenHandsOut)
{
    char id[32];
    size_t size = sizeof id;
    INFO_DATATYPE type = 0;
    ASSERT_EQ(GC_ERR_SUCCESS, library.GetLibInfo(TL_INFO_ID, &type, id, &size));
    EXPECT_EQ("FakeSystem", std::string(id));
    EXPECT_EQ(11u, size);

    SharedPtr<GenTLSystem> again;
    ASSERT_EQ(GC_ERR_SUCCESS, library.SysOpen(again));
    EXPECT_EQ(system.Get(), again.Get());
}

// ---- One library per process ----

TEST(LibraryCounterTest, SecondLibraryObjectIsReported)
{
    FakeLibrary first;
    AssertionRecorder assertions;
    FakeLibrary second;
    ASSERT_EQ(1u, assertions.Count());
    EXPECT_NE(std::string::npos,
              assertions.Failures()[0].find("GenTL library object instantiated more than once"));
}

}  // namespace
