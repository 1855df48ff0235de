gentesk_test(producer_discovery_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DiscoveryTest.cpp LIBS gentesk3d_producer gentl_core)
# Each case loads the .cti and builds its own namespaces: the producer's
# state lives until the process ends. Cases start consumer processes of
# their own with producer_discovery_scan.
add_executable(producer_discovery_scan ${CMAKE_CURRENT_LIST_DIR}/DiscoveryScanProcess.cpp)
target_link_libraries(producer_discovery_scan PRIVATE test_support)
gentesk_test(producer_discovery_netns_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DiscoveryNetnsTest.cpp LIBS gentesk3d_producer gentl_core)
add_dependencies(producer_discovery_netns_tests producer_discovery_scan)
target_compile_definitions(producer_discovery_netns_tests PRIVATE
  GENTESK_DISCOVERY_SCAN_PATH="$<TARGET_FILE:producer_discovery_scan>")
