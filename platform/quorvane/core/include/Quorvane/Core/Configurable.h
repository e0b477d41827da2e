#pragma once

#include <Quorvane/Core/CoreExport.h>

namespace Quorvane {

class Properties;

/// Something whose settings travel in Properties. Every function accepts a null
/// pointer and then does nothing.
class QUORVANE_CORE_EXPORT Configurable
{
public:
    virtual ~Configurable();
    /// Reads the settings it knows from `properties`; absent keys leave settings as they are.
    virtual void configure(const Properties* properties);
    /// Writes the current settings into `properties`.
    virtual void configuration(Properties* properties) const;
    /// Puts the settings back to their defaults. The base has none and does nothing.
    virtual void configureDefaults();
};

}  // namespace Quorvane
