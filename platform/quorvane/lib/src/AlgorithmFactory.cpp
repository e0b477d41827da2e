#include <Quorvane/Lib/AlgorithmFactory.h>

#include "IoDescriptors.h"

#include <algorithm>

namespace Quorvane {

namespace Internal {
namespace {

constexpr const char* kCategory = "AlgorithmFactory";

bool isIoPath(const std::string& displayPath)
{
    const std::vector<std::string> pieces = String::split(displayPath, ";");
    return !pieces.empty() && pieces.front() == "IO";
}

/// Runs an entry's create, turning anything thrown after construction (while the
/// algorithm configures itself) into a logged null result.
std::unique_ptr<Algorithm> createSafely(const AlgorithmFactory::Entry& entry, const DataList& data)
{
    if (!entry.valid || !entry.create) {
        return nullptr;
    }
    try {
        return entry.create(data);
    } catch (const std::exception& e) {
        QUORVANE_LOG(Log::Error, kCategory,
                     "Cannot create algorithm " << entry.displayPath << ": " << e.what());
    } catch (...) {
        QUORVANE_LOG(Log::Error, kCategory,
                     "Cannot create algorithm " << entry.displayPath << ": unknown exception");
    }
    return nullptr;
}

bool compatibleSafely(const AlgorithmFactory::Entry& entry, const DataList& data)
{
    if (!entry.valid || !entry.isCompatible) {
        return false;
    }
    try {
        return entry.isCompatible(data);
    } catch (...) {
        return false;
    }
}

}  // namespace
}  // namespace Internal

AlgorithmFactory::AlgorithmFactory(std::string name) : m_factoryName(std::move(name)) {}

AlgorithmFactory::~AlgorithmFactory() = default;

const AlgorithmFactory::Entry* AlgorithmFactory::findEntry(const std::string& name) const
{
    for (const Entry& entry : m_entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

std::string AlgorithmFactory::displayNameOf(const std::string& displayPath)
{
    const std::vector<std::string> pieces = String::split(displayPath, ";");
    return pieces.empty() ? displayPath : pieces.back();
}

AlgorithmDescriptor AlgorithmFactory::describe(const Entry& entry, const std::string& factoryName)
{
    AlgorithmDescriptor d;
    d.name = entry.name;
    d.displayPath = entry.displayPath;
    d.displayName = displayNameOf(entry.displayPath);
    d.tag = entry.tag;
    d.factoryName = factoryName;
    d.isIo = Internal::isIoPath(entry.displayPath);
    return d;
}

std::unique_ptr<Algorithm> AlgorithmFactory::instantiateAlgorithm(const std::string& name,
                                                                  const DataList& data) const
{
    for (const AlgorithmFactory* front : m_front) {
        if (std::unique_ptr<Algorithm> algorithm = front->instantiateAlgorithm(name, data)) {
            return algorithm;
        }
    }
    const Entry* entry = findEntry(name);
    return entry == nullptr ? nullptr : Internal::createSafely(*entry, data);
}

std::unique_ptr<IoAlgorithm> AlgorithmFactory::instantiateIoAlgorithm(const std::string& name,
                                                                      const DataList& data) const
{
    std::unique_ptr<Algorithm> algorithm = instantiateAlgorithm(name, data);
    if (auto* io = dynamic_cast<IoAlgorithm*>(algorithm.get())) {
        // Ownership moves to the returned pointer, which is the same object.
        static_cast<void>(algorithm.release());
        return std::unique_ptr<IoAlgorithm>(io);
    }
    return nullptr;  // not an IO algorithm: destroyed here
}

std::vector<AlgorithmDescriptor> AlgorithmFactory::compatibleDescriptors(const DataList& data) const
{
    std::vector<AlgorithmDescriptor> out;
    for (const AlgorithmFactory* front : m_front) {
        for (AlgorithmDescriptor& d : front->compatibleDescriptors(data)) {
            out.push_back(std::move(d));
        }
    }
    for (const Entry& entry : m_entries) {
        if (Internal::compatibleSafely(entry, data)) {
            out.push_back(describe(entry, m_factoryName));
        }
    }
    return out;
}

std::vector<AlgorithmDescriptor> AlgorithmFactory::compatibleIoDescriptors(const std::string& path) const
{
    std::vector<AlgorithmDescriptor> out;
    for (const AlgorithmDescriptor& d : ioAlgorithmDescriptors()) {
        const std::unique_ptr<IoAlgorithm> io = instantiateIoAlgorithm(d.name, DataList());
        bool loads = false;
        if (io) {
            try {
                loads = io->canLoad(path);
            } catch (...) {
                loads = false;
            }
        }
        if (loads) {
            out.push_back(d);
        }
    }
    return out;
}

std::vector<AlgorithmDescriptor> AlgorithmFactory::compatibleIoDescriptors(const DataList& data) const
{
    std::vector<AlgorithmDescriptor> out;
    for (AlgorithmDescriptor& d : compatibleDescriptors(data)) {
        if (d.isIo) {
            out.push_back(std::move(d));
        }
    }
    return out;
}

std::optional<AlgorithmDescriptor> AlgorithmFactory::algorithmDescriptor(const std::string& name,
                                                                         bool ioOnly) const
{
    for (const AlgorithmFactory* front : m_front) {
        if (std::optional<AlgorithmDescriptor> d = front->algorithmDescriptor(name, ioOnly)) {
            return d;
        }
    }
    const Entry* entry = findEntry(name);
    if (entry == nullptr) {
        return std::nullopt;
    }
    AlgorithmDescriptor d = describe(*entry, m_factoryName);
    if (ioOnly && !d.isIo) {
        return std::nullopt;
    }
    return d;
}

std::vector<AlgorithmDescriptor> AlgorithmFactory::algorithmDescriptors() const
{
    std::vector<AlgorithmDescriptor> out;
    for (const AlgorithmFactory* front : m_front) {
        for (AlgorithmDescriptor& d : front->algorithmDescriptors()) {
            out.push_back(std::move(d));
        }
    }
    for (const Entry& entry : m_entries) {
        out.push_back(describe(entry, m_factoryName));
    }
    return out;
}

std::vector<AlgorithmDescriptor> AlgorithmFactory::ioAlgorithmDescriptors() const
{
    return Internal::ioDescriptors(algorithmDescriptors());
}

bool AlgorithmFactory::consults(const AlgorithmFactory* other) const
{
    for (const AlgorithmFactory* front : m_front) {
        if (front == other || front->consults(other)) {
            return true;
        }
    }
    return false;
}

bool AlgorithmFactory::addAlgorithmFactoryToFront(AlgorithmFactory* other)
{
    if (other == nullptr || other == this || other->consults(this)) {
        QUORVANE_LOG(Log::Warning, Internal::kCategory,
                     "Refused to consult factory '"
                         << (other != nullptr ? other->factoryName() : std::string("null")) << "' from '"
                         << m_factoryName << "': null, itself, or it already consults this one");
        return false;
    }
    m_front.insert(m_front.begin(), other);
    return true;
}

}  // namespace Quorvane
