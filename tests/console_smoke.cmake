# The console: start-up text, prompt and "Bye." for an empty session, and an
# over-long line refused with one message while the next line still runs.
add_test(NAME console_start_and_bye
         COMMAND sh -c "printf '\\n' | $<TARGET_FILE:vek-console>")
set_tests_properties(console_start_and_bye PROPERTIES
         PASS_REGULAR_EXPRESSION "Vek 0\\.3 <linux64>\n.* cores [0-9]+MB.* \\(2015\\.08\\.10\\)\n      CLEAR WS\n\n            Bye\\.\n")
add_test(NAME console_long_line_refused
         COMMAND sh -c "{ head -c 5000 /dev/zero | tr '\\\\0' 1; echo; echo 2+3; } | $<TARGET_FILE:vek-console>")
set_tests_properties(console_long_line_refused PROPERTIES
         PASS_REGULAR_EXPRESSION "line of 5000 bytes refused: at most 4095\n      5\n      Bye\\.")
