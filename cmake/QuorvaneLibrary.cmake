# quorvane_add_library(<name> STATIC|SHARED [ALIAS <alias>] SOURCES ...
#                      [INCLUDE dirs...] [PRIVATE_INCLUDE dirs...] [PUBLIC libs...] [PRIVATE libs...])
#
# One library target as every folder of the tree declares it: its sources, an optional alias
# (NatNet::Codec), its public and private include folders, what it links and the warnings.
# Static libraries are position-independent, since the shared libraries and the module link them.
function(quorvane_add_library name kind)
  cmake_parse_arguments(L "" "ALIAS" "SOURCES;INCLUDE;PRIVATE_INCLUDE;PUBLIC;PRIVATE" ${ARGN})
  if(L_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quorvane_add_library(${name}): unknown arguments ${L_UNPARSED_ARGUMENTS}")
  endif()
  add_library(${name} ${kind} ${L_SOURCES})
  if(L_ALIAS)
    add_library(${L_ALIAS} ALIAS ${name})
  endif()
  if(kind STREQUAL "STATIC")
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
  # Empty lists after a keyword are allowed: each part is optional.
  target_include_directories(${name} PUBLIC ${L_INCLUDE} PRIVATE ${L_PRIVATE_INCLUDE})
  target_link_libraries(${name} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  quorvane_warnings(${name})
endfunction()
