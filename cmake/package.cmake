# The release archive, morva-<version>-win32.zip, and its SHA-256 beside it
# (morva-<version>-win32.zip.sha256, as sha256sum prints it):
#   cmake --build --preset win32 --target package
# It holds the module and the host, stripped, the install text and the
# licence, with Windows line ends, side by side without a top folder (so
# that Explorer's "Extract All" gives one folder named like the archive).
install(TARGETS morva morvahost
  RUNTIME DESTINATION .
  ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
configure_file(${PROJECT_SOURCE_DIR}/package/INSTALL.txt.in
  ${PROJECT_BINARY_DIR}/package/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_BINARY_DIR}/package/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/package/INSTALL.txt ${PROJECT_BINARY_DIR}/package/LICENSE.txt
  DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME morva)
set(CPACK_PACKAGE_VENDOR "the Morva authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Morva Tool for Orbiscope")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CPACK_SYSTEM_NAME win32)
else()
  set(CPACK_SYSTEM_NAME win64)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
