# The Qt grid binding with a grid of 20,000 rows (offscreen).
add_executable(bench_grid ${CMAKE_CURRENT_SOURCE_DIR}/bench_grid.cpp)
target_link_libraries(bench_grid PRIVATE fw_gui benchmark::benchmark)
