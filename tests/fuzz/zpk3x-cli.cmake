# Program tables in JSON and CSV, as zpk3x-cli reads them. Seeds in corpus/programmformate_fuzz.
if(TARGET zpk3x_programmformate)
  zpk3x_add_fuzzer(programmformate_fuzz ${CMAKE_CURRENT_LIST_DIR}/../cli/programmformate_fuzz.cpp
                   zpk3x_programmformate)
endif()
