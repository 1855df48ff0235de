# A disconnect ends the waits on its connection, and a command text is read
# no further than its given length.
gentesk_test(sensor_library_disconnect_wake_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DisconnectWakeTest.cpp
  LIBS sensor_library)
