# TinyXML, as one target for both builds: `salvor_tinyxml`.
# Natively it is Debian's libtinyxml-dev. For the Windows build Debian has no
# package, so the four sources of Debian's source package (fetched by
# scripts/lib/tinyxml.sh, its patches applied) are compiled into a static
# library; SALVOR_TINYXML_SOURCE_DIR names that directory.
set(SALVOR_TINYXML_SOURCE_DIR "" CACHE PATH "Unpacked TinyXML source package (Windows build)")

if(WIN32)
  if(SALVOR_TINYXML_SOURCE_DIR AND EXISTS "${SALVOR_TINYXML_SOURCE_DIR}/tinyxml.cpp")
    add_library(salvor_tinyxml STATIC
      ${SALVOR_TINYXML_SOURCE_DIR}/tinyxml.cpp
      ${SALVOR_TINYXML_SOURCE_DIR}/tinystr.cpp
      ${SALVOR_TINYXML_SOURCE_DIR}/tinyxmlerror.cpp
      ${SALVOR_TINYXML_SOURCE_DIR}/tinyxmlparser.cpp)
    # Debian's patches define TIXML_USE_STL in the header; say it here too so
    # that an unpatched source builds the same way.
    target_compile_definitions(salvor_tinyxml PUBLIC TIXML_USE_STL)
    target_include_directories(salvor_tinyxml SYSTEM PUBLIC ${SALVOR_TINYXML_SOURCE_DIR})
    # Third-party code: its warnings are not ours to fix.
    target_compile_options(salvor_tinyxml PRIVATE -w)
  else()
    message(STATUS "SALVOR_TINYXML_SOURCE_DIR not set: the skin framework is left out of this build")
  endif()
else()
  find_path(TINYXML_INCLUDE_DIR tinyxml.h)
  find_library(TINYXML_LIBRARY tinyxml)
  if(TINYXML_INCLUDE_DIR AND TINYXML_LIBRARY)
    add_library(salvor_tinyxml INTERFACE)
    target_include_directories(salvor_tinyxml SYSTEM INTERFACE ${TINYXML_INCLUDE_DIR})
    target_link_libraries(salvor_tinyxml INTERFACE ${TINYXML_LIBRARY})
  else()
    message(STATUS "TinyXML not found: the skin framework's XML readers are left out")
  endif()
endif()
