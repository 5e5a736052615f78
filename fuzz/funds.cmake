# Readers of the fund services' answers: rankings, sectors, fund and archive
# pages, holdings and quotes, search, and the portfolio's page and CSV reading.
fw_instrument_for_fuzzing(fw_funds)

foreach(target ranking sector fund_page profile holdings search portfolio_csv estimate)
  fw_add_fuzzer(fuzz_${target} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${target}.cpp)
  target_link_libraries(fuzz_${target} PRIVATE fw_funds)
endforeach()
