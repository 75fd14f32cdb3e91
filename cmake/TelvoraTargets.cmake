# Each source folder is one library made of every .cpp file in it, so adding a
# file to a layer needs no edit here. The layers and what each may use are
# listed once, in src/CMakeLists.txt.

set(TELVORA_WARNINGS -Wall -Wextra -Wpedantic -Wshadow=local -Wno-missing-field-initializers)

# telvora_layer(NAME DIR [DEPS ...])
function(telvora_layer name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE ${TELVORA_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# telvora_tests(LAYER [DEPS ...]): one test program per tests/ folder, every
# *_test.cpp in it, each gtest case a CTest test of its own. Paths the tests
# need are compiled into tests/support (test_paths.cpp), not passed through
# the environment: a CTest ENVIRONMENT list would have to escape its
# semicolons through gtest_discover_tests, which silently drops entries.
function(telvora_tests layer)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${layer}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  set(target ${layer}_tests)
  add_executable(${target} ${sources})
  target_compile_options(${target} PRIVATE ${TELVORA_WARNINGS})
  target_link_libraries(${target} PRIVATE telvora_test_support GTest::gtest GTest::gmock GTest::gtest_main ${ARGN})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${target}
    TEST_PREFIX "${layer}."
    DISCOVERY_TIMEOUT 120
    PROPERTIES
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
