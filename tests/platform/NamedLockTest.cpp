#include <gtest/gtest.h>

#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/NamedLock.h"

using Platform::NamedLock;

namespace {

// A forked child that takes the lock, reports through a pipe, and holds it
// until the test lets it go (it then ends without releasing).
class ChildHolder {
public:
    explicit ChildHolder(const std::string& name)
    {
        int report[2];
        int release[2];
        if (::pipe(report) != 0 || ::pipe(release) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            ::close(release[1]);
            NamedLock lock;
            const char held = lock.TryAcquire(name) ? 'y' : 'n';
            ssize_t ignored = ::write(report[1], &held, 1);
            char any;
            ignored = ::read(release[0], &any, 1);  // ends when the parent closes
            (void)ignored;
            ::_exit(0);
        }
        ::close(report[1]);
        ::close(release[0]);
        char held = 'n';
        took_lock = pid > 0 && ::read(report[0], &held, 1) == 1 && held == 'y';
        ::close(report[0]);
        release_fd = release[1];
    }
    ~ChildHolder() { End(); }

    // Lets the child end and waits for it.
    void End()
    {
        if (release_fd >= 0)
            ::close(release_fd);
        release_fd = -1;
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    bool took_lock = false;

private:
    pid_t pid = -1;
    int release_fd = -1;
};

class NamedLockTest : public ::testing::Test {
protected:
    const std::string name = "GenTesk3d.test." + std::to_string(::getpid());
};

}  // namespace

TEST_F(NamedLockTest, NameHeldByAnotherProcessIsRefusedUntilThatProcessEnds)
{
    ChildHolder child(name);
    ASSERT_TRUE(child.took_lock);
    NamedLock lock;
    EXPECT_FALSE(lock.TryAcquire(name));
    child.End();
    EXPECT_TRUE(lock.TryAcquire(name));
}

TEST_F(NamedLockTest, NameHeldHereIsRefusedToAnotherProcess)
{
    NamedLock lock;
    ASSERT_TRUE(lock.TryAcquire(name));
    ChildHolder child(name);
    EXPECT_FALSE(child.took_lock);
    child.End();
    lock.Release();
    ChildHolder later(name);
    EXPECT_TRUE(later.took_lock);
}

// 108 bytes of socket path, one taken by the abstract-namespace marker.
TEST_F(NamedLockTest, NameOfUpTo107BytesIsHeldByOneLockInTheProcess)
{
    const std::string longest = name + std::string(107 - name.size(), 'x');
    NamedLock first;
    NamedLock second;
    EXPECT_FALSE(first.TryAcquire(""));
    EXPECT_FALSE(first.TryAcquire(longest + "y"));
    EXPECT_FALSE(first.IsHeld());
    EXPECT_TRUE(first.TryAcquire(longest));
    EXPECT_FALSE(second.TryAcquire(longest));
    first.Release();
    EXPECT_TRUE(second.TryAcquire(longest));
}
