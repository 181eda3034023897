# Helpers for the test programs.
#
# kyvo_pure_test(name SOURCES ...): a test of byte-level code. It builds in both
#   trees: natively (with the sanitizers) and as a Windows program run under Wine.
# kyvo_win_test(name SOURCES ... [RESOURCES] [TIMEOUT s]): a Windows-only test that
#   uses the Win32 side; with RESOURCES the program carries the manager's
#   dialogs and strings so that real dialogs can be opened in-process. In the
#   64-bit build it has the test support alone (no manager code there).

set(KYVO_TEST_FLAGS ${KYVO_CHARSET_FLAGS} ${KYVO_WARN_FLAGS} -O1 -g0)

function(kyvo_add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${KYVO_WINE_RUN} ${KYVO_WINEPREFIX} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT KYVO_WINEARCH=${KYVO_WINEARCH})
endfunction()

function(kyvo_pure_test name)
  cmake_parse_arguments(T "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${KYVO_TEST_FLAGS})
  target_link_libraries(${name} PRIVATE kyvo_pure)
  if(KYVO_WINDOWS)
    target_include_directories(${name} PRIVATE ${KYVO_GTEST_INCLUDE})
    target_link_libraries(${name} PRIVATE kyvo_test_main ${KYVO_GTEST} ${KYVO_LINK_FLAGS})
    kyvo_add_wine_test(${name})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
    if(KYVO_SANITIZE)
      target_compile_options(${name} PRIVATE -fsanitize=address,undefined)
    endif()
    add_test(NAME ${name} COMMAND ${name})
  endif()
endfunction()

function(kyvo_win_test name)
  cmake_parse_arguments(T "RESOURCES" "TIMEOUT" "SOURCES" ${ARGN})
  if(NOT KYVO_WINDOWS)
    return()
  endif()
  set(srcs ${T_SOURCES})
  if(T_RESOURCES)
    list(APPEND srcs ${KYVO_ROOT}/manager/resources/kyvomar.rc)
  endif()
  add_executable(${name} ${srcs})
  target_compile_options(${name} PRIVATE ${KYVO_TEST_FLAGS})
  target_include_directories(${name} PRIVATE ${KYVO_GTEST_INCLUDE} ${KYVO_ROOT}/tests)
  target_link_libraries(${name} PRIVATE kyvo_test_support)
  if(TARGET kyvo_win)
    target_link_libraries(${name} PRIVATE kyvo_win)
  endif()
  target_link_libraries(${name} PRIVATE kyvo_test_main ${KYVO_GTEST} ${KYVO_LINK_FLAGS})
  if(T_TIMEOUT)
    kyvo_add_wine_test(${name} TIMEOUT ${T_TIMEOUT})
  else()
    kyvo_add_wine_test(${name})
  endif()
endfunction()
