# zlib from the MinGW-w64 packages, minizip built from zlib's contrib sources, GoogleTest from
# the distribution's source package. All static, so the programs carry no DLL of their own.

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

if(NOT EXISTS "${KN_MINIZIP_DIR}/unzip.c")
  message(FATAL_ERROR "minizip sources not found in ${KN_MINIZIP_DIR}; run scripts/setup.sh")
endif()
add_library(minizip STATIC
  ${KN_MINIZIP_DIR}/ioapi.c
  ${KN_MINIZIP_DIR}/iowin32.c
  ${KN_MINIZIP_DIR}/unzip.c
  ${KN_MINIZIP_DIR}/zip.c)
target_include_directories(minizip SYSTEM PUBLIC ${KN_MINIZIP_DIR})
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
target_compile_options(minizip PRIVATE -w)

if(KN_BUILD_TESTS)
  set(KN_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KN_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
