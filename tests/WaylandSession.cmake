# Headless Wayland sessions for tests (tests/support/wayland-run.sh): each
# test gets its own session (about a second to start), with its own
# /tmp/out.png for the Screenshot portal, so Wayland tests run in parallel.
#
#   tessarin_add_wayland_test(NAME name [SESSION option...] COMMAND cmd args...
#                             [LABELS ...] [TIMEOUT s])
#       SESSION takes wayland-run.sh's options (--outputs 2 --scales "1 2"
#       --portals none ...). The test is labelled `wayland` and reported as
#       skipped when the session's programs are not installed.
#
# The patched ScreenCast backend lives in TESSARIN_XDPW_DIR (default:
# ~/.cache/tessarin/xdpw, where scripts/install-deps.sh builds it); the first
# session builds it there when it is missing.

set(TESSARIN_XDPW_DIR "" CACHE PATH "Folder of the patched xdg-desktop-portal-wlr builds (empty: ~/.cache/tessarin/xdpw)")
set(TESSARIN_WAYLAND_RUN ${CMAKE_CURRENT_LIST_DIR}/support/wayland-run.sh
    CACHE INTERNAL "Runs a command inside a private headless Wayland session")

function(tessarin_add_wayland_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SESSION;COMMAND;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # CTest kills without warning: the wrapper gets time to stop its session first.
  math(EXPR ctest_timeout "${ARG_TIMEOUT} + 30")
  add_test(NAME ${ARG_NAME} COMMAND ${TESSARIN_WAYLAND_RUN} ${ARG_SESSION} --timeout ${ARG_TIMEOUT} -- ${ARG_COMMAND})
  set(environment "TESSARIN_XDPW_DIR=${TESSARIN_XDPW_DIR}")
  if(NOT TESSARIN_XDPW_DIR)
    set(environment "")
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES LABELS "wayland;${ARG_LABELS}" SKIP_RETURN_CODE 77
    TIMEOUT ${ctest_timeout} ENVIRONMENT "${environment}")
endfunction()
