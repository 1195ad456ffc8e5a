# Set-up of the Windows cross build (cmake/mingw-w64-x86_64.cmake).

# The header-only libraries of the command line come from the host's packages. Only
# their own headers are handed over: /usr/include as a whole would hide mingw's.
foreach(package nlohmann_json:nlohmann_json:nlohmann CLI11:CLI11:CLI)
  string(REPLACE ":" ";" parts ${package})
  list(GET parts 0 name)
  list(GET parts 1 namespace)
  list(GET parts 2 folder)
  set(dir ${CMAKE_BINARY_DIR}/host-packages/${name})
  file(MAKE_DIRECTORY ${dir}/include)
  file(CREATE_LINK /usr/include/${folder} ${dir}/include/${folder} SYMBOLIC)
  file(WRITE ${dir}/${name}Config.cmake
    "if(NOT TARGET ${namespace}::${name})
"
    "  add_library(${namespace}::${name} INTERFACE IMPORTED)
"
    "  set_target_properties(${namespace}::${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dir}/include)
"
    "endif()
")
  file(WRITE ${dir}/${name}ConfigVersion.cmake "set(PACKAGE_VERSION_COMPATIBLE TRUE)
")
  set(${name}_DIR ${dir} CACHE PATH "" FORCE)
endforeach()

# GoogleTest is built from the sources of Debian's googletest package, for the target.
set(ZPK3X_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZPK3X_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# It defines GTest::gtest and GTest::gtest_main itself, as the native package does.

# The Linux programs that the Windows tests drive (the device simulator and its
# bridge), from a native build of this tree.
set(ZPK3X_HOST_BUILD "" CACHE PATH "Native build folder that holds zpk3x-sim and zpk3x-sim-bridge")

enable_testing()
include(GoogleTest)

# Under wine a test program starts much slower than natively (the first start in a
# new prefix takes seconds): give the listing of its tests more than the default 5 s.
function(gtest_discover_tests)
  _gtest_discover_tests(${ARGV} DISCOVERY_TIMEOUT 120)
endfunction()
