# cmake -DOUTPUT=<file.cpp> -DINPUTS=<a.xml|b.xml|c1.xml+c2.xml|...> -P WriteEmbeddedDocuments.cmake
# Writes EMBEDDED_XML_DOCUMENTS: one entry per input, in input order; an
# input of fragments joined by "+" is their text, concatenated.
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(body "")
set(entries "")
set(index 0)
foreach(input ${INPUTS})
  if(input MATCHES "\\+")
    string(REPLACE "+" ";" fragments "${input}")
    set(joined "")
    foreach(fragment ${fragments})
      file(READ ${fragment} text)
      string(APPEND joined "${text}")
    endforeach()
    set(input ${OUTPUT}.${index}.xml)
    file(WRITE ${input} "${joined}")
  endif()
  file(READ ${input} hex HEX)
  file(SHA1 ${input} digest)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
         "\\1\n" bytes "${bytes}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," digest_bytes "${digest}")
  string(APPEND body "const unsigned char TEXT_${index}[] = {\n${bytes}};\n")
  string(APPEND entries "    {TEXT_${index}, ${size}, {${digest_bytes}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from the XML sources by WriteEmbeddedDocuments.cmake.
#include \"gentl_producers/GenTesk3d/xml/EmbeddedXmlDocument.h\"

namespace GenTLCore::ZoTL {

namespace {
${body}}  // namespace

const EmbeddedXmlDocument EMBEDDED_XML_DOCUMENTS[${index}] = {
${entries}};

}  // namespace GenTLCore::ZoTL
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
