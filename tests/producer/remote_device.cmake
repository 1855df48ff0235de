gentesk_test(remote_device_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RemoteDeviceTeskTest.cpp LIBS gentesk3d_producer)
