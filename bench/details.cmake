# Picking a fund against the sample service with 20 ms latency per answer.
add_executable(bench_details ${CMAKE_CURRENT_LIST_DIR}/bench_details.cpp)
target_link_libraries(bench_details PRIVATE fw_funds fw_sample benchmark::benchmark Threads::Threads)
