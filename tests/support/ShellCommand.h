#pragma once

#include <array>
#include <cstdio>
#include <string>

namespace TestSupport {

/// What a command run through the shell printed on its standard output, and how it ended.
struct ShellResult
{
    bool started = false;
    int status = -1;  // as pclose returns it: 0 when the command exited with 0
    std::string output;

    bool succeeded() const { return started && status == 0; }
};

/// Runs `command` with /bin/sh and reads its standard output to the end (append " 2>&1" for its
/// errors too). For tests that run the programs they check, or system tools.
inline ShellResult runShell(const std::string& command)
{
    ShellResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    result.started = true;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        result.output += buffer.data();
    }
    result.status = pclose(pipe);
    return result;
}

}  // namespace TestSupport
