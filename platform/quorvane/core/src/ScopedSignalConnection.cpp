#include <Quorvane/Core/ScopedSignalConnection.h>

#include <utility>

namespace Quorvane {

ScopedSignalConnection::ScopedSignalConnection(SignalConnection connection)
    : m_connection(std::move(connection))
{
}

ScopedSignalConnection::~ScopedSignalConnection()
{
    m_connection.disconnect();
}

ScopedSignalConnection::ScopedSignalConnection(ScopedSignalConnection&& other) noexcept
    : m_connection(other.release())
{
}

ScopedSignalConnection& ScopedSignalConnection::operator=(ScopedSignalConnection&& other) noexcept
{
    if (this != &other) {
        m_connection.disconnect();
        m_connection = other.release();
    }
    return *this;
}

bool ScopedSignalConnection::disconnect()
{
    return release().disconnect();
}

SignalConnection ScopedSignalConnection::release()
{
    return std::exchange(m_connection, SignalConnection());
}

}  // namespace Quorvane
