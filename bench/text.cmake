# Text cutting against plain byte searches over a large GBK page.
add_executable(bench_text ${CMAKE_CURRENT_LIST_DIR}/bench_text.cpp)
target_link_libraries(bench_text PRIVATE fw_text benchmark::benchmark)
