# PER_CASE: one case deletes the process-wide branding holder, as unload does.
gentesk_test(branding_tests PER_CASE SOURCES ${CMAKE_CURRENT_LIST_DIR}/BrandingTest.cpp LIBS gentl_core)
gentesk_test(misc_utils_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MiscUtilsTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/TestBranding.cpp
  LIBS gentl_core)
