# The fuzz targets of fuzz/ are built natively with clang beside the Windows build, so that
# ./test.sh replays their seeds and a short fixed run of each; scripts/fuzz.sh fuzzes for real.
include(ExternalProject)

set(KN_FUZZ_TARGETS entry_name_fuzzer entry_metadata_fuzzer manifest_fuzzer crc32_fuzzer frame_fuzzer
    string_descriptor_fuzzer flash_layout_fuzzer device_match_fuzzer error_text_fuzzer signing_text_fuzzer)

ExternalProject_Add(fuzz_targets
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
  INSTALL_COMMAND ""
  BUILD_ALWAYS TRUE)

foreach(target IN LISTS KN_FUZZ_TARGETS)
  add_test(NAME fuzz_${target} COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh --replay ${target})
  set_tests_properties(fuzz_${target} PROPERTIES ENVIRONMENT "KN_BUILD=${CMAKE_BINARY_DIR}" TIMEOUT 300)
endforeach()
