# Trend window: processor time from a query to the repainted chart with a day of
# data shown, and the whole program's peak memory with that day.
if(TARGET zpk3x_app)
  add_executable(verlauf_aktualisierung_bench ${CMAKE_CURRENT_LIST_DIR}/verlauf_aktualisierung.cpp)
  target_link_libraries(verlauf_aktualisierung_bench PRIVATE zpk3x_app Qt6::Widgets)
endif()
