#pragma once

namespace Quorvane {
namespace Utils {

/// Base for objects with identity (factories, plugins, algorithms): neither copied
/// nor moved, so that pointers handed out to them stay valid.
class NotCopyable
{
protected:
    NotCopyable() = default;
    ~NotCopyable() = default;

public:
    NotCopyable(const NotCopyable&) = delete;
    NotCopyable& operator=(const NotCopyable&) = delete;
    NotCopyable(NotCopyable&&) = delete;
    NotCopyable& operator=(NotCopyable&&) = delete;
};

}  // namespace Utils
}  // namespace Quorvane
