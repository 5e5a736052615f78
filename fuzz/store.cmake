# The configuration file as the user (or a crash) may leave it.
fw_instrument_for_fuzzing(fw_store)

fw_add_fuzzer(fuzz_config ${CMAKE_CURRENT_LIST_DIR}/fuzz_config.cpp)
target_link_libraries(fuzz_config PRIVATE fw_store)
