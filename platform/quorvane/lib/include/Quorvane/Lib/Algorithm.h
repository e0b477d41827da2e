#pragma once

#include <Quorvane/Core/Configurable.h>
#include <Quorvane/Core/SignalImpl.h>
#include <Quorvane/Lib/DataList.h>
#include <Quorvane/Lib/LibExport.h>
#include <Quorvane/Lib/OwningDataList.h>

#include <string>

namespace Quorvane {

/// Base of every algorithm: configured through Properties, run with execute(),
/// and handing its results out with takeOutput().
///
/// Status: NotExecuted (-1) until execute() ends, then Success (0) or Failure (1)
/// or another algorithm-specific value. Called on the host's calling thread.
class QUORVANE_LIB_EXPORT Algorithm : public Configurable
{
public:
    enum Status : int { NotExecuted = -1, Success = 0, Failure = 1 };

    /// What the factory that created the algorithm knows about it.
    struct FactoryInfo
    {
        std::string name;         ///< registered name, e.g. "OptiTrack.OptiTrackStream"
        std::string displayName;  ///< last piece of the display path, e.g. "OptiTrack Duo/Trio"
        DataList data;            ///< the input it was created with
    };

    Algorithm();
    ~Algorithm() override;

    void setFactoryInfo(const FactoryInfo& info) { m_factoryInfo = info; }
    const FactoryInfo& factoryInfo() const { return m_factoryInfo; }

    virtual void execute() = 0;
    /// Hands out the results; the caller owns them. The base has none.
    virtual OwningDataList takeOutput();

    /// Progress of a running execute(), from 0 to 1 (clamped); emitted on progressChanged.
    virtual void setProgress(double fraction);
    double progress() const { return m_progress; }
    virtual int status() const;
    /// Marks the algorithm as failed (status Failure) and remembers why.
    virtual void fail(const std::string& reason);
    const std::string& failureReason() const { return m_failureReason; }

    /// Emitted by setProgress() with the new fraction.
    SignalImpl<1, double> progressChanged;

protected:
    void setStatus(int status) { m_status = status; }

private:
    FactoryInfo m_factoryInfo;
    int m_status = NotExecuted;
    double m_progress = 0.0;
    std::string m_failureReason;
};

}  // namespace Quorvane
