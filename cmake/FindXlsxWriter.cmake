# libxlsxwriter, which has no CMake package of its own in Debian: its header
# and library, as the imported target XlsxWriter::XlsxWriter. A static
# library (the Windows build makes one) also needs zlib, which it then links.
find_path(XLSXWRITER_INCLUDE_DIR xlsxwriter.h)
find_library(XLSXWRITER_LIBRARY NAMES xlsxwriter)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(XlsxWriter REQUIRED_VARS XLSXWRITER_LIBRARY XLSXWRITER_INCLUDE_DIR)
if(XlsxWriter_FOUND AND NOT TARGET XlsxWriter::XlsxWriter)
  add_library(XlsxWriter::XlsxWriter UNKNOWN IMPORTED)
  set_target_properties(XlsxWriter::XlsxWriter PROPERTIES
    IMPORTED_LOCATION "${XLSXWRITER_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${XLSXWRITER_INCLUDE_DIR}")
  if(XLSXWRITER_LIBRARY MATCHES "\\.a$")
    find_package(ZLIB REQUIRED)
    set_property(TARGET XlsxWriter::XlsxWriter APPEND PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  endif()
endif()
mark_as_advanced(XLSXWRITER_INCLUDE_DIR XLSXWRITER_LIBRARY)
