# The error of each estimate model on the whole sample market against the same day's NAV change.
add_executable(bench_accuracy ${CMAKE_CURRENT_LIST_DIR}/bench_accuracy.cpp)
target_link_libraries(bench_accuracy PRIVATE fw_funds fw_sample Threads::Threads)
# It takes a few seconds, so it runs with the tests too: it fails when the
# feeder or the index model does not beat the holdings mean on its funds.
if(FUNDWATCH_TESTS)
  add_test(NAME bench_accuracy COMMAND bench_accuracy)
  set_tests_properties(bench_accuracy PROPERTIES LABELS bench TIMEOUT 120)
endif()
