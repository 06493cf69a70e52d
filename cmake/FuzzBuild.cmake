# The fuzz build (scripts/fuzz.sh): the readers of outside data in devicelib/headsets and one
# libFuzzer program for each, with clang, AddressSanitizer and UBSan; no Qt, no utility.
# HLX_FUZZ_COVERAGE builds the same programs to measure line coverage instead, without sanitizers.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz build needs clang: -DCMAKE_CXX_COMPILER=clang++-14")
endif()
option(HLX_FUZZ_COVERAGE "Fuzz targets built for llvm-cov, not for finding faults" OFF)

if(HLX_FUZZ_COVERAGE)
  add_compile_options(-fsanitize=fuzzer-no-link -fprofile-instr-generate -fcoverage-mapping)
  add_link_options(-fprofile-instr-generate)
  set(HLX_FUZZ_LINK -fsanitize=fuzzer)
else()
  # Every fault stops the run, UBSan's too, so that libFuzzer keeps the input.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  set(HLX_FUZZ_LINK -fsanitize=fuzzer)
endif()

add_subdirectory(devicelib/headsets)
add_subdirectory(tests/fuzz)
