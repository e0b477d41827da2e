#pragma once

// Every program's main runs its body through guardedMain, so that an exception that
// nothing else caught (a failed allocation, a library's surprise) ends the program with
// its name, the reason and exit code 1, instead of std::terminate's abort.

#include <exception>
#include <iostream>
#include <string_view>

namespace CommandLine {

/// The exit code of every program for a failure it did not expect.
constexpr int kUnexpectedFailure = 1;

template <class Body>
int guardedMain(std::string_view program, Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::exception& e) {
        std::cerr << program << ": " << e.what() << "\n";
    } catch (...) {
        std::cerr << program << ": unexpected failure\n";
    }
    return kUnexpectedFailure;
}

}  // namespace CommandLine
