# A private PostgreSQL cluster for tests that need the department's database, started and
# stopped by CTest around them (scripts/test-database.sh):
#
#   kn_test_database(FIXTURE DIR)   the cluster in DIR, as the CTest fixture FIXTURE: a test
#                                   that starts it and one that stops it
#   kn_use_test_database(TEST FIXTURE DIR)
#                                   TEST runs while that cluster runs, and finds it through
#                                   its environment:
#     KN_TEST_DATABASE_CONNECTION_FILE  (Windows path) a file whose first line is the ODBC
#                                       connection string, written when the cluster starts
#     KN_TEST_DATABASE_SCRIPT, KN_TEST_DATABASE_DIR
#                                       (paths of this machine) to stop the cluster and start it
#                                       again from a test: bash SCRIPT stop|start DIR
#
# Tests with their own clusters run side by side; tests on one cluster must leave each other's
# rows alone (tests/records/TestDatabase gives each test a schema of its own).
set(KN_TEST_DATABASE_SCRIPT ${CMAKE_SOURCE_DIR}/scripts/test-database.sh)

function(kn_test_database fixture dir)
  add_test(NAME ${fixture}_start COMMAND ${KN_TEST_DATABASE_SCRIPT} start ${dir})
  set_tests_properties(${fixture}_start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 180)
  add_test(NAME ${fixture}_stop COMMAND ${KN_TEST_DATABASE_SCRIPT} stop ${dir})
  set_tests_properties(${fixture}_stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 120)
endfunction()

function(kn_use_test_database test fixture dir)
  kn_windows_path(connection_file ${dir}/connection.txt)
  set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED ${fixture})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
    "KN_TEST_DATABASE_CONNECTION_FILE=${connection_file}"
    "KN_TEST_DATABASE_SCRIPT=${KN_TEST_DATABASE_SCRIPT}"
    "KN_TEST_DATABASE_DIR=${dir}")
endfunction()
