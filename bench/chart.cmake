# The comparison chart on the Qt canvas: pointer read-out and full drawing (offscreen).
add_executable(bench_chart ${CMAKE_CURRENT_LIST_DIR}/bench_chart.cpp)
target_link_libraries(bench_chart PRIVATE fw_gui fw_chart benchmark::benchmark)
