# One process: the concurrent first readers of the documents run first.
gentesk_test(branding_tesk_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLBrandingTeskTest.cpp LIBS gentesk3d_producer)
