# The module: one shared library, QuorvaneOptiTrack (alias Quorvane::OptiTrack), made of
# stream/, controller/ and plugin/; each folder adds its sources with target_sources.
# Loaded with dlopen by the hosts from QUORVANE_PLUGIN_DIR, linked directly by the tests.
add_library(QuorvaneOptiTrack SHARED)
add_library(Quorvane::OptiTrack ALIAS QuorvaneOptiTrack)
set_target_properties(QuorvaneOptiTrack PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${QUORVANE_PLUGIN_DIR})
quorvane_warnings(QuorvaneOptiTrack)
# Module headers are included by folder: "stream/OptiTrackStream.h".
target_include_directories(QuorvaneOptiTrack PUBLIC ${PROJECT_SOURCE_DIR})
foreach(part stream controller plugin)
  add_subdirectory(${PROJECT_SOURCE_DIR}/${part} ${PROJECT_BINARY_DIR}/${part})
endforeach()
