#pragma once

// Public surface of the QuorvaneStream shared library, which is built with hidden
// visibility. Users see the same default visibility as the library itself: the type
// information of Stream, TrackingStream and the algorithm bases must be one symbol across
// the host and every plugin, or dynamic_cast would not cross them.
#define QUORVANE_STREAM_EXPORT __attribute__((visibility("default")))
