#pragma once

#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Lib/LibExport.h>

#include <string>
#include <vector>

namespace Quorvane {

/// Base of a plugin's annotation factory (the kinds of annotation it can draw on
/// data). Plugins without annotations register none.
class QUORVANE_LIB_EXPORT DataAnnotationFactory : private Utils::NotCopyable
{
public:
    explicit DataAnnotationFactory(std::string name);
    virtual ~DataAnnotationFactory();

    const std::string& name() const { return m_name; }
    /// Names of the annotation kinds offered. The base offers none.
    virtual std::vector<std::string> annotationTypes() const;

private:
    std::string m_name;
};

}  // namespace Quorvane
