#pragma once

// Symbols of the OptiTrack module. The module is built with hidden visibility; only what
// carries this macro can be reached by the host, by other modules and by the tests.
#if defined(_WIN32)
#if defined(QUORVANE_OPTITRACK_BUILDING)
#define OPTITRACK_EXPORT __declspec(dllexport)
#else
#define OPTITRACK_EXPORT __declspec(dllimport)
#endif
#else
#define OPTITRACK_EXPORT __attribute__((visibility("default")))
#endif
