#include <Quorvane/Stream/StreamAlgorithmBase.h>

#include <Quorvane/Stream/Stream.h>

#include <memory>

namespace Quorvane {

StreamAlgorithmBase::StreamAlgorithmBase() = default;
StreamAlgorithmBase::~StreamAlgorithmBase() = default;

Stream* StreamAlgorithmBase::currentStream() const
{
    return nullptr;
}

std::string StreamAlgorithmBase::dataGroup() const
{
    return "Streams";
}

OwningDataList StreamAlgorithmBase::takeOutput()
{
    return takeOutput(currentStream());
}

void StreamAlgorithmBase::clearStream()
{
    m_outputTaken = false;
}

OwningDataList StreamAlgorithmBase::takeOutput(Stream* stream)
{
    // Handing the same stream out twice would give it two owners.
    if (!stream || m_outputTaken) {
        return OwningDataList();
    }
    m_outputTaken = true;
    return OwningDataList(std::unique_ptr<Data>(stream));
}

}  // namespace Quorvane
