# From the click on a fund to its chart drawn in the window, sample service at 20 ms (offscreen).
add_executable(bench_pick_chart ${CMAKE_CURRENT_LIST_DIR}/bench_pick_chart.cpp)
target_link_libraries(bench_pick_chart PRIVATE fw_gui fw_sample benchmark::benchmark)
