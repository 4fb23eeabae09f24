# The release archive, morva-<version>-win32.zip, and its SHA-256 beside it
# (morva-<version>-win32.zip.sha256, as sha256sum prints it):
#   cmake --build --preset win32 --target package
# It holds the module and the host, stripped, the install text, the licence
# and the build information, the texts with Windows line ends, side by side
# without a top folder (so that Explorer's "Extract All" gives one folder
# named like the archive). It builds only the two binaries it holds, and
# comes out the same byte for byte from the same commit and the same
# toolchain packages, in any folder and on any day: the binaries carry no
# link time and no build folder, and package/make-archive.py writes fixed
# entries and the build information.
# Debian's Python writes the archive (the bootstrap installs it), never one
# that comes first on the path: its zlib deflates the entries, so the bytes
# depend only on the packages the build information lists.
set(archive_python /usr/bin/python3)
if(NOT EXISTS ${archive_python})
  message(FATAL_ERROR "The release archive is written by Debian's python3: tools/bootstrap.sh installs it")
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(system win32)
else()
  set(system win64)
endif()
set(stage ${PROJECT_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/package/INSTALL.txt.in ${stage}/INSTALL.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${stage}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
# The build information names the packages that own these, and those that
# own the compiler and what it builds and links with.
set(tools ${CMAKE_RC_COMPILER} ${CMAKE_STRIP} ${CMAKE_COMMAND}
  ${CMAKE_ROOT}/Modules/Platform/Windows-GNU.cmake ${CMAKE_FIND_ROOT_PATH}/include/windows.h
  ${archive_python})
# A build folder that an earlier version configured with CPack keeps its
# CPackConfig.cmake, and CMake then reserves the name "package".
file(REMOVE ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${PROJECT_BINARY_DIR}/CPackSourceConfig.cmake)
# strip would stamp the time of its own run into each binary's header; told
# the time zero, it keeps the zero the linker wrote.
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${CMAKE_STRIP} -o ${stage}/morva.dll $<TARGET_FILE:morva>
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${CMAKE_STRIP} -o ${stage}/morvahost.exe $<TARGET_FILE:morvahost>
  COMMAND ${archive_python} ${PROJECT_SOURCE_DIR}/package/make-archive.py
          ${PROJECT_BINARY_DIR}/morva-${PROJECT_VERSION}-${system}.zip ${PROJECT_SOURCE_DIR}
          ${PROJECT_VERSION} ${CMAKE_CXX_COMPILER} ${tools} --
          ${stage}/INSTALL.txt ${stage}/LICENSE.txt ${stage}/morva.dll ${stage}/morvahost.exe
  VERBATIM)
add_dependencies(package morva morvahost)
