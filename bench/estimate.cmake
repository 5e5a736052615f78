# Today's estimate of 200 funds against the sample service with 20 ms latency per answer.
add_executable(bench_estimate ${CMAKE_CURRENT_LIST_DIR}/bench_estimate.cpp)
target_link_libraries(bench_estimate PRIVATE fw_funds fw_sample Threads::Threads)
