# Small helpers shared by the target folders. Every executable and library of the project gets
# its warnings from ordwell_target_warnings. Tests are registered by the ordwell_add_* helpers
# below where one fits; a few plain script tests call add_test themselves.

# ordwell_target_warnings(TARGET [CONVERSION])
# Turns on the project's warnings for a target's own sources; CONVERSION adds -Wconversion, kept
# for the plain C++ code (the Qt code mixes int and qsizetype too freely for it to help).
# With ORDWELL_WARNINGS_AS_ERRORS (CI turns it on), any of them fails the build.
option(ORDWELL_WARNINGS_AS_ERRORS "Treat the project's compiler warnings as errors" OFF)
function(ordwell_target_warnings target)
  cmake_parse_arguments(ARG "CONVERSION" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow $<$<BOOL:${ARG_CONVERSION}>:-Wconversion>>)
  if(ORDWELL_WARNINGS_AS_ERRORS)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
  endif()
endfunction()

# ordwell_add_gtest(NAME SOURCES src... LIBS lib... [LABELS label...])
# Builds a GoogleTest executable that links the given libraries and registers its tests with CTest.
function(ordwell_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  ordwell_target_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "unit;${ARG_LABELS}")
endfunction()

# ordwell_add_qtest(NAME SOURCES src... LIBS lib... [LABELS label...] [ENVIRONMENT var=value...])
# Builds a Qt Test executable and registers it with CTest on the offscreen platform, so it runs
# without a display.
function(ordwell_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  ordwell_target_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "unit;${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
endfunction()

# ordwell_add_script_test(NAME SCRIPT script [ARGS arg...] [LABELS label...] [TIMEOUT seconds]
#                         [ENVIRONMENT var=value...] [SERIAL])
# Registers a bash script as a test; exit status 77 marks it skipped (a tool it needs is missing).
function(ordwell_add_script_test name)
  cmake_parse_arguments(ARG "SERIAL" "SCRIPT;TIMEOUT" "ARGS;LABELS;ENVIRONMENT" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND bash "${ARG_SCRIPT}" ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES
    LABELS "${ARG_LABELS}" SKIP_RETURN_CODE 77 TIMEOUT ${ARG_TIMEOUT} RUN_SERIAL ${ARG_SERIAL}
    ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()

# ordwell_add_benchmark(NAME SOURCES src... LIBS lib... [SMOKE_ARGS arg...] [OWN_MAIN] [LABELS label...])
# Builds a benchmark; CTest runs it once in a short smoke mode so it cannot rot, the real
# measurement is run by hand (see bench/README.md). Google Benchmark programs get
# --benchmark_min_time=0 before SMOKE_ARGS; OWN_MAIN programs measure by themselves and get
# SMOKE_ARGS only. The smoke runs on Qt's offscreen platform, for the programs that show widgets.
function(ordwell_add_benchmark name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;LIBS;SMOKE_ARGS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  ordwell_target_warnings(${name})
  if(ARG_OWN_MAIN)
    add_test(NAME ${name}.smoke COMMAND ${name} ${ARG_SMOKE_ARGS})
  else()
    target_link_libraries(${name} PRIVATE benchmark::benchmark)
    add_test(NAME ${name}.smoke COMMAND ${name} --benchmark_min_time=0 ${ARG_SMOKE_ARGS})
  endif()
  set_tests_properties(${name}.smoke PROPERTIES
    LABELS "bench;${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
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
  ordwell_target_warnings(${name})
endfunction()

# ordwell_gzip(SOURCE OUTPUT)
# Compresses SOURCE into OUTPUT at build time, without a time stamp, so packages built from the
# same sources are the same (manual pages and changelogs are installed compressed).
find_program(GZIP_EXECUTABLE gzip REQUIRED)
function(ordwell_gzip source output)
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${GZIP_EXECUTABLE}" -9 -n -c "${source}" > "${output}"
    DEPENDS "${source}"
    VERBATIM)
endfunction()
