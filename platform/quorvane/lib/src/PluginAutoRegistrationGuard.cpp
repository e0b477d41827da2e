#include <Quorvane/Lib/PluginAutoRegistrationGuard.h>

#include <algorithm>
#include <mutex>

namespace Quorvane {

namespace Internal {
namespace {

struct GuardRegistry
{
    std::mutex mutex;
    std::vector<PluginAutoRegistrationGuard::Record> records;
};

/// Never destroyed: guards of modules unloaded at process exit unregister late.
GuardRegistry& registry()
{
    static GuardRegistry* r = new GuardRegistry();
    return *r;
}

std::string readIdentifier(PluginAutoRegistrationGuard::IdentifierFunction function)
{
    if (function == nullptr) {
        return {};
    }
    try {
        const char* id = function();
        return id == nullptr ? std::string() : std::string(id);
    } catch (...) {
        return {};  // static initialisation must not throw; the loader reports the empty text
    }
}

}  // namespace
}  // namespace Internal

PluginAutoRegistrationGuard::PluginAutoRegistrationGuard(IdentifierFunction identifierFunction)
    : m_function(identifierFunction), m_identifier(Internal::readIdentifier(identifierFunction))
{
    Internal::GuardRegistry& r = Internal::registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.records.push_back(Record{this, m_function, m_identifier});
}

PluginAutoRegistrationGuard::~PluginAutoRegistrationGuard()
{
    Internal::GuardRegistry& r = Internal::registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.records.erase(std::remove_if(r.records.begin(), r.records.end(),
                                   [this](const Record& record) { return record.guard == this; }),
                    r.records.end());
}

std::vector<PluginAutoRegistrationGuard::Record> PluginAutoRegistrationGuard::registered()
{
    Internal::GuardRegistry& r = Internal::registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.records;
}

}  // namespace Quorvane
