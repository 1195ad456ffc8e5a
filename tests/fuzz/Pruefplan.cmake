# Test plans as the command line, Python and the window read them. Seeds in corpus/planlesen_fuzz.
if(TARGET zpk3x_planlesen)
  zpk3x_add_fuzzer(planlesen_fuzz ${CMAKE_CURRENT_LIST_DIR}/planlesen_fuzz.cpp zpk3x_planlesen)
endif()
