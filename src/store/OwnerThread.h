#pragma once

#include <QObject>

#include <functional>

// Runs `fn` on the thread that owns `context` and waits until it has run; on that thread already,
// runs it at once. Returns whether `fn` ran (false when the call could not be handed over).
//
// The caller reads what `fn` wrote once this returns, and `fn` reads what the caller wrote before.
// Qt orders both through its own event queue and semaphore inside QtCore, which a ThreadSanitizer
// build cannot see (Qt itself is not instrumented). So `fn` travels through a std::mutex of this
// code instead of inside a queued functor, and the blocking call only names a slot: the hand-over
// both ways is then visible to the sanitizer, and a real race in `fn` is still reported.
bool runOnOwnerThread(QObject* context, std::function<void()> fn);
