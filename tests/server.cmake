# A throwaway Firebird server on 127.0.0.1 for the tests that play several
# stations: started before the first of them, stopped after the last, with a
# root folder, port and SYSDBA password of its own (scripts/test-server.sh).
# Included after the test programs are defined.
include_guard(GLOBAL)

set(TALLYON_TEST_SERVER_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/test-server.sh)
set(TALLYON_TEST_SERVER_ROOT ${CMAKE_BINARY_DIR}/test-server)

add_test(NAME test_server_start COMMAND bash ${TALLYON_TEST_SERVER_SCRIPT} start ${TALLYON_TEST_SERVER_ROOT})
set_tests_properties(test_server_start PROPERTIES FIXTURES_SETUP test_server SKIP_RETURN_CODE 77 TIMEOUT 120)
add_test(NAME test_server_stop COMMAND bash ${TALLYON_TEST_SERVER_SCRIPT} stop ${TALLYON_TEST_SERVER_ROOT})
set_tests_properties(test_server_stop PROPERTIES FIXTURES_CLEANUP test_server TIMEOUT 60)

# Gives a test program the fixture's server (tests/test_server.h). Without a
# server its server cases skip, or fail under CI. SKIP_WITHOUT_SERVER: the
# program tests nothing else, and ctest shows it as skipped then.
function(tallyon_server_test name)
  cmake_parse_arguments(S "SKIP_WITHOUT_SERVER" "" "" ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED test_server
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TALLYON_TEST_SERVER_ROOT=${TALLYON_TEST_SERVER_ROOT};TALLYON_JOURNAL_DIR=${CMAKE_BINARY_DIR}/test-journals")
  if(S_SKIP_WITHOUT_SERVER)
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "no Firebird server to test with")
  endif()
  target_compile_definitions(${name} PRIVATE TALLYON_TEST_SERVER_SCRIPT="${TALLYON_TEST_SERVER_SCRIPT}")
endfunction()

tallyon_server_test(tst_server SKIP_WITHOUT_SERVER)
if(TARGET tst_host)
  tallyon_server_test(tst_host)
endif()

# Scoring stations as processes of their own: station_driver plays one.
add_executable(station_driver station_driver.cpp)
target_link_libraries(station_driver PRIVATE tallyon_forms tallyon_host Qt6::Test)
tallyon_test(tst_stations SOURCES tst_stations.cpp LIBS tallyon_data)
target_compile_definitions(tst_stations PRIVATE STATION_DRIVER="$<TARGET_FILE:station_driver>"
  TALLYON_EXE="$<TARGET_FILE:tallyon>")
add_dependencies(tst_stations station_driver tallyon VozozeVove)
tallyon_server_test(tst_stations SKIP_WITHOUT_SERVER)
