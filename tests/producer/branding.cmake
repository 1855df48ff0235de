gentesk_test(branding_tesk_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLBrandingTeskTest.cpp LIBS gentesk3d_producer)
