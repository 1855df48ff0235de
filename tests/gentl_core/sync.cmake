gentesk_test(gentl_core_sync_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SmartPointersTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/SignalTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ConditionTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/SimpleThreadTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/GlobalLockTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/GenTLHandleTest.cpp
  LIBS gentl_core)
