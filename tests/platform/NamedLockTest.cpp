// NamedLock: one holder per name across processes; the name goes with its
// holder's process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/NamedLock.h"

using Platform::NamedLock;

namespace {

// A forked child that tries the name, reports through a pipe, and keeps
// whatever it took until End() (it then ends without releasing).
class ChildHolder {
public:
    explicit ChildHolder(const std::string& name)
    {
        int report[2];
        if (::pipe(report) != 0 || ::pipe(release) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::close(release[1]);  // else the parent's close would never reach the read
            NamedLock lock;
            const char held = lock.TryAcquire(name) ? 'y' : 'n';
            char any;
            if (::write(report[1], &held, 1) == 1 && ::read(release[0], &any, 1) >= 0) ::_exit(0);
            ::_exit(1);
        }
        ::close(report[1]);
        ::close(release[0]);
        char held = 'n';
        took_lock = pid > 0 && ::read(report[0], &held, 1) == 1 && held == 'y';
        ::close(report[0]);
    }
    ~ChildHolder() { End(); }

    // Lets the child end and waits for it.
    void End()
    {
        if (pid <= 0) return;
        ::close(release[1]);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    bool took_lock = false;

private:
    int release[2] = {-1, -1};
    pid_t pid = -1;
};

TEST(NamedLockTest, NameIsRefusedToAnotherProcessUntilItsHolderReleasesOrEnds)
{
    const std::string name = "GenTesk3d.test." + std::to_string(::getpid());
    ChildHolder child(name);
    ASSERT_TRUE(child.took_lock);
    NamedLock lock;
    EXPECT_FALSE(lock.TryAcquire(name));
    child.End();
    EXPECT_TRUE(lock.TryAcquire(name));
    EXPECT_FALSE(ChildHolder(name).took_lock);
    lock.Release();
    EXPECT_TRUE(ChildHolder(name).took_lock);
}

// 108 bytes of socket path, one taken by the abstract-namespace marker.
TEST(NamedLockTest, NameOfOneTo107BytesIsHeldByOneLockInTheProcess)
{
    const std::string name = "GenTesk3d.test." + std::to_string(::getpid());
    const std::string longest = name + std::string(107 - name.size(), 'x');
    NamedLock first;
    NamedLock second;
    EXPECT_FALSE(first.TryAcquire(""));
    EXPECT_FALSE(first.TryAcquire(longest + "y"));
    EXPECT_TRUE(first.TryAcquire(longest));
    EXPECT_FALSE(first.TryAcquire(name));
    EXPECT_FALSE(second.TryAcquire(longest));
    first.Release();
    EXPECT_TRUE(second.TryAcquire(longest));
}

}  // namespace
