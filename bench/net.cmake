pkg_check_modules(NET_BENCH_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

add_executable(bench_fetch ${CMAKE_CURRENT_LIST_DIR}/bench_fetch.cpp)
target_link_libraries(bench_fetch PRIVATE fw_net CURL::libcurl PkgConfig::NET_BENCH_HTTPLIB benchmark::benchmark
                      Threads::Threads)
