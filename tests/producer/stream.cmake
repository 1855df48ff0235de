gentesk_test(stream_end_to_end_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamEndToEndTest.cpp LIBS gentesk3d_producer gentl_core)
