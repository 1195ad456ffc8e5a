# Device answers: random bytes fed to each kind of transaction.
zpk3x_add_fuzzer(olqzpk3x_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/olqzpk3x_fuzz.cpp zpk3x_olqzpk3x)
