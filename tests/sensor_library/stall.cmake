# A sensor cannot stall the host: the receive path's work stays linear in
# the bytes received, a link closed at once is not reopened at once, and
# a silent one is dropped after its time-out.
gentesk_test(sensor_library_stall_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrameAssemblyCostTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ReconnectPacingTest.cpp
  LIBS sensor_library)
