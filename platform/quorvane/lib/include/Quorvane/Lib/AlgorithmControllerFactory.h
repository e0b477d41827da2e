#pragma once

#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Lib/LibExport.h>

#include <string>
#include <vector>

namespace Quorvane {

class Algorithm;
class AlgorithmController;
class DataList;

/// Base of a plugin's controller factory: makes panels for algorithms it knows.
/// Called on the host's user-interface thread.
class QUORVANE_LIB_EXPORT AlgorithmControllerFactory : private Utils::NotCopyable
{
public:
    explicit AlgorithmControllerFactory(std::string name);
    virtual ~AlgorithmControllerFactory();

    const std::string& name() const { return m_name; }

    /// A new panel for `algorithm`, or nullptr when this factory has none for it (or
    /// `algorithm` is null). The caller owns the panel. The base has none.
    virtual AlgorithmController* createController(Algorithm* algorithm) const;
    /// Names of the data panels this factory offers for `data`. The base offers none.
    virtual std::vector<std::string> compatibleDataControllers(const DataList& data) const;

private:
    std::string m_name;
};

}  // namespace Quorvane
