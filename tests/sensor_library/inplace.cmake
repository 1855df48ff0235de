# The receive path's in-place reads against copied chunks.
gentesk_test(sensor_library_inplace_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReceiveInPlaceTest.cpp
  LIBS sensor_library)
