#include "store/OwnerThread.h"

#include <QMetaObject>
#include <QThread>

#include <memory>
#include <mutex>

namespace {

// One call on its way to the owning thread: the function in, whether it ran out, both under the lock.
class OwnerThreadCall : public QObject {
    Q_OBJECT
public:
    explicit OwnerThreadCall(std::function<void()> fn) {
        std::lock_guard lock(m_mutex);
        m_fn = std::move(fn);
    }
    // The caller's last look at `ran` is ordered before the memory goes.
    ~OwnerThreadCall() override { std::lock_guard lock(m_mutex); }

    Q_INVOKABLE void run() {
        std::function<void()> fn;
        {
            std::lock_guard lock(m_mutex);
            fn = std::move(m_fn);
        }
        fn();
        std::lock_guard lock(m_mutex);
        m_ran = true;
    }
    bool ran() const {
        std::lock_guard lock(m_mutex);
        return m_ran;
    }

private:
    mutable std::mutex m_mutex;
    std::function<void()> m_fn;
    bool m_ran = false;
};

} // namespace

bool runOnOwnerThread(QObject* context, std::function<void()> fn) {
    if (QThread::currentThread() == context->thread()) {
        fn();
        return true;
    }
    // Made here and handed to the owning thread; once the blocking call has returned that thread
    // has left the slot and the event that carried it, so the object is deleted here.
    auto call = std::make_unique<OwnerThreadCall>(std::move(fn));
    call->moveToThread(context->thread());
    const bool handed = QMetaObject::invokeMethod(call.get(), "run", Qt::BlockingQueuedConnection);
    return handed && call->ran();
}

#include "OwnerThread.moc"
