# The node-map harness runs aravis's GenICam engine over the documents; the
# engine is test code only, never linked into the .cti. Linked privately, so
# its compile flags stay off the tests (they would void the shared PCH).
pkg_check_modules(ARAVIS REQUIRED IMPORTED_TARGET aravis-0.8)
add_library(node_map_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/NodeMapHarness.cpp)
target_link_libraries(node_map_harness PUBLIC test_support PRIVATE PkgConfig::ARAVIS)
gentesk_test(producer_genapi_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GenApiDocumentTest.cpp
  LIBS node_map_harness gentesk3d_producer gentl_core PkgConfig::TINYXML2 OpenSSL::Crypto)
set(GENTESK_GENAPI_SCHEMA_DIR "${CMAKE_SOURCE_DIR}/../shared/genapi" CACHE PATH
  "Folder holding the GenICam standard's GenApiSchema_Version_1_1.xsd, which the tests validate the description documents against")
target_compile_definitions(producer_genapi_tests PRIVATE
  GENTESK_GENAPI_SCHEMA_DIR="${GENTESK_GENAPI_SCHEMA_DIR}")
