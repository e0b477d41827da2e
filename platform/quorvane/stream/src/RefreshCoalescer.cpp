#include <Quorvane/Stream/RefreshCoalescer.h>

#include <QMetaObject>

#include <algorithm>
#include <mutex>

namespace Quorvane {

namespace Internal {

/// What requesting threads touch; the coalescer clears `target` before it goes.
struct CoalescerGate
{
    std::atomic<bool> pending{false};
    std::mutex mutex;
    RefreshCoalescer* target = nullptr;  // guarded by mutex
};

}  // namespace Internal

RefreshCoalescer::RefreshCoalescer(std::function<void()> refresh, int maxPerSecond, QObject* parent)
    : QObject(parent),
      m_refresh(std::move(refresh)),
      m_minInterval(std::chrono::microseconds(1000000 / std::max(1, maxPerSecond))),
      m_gate(std::make_shared<Internal::CoalescerGate>())
{
    m_gate->target = this;
    m_throttle.setSingleShot(true);
    connect(&m_throttle, &QTimer::timeout, this, [this] { refreshNow(); });
}

RefreshCoalescer::~RefreshCoalescer()
{
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    m_gate->target = nullptr;
}

void RefreshCoalescer::request()
{
    m_requests.fetch_add(1, std::memory_order_relaxed);
    if (m_gate->pending.exchange(true)) {
        return;  // the call on its way will show this request too
    }
    std::lock_guard<std::mutex> lock(m_gate->mutex);
    if (m_gate->target != nullptr) {
        QMetaObject::invokeMethod(m_gate->target, "onPosted", Qt::QueuedConnection);
    }
}

void RefreshCoalescer::onPosted()
{
    const auto sinceLast = std::chrono::steady_clock::now() - m_last;
    if (sinceLast >= m_minInterval) {
        refreshNow();
    } else if (!m_throttle.isActive()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_minInterval - sinceLast);
        m_throttle.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(1, wait.count())));
    }
}

void RefreshCoalescer::refreshNow()
{
    // Cleared first, so that a request arriving during the refresh posts another one.
    m_gate->pending.store(false);
    m_last = std::chrono::steady_clock::now();
    ++m_refreshes;
    m_refresh();
}

}  // namespace Quorvane
