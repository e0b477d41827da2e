#pragma once

#include <cstddef>
#include <optional>

namespace Quorvane {
namespace Host {

/// The character cells of a terminal window.
struct TerminalSize
{
    std::size_t columns = 0;
    std::size_t rows = 0;
};

/// The size of the terminal on `fd`; nothing when `fd` is no terminal or the terminal does not
/// say (a size of 0 is no size).
std::optional<TerminalSize> terminalSize(int fd);

}  // namespace Host
}  // namespace Quorvane
