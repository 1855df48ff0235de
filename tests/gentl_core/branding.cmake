gentesk_test(branding_tests PER_CASE SOURCES ${CMAKE_CURRENT_LIST_DIR}/BrandingTest.cpp LIBS gentl_core)
gentesk_test(misc_utils_tests PER_CASE SOURCES ${CMAKE_CURRENT_LIST_DIR}/MiscUtilsTest.cpp LIBS gentl_core)
