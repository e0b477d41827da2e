#include "TerminalSize.h"

#include <sys/ioctl.h>

namespace Quorvane {
namespace Host {

std::optional<TerminalSize> terminalSize(int fd)
{
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
        return std::nullopt;
    }
    return TerminalSize{size.ws_col, size.ws_row};
}

}  // namespace Host
}  // namespace Quorvane
