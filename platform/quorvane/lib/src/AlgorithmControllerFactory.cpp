#include <Quorvane/Lib/AlgorithmControllerFactory.h>

namespace Quorvane {

AlgorithmControllerFactory::AlgorithmControllerFactory(std::string name) : m_name(std::move(name)) {}

AlgorithmControllerFactory::~AlgorithmControllerFactory() = default;

AlgorithmController* AlgorithmControllerFactory::createController(Algorithm* /*algorithm*/) const
{
    return nullptr;
}

std::vector<std::string> AlgorithmControllerFactory::compatibleDataControllers(const DataList& /*data*/) const
{
    return {};
}

}  // namespace Quorvane
