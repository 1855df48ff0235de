#include "platform/NamedLock.h"

#include <cstddef>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Platform {

// The name is bound as a Unix socket in the abstract namespace: the kernel
// refuses a second bind of the same name and drops it when the last
// descriptor closes, also when the holder dies.
bool NamedLock::TryAcquire(const std::string& name)
{
    sockaddr_un address{};
    // One byte for the leading zero that selects the abstract namespace.
    if (IsHeld() || name.empty() || name.size() + 1 > sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return false;
    }
    descriptor = fd;
    return true;
}

void NamedLock::Release()
{
    if (!IsHeld())
        return;
    ::close(descriptor);
    descriptor = -1;
}

}  // namespace Platform
