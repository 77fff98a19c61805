# Warnings for our own targets: call korvia_warnings(target).
function(korvia_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual
    -Wno-missing-field-initializers)
endfunction()

# A core library of one folder: every .cpp in it (but those named after
# EXCLUDE), warnings on, src/ on the include path so that headers are named by
# folder ("link/CommPort.h").
#   korvia_core_library(kv_engine EXCLUDE DrvComm.cpp)
function(korvia_core_library name)
  cmake_parse_arguments(L "" "" "EXCLUDE" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(x ${L_EXCLUDE})
    list(REMOVE_ITEM _srcs ${CMAKE_CURRENT_SOURCE_DIR}/${x})
  endforeach()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC Threads::Threads)
  korvia_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest, test by test.
#   korvia_gtest(NAME SOURCES a.cpp b.cpp LIBS kv_link kv_log)
# Qt tests run on the offscreen platform; every test has a bounded run time.
function(korvia_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kv_testsupport GTest::gtest GTest::gtest_main)
  korvia_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
