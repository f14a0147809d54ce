# Small helpers so every area declares its libraries, tests, benchmarks and fuzz targets
# the same way.

# varnook_library(<name> [CORE] SOURCES <files...> [DEPS <targets...>])
# A static library whose headers are included as "<area>/<file>.h" from src/. CORE marks
# the libraries without Qt, built with the stricter warnings (conversions, shadowing,
# old-style casts) that code shared by all three programs deserves.
function(varnook_library name)
  cmake_parse_arguments(ARG "CORE" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  if(ARG_CORE)
    target_compile_options(${name} PRIVATE ${VARNOOK_CORE_WARNINGS})
  endif()
endfunction()

# The generated version header ("varnook/version.h") for the targets that show the version.
function(varnook_uses_version target)
  target_include_directories(${target} PRIVATE ${PROJECT_BINARY_DIR}/generated)
endfunction()

# varnook_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# Builds a GoogleTest program and registers each of its tests with CTest.
function(varnook_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VARNOOK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VARNOOK_BINARY_DIR="${CMAKE_BINARY_DIR}"
    VARNOOK_TEST_CORPUS="${VARNOOK_CORPUS}")
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()

# varnook_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(varnook_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark)
  target_compile_definitions(${name} PRIVATE VARNOOK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                            VARNOOK_TEST_CORPUS="${VARNOOK_CORPUS}")
endfunction()

# varnook_add_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
# The seed corpus lives in fuzz/corpus/<name>; .ci/run runs every target listed in
# ${CMAKE_BINARY_DIR}/fuzz-targets.txt.
function(varnook_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz/bin)
  file(APPEND ${CMAKE_BINARY_DIR}/fuzz-targets.txt "${name}\n")
endfunction()
