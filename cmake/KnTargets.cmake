# Common settings for the project's own targets.

function(kn_target_defaults target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unknown-pragmas)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

# A Windows path for a path of the build machine: Wine maps the root file system to Z:.
function(kn_windows_path out path)
  string(REPLACE "/" "\\" winpath "${path}")
  set(${out} "Z:${winpath}" PARENT_SCOPE)
endfunction()

# One GoogleTest binary, run under Wine by CTest.
function(kn_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ARGS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kn_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TZ=UTC;${ARG_ENVIRONMENT}")
endfunction()

# Programs load kndfu.dll by plain name, so our bench library has to sit beside them: copies
# the current build into the folder of `target` after that target is built.
function(kn_place_kndfu_beside target)
  add_dependencies(${target} kndfu)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:kndfu> $<TARGET_FILE_DIR:${target}>/kndfu.dll)
endfunction()

# A DLL that exports the names its .def file lists, undecorated. A 32-bit WINAPI (stdcall)
# function's symbol carries its decoration (_LMDFUInit@0); the linker binds each plain name to
# it and exports the plain name, as MSVC's does. Asked for explicitly, so it does so silently.
function(kn_def_exports target)
  if(MINGW AND KN_ARCH STREQUAL "x86")
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
endfunction()
