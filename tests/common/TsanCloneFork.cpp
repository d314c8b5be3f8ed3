// Linked into every test program of a ThreadSanitizer build (VESTRAL_SANITIZE=thread), nowhere else.
//
// QProcess (Qt 6.4, forkfd with pidfd) starts a child with clone(CLONE_VM | CLONE_VFORK): the child
// runs in the parent's memory until it execs. GCC 12's ThreadSanitizer intercepts clone() as if it
// were fork(): it raises the calling thread's "ignore interceptors" count before the call and lowers
// it once in the child and once in the parent. With CLONE_VM both lowerings hit the same thread
// state, so each QProcess start leaves the calling thread one below zero. From then on every
// interceptor on that thread is skipped, pthread_mutex_lock among them: the thread's locks are
// invisible, and each access it makes under a lock is reported as a race against the other threads
// (the modem simulator's queue, written by inject() under its mutex, was the first to show it).
//
// Without CLONE_VM and CLONE_VFORK the child is an ordinary copy of the process, which the
// interceptor handles correctly; QProcess learns of a failed exec through its own pipe either way.
#include <cstdarg>
#include <sched.h>
#include <sys/types.h>

extern "C" int __interceptor_clone(int (*fn)(void*), void* stack, int flags, void* arg, ...);

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) noexcept {
    va_list rest;
    va_start(rest, arg);
    auto* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    auto* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    if ((flags & CLONE_VM) && !(flags & CLONE_THREAD))
        flags &= ~(CLONE_VM | CLONE_VFORK);
    return __interceptor_clone(fn, stack, flags, arg, parentTid, tls, childTid);
}
