# scripts/run in a checkout that has never run: starting in run/ with the
# library ws/ beside it, a first )SAVE and )LIB work.
add_test(NAME first_start
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/first_start.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR}/first_start)
set_tests_properties(first_start PROPERTIES PASS_REGULAR_EXPRESSION "first start: saved in ws/")
