# The console's other ways in, run as real processes: the network server
# driven by a socket client (frames whole, split, joined, too long, cut
# short; clients that leave; a port already taken), interrupts of endless
# loops in the console and the server, and a start-up script that is
# missing or fails on its third line.
find_program(VEK_PYTHON python3 HINTS /usr/bin)
set(VEK_FRONT ${CMAKE_CURRENT_SOURCE_DIR}/front_ends)
if(VEK_PYTHON)
  foreach(c frames leave_mid_frame short_prefix leave_while_printing port_in_use
            server_interrupt console_interrupt)
    add_test(NAME front_end_${c}
             COMMAND ${VEK_PYTHON} ${VEK_FRONT}/client.py ${c} $<TARGET_FILE:vek-console> ${VEK_FRONT}/loops.vkp)
    set_tests_properties(front_end_${c} PROPERTIES PASS_REGULAR_EXPRESSION "^passed\n$" TIMEOUT 120)
  endforeach()
endif()

add_test(NAME front_end_script_missing
         COMMAND sh -c "echo 1+2 | $<TARGET_FILE:vek-console> --script ${VEK_FRONT}/no_such_script.vkp; echo status $?")
set_tests_properties(front_end_script_missing PROPERTIES
         PASS_REGULAR_EXPRESSION "CLEAR WS\n\n      \\)FLOAD '[^']*/no_such_script\\.vkp'\nError: wrong path or file name\n      3\n      Bye\\.\nstatus 0\n$")
# The run stops at the failing line: the fourth never runs, and the
# console goes on with the first two lines' variables.
add_test(NAME front_end_script_fails_third_line
         COMMAND sh -c "printf 'd\\na+b\\n' | $<TARGET_FILE:vek-console> --script ${VEK_FRONT}/third_line_fails.vkp")
set_tests_properties(front_end_script_fails_third_line PROPERTIES
         PASS_REGULAR_EXPRESSION "      b<-2\n      c<-a\\+1 2\\+1 2 3\nError: length error\n      c<-a\\+1 2\\+1 2 3\n +\\^\n\\[\\*ln3\\] c<-a\\+1 2\\+1 2 3\n-->\\([^)]*third_line_fails\\.vkp\\)\n      Error: value error\n      d\n      \\^\n      3\n      Bye\\.\n$")
