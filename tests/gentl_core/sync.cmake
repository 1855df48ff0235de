gentesk_test(gentl_core_sync_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SyncObjectsTest.cpp
  LIBS gentl_core)
