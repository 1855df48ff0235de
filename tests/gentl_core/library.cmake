gentesk_test(gentl_library_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLLibraryTest.cpp LIBS gentl_core)
gentesk_test(gentl_startup_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLCoreTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/GenTLExportsTest.cpp
  LIBS gentl_core)
