# One process: the .cti is loaded once and closed after the case.
gentesk_test(producer_genapi_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenApiDocumentTest.cpp
  LIBS gentesk3d_producer gentl_core PkgConfig::TINYXML2 OpenSSL::Crypto)
