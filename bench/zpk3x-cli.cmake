# zpk3x-cli as a process: read and write all programs against the paced simulator,
# and the time from its start to its first frame on the line; with "net", the
# same through ser2net beside the local terminal.
if(TARGET zpk3x-cli AND TARGET zpk3x_simharness AND TARGET zpk3x_ser2netharness)
  add_executable(zpk3x_cli_bench ${CMAKE_CURRENT_LIST_DIR}/zpk3x-cli_uebertragung.cpp)
  target_link_libraries(zpk3x_cli_bench PRIVATE zpk3x_simharness zpk3x_ser2netharness)
  target_compile_definitions(zpk3x_cli_bench PRIVATE ZPK3X_CLI="$<TARGET_FILE:zpk3x-cli>")
  add_dependencies(zpk3x_cli_bench zpk3x-cli)
endif()
