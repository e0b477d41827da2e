#include <Quorvane/Lib/Algorithm.h>

#include <algorithm>

namespace Quorvane {

Algorithm::Algorithm() = default;

Algorithm::~Algorithm() = default;

OwningDataList Algorithm::takeOutput()
{
    return OwningDataList();
}

void Algorithm::setProgress(double fraction)
{
    m_progress = fraction >= 0.0 ? std::min(fraction, 1.0) : 0.0;  // NaN reads as 0
    progressChanged.emitSignal(m_progress);
}

int Algorithm::status() const
{
    return m_status;
}

void Algorithm::fail(const std::string& reason)
{
    m_status = Failure;
    m_failureReason = reason;
}

}  // namespace Quorvane
