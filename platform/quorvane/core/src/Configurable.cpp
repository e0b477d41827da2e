#include <Quorvane/Core/Configurable.h>

namespace Quorvane {

Configurable::~Configurable() = default;

void Configurable::configure(const Properties* /*properties*/) {}

void Configurable::configuration(Properties* /*properties*/) const {}

void Configurable::configureDefaults() {}

}  // namespace Quorvane
