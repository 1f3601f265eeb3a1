# scripts/run without a display: one line naming the console instead of
# Qt's abort, status 1, and no build before it.
add_test(NAME run_script_without_display
         COMMAND sh -c "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VEK_BUILD_DIR=/nonexistent ${CMAKE_SOURCE_DIR}/scripts/run 2>&1; echo status $?")
set_tests_properties(run_script_without_display PROPERTIES
         PASS_REGULAR_EXPRESSION "^scripts/run: no display [^\n]*; scripts/run --console starts the console\nstatus 1\n$")
