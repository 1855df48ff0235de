# A data stream out of memory or asked for a register it does not serve, and
# a thread refused a higher priority.
gentesk_test(gentl_core_failure_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamFailureTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeEngineStream.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeBuffer.cpp
  LIBS gentl_core)
