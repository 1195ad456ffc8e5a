# zpk3x-cli monitor --mqtt: many stations (monitor and simulator each) on one
# Mosquitto, and the window as one more; processor time per station and the
# delay to the subscriber.
if(TARGET zpk3x-cli AND TARGET zpk3x_simharness AND TARGET zpk3x_mqttbroker)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MOSQUITTO_BENCH REQUIRED IMPORTED_TARGET libmosquitto)
  add_executable(zpk3x_cli_mqtt_bench ${CMAKE_CURRENT_LIST_DIR}/zpk3x-cli_mqtt.cpp)
  target_link_libraries(zpk3x_cli_mqtt_bench PRIVATE zpk3x_simharness zpk3x_mqttbroker PkgConfig::MOSQUITTO_BENCH)
  target_compile_definitions(zpk3x_cli_mqtt_bench PRIVATE ZPK3X_CLI="$<TARGET_FILE:zpk3x-cli>")
  add_dependencies(zpk3x_cli_mqtt_bench zpk3x-cli)
  if(TARGET zpk3x_app)
    add_executable(zpk3x_fenster_station ${CMAKE_CURRENT_LIST_DIR}/zpk3x_fenster_station.cpp)
    target_link_libraries(zpk3x_fenster_station PRIVATE zpk3x_app)
    add_dependencies(zpk3x_cli_mqtt_bench zpk3x_fenster_station)
    target_compile_definitions(zpk3x_cli_mqtt_bench PRIVATE ZPK3X_FENSTER="$<TARGET_FILE:zpk3x_fenster_station>")
  endif()
endif()
