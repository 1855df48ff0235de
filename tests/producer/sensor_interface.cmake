gentesk_test(sensor_interface_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SensorInterfaceTest.cpp LIBS gentesk3d_producer)
gentesk_test(row_kernels_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RowKernelsTest.cpp LIBS gentesk3d_producer)
