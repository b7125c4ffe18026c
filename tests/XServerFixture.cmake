# Headless X servers for tests that need a real display.
#
# Two servers are available, each started once per ctest run by a fixture
# setup test and stopped by its cleanup test (tests/support/x-session.sh):
#
#   xvfb  Xvfb on :${TESSARIN_X_XVFB_DISPLAY} (default :91), one screen of
#         1920x1080 at depth 24; RandR lists one monitor named "screen".
#   dual  Xorg with the dummy video driver on :${TESSARIN_X_DUAL_DISPLAY}
#         (default :92), two RandR monitors side by side: DUMMY0 1280x800
#         at +0+0 (primary) and DUMMY1 1024x768 at +1280+0.
#
# Usage from any CMakeLists.txt below tests/:
#
#   tessarin_add_x_test(my_test SERVER xvfb [RUN_SERIAL] SOURCES a.cpp LIBS ... LABELS ...)
#       Like tessarin_add_test(); every case of the binary runs against the
#       server.
#   tessarin_require_x_server(dual TESTS name1 name2 ...)
#       For tests added with add_test() (e.g. running the tessarin binary).
#
# Tests bound to a server get:
#   FIXTURES_REQUIRED   the server's fixture, so `ctest -R <name>` starts it
#   DISPLAY=:N          the server
#   TESSARIN_TEST_X_SERVER=xvfb|dual
#                       tests that change the server (root background,
#                       pointer, windows) check this and skip without it, so
#                       running a test binary by hand never touches a real
#                       desktop
#   GDK_SCALE, TESSARIN_PLATFORM unset
#   RESOURCE_LOCK       one test per server at a time, since they share its
#                       state; tests on different servers still run in parallel
#
# By hand:
#   tests/support/x-session.sh start xvfb 91
#   DISPLAY=:91 TESSARIN_TEST_X_SERVER=xvfb build/tests/.../my_test
#   tests/support/x-session.sh stop 91

set(TESSARIN_X_XVFB_DISPLAY 91 CACHE STRING "X display number of the Xvfb test server")
set(TESSARIN_X_DUAL_DISPLAY 92 CACHE STRING "X display number of the two-monitor Xorg test server")
set(TESSARIN_X_DESKTOP_DISPLAY 93 CACHE STRING "X display number of the private desktop sessions of the tests")
set(TESSARIN_X_SESSION_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/support/x-session.sh
    CACHE INTERNAL "Starts and stops the test X servers")

# Sets <out_fixture> and <out_display> for a server kind, registering its
# start/stop tests the first time any test asks for it.
function(_tessarin_x_server kind out_fixture out_display)
  if(kind STREQUAL "xvfb")
    set(number ${TESSARIN_X_XVFB_DISPLAY})
  elseif(kind STREQUAL "dual")
    set(number ${TESSARIN_X_DUAL_DISPLAY})
  else()
    message(FATAL_ERROR "unknown X test server '${kind}' (expected xvfb or dual)")
  endif()
  set(fixture "XServer.${kind}")
  get_property(registered GLOBAL PROPERTY TESSARIN_X_SERVER_${kind} SET)
  if(NOT registered)
    set_property(GLOBAL PROPERTY TESSARIN_X_SERVER_${kind} TRUE)
    add_test(NAME ${fixture}.start COMMAND ${TESSARIN_X_SESSION_SCRIPT} start ${kind} ${number})
    add_test(NAME ${fixture}.stop COMMAND ${TESSARIN_X_SESSION_SCRIPT} stop ${number})
    set_tests_properties(${fixture}.start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 60
      RESOURCE_LOCK x_display_${number} LABELS xserver)
    set_tests_properties(${fixture}.stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 60
      RESOURCE_LOCK x_display_${number} LABELS xserver)
  endif()
  set(${out_fixture} ${fixture} PARENT_SCOPE)
  set(${out_display} ${number} PARENT_SCOPE)
endfunction()

# The environment of a test bound to server <kind>, as a CMake list for
# ENVIRONMENT_MODIFICATION (which leaves ENVIRONMENT, e.g.
# TESSARIN_TEST_DATA, alone).
function(_tessarin_x_environment kind number out)
  set(${out} "DISPLAY=set::${number};TESSARIN_TEST_X_SERVER=set:${kind};GDK_SCALE=unset:;TESSARIN_PLATFORM=unset:;TESSARIN_BACKEND=unset:;WAYLAND_DISPLAY=unset:;XDG_SESSION_TYPE=unset:"
    PARENT_SCOPE)
endfunction()

function(tessarin_require_x_server kind)
  cmake_parse_arguments(ARG "" "" "TESTS" ${ARGN})
  _tessarin_x_server(${kind} fixture number)
  _tessarin_x_environment(${kind} ${number} environment)
  set_tests_properties(${ARG_TESTS} PROPERTIES FIXTURES_REQUIRED ${fixture}
    RESOURCE_LOCK x_display_${number} ENVIRONMENT_MODIFICATION "${environment}")
endfunction()

function(tessarin_add_x_test name)
  cmake_parse_arguments(ARG "RUN_SERIAL" "SERVER" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ARG_SERVER)
    message(FATAL_ERROR "tessarin_add_x_test(${name}) needs SERVER xvfb|dual")
  endif()
  # tessarin_add_test() hands LABELS to gtest_discover_tests, which cannot
  # take an empty or multi-entry list there; the full set is applied below.
  set(first_label xserver)
  if(ARG_LABELS)
    list(GET ARG_LABELS 0 first_label)
  endif()
  tessarin_add_test(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} LABELS ${first_label})
  _tessarin_x_server(${ARG_SERVER} fixture number)
  _tessarin_x_environment(${ARG_SERVER} ${number} environment)
  set(labels ${ARG_LABELS} xserver)
  set(serial FALSE)
  if(ARG_RUN_SERIAL)
    set(serial TRUE)
  endif()
  # gtest_discover_tests learns the case names only at build time and
  # flattens list-valued PROPERTIES, so the binding is applied by a script
  # that ctest reads after the discovered cases (<name>_TESTS lists them).
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_x_server.cmake)
  file(GENERATE OUTPUT ${script} CONTENT
"if(DEFINED ${name}_TESTS)
  set_tests_properties(\${${name}_TESTS} PROPERTIES
    FIXTURES_REQUIRED ${fixture}
    RESOURCE_LOCK x_display_${number}
    LABELS \"${labels}\"
    ENVIRONMENT \"TESSARIN_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}\"
    ENVIRONMENT_MODIFICATION \"${environment}\"
    RUN_SERIAL ${serial})
endif()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
