# Smoke run of the desktop program under a virtual X server: it types a line
# into the session pane and saves a screenshot. Skipped where Xvfb is absent.
if(VEK_GUI)
  find_program(VEK_XVFB_RUN xvfb-run)
  if(VEK_XVFB_RUN)
    add_test(NAME gui_smoke
             COMMAND ${VEK_XVFB_RUN} -a -s "-screen 0 1280x800x24"
                     ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0
                     VEK_SMOKE_SCREENSHOT=${CMAKE_BINARY_DIR}/smoke.png $<TARGET_FILE:vek>
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    # "1+2" typed into the pane must come back as 3 on the next line.
    set_tests_properties(gui_smoke PROPERTIES TIMEOUT 60
                         PASS_REGULAR_EXPRESSION "      1\\+2\n3\n")
  else()
    message(STATUS "xvfb-run not found: the desktop smoke test is skipped")
  endif()
  # Qt keeps caches for the life of the process; leak reports from it would
  # drown the windows' own faults in sanitizer builds.
  foreach(t IN LISTS VEK_GUI_TESTS)
    get_filename_component(n ${t} NAME_WE)
    set_tests_properties(gui_${n} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0")
  endforeach()
endif()
