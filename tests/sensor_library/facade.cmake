# The sensor library's facade and C interface: through the built .cti loaded
# with dlopen, as an application uses it.
gentesk_test(sensor_library_facade_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScanvoApiTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ScanvoLoadTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ScanvoLoader.cpp
  LIBS ${CMAKE_DL_LIBS})

# The facade built into the test, for its log lines, copies and events.
gentesk_test(sensor_library_facade_unit_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScanvoDLLTest.cpp
  LIBS sensor_library)
