# Program file image decoder (no window needed).
zpk3x_add_fuzzer(programmdatei_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/../DateiFunktionen/programmdatei_fuzz.cpp
                 zpk3x_common)
target_sources(programmdatei_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/src/DateiFunktionen/Programmdatei.cpp)
