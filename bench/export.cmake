# The whole-market export in the window beside the same job in Python.
add_executable(bench_full_list ${CMAKE_CURRENT_LIST_DIR}/bench_full_list.cpp)
target_link_libraries(bench_full_list PRIVATE fw_gui fw_sample)
target_compile_definitions(bench_full_list PRIVATE FULL_LIST_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/full_list.py")
add_dependencies(bench_full_list fundwatch-sample-service)
