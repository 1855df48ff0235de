# A process per case: the module documents are built once, on first use,
# and the concurrent first readers must really be first.
gentesk_test(branding_tesk_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenTLBrandingTeskTest.cpp LIBS gentesk3d_producer OpenSSL::Crypto)
