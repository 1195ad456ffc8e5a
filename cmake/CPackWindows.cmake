# The Windows ZIP (cpack -G ZIP in the cross build): zpk3x-cli.exe, its manual
# as text and a short README, side by side in one folder.
if(NOT WIN32 OR NOT TARGET zpk3x-cli)
  return()
endif()

set(zpk3x_zip ${CMAKE_BINARY_DIR}/zip)
file(MAKE_DIRECTORY ${zpk3x_zip})
# Plain text without overstriking, readable in any editor.
execute_process(COMMAND groff -man -Tascii -P-cbou ${CMAKE_BINARY_DIR}/src/zpk3x-cli/zpk3x-cli.1
                OUTPUT_FILE ${zpk3x_zip}/zpk3x-cli.txt RESULT_VARIABLE zpk3x_groff)
if(NOT zpk3x_groff EQUAL 0)
  message(FATAL_ERROR "groff could not set the manual of zpk3x-cli as text")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt.in ${zpk3x_zip}/README.txt @ONLY)

install(TARGETS zpk3x-cli RUNTIME DESTINATION . COMPONENT windows)
install(FILES ${zpk3x_zip}/zpk3x-cli.txt ${zpk3x_zip}/README.txt DESTINATION . COMPONENT windows)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zpk3x-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL windows)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_ARCHIVE_FILE_NAME zpk3x-cli-${PROJECT_VERSION}-windows-x64)
set(CPACK_STRIP_FILES ON)
include(CPack)
