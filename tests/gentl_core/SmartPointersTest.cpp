#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SmartPointers.h"
#include "support/WaitUntil.h"

using GenTLCore::SharedPtr;

namespace {

// Lets one test make the next plain operator new fail on its own thread.
thread_local bool fail_next_allocation = false;

struct Base {
    virtual ~Base() = default;
};

// Counts its destructions and remembers the thread of the last one.
struct Tracked : Base {
    static std::atomic<int> destroyed;
    static std::atomic<std::thread::id> destroyer;
    ~Tracked() override
    {
        destroyer.store(std::this_thread::get_id());
        destroyed.fetch_add(1);
    }
};
std::atomic<int> Tracked::destroyed{0};
std::atomic<std::thread::id> Tracked::destroyer{};

struct Unrelated : Base {};

class SharedPtrTest : public ::testing::Test {
protected:
    void SetUp() override { Tracked::destroyed = 0; }
};

}  // namespace

// The replacement below pairs malloc with free throughout; the compiler sees
// only one side of each pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (fail_next_allocation) {
        fail_next_allocation = false;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

TEST_F(SharedPtrTest, EmptyPointerHasACountOfItsOwnThatCopiesShareAndAssertsOnUse)
{
    SharedPtr<Tracked> empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(1, empty.UseCount());
    {
        SharedPtr<Tracked> copy(empty);
        SharedPtr<Tracked> assigned;
        assigned = empty;
        EXPECT_EQ(3, empty.UseCount());
    }
    EXPECT_EQ(1, empty.UseCount());
    EXPECT_EQ(0, Tracked::destroyed);
    TestSupport::AssertionRecorder assertions;
    EXPECT_EQ(nullptr, empty.Get());
    EXPECT_EQ(nullptr, empty.operator->());
    EXPECT_EQ(std::vector<std::string>({"pointer != NULL", "pointer != NULL"}),
              assertions.Failures());
}

TEST_F(SharedPtrTest, CopiesAssignmentsAndResetsReleaseEachObjectOnceAtItsLastShare)
{
    SharedPtr<Tracked> first(new Tracked);
    SharedPtr<Tracked> second(first);
    SharedPtr<Tracked>& same = first;
    first = same;
    EXPECT_EQ(2, first.UseCount());
    first.Reset(new Tracked);  // releases only its share of the old object
    EXPECT_EQ(0, Tracked::destroyed);
    EXPECT_EQ(1, second.UseCount());
    first = second;  // the object Reset gave it is now unowned
    EXPECT_EQ(1, Tracked::destroyed);
    EXPECT_EQ(2, second.UseCount());
    EXPECT_EQ(first.Get(), second.Get());
    first.Reset();
    second.Reset();
    EXPECT_EQ(2, Tracked::destroyed);
}

TEST_F(SharedPtrTest, CastSharesTheCountOnlyWhenItSucceeds)
{
    SharedPtr<Base> base(new Tracked);
    EXPECT_FALSE(base.DynamicCast<Unrelated>());
    EXPECT_FALSE(SharedPtr<Base>().DynamicCast<Tracked>());
    EXPECT_EQ(1, base.UseCount());
    {
        SharedPtr<Tracked> cast = base.DynamicCast<Tracked>();
        ASSERT_TRUE(cast);
        EXPECT_EQ(2, base.UseCount());
        base.Reset();
        EXPECT_EQ(0, Tracked::destroyed);
    }
    EXPECT_EQ(1, Tracked::destroyed);
}

TEST_F(SharedPtrTest, ObjectIsDestroyedByTheThreadThatDropsTheLastCopy)
{
    SharedPtr<Tracked> main_copy(new Tracked);
    std::atomic<bool> main_released{false};
    std::thread::id worker_id;
    std::thread worker([&, copy = main_copy]() mutable {
        worker_id = std::this_thread::get_id();
        TestSupport::WaitUntil([&] { return main_released.load(); });
        copy.Reset();
    });
    main_copy.Reset();
    main_released = true;
    worker.join();
    EXPECT_EQ(1, Tracked::destroyed);
    EXPECT_EQ(worker_id, Tracked::destroyer.load());
}

TEST_F(SharedPtrTest, CopiesTakenAndDroppedOnManyThreadsKeepAnExactCount)
{
    constexpr int THREADS = 8;
    constexpr int COPIES_PER_THREAD = 20000;
    SharedPtr<Tracked> original(new Tracked);
    std::vector<std::thread> workers;
    for (int t = 0; t < THREADS; ++t) {
        workers.emplace_back([copy = original]() {
            for (int i = 0; i < COPIES_PER_THREAD; ++i) {
                SharedPtr<Tracked> local(copy);
                SharedPtr<Tracked> assigned;
                assigned = local;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(1, original.UseCount());
    EXPECT_EQ(0, Tracked::destroyed);
    original.Reset();
    EXPECT_EQ(1, Tracked::destroyed);
}

// Byte blocks come from malloc; the sanitizer build catches a mismatched delete.
TEST_F(SharedPtrTest, ByteBlockIsFreedWithFree)
{
    auto* block = static_cast<unsigned char*>(std::malloc(64));
    ASSERT_NE(nullptr, block);
    SharedPtr<unsigned char> bytes(block);
    bytes.Get()[63] = 1;
    bytes.Reset();
    EXPECT_FALSE(bytes);
}

TEST_F(SharedPtrTest, ObjectIsDeletedWhenItsCountCannotBeAllocated)
{
    Tracked* object = new Tracked;
    fail_next_allocation = true;
    EXPECT_THROW(SharedPtr<Tracked>{object}, std::bad_alloc);
    EXPECT_EQ(1, Tracked::destroyed);
}
