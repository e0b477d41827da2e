// A value that can be reached only with its mutex held: lock() returns an
// accessor that owns the lock for as long as it lives. The lock owns the data,
// so no code path can read it unlocked by forgetting a lock_guard.
#pragma once

#include <mutex>
#include <utility>

namespace NatNet::Net {

template <typename T>
class Guarded
{
public:
    template <typename U>
    class Access
    {
    public:
        Access(std::mutex& mutex, U& value) : m_lock(mutex), m_value(value) {}
        U* operator->() const { return &m_value; }
        U& operator*() const { return m_value; }

    private:
        std::unique_lock<std::mutex> m_lock;
        U& m_value;
    };

    template <typename... Args>
    explicit Guarded(Args&&... args) : m_value(std::forward<Args>(args)...)
    {
    }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    Guarded(Guarded&&) = delete;
    Guarded& operator=(Guarded&&) = delete;
    ~Guarded() = default;

    Access<T> lock() { return Access<T>(m_mutex, m_value); }
    Access<const T> lock() const { return Access<const T>(m_mutex, m_value); }

private:
    mutable std::mutex m_mutex;
    T m_value;
};

}  // namespace NatNet::Net
