#pragma once

#include <Quorvane/Core/CoreExport.h>

#include <string>
#include <vector>

namespace Quorvane {
namespace String {

/// Options of split().
enum SplitOption : unsigned {
    NoSplitOptions = 0,
    KeepEmptyParts = 1u << 0,  ///< keep the empty pieces between adjacent separators and at the ends
    TrimParts = 1u << 1,       ///< strip blanks (space, tab, CR, LF) from both ends of every piece
};

/// The pieces of `text` between occurrences of `separator`, in order.
/// Without options, empty pieces are dropped: "a;;b;" gives {"a", "b"}, and ""
/// or ";;" give no pieces at all, so callers can tell "nothing there" apart.
/// A text without the separator gives one piece, the whole text. An empty
/// separator gives the whole (non-empty) text as one piece.
QUORVANE_CORE_EXPORT std::vector<std::string> split(const std::string& text, const std::string& separator,
                                                    unsigned options = NoSplitOptions);

/// `text` without leading and trailing blanks (space, tab, CR, LF).
QUORVANE_CORE_EXPORT std::string trim(const std::string& text);

/// The pieces joined with `separator` between them.
QUORVANE_CORE_EXPORT std::string join(const std::vector<std::string>& pieces, const std::string& separator);

/// `text` with ASCII A-Z made lower case; other bytes unchanged, whatever the
/// process locale (file extensions and command words are ASCII).
QUORVANE_CORE_EXPORT std::string lowerCase(std::string text);

QUORVANE_CORE_EXPORT bool startsWith(const std::string& text, const std::string& prefix);
QUORVANE_CORE_EXPORT bool endsWith(const std::string& text, const std::string& suffix);

}  // namespace String
}  // namespace Quorvane
