gentesk_test(system_tesk_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLSystemTeskTest.cpp LIBS gentesk3d_producer gentl_core)
