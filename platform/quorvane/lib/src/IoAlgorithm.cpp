#include <Quorvane/Lib/IoAlgorithm.h>

#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/String.h>
#include <Quorvane/Lib/ApplicationController.h>
namespace Quorvane {

IoAlgorithm::IoAlgorithm() = default;

IoAlgorithm::~IoAlgorithm() = default;

void IoAlgorithm::configureFromGlobalSettings()
{
    const ApplicationController* controller = ApplicationController::current();
    const std::string& name = factoryInfo().name;
    if (controller == nullptr || name.empty()) {
        return;
    }
    const Properties& global = controller->globalSettings();
    const std::string prefix = name + "/";
    Properties defaults(name);
    for (const std::string& key : global.keys()) {
        if (String::startsWith(key, prefix) && key.size() > prefix.size()) {
            defaults.setValue(key.substr(prefix.size()), *global.value(key));
        }
    }
    if (!defaults.empty()) {
        configure(&defaults);
    }
}

bool IoAlgorithm::survivesDataDeletion() const
{
    return true;
}

IoAlgorithm::IoMode IoAlgorithm::ioMode() const
{
    return IoMode::Input;
}

std::vector<std::string> IoAlgorithm::supportedFileExtensions() const
{
    return {};
}

std::string IoAlgorithm::suggestedSaveFileName() const
{
    return {};
}

bool IoAlgorithm::canLoad(const std::string& location) const
{
    const std::size_t dot = location.rfind('.');
    const std::size_t slash = location.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot + 1 == location.size()) {
        return false;
    }
    const std::string extension = String::lowerCase(location.substr(dot + 1));
    for (const std::string& supported : supportedFileExtensions()) {
        if (String::lowerCase(supported) == extension) {
            return true;
        }
    }
    return false;
}

Flags<IoAlgorithm::Location> IoAlgorithm::supportedLocations() const
{
    return {};
}

void IoAlgorithm::setLocation(const std::string& location)
{
    m_location = location;
}

std::string IoAlgorithm::location() const
{
    return m_location;
}

}  // namespace Quorvane
