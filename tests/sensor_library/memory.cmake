# Linearization data read while memory runs out; its own process, since it
# replaces operator new.
gentesk_test(sensor_library_memory_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinearizationMemoryTest.cpp
  LIBS sensor_library)
