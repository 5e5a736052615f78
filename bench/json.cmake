# Reading a ranking answer through JsonDocument against a strict JSON parser.
add_executable(bench_json ${CMAKE_CURRENT_LIST_DIR}/bench_json.cpp)
target_link_libraries(bench_json PRIVATE fw_text benchmark::benchmark)
