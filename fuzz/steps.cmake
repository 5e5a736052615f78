# The step service's reply.
fw_instrument_for_fuzzing(fw_steps)

fw_add_fuzzer(fuzz_step ${CMAKE_CURRENT_LIST_DIR}/fuzz_step.cpp)
target_link_libraries(fuzz_step PRIVATE fw_steps)
