#include "RealTimeCounters.h"

#include <cstdlib>
#include <new>

#include <execinfo.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    #define BRISALTO_COUNT_LIBC 0
#elif defined(__has_feature)
    #if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
        #define BRISALTO_COUNT_LIBC 0
    #endif
#endif
#ifndef BRISALTO_COUNT_LIBC
    #define BRISALTO_COUNT_LIBC 1
#endif

namespace
{
    thread_local bool counting = false;
    thread_local brisalto::rtcheck::Counts counts;

    inline void noteAllocation() noexcept
    {
        if (counting)
            ++counts.allocations;
    }

#if BRISALTO_COUNT_LIBC
    inline void noteLockWait() noexcept
    {
        if (counting)
        {
            ++counts.lockWaits;
            if (std::getenv ("BRISALTO_TRACE_WAITS") != nullptr && counts.lockWaits < 4)
            {
                counting = false;
                void* frames[32];
                const int n = backtrace (frames, 32);
                backtrace_symbols_fd (frames, n, 2);
                counting = true;
            }
        }
    }
    inline void notePost() noexcept
    {
        if (counting)
            ++counts.posts;
    }
#endif

    void* allocate (std::size_t size)
    {
        noteAllocation();
        if (void* p = std::malloc (size == 0 ? 1 : size))
            return p;
        throw std::bad_alloc();
    }

    void* allocateAligned (std::size_t size, std::align_val_t alignment)
    {
        noteAllocation();
        void* p = nullptr;
        const auto align = (std::size_t) alignment < sizeof (void*) ? sizeof (void*) : (std::size_t) alignment;
        if (posix_memalign (&p, align, size == 0 ? 1 : size) != 0)
            throw std::bad_alloc();
        return p;
    }
}

namespace brisalto::rtcheck
{
    void startCounting() noexcept
    {
        counts = {};
        counting = true;
    }

    Counts stopCounting() noexcept
    {
        counting = false;
        return counts;
    }

    bool countsCAllocator() noexcept
    {
        return BRISALTO_COUNT_LIBC != 0;
    }
    bool countsLocksAndPosts() noexcept
    {
        return BRISALTO_COUNT_LIBC != 0;
    }
}

void* operator new (std::size_t size)
{
    return allocate (size);
}
void* operator new[] (std::size_t size)
{
    return allocate (size);
}
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new (std::size_t size, std::align_val_t a)
{
    return allocateAligned (size, a);
}
void* operator new[] (std::size_t size, std::align_val_t a)
{
    return allocateAligned (size, a);
}
void operator delete (void* p) noexcept
{
    std::free (p);
}
void operator delete[] (void* p) noexcept
{
    std::free (p);
}
void operator delete (void* p, std::size_t) noexcept
{
    std::free (p);
}
void operator delete[] (void* p, std::size_t) noexcept
{
    std::free (p);
}
void operator delete (void* p, std::align_val_t) noexcept
{
    std::free (p);
}
void operator delete[] (void* p, std::align_val_t) noexcept
{
    std::free (p);
}
void operator delete (void* p, std::size_t, std::align_val_t) noexcept
{
    std::free (p);
}
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept
{
    std::free (p);
}

#if BRISALTO_COUNT_LIBC
// The real functions behind the counting ones. glibc exports the lock functions' internal names
// only as compatibility versions, which a reference names explicitly.
extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);
    ssize_t __write (int, const void*, std::size_t);
    ssize_t __send (int, const void*, std::size_t, int);
    int __nanosleep (const struct timespec*, struct timespec*);
    int __sched_yield();

    int brisalto_real_mutex_lock (pthread_mutex_t*);
    int brisalto_real_rwlock_rdlock (pthread_rwlock_t*);
    int brisalto_real_rwlock_wrlock (pthread_rwlock_t*);
}
__asm__(".symver brisalto_real_mutex_lock, __pthread_mutex_lock@GLIBC_2.2.5");
__asm__(".symver brisalto_real_rwlock_rdlock, __pthread_rwlock_rdlock@GLIBC_2.2.5");
__asm__(".symver brisalto_real_rwlock_wrlock, __pthread_rwlock_wrlock@GLIBC_2.2.5");

extern "C"
{
    void* malloc (std::size_t size)
    {
        noteAllocation();
        return __libc_malloc (size);
    }
    void* calloc (std::size_t n, std::size_t size)
    {
        noteAllocation();
        return __libc_calloc (n, size);
    }
    void* realloc (void* p, std::size_t size)
    {
        noteAllocation();
        return __libc_realloc (p, size);
    }

    int pthread_mutex_lock (pthread_mutex_t* m)
    {
        noteLockWait();
        return brisalto_real_mutex_lock (m);
    }
    int pthread_rwlock_rdlock (pthread_rwlock_t* l)
    {
        noteLockWait();
        return brisalto_real_rwlock_rdlock (l);
    }
    int pthread_rwlock_wrlock (pthread_rwlock_t* l)
    {
        noteLockWait();
        return brisalto_real_rwlock_wrlock (l);
    }
    int nanosleep (const struct timespec* t, struct timespec* r)
    {
        noteLockWait();
        return __nanosleep (t, r);
    }
    int sched_yield() noexcept
    {
        noteLockWait();
        return __sched_yield();
    }

    ssize_t write (int fd, const void* data, std::size_t size)
    {
        notePost();
        return __write (fd, data, size);
    }
    ssize_t send (int fd, const void* data, std::size_t size, int flags)
    {
        notePost();
        return __send (fd, data, size, flags);
    }
}
#endif
