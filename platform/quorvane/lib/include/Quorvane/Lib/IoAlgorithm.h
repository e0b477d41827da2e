#pragma once

#include <Quorvane/Core/Flags.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/LibExport.h>

#include <string>
#include <vector>

namespace Quorvane {

/// An algorithm that brings data into the host or takes it out: file readers and
/// writers, and streams (which "load" live data from a location such as a server).
class QUORVANE_LIB_EXPORT IoAlgorithm : public Algorithm
{
public:
    enum class IoMode {
        Input = 1,   ///< creates data (readers, streams)
        Output = 2,  ///< writes given data
    };
    enum class Location : unsigned {
        File = 1u << 0,
        Directory = 1u << 1,
        Network = 1u << 2,
        Device = 1u << 3,
    };

    IoAlgorithm();
    ~IoAlgorithm() override;

    /// Applies the host-wide defaults for this algorithm, if there are any: the keys
    /// "<registered name>/<key>" of the current ApplicationController's global
    /// settings become a Properties of "<key>"s, given to configure(). Nothing is
    /// configured when there is no controller, no registered name or no such key.
    virtual void configureFromGlobalSettings();

    /// Whether the output may outlive the input (an IO algorithm has no input data).
    virtual bool survivesDataDeletion() const;
    virtual IoMode ioMode() const;
    /// Lower-case extensions without the dot ("nii", "mhd"); empty for non-file IO.
    virtual std::vector<std::string> supportedFileExtensions() const;
    virtual std::string suggestedSaveFileName() const;
    /// Whether `location` can be read: by default, whether it is a file with one of
    /// supportedFileExtensions() (compared without case).
    virtual bool canLoad(const std::string& location) const;
    virtual Flags<Location> supportedLocations() const;
    virtual void setLocation(const std::string& location);
    virtual std::string location() const;

private:
    std::string m_location;
};

}  // namespace Quorvane
