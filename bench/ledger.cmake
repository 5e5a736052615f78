# The trade ledger: 10,000 trades over 200 funds with 10 years of NAV history.
add_executable(bench_ledger ${CMAKE_CURRENT_LIST_DIR}/bench_ledger.cpp)
target_link_libraries(bench_ledger PRIVATE fw_funds Threads::Threads)
