#pragma once

#include <cstddef>
#include <string>

namespace Quorvane {
namespace Host {

/// `text` made safe to print on a terminal: names come from the tracking server, and a control
/// character in one (an escape sequence, a carriage return) would otherwise move the cursor or
/// restyle the screen. C0 and C1 controls and DEL become "\xNN" ("\u0085" for C1 written as
/// UTF-8), and so does every byte that is not part of valid UTF-8; the rest is kept.
std::string terminalSafe(const std::string& text);

/// `text` cut to at most `width` bytes, at a character boundary, with "~" marking the cut, so
/// that names longer than their table column keep the table's shape.
std::string fitColumn(const std::string& text, std::size_t width);

}  // namespace Host
}  // namespace Quorvane
