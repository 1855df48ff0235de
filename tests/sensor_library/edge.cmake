# Edges of a connection's life: stale state, and calls that must return
# whatever the sensor or the application's callback does.
gentesk_test(sensor_library_edge_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConnectionEdgeTest.cpp
  LIBS sensor_library)
