#pragma once

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/NotCopyable.h>
#include <Quorvane/Core/Properties.h>
#include <Quorvane/Core/String.h>
#include <Quorvane/Lib/Algorithm.h>
#include <Quorvane/Lib/AlgorithmDescriptor.h>
#include <Quorvane/Lib/DataList.h>
#include <Quorvane/Lib/IoAlgorithm.h>
#include <Quorvane/Lib/LibExport.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace Quorvane {

/// Base of every plugin's algorithm factory: a registry of algorithms by name,
/// filled by registerAlgorithm<T>() (usually in the subclass's constructor), and the
/// host's queries over it. Called on the host's calling thread; not thread-safe.
///
/// Queries for a name no entry has answer "nothing" (empty list, nullopt, nullptr);
/// no query throws.
class QUORVANE_LIB_EXPORT AlgorithmFactory : private Utils::NotCopyable
{
public:
    /// One registered algorithm.
    struct Entry
    {
        std::string name;         ///< registered name, already prefixed with the factory's name
        std::string displayPath;  ///< ";"-separated; its last piece is the display name
        std::int32_t tag = 0;
        bool valid = false;
        std::function<std::unique_ptr<Algorithm>(const DataList&)> create;
        std::function<bool(const DataList&)> isCompatible;
    };

    explicit AlgorithmFactory(std::string name);
    virtual ~AlgorithmFactory();

    // The host's queries.

    /// Creates the algorithm registered as `name` for `data`; nullptr when there is no
    /// such entry, the data is not accepted or creation failed (logged).
    virtual std::unique_ptr<Algorithm> instantiateAlgorithm(const std::string& name,
                                                            const DataList& data) const;
    /// The same, but only when the created algorithm is an IoAlgorithm.
    virtual std::unique_ptr<IoAlgorithm> instantiateIoAlgorithm(const std::string& name,
                                                                const DataList& data) const;
    /// Descriptors of the algorithms whose isCompatible accepts `data`, in registration order.
    virtual std::vector<AlgorithmDescriptor> compatibleDescriptors(const DataList& data) const;
    /// Descriptors of the IO algorithms that can load `path` (each is created once,
    /// with no data, to ask its canLoad()).
    virtual std::vector<AlgorithmDescriptor> compatibleIoDescriptors(const std::string& path) const;
    /// Descriptors of the IO algorithms that accept `data`.
    virtual std::vector<AlgorithmDescriptor> compatibleIoDescriptors(const DataList& data) const;
    /// The descriptor of `name`; with `ioOnly`, only if it is an IO algorithm.
    virtual std::optional<AlgorithmDescriptor> algorithmDescriptor(const std::string& name,
                                                                   bool ioOnly) const;
    virtual std::vector<AlgorithmDescriptor> algorithmDescriptors() const;
    virtual std::vector<AlgorithmDescriptor> ioAlgorithmDescriptors() const;
    /// Makes the queries consult `other` first, before this factory's own entries (the
    /// most recently added first). Not owned: `other` must outlive this factory. Refused
    /// (level 3, false) for null, this factory itself, or a factory that already
    /// consults this one (a cycle).
    virtual bool addAlgorithmFactoryToFront(AlgorithmFactory* other);

    // The registry.

    const std::string& factoryName() const { return m_factoryName; }
    const std::vector<Entry>& entries() const { return m_entries; }
    const std::unordered_map<std::type_index, std::string>& typeNames() const { return m_typeNames; }
    /// The entry named `name` (already prefixed), or nullptr.
    const Entry* findEntry(const std::string& name) const;
    /// The registered name of the algorithm class T, or empty.
    template <class T>
    std::string registeredName() const
    {
        const auto it = m_typeNames.find(std::type_index(typeid(T)));
        return it == m_typeNames.end() ? std::string() : it->second;
    }

    /// The descriptor of an entry of a factory called `factoryName`.
    static AlgorithmDescriptor describe(const Entry& entry, const std::string& factoryName);
    /// Last piece of a display path, or the whole path when it has no pieces.
    static std::string displayNameOf(const std::string& displayPath);

    /// Registers the algorithm class T under `name` (prefixed with "<factory name>.",
    /// unless the factory's name is empty). A name registered before is refused with
    /// a level-3 message "Algorithm already registered: <name>" (category
    /// "AlgorithmFactory"). `properties`, if given, are copied and handed to every new
    /// algorithm's configure().
    template <class T>
    void registerAlgorithm(const std::string& name, const std::string& displayPath, int tag,
                           const Properties* properties = nullptr);

private:
    bool consults(const AlgorithmFactory* other) const;

    std::string m_factoryName;
    std::vector<Entry> m_entries;
    std::unordered_map<std::type_index, std::string> m_typeNames;
    /// Factories consulted before this one; see addAlgorithmFactoryToFront().
    std::vector<AlgorithmFactory*> m_front;
};

template <class T>
void AlgorithmFactory::registerAlgorithm(const std::string& name, const std::string& displayPath, int tag,
                                         const Properties* properties)
{
    static_assert(std::is_base_of<Algorithm, T>::value, "registerAlgorithm<T>: T must be an Algorithm");

    std::string fullName = name;
    if (!m_factoryName.empty()) {
        fullName = m_factoryName + "." + name;
    }

    for (const Entry& entry : m_entries) {
        if (entry.name == fullName) {
            if (Log::g_globalLevel <= Log::Warning && Log::isAccepted(Log::Warning, "AlgorithmFactory")) {
                std::ostringstream message;
                message << "Algorithm already registered: " << fullName;
                Log::log(Log::Warning, "AlgorithmFactory", message.str(), "", -1);
            }
            return;
        }
    }

    Entry entry;
    entry.name = fullName;
    entry.displayPath = displayPath;
    entry.tag = tag;
    entry.valid = true;

    std::shared_ptr<const Properties> ownProperties;
    if (properties != nullptr) {
        ownProperties = std::make_shared<const Properties>(*properties);
    }
    entry.create = [createdName = fullName, createdPath = displayPath,
                    ownProperties](const DataList& data) -> std::unique_ptr<Algorithm> {
        if (!data.empty()) {
            return nullptr;
        }
        std::unique_ptr<T> algorithm;
        try {
            algorithm = std::make_unique<T>();
        } catch (const std::exception& e) {
            if (Log::g_globalLevel <= Log::Error && Log::isAccepted(Log::Error, "")) {
                std::ostringstream message;
                message << "Cannot create algorithm " << createdPath << ": " << e.what();
                Log::log(Log::Error, "", message.str(), "", -1);
            }
            return nullptr;
        }

        const std::vector<std::string> pieces = String::split(createdPath, ";");
        Algorithm::FactoryInfo info;
        info.name = createdName;
        info.displayName = pieces.empty() ? createdPath : pieces.back();
        info.data = data;
        algorithm->setFactoryInfo(info);

        if (auto* io = dynamic_cast<IoAlgorithm*>(algorithm.get())) {
            io->configureFromGlobalSettings();
        }
        if (ownProperties) {
            algorithm->configure(ownProperties.get());
        }
        return algorithm;
    };
    entry.isCompatible = [](const DataList& data) { return data.empty(); };

    m_entries.push_back(std::move(entry));
    m_typeNames[std::type_index(typeid(T))] = fullName;
}

}  // namespace Quorvane
