# Device driver: software cost of a transaction, and program transfer against the
# paced simulator.
if(TARGET zpk3x_simharness)
  add_executable(olqzpk3x_transaction_bench ${CMAKE_CURRENT_SOURCE_DIR}/olqzpk3x_transaction.cpp)
  target_link_libraries(olqzpk3x_transaction_bench PRIVATE zpk3x_olqzpk3x zpk3x_simharness
                        benchmark::benchmark)
  add_executable(olqzpk3x_programs_bench ${CMAKE_CURRENT_SOURCE_DIR}/olqzpk3x_programs.cpp)
  target_link_libraries(olqzpk3x_programs_bench PRIVATE zpk3x_olqzpk3x zpk3x_simharness)
endif()
