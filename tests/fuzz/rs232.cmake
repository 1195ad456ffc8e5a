# The telnet layer of the network ports: any bytes a server may send. Seeds in corpus/telnet_fuzz.
zpk3x_add_fuzzer(telnet_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/telnet_fuzz.cpp zpk3x_rs232)
