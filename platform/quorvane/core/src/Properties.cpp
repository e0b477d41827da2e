#include <Quorvane/Core/Properties.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/NumberText.h>

#include <climits>
#include <cmath>
#include <limits>
#include <sstream>

namespace Quorvane {

namespace Internal {
namespace {

/// Strict decimal integer: optional '-' or '+', then digits only, nothing else.
bool parseInteger(const std::string& text, long long& out)
{
    const std::optional<long long> value = NumberText::parseInteger<long long>(text);
    if (value) {
        out = *value;
    }
    return value.has_value();
}

/// Strict finite number, the whole text, read the same in every locale.
bool parseDouble(const std::string& text, double& out)
{
    const std::optional<double> value = NumberText::parseDouble(text);
    if (value) {
        out = *value;
    }
    return value.has_value();
}

bool parseBool(const std::string& text, bool& out)
{
    if (text == "true" || text == "1") {
        out = true;
        return true;
    }
    if (text == "false" || text == "0") {
        out = false;
        return true;
    }
    return false;
}

/// A double that is a whole number within [lo, hi].
bool integralInRange(double v, long long lo, long long hi, long long& out)
{
    if (!std::isfinite(v) || std::floor(v) != v || v < static_cast<double>(lo) ||
        v > static_cast<double>(hi)) {
        return false;
    }
    out = static_cast<long long>(v);
    return true;
}

std::string describeValue(const Properties::Value& value)
{
    std::ostringstream s;
    switch (value.index()) {
        case 0:
            s << (std::get<bool>(value) ? "true" : "false");
            break;
        case 1:
            s << std::get<int>(value);
            break;
        case 2:
            s << std::get<unsigned short>(value);
            break;
        case 3:
            s << std::get<double>(value);
            break;
        default:
            s << '"' << std::get<std::string>(value) << '"';
            break;
    }
    s << " (" << Properties::typeName(Properties::typeOf(value)) << ')';
    return s.str();
}

void reportUnreadable(const Properties& properties, const std::string& key, const Properties::Value& value,
                      const char* wanted)
{
    if (Log::g_globalLevel <= 3 && Log::isAccepted(3, "Properties")) {
        std::ostringstream message;
        message << "Parameter '" << key << "'";
        if (!properties.name().empty()) {
            message << " of '" << properties.name() << "'";
        }
        message << ": the value " << describeValue(value) << " cannot be read as " << wanted;
        Log::log(3, "Properties", message.str(), "", -1);
    }
}

/// Reads an integral target type [lo, hi] from any stored value, by the table.
bool toInteger(const Properties::Value& value, long long lo, long long hi, long long& out)
{
    long long v = 0;
    switch (value.index()) {
        case 1:
            v = std::get<int>(value);
            break;
        case 2:
            v = std::get<unsigned short>(value);
            break;
        case 3:
            if (!integralInRange(std::get<double>(value), lo, hi, v)) {
                return false;
            }
            break;
        case 4:
            if (!parseInteger(std::get<std::string>(value), v)) {
                return false;
            }
            break;
        default:
            return false;  // a bool is not a number
    }
    if (v < lo || v > hi) {
        return false;
    }
    out = v;
    return true;
}

}  // namespace
}  // namespace Internal

Properties::Properties(std::string name) : m_name(std::move(name)) {}
Properties::Properties(const Properties&) = default;
Properties::Properties(Properties&&) noexcept = default;
Properties& Properties::operator=(const Properties&) = default;
Properties& Properties::operator=(Properties&&) noexcept = default;
Properties::~Properties() = default;

const Properties::Value* Properties::value(const std::string& key) const
{
    for (const auto& entry : m_entries) {
        if (entry.first == key) {
            return &entry.second;
        }
    }
    return nullptr;
}

bool Properties::read(const std::string& key, bool& out) const
{
    const Value* v = value(key);
    if (v == nullptr) {
        return false;
    }
    bool result = false;
    bool ok = false;
    switch (v->index()) {
        case 0:
            result = std::get<bool>(*v);
            ok = true;
            break;
        case 1:
            ok = std::get<int>(*v) == 0 || std::get<int>(*v) == 1;
            result = std::get<int>(*v) == 1;
            break;
        case 2:
            ok = std::get<unsigned short>(*v) <= 1;
            result = std::get<unsigned short>(*v) == 1;
            break;
        case 4:
            ok = Internal::parseBool(std::get<std::string>(*v), result);
            break;
        default:
            break;
    }
    if (!ok) {
        Internal::reportUnreadable(*this, key, *v, "bool");
        return false;
    }
    out = result;
    return true;
}

bool Properties::read(const std::string& key, int& out) const
{
    const Value* v = value(key);
    if (v == nullptr) {
        return false;
    }
    long long result = 0;
    if (!Internal::toInteger(*v, INT_MIN, INT_MAX, result)) {
        Internal::reportUnreadable(*this, key, *v, "int");
        return false;
    }
    out = static_cast<int>(result);
    return true;
}

bool Properties::read(const std::string& key, unsigned short& out) const
{
    const Value* v = value(key);
    if (v == nullptr) {
        return false;
    }
    long long result = 0;
    if (!Internal::toInteger(*v, 0, USHRT_MAX, result)) {
        Internal::reportUnreadable(*this, key, *v, "unsigned short");
        return false;
    }
    out = static_cast<unsigned short>(result);
    return true;
}

bool Properties::read(const std::string& key, double& out) const
{
    const Value* v = value(key);
    if (v == nullptr) {
        return false;
    }
    double result = 0.0;
    bool ok = true;
    switch (v->index()) {
        case 1:
            result = std::get<int>(*v);
            break;
        case 2:
            result = std::get<unsigned short>(*v);
            break;
        case 3:
            result = std::get<double>(*v);
            break;
        case 4:
            ok = Internal::parseDouble(std::get<std::string>(*v), result);
            break;
        default:
            ok = false;
            break;
    }
    if (!ok) {
        Internal::reportUnreadable(*this, key, *v, "double");
        return false;
    }
    out = result;
    return true;
}

bool Properties::read(const std::string& key, std::string& out) const
{
    const Value* v = value(key);
    if (v == nullptr) {
        return false;
    }
    if (v->index() != 4) {
        Internal::reportUnreadable(*this, key, *v, "string");
        return false;
    }
    out = std::get<std::string>(*v);
    return true;
}

void Properties::store(const std::string& key, Value value)
{
    for (auto& entry : m_entries) {
        if (entry.first == key) {
            entry.second = std::move(value);
            return;
        }
    }
    m_entries.emplace_back(key, std::move(value));
}

void Properties::copyFrom(const Properties& other)
{
    if (&other == this) {
        return;
    }
    for (const auto& entry : other.m_entries) {
        store(entry.first, entry.second);
    }
}

bool Properties::has(const std::string& key) const
{
    return value(key) != nullptr;
}

bool Properties::remove(const std::string& key)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->first == key) {
            m_entries.erase(it);
            return true;
        }
    }
    return false;
}

