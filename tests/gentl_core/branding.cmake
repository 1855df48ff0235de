gentesk_test(misc_utils_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MiscUtilsTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp
  LIBS gentl_core)
