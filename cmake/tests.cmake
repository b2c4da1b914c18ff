# The tests, in three tiers by kind, each a ctest label:
#   unit         in process, one program per layer (tests/<layer>/); the fast
#                loop: `ctest -L unit`
#   integration  starts the built programs and checks what they do, say and
#                write (tests/integration/)
#   system       fits, measured data, Slurm (tests/system/)
# Only the integration and system programs can start the built programs (see
# tests/support/programs.h). `ctest` alone runs every tier.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

add_test(NAME layer_includes
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}/src
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_layers.cmake)
set_tests_properties(layer_includes PROPERTIES LABELS unit)

set(YOSTA_TESTS_DIR ${CMAKE_CURRENT_SOURCE_DIR}/tests)

# Scratch folders, files, numbers, the measured-data folder.
add_library(yosta_test_support STATIC ${YOSTA_TESTS_DIR}/support/test_support.cpp ${YOSTA_TESTS_DIR}/support/lock_holder.cpp)
target_include_directories(yosta_test_support PUBLIC ${YOSTA_TESTS_DIR})
target_link_libraries(yosta_test_support PUBLIC yosta_tools_core GTest::gtest)
target_compile_definitions(yosta_test_support PUBLIC
  YOSTA_TEST_DIR="${YOSTA_TESTS_DIR}"
  YOSTA_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}")

# Runs of the built programs, for the integration and system tiers.
add_library(yosta_test_programs STATIC ${YOSTA_TESTS_DIR}/support/programs.cpp ${YOSTA_TESTS_DIR}/support/small_run.cpp)
target_link_libraries(yosta_test_programs PUBLIC yosta_test_support)
target_compile_definitions(yosta_test_programs
  PUBLIC YOSTA_STARTS_PROGRAMS
  PRIVATE YOSTA_BINARY="$<TARGET_FILE:yosta>" YOSTA_TOOLS_BINARY="$<TARGET_FILE:yosta-tools>")
add_dependencies(yosta_test_programs yosta yosta-tools)

# One test program of tier `tier` from the sources after the name.
function(yosta_test_program name tier)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE yosta_test_support GTest::gtest_main)
  if(NOT tier STREQUAL "unit")
    target_link_libraries(${name} PRIVATE yosta_test_programs)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "YOSTA_REALDATA=${CMAKE_CURRENT_SOURCE_DIR}/../shared/realdata"
               LABELS ${tier})
endfunction()

# `cmake --build build --target unit_tests` builds the unit tier alone.
add_custom_target(unit_tests)
add_dependencies(unit_tests yosta_test_support)
foreach(layer ${YOSTA_LAYERS} ${YOSTA_PROGRAM_LAYERS})
  file(GLOB tsrcs CONFIGURE_DEPENDS ${YOSTA_TESTS_DIR}/${layer}/*.cpp)
  if(tsrcs)
    yosta_test_program(test_${layer} unit ${tsrcs})
    add_dependencies(unit_tests test_${layer})
  endif()
endforeach()
# The fast cycle against the straightforward one, on the benchmark cases.
target_link_libraries(test_fit PRIVATE yosta_test_cases)
# Pictures read back as pixels (libpng-dev).
find_package(PNG REQUIRED)
target_link_libraries(test_tools PRIVATE PNG::PNG)

foreach(tier integration system)
  file(GLOB_RECURSE tsrcs CONFIGURE_DEPENDS ${YOSTA_TESTS_DIR}/${tier}/*.cpp)
  if(tsrcs)
    yosta_test_program(test_${tier} ${tier} ${tsrcs})
  endif()
endforeach()

# The evaluators under memcheck: a read of memory never written (padding of
# a whole-line pass, say) gives whatever a machine left there, so a walk that
# passes here may take other decisions elsewhere. Not in the sanitizer build
# (the two do not mix). The cosine table test is left out: valgrind computes
# long double in double precision.
find_program(VALGRIND valgrind)
if(VALGRIND AND NOT YOSTA_SANITIZE)
  add_test(NAME memcheck_fit
           COMMAND ${VALGRIND} -q --error-exitcode=9 $<TARGET_FILE:test_fit> --gtest_filter=-TurnCos.*)
  set_tests_properties(memcheck_fit PROPERTIES LABELS system TIMEOUT 900)
endif()
