# The sensor library's transports, connection, receive path, linearization
# and logger, and the platform pieces they stand on.
gentesk_test(sensor_library_platform_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32EventTest.cpp
  LIBS platform)
gentesk_test(sensor_library_logger_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryLoggerTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_transport_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TransportTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_receive_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Crc32Test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FrameAssemblerTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ReceiveFuzzTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_linearization_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinearizationDataTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_connection_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CScanvoTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/FakeTransport.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_end_to_end_tests PER_CASE
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SensorEndToEndTest.cpp
  LIBS sensor_library)

# The simulated sensor on its own, for manual runs.
add_executable(simulated_sensor ${CMAKE_CURRENT_LIST_DIR}/SimulatedSensorMain.cpp)
target_link_libraries(simulated_sensor PRIVATE test_support)
