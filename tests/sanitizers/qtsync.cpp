// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into the test programs of ThreadSanitizer builds only.
//
// Qt 5 is not built with ThreadSanitizer, and inside its core library it orders threads with futex-based
// mutexes the sanitizer cannot see: every hand-over between threads that Qt makes (a lock, a task given
// to the thread pool, a future's end) would look like a data race. These wrappers stand in front of Qt's
// exported functions that make such hand-overs and tell the sanitizer what they order. Calls inside Qt's
// core library bind directly and stay unseen; the reports that leaves, always inside Qt's own code, are
// suppressed by name in tsan.supp. Our own code is checked in full.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

extern "C" {
void __tsan_acquire(void* address);
void __tsan_release(void* address);
}

namespace {

template <typename Function> Function real(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (!symbol) {
        std::fprintf(stderr, "qtsync: %s not found in Qt\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

// The shared state of a future: QFutureInterfaceBase holds it right behind its virtual table, and every
// copy of a future (the task's, the caller's, a watcher's) points to the same one.
void* futureState(void* futureInterface)
{
    return *reinterpret_cast<void**>(static_cast<char*>(futureInterface) + sizeof(void*));
}

// A function handed to the pool is wrapped so that it first acquires what the starting thread released,
// keyed by the wrapper's own address, which the task knows without reading memory the starting thread
// wrote. Qt passes the std::function by reference to the caller's copy, as the ABI does for such a class.
using PoolFunction = std::function<void()>;

struct OrderedTask
{
    PoolFunction task;
    void operator()() const
    {
        __tsan_acquire(const_cast<OrderedTask*>(this));
        task();
    }
};
static_assert(sizeof(OrderedTask) > 2 * sizeof(void*), "kept on the heap: moving the function keeps the key");

PoolFunction orderedAfterStart(PoolFunction* function)
{
    PoolFunction ordered = OrderedTask{std::move(*function)};
    __tsan_release(ordered.target<OrderedTask>());
    return ordered;
}

} // namespace

#define VIMO_REAL(type, name) static const auto original = real<type>(name)
#define VIMO_EXPORT __attribute__((visibility("default")))

// The Itanium names of the Qt 5.15 functions, so no Qt header has to be bent to redefine them.
extern "C" {

// Locks: an unlock happens before the next lock of the same mutex.

// void QMutex::lock()
VIMO_EXPORT void _ZN6QMutex4lockEv(void* mutex)
{
    VIMO_REAL(void (*)(void*), "_ZN6QMutex4lockEv");
    original(mutex);
    __tsan_acquire(mutex);
}

// bool QMutex::tryLock(int)
VIMO_EXPORT bool _ZN6QMutex7tryLockEi(void* mutex, int timeout)
{
    VIMO_REAL(bool (*)(void*, int), "_ZN6QMutex7tryLockEi");
    const bool locked = original(mutex, timeout);
    if (locked)
        __tsan_acquire(mutex);
    return locked;
}

// void QMutex::unlock()
VIMO_EXPORT void _ZN6QMutex6unlockEv(void* mutex)
{
    VIMO_REAL(void (*)(void*), "_ZN6QMutex6unlockEv");
    __tsan_release(mutex);
    original(mutex);
}

// void QBasicMutex::lockInternal(): the contended path of an inline QBasicMutex::lock().
VIMO_EXPORT void _ZN11QBasicMutex12lockInternalEv(void* mutex)
{
    VIMO_REAL(void (*)(void*), "_ZN11QBasicMutex12lockInternalEv");
    original(mutex);
    __tsan_acquire(mutex);
}

// void QBasicMutex::unlockInternal(): the contended path of an inline QBasicMutex::unlock().
VIMO_EXPORT void _ZN11QBasicMutex14unlockInternalEv(void* mutex)
{
    VIMO_REAL(void (*)(void*), "_ZN11QBasicMutex14unlockInternalEv");
    __tsan_release(mutex);
    original(mutex);
}

// bool QWaitCondition::wait(QMutex*, QDeadlineTimer): unlocks the mutex while it waits.
VIMO_EXPORT bool _ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(void* condition, void* mutex,
                                                                   void* deadline)
{
    VIMO_REAL(bool (*)(void*, void*, void*), "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(mutex);
    const bool woken = original(condition, mutex, deadline);
    __tsan_acquire(mutex);
    return woken;
}

// bool QWaitCondition::wait(QMutex*, unsigned long)
VIMO_EXPORT bool _ZN14QWaitCondition4waitEP6QMutexm(void* condition, void* mutex, unsigned long time)
{
    VIMO_REAL(bool (*)(void*, void*, unsigned long), "_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(mutex);
    const bool woken = original(condition, mutex, time);
    __tsan_acquire(mutex);
    return woken;
}

// The thread pool: whatever the starting thread did before it handed a task over happens before the
// task runs.

// void QThreadPool::start(QRunnable*, int)
VIMO_EXPORT void _ZN11QThreadPool5startEP9QRunnablei(void* pool, void* runnable, int priority)
{
    VIMO_REAL(void (*)(void*, void*, int), "_ZN11QThreadPool5startEP9QRunnablei");
    __tsan_release(runnable);
    original(pool, runnable, priority);
}

// bool QThreadPool::tryStart(QRunnable*)
VIMO_EXPORT bool _ZN11QThreadPool8tryStartEP9QRunnable(void* pool, void* runnable)
{
    VIMO_REAL(bool (*)(void*, void*), "_ZN11QThreadPool8tryStartEP9QRunnable");
    __tsan_release(runnable);
    return original(pool, runnable);
}

// void QThreadPool::start(std::function<void()>, int)
VIMO_EXPORT void _ZN11QThreadPool5startESt8functionIFvvEEi(void* pool, PoolFunction* function, int priority)
{
    VIMO_REAL(void (*)(void*, PoolFunction*, int), "_ZN11QThreadPool5startESt8functionIFvvEEi");
    PoolFunction ordered = orderedAfterStart(function);
    original(pool, &ordered, priority);
}

// bool QThreadPool::tryStart(std::function<void()>)
VIMO_EXPORT bool _ZN11QThreadPool8tryStartESt8functionIFvvEE(void* pool, PoolFunction* function)
{
    VIMO_REAL(bool (*)(void*, PoolFunction*), "_ZN11QThreadPool8tryStartESt8functionIFvvEE");
    PoolFunction ordered = orderedAfterStart(function);
    return original(pool, &ordered);
}

// void QtConcurrent::ThreadEngineBase::run(): a map job's task on a pool thread (the engine is the task).
VIMO_EXPORT void _ZN12QtConcurrent16ThreadEngineBase3runEv(void* engine)
{
    VIMO_REAL(void (*)(void*), "_ZN12QtConcurrent16ThreadEngineBase3runEv");
    __tsan_acquire(engine);
    original(engine);
}

// Futures: QtConcurrent::run starts its task after reportStarted() and asks isCanceled() first thing on
// the pool thread; a future's end happens before a wait for it returns.

// void QFutureInterfaceBase::reportStarted()
VIMO_EXPORT void _ZN20QFutureInterfaceBase13reportStartedEv(void* future)
{
    VIMO_REAL(void (*)(void*), "_ZN20QFutureInterfaceBase13reportStartedEv");
    original(future);
    __tsan_release(future);
}

// bool QFutureInterfaceBase::isCanceled() const
VIMO_EXPORT bool _ZNK20QFutureInterfaceBase10isCanceledEv(void* future)
{
    VIMO_REAL(bool (*)(void*), "_ZNK20QFutureInterfaceBase10isCanceledEv");
    __tsan_acquire(future);
    return original(future);
}

// void QFutureInterfaceBase::reportFinished()
VIMO_EXPORT void _ZN20QFutureInterfaceBase14reportFinishedEv(void* future)
{
    VIMO_REAL(void (*)(void*), "_ZN20QFutureInterfaceBase14reportFinishedEv");
    __tsan_release(futureState(future));
    original(future);
}

// void QFutureInterfaceBase::waitForFinished()
VIMO_EXPORT void _ZN20QFutureInterfaceBase15waitForFinishedEv(void* future)
{
    VIMO_REAL(void (*)(void*), "_ZN20QFutureInterfaceBase15waitForFinishedEv");
    original(future);
    __tsan_acquire(futureState(future));
}

// bool QFutureInterfaceBase::isFinished() const
VIMO_EXPORT bool _ZNK20QFutureInterfaceBase10isFinishedEv(void* future)
{
    VIMO_REAL(bool (*)(void*), "_ZNK20QFutureInterfaceBase10isFinishedEv");
    const bool finished = original(future);
    if (finished)
        __tsan_acquire(futureState(future));
    return finished;
}
}
