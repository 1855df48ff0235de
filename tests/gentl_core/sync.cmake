gentesk_test(gentl_core_sync_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SyncObjectsTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/SmartPointersTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/GenTLHandleTest.cpp
  LIBS gentl_core)
