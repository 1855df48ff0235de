// SmartPointers.h: SharedPtr, the framework's reference-counted owning pointer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>

#include "platform/Assert.h"

namespace GenTLCore {

// How a SharedPtr frees its object: plain delete, except for byte blocks,
// which are taken with malloc.
template <class T>
struct SharedPtrDeleter {
    static void Delete(T* object) { delete object; }
};

template <>
struct SharedPtrDeleter<unsigned char> {
    static void Delete(unsigned char* block) { std::free(block); }
};

// Shares one object among its copies; the last copy to go deletes it, on
// whichever thread that happens. The count lives in its own heap block, which
// every non-copying constructor allocates (also for an empty pointer), so no
// path ever tests the count for null.
//
// Threads: the count changes atomically, so copies may be taken and dropped
// on any thread. One SharedPtr variable is not itself thread-safe: guard a
// variable that one thread assigns while another reads it. The object is not
// protected by the pointer.
//
// Get(), -> and * assert "pointer != NULL" on an empty pointer; test an
// optional pointer with its bool conversion first (* on an empty pointer is
// undefined behind the assertion).
template <class T>
class SharedPtr {
public:
    using Count = std::atomic<int32_t>;

    // Throws std::bad_alloc when the count cannot be allocated.
    SharedPtr() : pointer(nullptr), count(NewCount(nullptr)) {}

    // Takes ownership. When the count cannot be allocated the object is
    // deleted before std::bad_alloc leaves, so it is never lost.
    explicit SharedPtr(T* object) : pointer(object), count(NewCount(object)) {}

    SharedPtr(const SharedPtr& other) : pointer(other.pointer), count(other.count)
    {
        count->fetch_add(1);
    }

    // The source's count is raised before the old share goes, so assigning
    // a pointer to itself keeps the object alive.
    SharedPtr& operator=(const SharedPtr& other)
    {
        other.count->fetch_add(1);
        T* old_pointer = pointer;
        Count* old_count = count;
        pointer = other.pointer;
        count = other.count;
        Release(old_pointer, old_count);
        return *this;
    }

    ~SharedPtr() { Release(pointer, count); }

    // Leaves this pointer empty with a count of its own.
    void Reset() { *this = SharedPtr(); }
    void Reset(T* object) { *this = SharedPtr(object); }

    T* Get() const
    {
        TL_ASSERT(pointer != NULL);
        return pointer;
    }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }

    explicit operator bool() const { return pointer != nullptr; }

    // Number of SharedPtr values sharing this object (or this empty count).
    int32_t UseCount() const { return count->load(); }

    // Converts by run-time type. On success the result shares this object's
    // count; otherwise it is an empty pointer and this count is untouched.
    template <class U>
    SharedPtr<U> DynamicCast() const
    {
        // The result may delete the object as a U.
        static_assert(std::is_same_v<U, T> || std::has_virtual_destructor_v<U>,
                      "DynamicCast target must have a virtual destructor");
        U* converted = dynamic_cast<U*>(pointer);
        if (converted == nullptr)
            return SharedPtr<U>();
        return SharedPtr<U>(converted, count);
    }

private:
    template <class U>
    friend class SharedPtr;

    // Joins an existing share: used by DynamicCast.
    SharedPtr(T* object, Count* shared_count) : pointer(object), count(shared_count)
    {
        count->fetch_add(1);
    }

    static Count* NewCount(T* object)
    {
        try {
            return new Count(1);
        } catch (const std::bad_alloc&) {
            if (object != nullptr)
                SharedPtrDeleter<T>::Delete(object);
            throw;
        }
    }

    static void Release(T* object, Count* share) noexcept
    {
        if (share->fetch_sub(1) != 1)
            return;
        if (object != nullptr)
            SharedPtrDeleter<T>::Delete(object);
        delete share;
    }

    T* pointer;
    Count* count;
};

}  // namespace GenTLCore
