gentesk_test(device_open_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceOpenTest.cpp LIBS gentesk3d_producer gentl_core)
