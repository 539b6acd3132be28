# The shared out-of-process test server of a CTest run.
#
# The fixture tests quor_test_server_start / quor_test_server_stop (tests/server/CMakeLists.txt)
# start the native server program once before the first test that needs it and stop it after
# the last. The server writes its port into QUOR_TEST_SERVER_PORT_FILE; each test that uses it
# gets that file's name in its environment variable of the same name and reads it with
# quor::test::SharedTestServerPort() (tests/server/test_server_client.h). Under Wine the name is
# given as "Z:/..." (Wine's drive for the Linux root).
#
# In a folder's CMakeLists.txt, after the tests are defined:
#   include(${PROJECT_SOURCE_DIR}/tests/server/QuorTestServer.cmake)
#   quor_use_test_server(my_wine_http_test other_test)
# Works in every preset; native tests may just as well run the server in-process. Call it after
# quor_add_gtest: it appends to the test's ENVIRONMENT, which quor_add_gtest sets.
#
# Every test of the run shares this one server (document root: QUOR_TEST_SERVER_ROOT, the
# repository unless set, so /files/<repo path> serves any fixture file): count on request paths
# of your own (e.g. /exact/<test name>.mp3) and do not call /_reset, which clears everyone's
# counters. For the routes see tests/server/test_http_server.h.
include_guard(GLOBAL)

set(QUOR_TEST_SERVER_FIXTURE quor_test_server)
set(QUOR_TEST_SERVER_PORT_FILE ${CMAKE_BINARY_DIR}/test-server/port)

function(quor_use_test_server)
  set(_file ${QUOR_TEST_SERVER_PORT_FILE})
  if(WIN32)
    set(_file "Z:${_file}")
  endif()
  foreach(_test IN LISTS ARGN)
    set_property(TEST ${_test} APPEND PROPERTY FIXTURES_REQUIRED ${QUOR_TEST_SERVER_FIXTURE})
    set_property(TEST ${_test} APPEND PROPERTY ENVIRONMENT "QUOR_TEST_SERVER_PORT_FILE=${_file}")
  endforeach()
endfunction()
