# What the engine reads from outside: URLs, cookie texts, response heads.
fw_instrument_for_fuzzing(fw_net)

fw_add_fuzzer(fuzz_url ${CMAKE_CURRENT_LIST_DIR}/fuzz_url.cpp)
target_link_libraries(fuzz_url PRIVATE fw_net)

fw_add_fuzzer(fuzz_response ${CMAKE_CURRENT_LIST_DIR}/fuzz_response.cpp)
target_link_libraries(fuzz_response PRIVATE fw_net)
