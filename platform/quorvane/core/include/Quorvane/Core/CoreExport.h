#pragma once

// Public surface of the QuorvaneCore shared library, which is built with hidden
// visibility. Users see the same default visibility as the library itself (as Qt's
// import macro does on ELF): a class's type information must be one symbol across
// the host and every plugin, or dynamic_cast and exceptions would not cross them.
#define QUORVANE_CORE_EXPORT __attribute__((visibility("default")))
