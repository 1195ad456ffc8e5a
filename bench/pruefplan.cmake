# Test plans: sampling rate reached against the line's limit, processor time of a
# long measurement, record size per hour.
if(TARGET zpk3x_pruefplan AND TARGET zpk3x_simharness)
  add_executable(pruefplan_bench ${CMAKE_CURRENT_LIST_DIR}/pruefplan_abtastung.cpp)
  target_link_libraries(pruefplan_bench PRIVATE zpk3x_pruefplan zpk3x_olqzpk3x zpk3x_errorcatalogue zpk3x_simharness)
endif()
