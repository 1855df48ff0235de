gentesk_test(feature_cache_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FeatureCacheTest.cpp LIBS gentesk3d_producer)
gentesk_test(sensor_interface_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SensorInterfaceTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SensorTriggerTest.cpp
  LIBS gentesk3d_producer)
