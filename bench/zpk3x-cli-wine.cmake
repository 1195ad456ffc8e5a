# zpk3x-cli.exe under wine against the paced simulator; tools/test-windows.sh
# runs it with the Windows build's program (ZPK3X_WINDOWS_BENCH=1).
if(TARGET zpk3x_simharness)
  add_executable(zpk3x_cli_wine_bench ${CMAKE_CURRENT_LIST_DIR}/zpk3x-cli_wine.cpp)
  target_link_libraries(zpk3x_cli_wine_bench PRIVATE zpk3x_simharness)
endif()
