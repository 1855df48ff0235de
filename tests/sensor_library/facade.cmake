# The sensor library's C interface through the built .cti loaded with dlopen,
# as an application uses it; one process, which keeps the library mapped.
gentesk_test(sensor_library_facade_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScanvoApiTest.cpp
  LIBS ${CMAKE_DL_LIBS})
# A process of its own: the first load of the .cti, and a connection no handle ends.
gentesk_test(sensor_library_load_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScanvoLoadTest.cpp
  LIBS ${CMAKE_DL_LIBS})
# The facade built into the test. Its log lines in an executable of their
# own: the library-level commands change settings every later connect
# takes, and the rate line needs the process's first profile read.
gentesk_test(sensor_library_facade_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScanvoDLLTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_facade_log_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScanvoDLLLogTest.cpp
  LIBS sensor_library)
