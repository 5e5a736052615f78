# The comparison answer, read and drawn.
fw_instrument_for_fuzzing(fw_chart)

fw_add_fuzzer(fuzz_comparison ${CMAKE_CURRENT_LIST_DIR}/fuzz_comparison.cpp)
target_link_libraries(fuzz_comparison PRIVATE fw_chart)
