# The paged five-star list with added latency, against the time of its requests.
add_executable(bench_lists ${CMAKE_CURRENT_LIST_DIR}/bench_lists.cpp)
target_link_libraries(bench_lists PRIVATE fw_funds fw_sample Threads::Threads)
# A 20,000-row fund grid in the real window: pauses of the event loop and memory.
add_executable(bench_big_list ${CMAKE_CURRENT_LIST_DIR}/bench_big_list.cpp)
target_link_libraries(bench_big_list PRIVATE fw_gui)
add_dependencies(bench_big_list fundwatch-sample-service)
