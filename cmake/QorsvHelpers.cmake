# Helpers shared by the subsystem folders.

# qorsv_add_gtest(NAME SOURCES... LIBS libs...)
# Builds a GoogleTest executable (kept out of the program directory) and registers it with CTest.
function(qorsv_add_gtest name)
  if(NOT QORSV_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock
                        Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QORSV_RUN_DIR=${QORSV_RUN_DIR}"
                       TIMEOUT 600)
endfunction()

# qorsv_add_fuzzer(NAME SOURCES... LIBS libs...)
# Builds a libFuzzer target when QORSV_FUZZ is on (clang); registers a short smoke run with CTest.
function(qorsv_add_fuzzer name)
  if(NOT QORSV_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  # A short smoke run: whichever comes first of 20000 inputs or 20 seconds.
  add_test(NAME ${name}_smoke COMMAND ${name} -runs=20000 -max_total_time=20 -max_len=4096)
  set_tests_properties(${name}_smoke PROPERTIES TIMEOUT 300)
endfunction()

# qorsv_add_subsystem(NAME DEPS libs...)
# One library per subsystem folder: every .cpp directly in the folder except main.cpp.
# A folder that so far holds only headers becomes an INTERFACE library.
function(qorsv_add_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} Threads::Threads)
  endif()
endfunction()

# qorsv_add_subsystem_tests(NAME LIBS libs...)
# All tests/*_test.cpp of the folder in one GoogleTest executable; tests/*.h(pp) helpers beside.
function(qorsv_add_subsystem_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_support.cpp)
  if(test_sources)
    qorsv_add_gtest(${name} SOURCES ${test_sources} LIBS ${ARG_LIBS})
  endif()
endfunction()

# qorsv_add_subsystem_fuzzers(LIBS libs...)
# Each fuzz/*_fuzz.cpp of the folder becomes one libFuzzer target.
function(qorsv_add_subsystem_fuzzers)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  foreach(src ${fuzz_sources})
    get_filename_component(fuzz_name ${src} NAME_WE)
    qorsv_add_fuzzer(${fuzz_name} SOURCES ${src} LIBS ${ARG_LIBS})
  endforeach()
endfunction()

# qorsv_use_fast_allocator(target)
# Links an executable with tcmalloc when the build found it. The program calls none of its
# functions, so the library is kept in the link even where the linker drops unused ones.
function(qorsv_use_fast_allocator target)
  if(TARGET PkgConfig::TCMALLOC)
    target_link_libraries(${target} PRIVATE "-Wl,--push-state,--no-as-needed"
                          PkgConfig::TCMALLOC "-Wl,--pop-state")
  endif()
endfunction()
