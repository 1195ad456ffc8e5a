# Reading and writing all programs through the window against the paced simulator.
if(TARGET zpk3x_uifixture AND TARGET zpk3x_simharness)
  add_executable(zpk3xSteuerung_uebertragung_bench ${CMAKE_CURRENT_LIST_DIR}/zpk3xSteuerung_uebertragung.cpp)
  target_link_libraries(zpk3xSteuerung_uebertragung_bench PRIVATE zpk3x_uifixture zpk3x_app zpk3x_simharness)
endif()
# From "Beenden" to the process gone.
if(TARGET zpk3x_simharness)
  add_executable(zpk3xSteuerung_beenden_bench ${CMAKE_CURRENT_LIST_DIR}/zpk3xSteuerung_beenden.cpp)
  target_link_libraries(zpk3xSteuerung_beenden_bench PRIVATE zpk3x_app zpk3x_simharness)
endif()
