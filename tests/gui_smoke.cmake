# Smoke run of the desktop program under a virtual X server: it types a line
# into the session pane and saves a screenshot. Where Xvfb is missing the
# test is skipped, unless CI is set: then it fails.
if(VEK_GUI)
  add_test(NAME gui_smoke
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/gui_smoke.sh $<TARGET_FILE:vek> ${CMAKE_BINARY_DIR}/smoke.png
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  # "1+2" typed into the pane must come back as 3 on the next line.
  set_tests_properties(gui_smoke PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77
                       PASS_REGULAR_EXPRESSION "      1\\+2\n3\n")
  # Qt keeps caches for the life of the process; leak reports from it would
  # drown the windows' own faults in sanitizer builds.
  foreach(t IN LISTS VEK_GUI_TESTS)
    get_filename_component(n ${t} NAME_WE)
    set_tests_properties(gui_${n} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0")
  endforeach()
endif()
