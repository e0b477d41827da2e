#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace Quorvane {

/// Named, ordered key/value parameters with typed access.
///
/// Stored types: bool, int, unsigned short, double, std::string. setParam() stores
/// the value with its own type (a string literal stores a std::string) and keeps a
/// key's position when it is set again. param<T>() returns false and leaves `out`
/// untouched when the key is absent; it also returns false, logs a level-3 message
/// (category "Properties") naming the key, and leaves `out` untouched when the
/// stored value cannot be read as T without loss. Conversions, stored → read:
///
///   read as          from bool   from int          from unsigned short  from double             from string
///   bool             yes         0 or 1 only       0 or 1 only          no "true"/"false"/"1"/"0" int no yes
///   yes                  integral, in range       strict decimal, in range unsigned short   no 0..65535 yes
///   integral, in range       strict decimal, 0..65535 double           no          yes               yes yes
///   strict number (finite) std::string      no          no                no                   no yes
///
/// "Strict" means the whole text is the number: no blanks, no trailing characters,
/// no hexadecimal; so text from a command line is checked, never guessed.
/// A value type; not thread-safe (one owner at a time).
class QUORVANE_CORE_EXPORT Properties
{
public:
    using Value = std::variant<bool, int, unsigned short, double, std::string>;
    /// The stored type, in the order of Value's alternatives.
    enum class Type { Bool = 0, Int = 1, UnsignedShort = 2, Double = 3, String = 4 };

    explicit Properties(std::string name = {});
    Properties(const Properties&);
    Properties(Properties&&) noexcept;
    Properties& operator=(const Properties&);
    Properties& operator=(Properties&&) noexcept;
    ~Properties();

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }

    template <class T>
    bool param(const std::string& key, T& out) const
    {
        static_assert(std::is_same<T, bool>::value || std::is_same<T, int>::value ||
                          std::is_same<T, unsigned short>::value || std::is_same<T, double>::value ||
                          std::is_same<T, std::string>::value,
                      "Properties::param reads bool, int, unsigned short, double or std::string");
        return read(key, out);
    }

    template <class T>
    void setParam(const std::string& key, const T& value)
    {
        if constexpr (std::is_convertible<const T&, std::string_view>::value &&
                      !std::is_same<T, bool>::value) {
            store(key, Value(std::string(std::string_view(value))));
        } else {
            static_assert(std::is_same<T, bool>::value || std::is_same<T, int>::value ||
                              std::is_same<T, unsigned short>::value || std::is_same<T, double>::value,
                          "Properties::setParam stores bool, int, unsigned short, double or text");
            store(key, Value(value));
        }
    }

    /// Stores a value with its own type (as setParam does).
    void setValue(const std::string& key, Value value) { store(key, std::move(value)); }

    /// Sets every parameter of `other` here (same keys are overwritten in place,
    /// new keys are appended in `other`'s order). The name is not copied.
    void copyFrom(const Properties& other);

    bool has(const std::string& key) const;
    /// Returns whether the key was there.
    bool remove(const std::string& key);
    void clear();
    /// The keys in insertion order.
    std::vector<std::string> keys() const;
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }

    /// The stored value, or nullptr when absent.
    const Value* value(const std::string& key) const;
    /// The stored value written as text ("true", "42", "1.5", the string itself); empty when absent.
    std::string valueText(const std::string& key) const;

    /// Parses `text` as a value of `type` with the strict rules above ("true"/"false"/"1"/"0"
    /// for bool). On failure returns false, leaves `out` alone and, if `error` is given,
    /// says why (e.g. "70000 is out of range for unsigned short").
    static bool fromText(Type type, const std::string& text, Value& out, std::string* error = nullptr);
    /// fromText() and then store under `key`; returns false (nothing stored) on bad text.
    bool setFromText(const std::string& key, Type type, const std::string& text,
                     std::string* error = nullptr);

    static Type typeOf(const Value& value) { return static_cast<Type>(value.index()); }
    /// "bool", "int", "unsigned short", "double", "string".
    static const char* typeName(Type type);

    bool operator==(const Properties& other) const;
    bool operator!=(const Properties& other) const { return !(*this == other); }

private:
    bool read(const std::string& key, bool& out) const;
    bool read(const std::string& key, int& out) const;
    bool read(const std::string& key, unsigned short& out) const;
    bool read(const std::string& key, double& out) const;
    bool read(const std::string& key, std::string& out) const;
    void store(const std::string& key, Value value);

    std::string m_name;
    std::vector<std::pair<std::string, Value>> m_entries;
};

}  // namespace Quorvane
