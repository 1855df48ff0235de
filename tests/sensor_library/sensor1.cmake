# The sensor library in this process: receive path, connection, read side,
# and logger; each executable runs as one process.
gentesk_test(sensor_library_receive_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FrameAssemblerTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ReceiveFuzzTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_connection_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CScanvoTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/NamedValuesTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ProfileReadTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ContainerFifoTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/ProfileDecoderTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/LinearizationDataTest.cpp
  LIBS sensor_library)
gentesk_test(sensor_library_logger_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LibraryLoggerTest.cpp
  LIBS sensor_library)

# The simulated sensor on its own, for manual runs and the demo.
add_executable(simulated_sensor ${CMAKE_CURRENT_LIST_DIR}/SimulatedSensorMain.cpp)
target_link_libraries(simulated_sensor PRIVATE test_support)
