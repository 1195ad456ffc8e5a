zpk3x_add_fuzzer(ini_fuzz ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp zpk3x_ini)
