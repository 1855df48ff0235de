// SharedPtr: each object deleted once, by the last share, on any thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "../platform/AssertionRecorder.h"
#include "gentl_core/SmartPointers.h"

using GenTLCore::SharedPtr;

namespace {

// Lets one test make the next plain operator new fail on its own thread.
thread_local bool fail_next_allocation = false;

struct Base {
    virtual ~Base() = default;
};
struct Unrelated : Base {};
// Counts its destructions.
struct Tracked : Base {
    static inline std::atomic<int> destroyed{0};
    ~Tracked() override { ++destroyed; }
};

}  // namespace

// The replacement below pairs malloc with free throughout; the compiler sees
// only one side of each pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    void* block = std::exchange(fail_next_allocation, false) ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

// Byte blocks come from malloc: the sanitizer build catches a mismatched
// delete. An object whose count cannot be allocated is deleted at once.
TEST(SharedPtrTest, CopiesAssignmentsResetsAndCastsReleaseEachObjectOnceAtItsLastShare)
{
    Tracked::destroyed = 0;
    TestSupport::AssertionRecorder assertions;
    EXPECT_EQ(nullptr, SharedPtr<Tracked>().operator->());
    EXPECT_EQ(std::vector<std::string>{"pointer != NULL"}, assertions.Failures());
    SharedPtr<Tracked> first(new Tracked);
    SharedPtr<Tracked> second(first);
    SharedPtr<Tracked>& same = first;
    first = same;
    first.Reset(new Tracked);  // releases only its share of the old object
    EXPECT_EQ(0, Tracked::destroyed);
    first = second;  // the object Reset gave it is now unowned
    EXPECT_EQ(1, Tracked::destroyed);
    EXPECT_EQ(2, second.UseCount());
    SharedPtr<Base> base(new Tracked);
    EXPECT_FALSE(base.DynamicCast<Unrelated>());
    EXPECT_FALSE(SharedPtr<Base>().DynamicCast<Tracked>());
    SharedPtr<Tracked> cast = base.DynamicCast<Tracked>();
    first.Reset(), second.Reset(), base.Reset();
    EXPECT_EQ(2, Tracked::destroyed);
    cast.Reset();
    EXPECT_EQ(3, Tracked::destroyed);
    SharedPtr<unsigned char>(static_cast<unsigned char*>(std::malloc(64))).Get()[63] = 1;
    Tracked* object = new Tracked;
    fail_next_allocation = true;
    EXPECT_THROW(SharedPtr<Tracked>{object}, std::bad_alloc);
    EXPECT_EQ(4, Tracked::destroyed);
}

TEST(SharedPtrTest, CopiesTakenAndDroppedOnManyThreadsKeepAnExactCount)
{
    SharedPtr<Tracked> original(new Tracked);
    const int destroyed = Tracked::destroyed;
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < 8; ++t)
            workers.emplace_back([copy = original] {
                for (int i = 0; i < 20000; ++i) SharedPtr<Tracked>() = SharedPtr<Tracked>(copy);
            });
    }
    EXPECT_EQ(1, original.UseCount());
    EXPECT_EQ(destroyed, Tracked::destroyed);
}
