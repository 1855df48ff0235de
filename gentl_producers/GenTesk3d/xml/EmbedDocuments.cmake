# Embeds the module description documents into gentesk3d_producer as byte
# arrays, each with the SHA-1 of exactly its bytes, computed at build time.
# The remote device's document is kept as fragments, joined in this order.
set(GENTESK_XML_DIR ${CMAKE_CURRENT_LIST_DIR})
set(GENTESK_REMOTE_DEVICE_FRAGMENTS Head Features AuxiliaryNodes Registers Ports)
list(TRANSFORM GENTESK_REMOTE_DEVICE_FRAGMENTS PREPEND ${GENTESK_XML_DIR}/RemoteDevice/)
list(TRANSFORM GENTESK_REMOTE_DEVICE_FRAGMENTS APPEND .xml)
list(JOIN GENTESK_REMOTE_DEVICE_FRAGMENTS "+" GENTESK_REMOTE_DEVICE_INPUT)
set(GENTESK_XML_INPUT_LIST
  ${GENTESK_XML_DIR}/System.xml
  ${GENTESK_XML_DIR}/Interface.xml
  ${GENTESK_XML_DIR}/LocalDevice.xml
  ${GENTESK_XML_DIR}/DataStream.xml
  ${GENTESK_REMOTE_DEVICE_INPUT})
list(JOIN GENTESK_XML_INPUT_LIST "|" GENTESK_XML_INPUTS)
set(GENTESK_XML_OUTPUT ${CMAKE_BINARY_DIR}/generated/EmbeddedXmlDocuments.cpp)
add_custom_command(OUTPUT ${GENTESK_XML_OUTPUT}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${GENTESK_XML_OUTPUT}
    -DINPUTS=${GENTESK_XML_INPUTS} -P ${GENTESK_XML_DIR}/WriteEmbeddedDocuments.cmake
  DEPENDS ${GENTESK_XML_DIR}/System.xml ${GENTESK_XML_DIR}/Interface.xml
    ${GENTESK_XML_DIR}/LocalDevice.xml ${GENTESK_XML_DIR}/DataStream.xml
    ${GENTESK_REMOTE_DEVICE_FRAGMENTS} ${GENTESK_XML_DIR}/WriteEmbeddedDocuments.cmake
  COMMENT "Embedding the module description documents" VERBATIM)
target_sources(gentesk3d_producer PRIVATE ${GENTESK_XML_OUTPUT})
