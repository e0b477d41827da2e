#include <Quorvane/Core/Properties.h>

#include <Quorvane/Core/Log.h>
#include <Quorvane/Core/NumberText.h>
#include <platform/NameTable.h>

#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <variant>

namespace Quorvane {

namespace Internal {
namespace {

/// One lambda per alternative for std::visit.
template <class... Fs>
struct Overloaded : Fs...
{
    using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

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

/// The value as text; a double in the stream's precision.
void writeValue(std::ostream& s, const Properties::Value& value)
{
    std::visit(Overloaded{
                   [&s](bool b) { s << (b ? "true" : "false"); },
                   [&s](const std::string& text) { s << text; },
                   [&s](auto number) { s << number; },
               },
               value);
}

std::string describeValue(const Properties::Value& value)
{
    std::ostringstream s;
    if (const auto* text = std::get_if<std::string>(&value)) {
        s << '"' << *text << '"';
    } else {
        writeValue(s, value);
    }
    s << " (" << Properties::typeName(Properties::typeOf(value)) << ')';
    return s.str();
}

void reportUnreadable(const Properties& properties, const std::string& key, const Properties::Value& value,
                      const char* wanted)
{
    if (Log::g_globalLevel <= Log::Warning && Log::isAccepted(Log::Warning, "Properties")) {
        std::ostringstream message;
        message << "Parameter '" << key << "'";
        if (!properties.name().empty()) {
            message << " of '" << properties.name() << "'";
        }
        message << ": the value " << describeValue(value) << " cannot be read as " << wanted;
        Log::log(Log::Warning, "Properties", message.str(), "", -1);
    }
}

/// An integral target type from any stored value, by the table; nothing when out of its range.
template <typename Integer>
std::optional<Integer> toInteger(const Properties::Value& value)
{
    constexpr long long lo = std::numeric_limits<Integer>::min();
    constexpr long long hi = std::numeric_limits<Integer>::max();
    using Result = std::optional<long long>;
    const Result v =
        std::visit(Overloaded{
                       [](bool) -> Result { return std::nullopt; },  // a bool is not a number
                       [](int i) -> Result { return i; },
                       [](unsigned short u) -> Result { return u; },
                       [](double d) -> Result {
                           long long whole = 0;
                           return integralInRange(d, lo, hi, whole) ? Result(whole) : std::nullopt;
                       },
                       [](const std::string& text) -> Result {
                           long long number = 0;
                           return parseInteger(text, number) ? Result(number) : std::nullopt;
                       },
                   },
                   value);
    if (!v || *v < lo || *v > hi) {
        return std::nullopt;
    }
    return static_cast<Integer>(*v);
}

/// A bool from a bool, a 0 or 1 number, or a bool's text.
std::optional<bool> toBool(const Properties::Value& value)
{
    using Result = std::optional<bool>;
    return std::visit(Overloaded{
                          [](bool b) -> Result { return b; },
                          [](int i) -> Result { return i == 0 || i == 1 ? Result(i == 1) : std::nullopt; },
                          [](unsigned short u) -> Result { return u <= 1 ? Result(u == 1) : std::nullopt; },
                          [](double) -> Result { return std::nullopt; },
                          [](const std::string& text) -> Result {
                              bool b = false;
                              return parseBool(text, b) ? Result(b) : std::nullopt;
                          },
                      },
                      value);
}

/// A double from any number or a number's text; not from a bool.
std::optional<double> toDouble(const Properties::Value& value)
{
    using Result = std::optional<double>;
    return std::visit(Overloaded{
                          [](bool) -> Result { return std::nullopt; },
                          [](int i) -> Result { return i; },
                          [](unsigned short u) -> Result { return u; },
                          [](double d) -> Result { return d; },
                          [](const std::string& text) -> Result {
                              double d = 0.0;
                              return parseDouble(text, d) ? Result(d) : std::nullopt;
                          },
                      },
                      value);
}

/// The text of a text value; nothing from a number or a bool.
std::optional<std::string> toText(const Properties::Value& value)
{
    const auto* text = std::get_if<std::string>(&value);
    return text != nullptr ? std::optional<std::string>(*text) : std::nullopt;
}

/// Reads `key` through `convert`: nothing for an absent key; a value that does not convert is
/// reported as unreadable as `type`.
template <typename T>
bool readAs(const Properties& properties, const std::string& key, T& out, Properties::Type type,
            std::optional<T> (*convert)(const Properties::Value&))
{
    const Properties::Value* v = properties.value(key);
    if (v == nullptr) {
        return false;
    }
    std::optional<T> result = convert(*v);
    if (!result) {
        reportUnreadable(properties, key, *v, Properties::typeName(type));
        return false;
    }
    out = std::move(*result);
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
    return Internal::readAs(*this, key, out, Type::Bool, Internal::toBool);
}

bool Properties::read(const std::string& key, int& out) const
{
    return Internal::readAs(*this, key, out, Type::Int, Internal::toInteger<int>);
}

bool Properties::read(const std::string& key, unsigned short& out) const
{
    return Internal::readAs(*this, key, out, Type::UnsignedShort, Internal::toInteger<unsigned short>);
}

bool Properties::read(const std::string& key, double& out) const
{
    return Internal::readAs(*this, key, out, Type::Double, Internal::toDouble);
}

bool Properties::read(const std::string& key, std::string& out) const
{
    return Internal::readAs(*this, key, out, Type::String, Internal::toText);
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
    s.precision(std::numeric_limits<double>::max_digits10);  // reads back to the same double
    Internal::writeValue(s, *v);
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
    static constexpr Platform::NameRow<Type> kNames[] = {
        {Type::Bool, "bool"},     {Type::Int, "int"},       {Type::UnsignedShort, "unsigned short"},
        {Type::Double, "double"}, {Type::String, "string"},
    };
    return Platform::nameOf(type, kNames, "unknown");
}

bool Properties::operator==(const Properties& other) const
{
    return m_name == other.m_name && m_entries == other.m_entries;
}

}  // namespace Quorvane
