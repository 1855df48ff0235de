gentesk_test(sensor_interface_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SensorInterfaceTest.cpp LIBS gentesk3d_producer)
