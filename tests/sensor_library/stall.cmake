# A sensor cannot stall the host: the receive path's work stays linear in
# the bytes received.
gentesk_test(sensor_library_stall_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrameAssemblyCostTest.cpp
  LIBS sensor_library)
