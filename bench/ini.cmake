add_executable(ini_read_bench ${CMAKE_CURRENT_LIST_DIR}/ini_read.cpp)
target_link_libraries(ini_read_bench PRIVATE zpk3x_ini benchmark::benchmark)
