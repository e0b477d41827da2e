#pragma once

#include <Quorvane/Lib/QuorvaneLibPlugin.h>

#include <string>
#include <vector>

namespace Quorvane {

/// The module's plugin object, identified as "Quorvane.OptiTrack". The host creates it through
/// `quorvaneCreatePlugin`, calls `initialize` once, owns it and deletes it before unloading the
/// module. Called on the host's calling thread.
class OptiTrackPlugin : public QuorvaneLibPlugin
{
public:
    OptiTrackPlugin();
    ~OptiTrackPlugin() override;

    /// "Quorvane GmbH".
    std::string vendor() const override;
    /// "Plugin for real-time streaming from OptiTrack tracking systems".
    std::string description() const override;
    /// Exactly "Quorvane.Stream".
    std::vector<std::string> dependencies() const override;
    /// Creates the controller factory, then the algorithm factory (which registers the
    /// OptiTrack stream IO algorithm), and hands both to the host (algorithm factory first, no
    /// annotation factory). Returns 0. If a factory cannot be built, those already built are
    /// destroyed, nothing is registered and the exception reaches the caller (the loader).
    int initialize() override;
};

}  // namespace Quorvane
