# Small helpers shared by the target folders.

# ordwell_add_gtest(NAME SOURCES src... LIBS lib... [LABELS label...])
# Builds a GoogleTest executable that links the given libraries and registers its tests with CTest.
function(ordwell_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "unit;${ARG_LABELS}")
endfunction()

# ordwell_add_benchmark(NAME SOURCES src... LIBS lib... [SMOKE_ARGS arg...])
# Builds a Google Benchmark executable; CTest runs it once in a short smoke mode so it cannot rot,
# the real measurement is run by hand (see bench/README.md).
function(ordwell_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;SMOKE_ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  add_test(NAME ${name}.smoke COMMAND ${name} --benchmark_min_time=0 ${ARG_SMOKE_ARGS})
  set_tests_properties(${name}.smoke PROPERTIES LABELS "bench")
endfunction()

# ordwell_add_fuzzer(NAME SOURCES src... LIBS lib...)
# Builds a libFuzzer target; only meaningful with clang and ORDWELL_BUILD_FUZZERS.
function(ordwell_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ORDWELL_BUILD_FUZZERS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# ordwell_target_warnings(TARGET [CONVERSION])
# Turns on the project's warnings for a target's own sources; CONVERSION adds -Wconversion, kept
# for the plain C++ code (the Qt code mixes int and qsizetype too freely for it to help).
function(ordwell_target_warnings target)
  cmake_parse_arguments(ARG "CONVERSION" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow $<$<BOOL:${ARG_CONVERSION}>:-Wconversion>>)
endfunction()
