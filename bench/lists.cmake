# The paged five-star list with added latency, against the time of its requests.
add_executable(bench_lists ${CMAKE_CURRENT_LIST_DIR}/bench_lists.cpp)
target_link_libraries(bench_lists PRIVATE fw_funds fw_sample Threads::Threads)
