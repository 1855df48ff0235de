# The sensor library's read side: container FIFO, profile decode and
# extraction, XML status and named values, and the simulated sensor's scans.
gentesk_test(sensor_library_fifo_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ContainerFifoTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_decode_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProfileDecoderTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/XmlStatusCacheTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_named_value_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/NamedValuesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeTransport.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_profile_read_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProfileReadTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeTransport.cpp
  LIBS sensor_library)
