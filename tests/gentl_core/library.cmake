gentesk_test(gentl_library_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLLibraryTest.cpp LIBS gentl_core)
gentesk_test(gentl_startup_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLCoreTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/GenTLExportsTest.cpp
  LIBS gentl_core)
