# Remote-device events of GigE Vision and USB3 Vision devices, and the
# feature-change and feature-invalidate events.
gentesk_test(gentl_core_device_event_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StandardDeviceEventTest.cpp
  LIBS gentl_core)
