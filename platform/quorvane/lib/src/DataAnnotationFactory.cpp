#include <Quorvane/Lib/DataAnnotationFactory.h>

namespace Quorvane {

DataAnnotationFactory::DataAnnotationFactory(std::string name) : m_name(std::move(name)) {}

DataAnnotationFactory::~DataAnnotationFactory() = default;

std::vector<std::string> DataAnnotationFactory::annotationTypes() const
{
    return {};
}

}  // namespace Quorvane
