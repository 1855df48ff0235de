gentesk_test(producer_discovery_tests LOGGED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DiscoveryTest.cpp LIBS gentesk3d_producer gentl_core)
# Each case loads the .cti and builds its own namespaces: the producer's
# state lives until the process ends.
gentesk_test(producer_discovery_netns_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DiscoveryNetnsTest.cpp LIBS gentesk3d_producer gentl_core)
