# JSON reader and path evaluator; regular-expression wrapper.
fw_instrument_for_fuzzing(fw_text)

fw_add_fuzzer(fuzz_json ${CMAKE_CURRENT_LIST_DIR}/fuzz_json.cpp)
target_link_libraries(fuzz_json PRIVATE fw_text)

fw_add_fuzzer(fuzz_regex ${CMAKE_CURRENT_LIST_DIR}/fuzz_regex.cpp)
target_link_libraries(fuzz_regex PRIVATE fw_text)
