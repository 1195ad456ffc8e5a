# The Python package: dev.actual() per call beside zpk3x-cli get and a plain
# termios loop; build/bench/zpk3x_python_bench [CALLS].
if(TARGET zpk3x_python AND TARGET zpk3x-cli)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/zpk3x_python_bench
       CONTENT "#!/bin/sh\nPYTHONPATH=${ZPK3X_PYTHON_DIR} ZPK3X_CLI=$<TARGET_FILE:zpk3x-cli> exec ${ZPK3X_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/python_actual.py \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
