# Profiles linearized column by column against the plain evaluation of the tables.
gentesk_test(sensor_library_identity_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/LinearizationIdentityTest.cpp
  LIBS sensor_library)
