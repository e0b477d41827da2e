#include <Quorvane/Core/String.h>

namespace Quorvane {
namespace String {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::vector<std::string> split(const std::string& text, const std::string& separator, unsigned options)
{
    const bool keepEmpty = (options & KeepEmptyParts) != 0;
    const bool trimParts = (options & TrimParts) != 0;
    std::vector<std::string> pieces;
    auto addPiece = [&](std::string piece) {
        if (trimParts) {
            piece = trim(piece);
        }
        if (keepEmpty || !piece.empty()) {
            pieces.push_back(std::move(piece));
        }
    };

    if (separator.empty()) {
        addPiece(text);
        return pieces;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            addPiece(text.substr(start));
            break;
        }
        addPiece(text.substr(start, at - start));
        start = at + separator.size();
    }
    return pieces;
}

std::string trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string join(const std::vector<std::string>& pieces, const std::string& separator)
{
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) {
            out += separator;
        }
        out += pieces[i];
    }
    return out;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace String
}  // namespace Quorvane
