# zpk3x-cli as a process: read and write all programs against the paced simulator,
# and the time from its start to its first frame on the line.
if(TARGET zpk3x-cli AND TARGET zpk3x_simharness)
  add_executable(zpk3x_cli_bench ${CMAKE_CURRENT_LIST_DIR}/zpk3x-cli_uebertragung.cpp)
  target_link_libraries(zpk3x_cli_bench PRIVATE zpk3x_simharness)
  target_compile_definitions(zpk3x_cli_bench PRIVATE ZPK3X_CLI="$<TARGET_FILE:zpk3x-cli>")
  add_dependencies(zpk3x_cli_bench zpk3x-cli)
endif()
