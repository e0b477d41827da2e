// Small conversions the simulator's parts share: versions as bytes and text,
// and command words.
#pragma once

#include "natnet/codec/Version.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace NatNet::Sim::Internal {

std::string lowercase(std::string_view text);
Wire::Version toVersion(const std::array<uint8_t, 4>& bytes);
std::array<uint8_t, 4> toBytes(Wire::Version version);
// Same wire layout (layouts depend on major.minor only).
bool sameLayout(Wire::Version a, Wire::Version b);
bool isZero(const uint8_t (&bytes)[4]);

}  // namespace NatNet::Sim::Internal
