# Sequential fetches from the sample service against a bare libcurl loop.
add_executable(bench_fetch ${CMAKE_CURRENT_LIST_DIR}/bench_fetch.cpp)
target_link_libraries(bench_fetch PRIVATE fw_net fw_sample CURL::libcurl benchmark::benchmark Threads::Threads)
