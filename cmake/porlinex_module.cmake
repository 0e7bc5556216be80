# One static library per folder, built from every .cpp directly in it and in
# the subfolders named by SUBDIRS (one per protocol or service), and one test
# program per folder, built from every .cpp in the tests/ folders beside them.
# Globbing keeps the build files untouched when a module gains a file.
#
# The libraries are object libraries that programs link whole: tables
# (routes, CREATE statements, tasks) register themselves from static
# initialisers, which a static archive would drop along with any object file
# nobody calls into.
set_property(GLOBAL PROPERTY PORLINEX_LIBS "")

function(porlinex_link_whole target)
  get_property(libs GLOBAL PROPERTY PORLINEX_LIBS)
  target_link_libraries(${target} PRIVATE ${libs})
endfunction()

function(porlinex_module folder)
  cmake_parse_arguments(M "" "NAME" "DEPS;SUBDIRS" ${ARGN})
  if(NOT M_NAME)
    set(M_NAME ${folder})
  endif()
  set(lib porlinex_${M_NAME})
  set(src_globs ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  set(test_globs ${CMAKE_SOURCE_DIR}/${folder}/tests/*.cpp)
  foreach(sub ${M_SUBDIRS})
    list(APPEND src_globs ${CMAKE_SOURCE_DIR}/${folder}/${sub}/*.cpp)
    list(APPEND test_globs ${CMAKE_SOURCE_DIR}/${folder}/${sub}/tests/*.cpp)
  endforeach()
  file(GLOB srcs CONFIGURE_DEPENDS ${src_globs})
  if(srcs)
    add_library(${lib} OBJECT ${srcs})
    set(scope PUBLIC)
  else()
    add_library(${lib} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${lib} ${scope} ${CMAKE_SOURCE_DIR})
  target_link_libraries(${lib} ${scope} ${M_DEPS})
  set_property(GLOBAL APPEND PROPERTY PORLINEX_LIBS ${lib})

  file(GLOB tests CONFIGURE_DEPENDS ${test_globs})
  if(tests)
    set(exe test_${M_NAME})
    add_executable(${exe} ${tests})
    target_link_libraries(${exe} PRIVATE porlinex_test_support GTest::gtest GTest::gtest_main)
    porlinex_link_whole(${exe})
    # Test code is mostly template instantiations that take long to optimise
    # and gain nothing from it; the code under test keeps the build's flags.
    target_compile_options(${exe} PRIVATE -O0)
    target_compile_definitions(${exe} PRIVATE
      PORLINEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      PORLINEX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
  endif()
endfunction()
