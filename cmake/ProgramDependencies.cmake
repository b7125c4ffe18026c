# Libraries our code links, each through an interface target
# tessarin_dep_<name>. The program starts for every agent command, and each
# shared library costs that start time in the dynamic loader: together the
# dozen small ones below cost about 1 ms of a 10 ms region capture. So a
# target with the property TESSARIN_STATIC_DEPENDENCIES set links their
# static archives instead; tests, benchmarks and the loadable modules keep
# the shared libraries.

option(TESSARIN_STATIC_DEPENDENCIES "Link the program's small libraries statically" ON)

# tessarin_dependency(<name> SHARED <targets...> STATIC <archive names...>)
# The archives are listed in link order (a library before those it uses).
function(tessarin_dependency name)
  cmake_parse_arguments(ARG "" "" "SHARED;STATIC" ${ARGN})
  add_library(tessarin_dep_${name} INTERFACE)
  set(archives)
  foreach(archive IN LISTS ARG_STATIC)
    find_library(TESSARIN_ARCHIVE_${archive} NAMES lib${archive}.a)
    if(NOT TESSARIN_ARCHIVE_${archive})
      message(STATUS "lib${archive}.a not found: the program links ${name} as a shared library")
      target_link_libraries(tessarin_dep_${name} INTERFACE ${ARG_SHARED})
      return()
    endif()
    list(APPEND archives ${TESSARIN_ARCHIVE_${archive}})
  endforeach()
  # Evaluated for the target being linked: the program, or anything else.
  set(wantsStatic "$<BOOL:$<TARGET_PROPERTY:TESSARIN_STATIC_DEPENDENCIES>>")
  target_link_libraries(tessarin_dep_${name} INTERFACE
    "$<${wantsStatic}:${archives}>" "$<$<NOT:${wantsStatic}>:${ARG_SHARED}>")
endfunction()

tessarin_dependency(zlib SHARED ZLIB::ZLIB STATIC z)
tessarin_dependency(png SHARED PNG::PNG STATIC png16 z)
tessarin_dependency(jpeg SHARED JPEG::JPEG STATIC jpeg)
tessarin_dependency(deflate SHARED PkgConfig::LIBDEFLATE STATIC deflate)
tessarin_dependency(xcb SHARED PkgConfig::XCB
  STATIC xcb-randr xcb-shm xcb-xfixes xcb-composite xcb-xtest xcb Xau Xdmcp)
