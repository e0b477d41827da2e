#pragma once

#include <Quorvane/Lib/LibExport.h>

namespace Quorvane {

class Algorithm;

/// Non-Qt base of algorithm panels. The host creates a panel through an
/// AlgorithmControllerFactory, owns it, and calls init() once before showing it.
class QUORVANE_LIB_EXPORT AlgorithmController
{
public:
    explicit AlgorithmController(Algorithm* algorithm = nullptr);
    AlgorithmController(const AlgorithmController&) = delete;
    AlgorithmController& operator=(const AlgorithmController&) = delete;
    virtual ~AlgorithmController();

    /// Second construction step, after the panel has its place in the host.
    virtual void init();
    /// The algorithm the panel controls (not owned; may be null).
    Algorithm* algorithm() const { return m_algorithm; }

private:
    Algorithm* m_algorithm;
};

}  // namespace Quorvane