void Properties::clear()
{
    m_entries.clear();
}

std::vector<std::string> Properties::keys() const
{
    std::vector<std::string> out;
    out.reserve(m_entries.size());
    for (const auto& entry : m_entries) {
        out.push_back(entry.first);
    }
    return out;
}

std::string Properties::valueText(const std::string& key) const
{
    const Value* v = value(key);
    if (v == nullptr) {
        return {};
    }
    std::ostringstream s;
    switch (v->index()) {
        case 0:
            s << (std::get<bool>(*v) ? "true" : "false");
            break;
        case 1:
            s << std::get<int>(*v);
            break;
        case 2:
            s << std::get<unsigned short>(*v);
            break;
        case 3:
            s.precision(std::numeric_limits<double>::max_digits10);
            s << std::get<double>(*v);
            break;
        default:
            s << std::get<std::string>(*v);
            break;
    }
    return s.str();
}

bool Properties::fromText(Type type, const std::string& text, Value& out, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    switch (type) {
        case Type::Bool: {
            bool b = false;
            if (!Internal::parseBool(text, b)) {
                return fail("'" + text + "' is not a bool (true, false, 1 or 0)");
            }
            out = b;
            return true;
        }
        case Type::Int:
        case Type::UnsignedShort: {
            long long v = 0;
            const char* name = typeName(type);
            if (!Internal::parseInteger(text, v)) {
                return fail("'" + text + "' is not a decimal integer (" + name + ")");
            }
            const long long lo = type == Type::Int ? INT_MIN : 0;
            const long long hi = type == Type::Int ? INT_MAX : USHRT_MAX;
            if (v < lo || v > hi) {
                return fail(text + " is out of range for " + name + " (" + std::to_string(lo) + " to " +
                            std::to_string(hi) + ")");
            }
            if (type == Type::Int) {
                out = static_cast<int>(v);
            } else {
                out = static_cast<unsigned short>(v);
            }
            return true;
        }
        case Type::Double: {
            double d = 0.0;
            if (!Internal::parseDouble(text, d)) {
                return fail("'" + text + "' is not a finite number (double)");
            }
            out = d;
            return true;
        }
        case Type::String:
            out = text;
            return true;
    }
    return fail("unknown type");
}

bool Properties::setFromText(const std::string& key, Type type, const std::string& text, std::string* error)
{
    Value v;
    if (!fromText(type, text, v, error)) {
        return false;
    }
    store(key, std::move(v));
    return true;
}

const char* Properties::typeName(Type type)
{
    switch (type) {
        case Type::Bool:
            return "bool";
        case Type::Int:
            return "int";
        case Type::UnsignedShort:
            return "unsigned short";
        case Type::Double:
            return "double";
        case Type::String:
            return "string";
    }
    return "unknown";
}

bool Properties::operator==(const Properties& other) const
{
    return m_name == other.m_name && m_entries == other.m_entries;
}

}  // namespace Quorvane
