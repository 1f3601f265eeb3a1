# A saved workspace and an )OUT script carried into new console processes:
# everything they show and write must match the session that made them.
add_test(NAME system_fresh_process
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/system_fresh_process.sh $<TARGET_FILE:vek-console>
                 ${CMAKE_CURRENT_BINARY_DIR}/system_fresh_process)
set_tests_properties(system_fresh_process PROPERTIES
         PASS_REGULAR_EXPRESSION "fresh process round trip: all equal")
