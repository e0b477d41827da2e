#pragma once

#include <Quorvane/Core/SignalReceiver.h>
#include <Quorvane/Lib/OwningDataList.h>
#include <Quorvane/Stream/StreamExport.h>

#include <string>

namespace Quorvane {

class Stream;

/// The stream side of an algorithm that creates a stream: where the stream is, and how it is
/// handed to the host.
///
/// Ownership: the derived algorithm holds its current stream and owns it until the host takes it
/// with takeOutput(); from then on `outputTaken()` is true and the algorithm must not destroy it.
/// A stream is handed out at most once: a second takeOutput() gives an empty list.
/// The base destroys nothing (its destructor cannot reach the derived class's stream), so a
/// derived class that holds a stream destroys one that was not handed out in its own destructor,
/// e.g. by calling its clearStream().
class QUORVANE_STREAM_EXPORT StreamAlgorithmBase : public SignalReceiver
{
public:
    StreamAlgorithmBase();
    ~StreamAlgorithmBase() override;
    StreamAlgorithmBase(const StreamAlgorithmBase&) = delete;
    StreamAlgorithmBase& operator=(const StreamAlgorithmBase&) = delete;

    /// The stream the algorithm currently holds (handed out or not), or null. The base holds none.
    virtual Stream* currentStream() const;
    /// The group under which the host lists the output; "Streams".
    virtual std::string dataGroup() const;
    /// Hands the current stream to the caller: takeOutput(currentStream()).
    virtual OwningDataList takeOutput();
    /// Drops the current stream (destroying it unless it was handed out) and clears
    /// `outputTaken`. The base holds no stream and only clears the flag.
    virtual void clearStream();

    /// Whether the current stream has been handed out.
    bool outputTaken() const { return m_outputTaken; }

protected:
    /// Wraps `stream` into an owning list for the caller and sets `outputTaken`. Gives an empty
    /// list, and changes nothing, when `stream` is null or the output was already taken.
    OwningDataList takeOutput(Stream* stream);
    void setOutputTaken(bool taken) { m_outputTaken = taken; }

private:
    bool m_outputTaken = false;
};

}  // namespace Quorvane
