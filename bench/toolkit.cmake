# Start-up of the windows: a fresh process from its start to the operator window
# shown (offscreen), with its peak memory.
add_executable(toolkit_startup_bench ${CMAKE_CURRENT_LIST_DIR}/toolkit_startup.cpp)
target_link_libraries(toolkit_startup_bench PRIVATE zpk3x_toolkit)
