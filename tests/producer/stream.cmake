gentesk_test(stream_end_to_end_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamEndToEndTest.cpp LIBS gentesk3d_producer gentl_core)
# The call log on at its most detailed level, so a failed assertion shows.
gentesk_test(stream_close_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamCloseTest.cpp LIBS gentesk3d_producer gentl_core
  ENVIRONMENT ZOTL_LOGGING=1 ZOTL_LOG_LEVEL=6)
gentesk_test(data_stream_tesk_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DataStreamTeskTest.cpp LIBS gentesk3d_producer gentl_core)
