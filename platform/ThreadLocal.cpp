#include "platform/ThreadLocal.h"

#include <pthread.h>

namespace Platform {

static_assert(sizeof(pthread_key_t) <= sizeof(unsigned), "the key must fit its member");

ThreadLocal::ThreadLocal(ThreadExitCallback on_thread_exit)
{
    pthread_key_t created{};
    valid = (::pthread_key_create(&created, on_thread_exit) == 0);
    key = static_cast<unsigned>(created);
}

ThreadLocal::~ThreadLocal()
{
    DeleteKey();
}

void* ThreadLocal::Get() const
{
    return valid ? ::pthread_getspecific(static_cast<pthread_key_t>(key)) : nullptr;
}

bool ThreadLocal::Set(void* value)
{
    return valid && ::pthread_setspecific(static_cast<pthread_key_t>(key), value) == 0;
}

void ThreadLocal::DeleteKey()
{
    if (!valid)
        return;
    valid = false;
    ::pthread_key_delete(static_cast<pthread_key_t>(key));
}

}  // namespace Platform
