# A fund's curve of the day against the sample service with 20 ms latency per answer.
add_executable(bench_curve ${CMAKE_CURRENT_LIST_DIR}/bench_curve.cpp)
target_link_libraries(bench_curve PRIVATE fw_funds fw_sample benchmark::benchmark Threads::Threads)
