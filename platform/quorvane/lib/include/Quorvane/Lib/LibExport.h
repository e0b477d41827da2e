#pragma once

// Public surface of the QuorvaneLib shared library (hidden visibility otherwise).
// Default visibility on both sides, for the reason given in CoreExport.h: one type
// identity for Data, Algorithm and the plugin classes across host and plugins.
#define QUORVANE_LIB_EXPORT __attribute__((visibility("default")))
