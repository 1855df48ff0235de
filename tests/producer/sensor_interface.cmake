gentesk_test(feature_cache_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FeatureCacheTest.cpp LIBS gentesk3d_producer)
