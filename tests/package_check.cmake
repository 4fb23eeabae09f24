# What a Windows user gets: builds the release archive, checks the checksum
# beside it, unpacks it into a fresh folder and checks its files, the build
# information, the 32-bit module's exports and imports, the host's imports,
# icon and manifest (and none of the demo in it), both binaries' ASLR, DEP
# and sections, and both binaries' version resources.
#   cmake -DBUILD_DIR=... -DARCHIVE=... -DUNPACK_DIR=... -DPYTHON=...
#         -DCHECK_DLL=... -DVERSION=... -DEXPORTS=... -DIMPORTS=... -P package_check.cmake
# The unpacked folder is the fixture "morva_package": a test that starts the
# unpacked morvahost.exe with its morva.dll in an emulated 32-bit system can
# require it.

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status})")
  endif()
endfunction()

run("building the archive" ${CMAKE_COMMAND} --build ${BUILD_DIR} --target package)

# The checksum file reads as sha256sum writes it: the digest, two spaces and
# the archive's name.
file(SHA256 ${ARCHIVE} digest)
get_filename_component(archive_name ${ARCHIVE} NAME)
file(READ ${ARCHIVE}.sha256 listed)
string(STRIP "${listed}" listed)
message(STATUS "checksum file: ${listed}")
if(NOT listed STREQUAL "${digest}  ${archive_name}")
  message(FATAL_ERROR "${archive_name}.sha256 does not match the archive (${digest})")
endif()

file(REMOVE_RECURSE ${UNPACK_DIR})
file(MAKE_DIRECTORY ${UNPACK_DIR})
run("unpacking ${ARCHIVE}" ${CMAKE_COMMAND} -E tar xf ${ARCHIVE} WORKING_DIRECTORY ${UNPACK_DIR})

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${UNPACK_DIR} ${UNPACK_DIR}/*)
list(SORT files)
set(expected BUILDINFO.txt INSTALL.txt LICENSE.txt morva.dll morvahost.exe)
message(STATUS "archive holds: ${files}")
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "expected exactly: ${expected}")
endif()

# The build information names the version, the commit and the packages.
file(READ ${UNPACK_DIR}/BUILDINFO.txt info)
if(NOT info MATCHES "Version: ${VERSION}[\r\n]+Release: [^\r\n]+[\r\n]+Archive: ${archive_name}[\r\n]+Commit: [0-9a-f]+"
   OR NOT info MATCHES "\n binutils-mingw-w64-i686 \\(= ")
  message(FATAL_ERROR "BUILDINFO.txt lacks the version, the commit or the packages:\n${info}")
endif()

set(dll ${UNPACK_DIR}/morva.dll)
set(host ${UNPACK_DIR}/morvahost.exe)
run("morva.dll: 32-bit" ${PYTHON} ${CHECK_DLL} machine ${dll} i386)
run("morvahost.exe: 32-bit" ${PYTHON} ${CHECK_DLL} machine ${host} i386)
run("morva.dll: exports" ${PYTHON} ${CHECK_DLL} exports ${dll} ${EXPORTS})
run("morva.dll: imports" ${PYTHON} ${CHECK_DLL} imports ${dll} ${IMPORTS})
run("morvahost.exe: imports" ${PYTHON} ${CHECK_DLL} imports ${host} ${IMPORTS} comctl32.dll
    shell32.dll ole32.dll)
run("morva.dll: ASLR and DEP" ${PYTHON} ${CHECK_DLL} hardening ${dll})
run("morvahost.exe: ASLR and DEP" ${PYTHON} ${CHECK_DLL} hardening ${host})
run("morvahost.exe: icon and manifest" ${PYTHON} ${CHECK_DLL} application ${host})
# The host carries none of the scripted demo: neither its options nor its log.
file(STRINGS ${host} demo_strings REGEX "--mouse-messages|--voice|demo-log")
if(demo_strings)
  message(FATAL_ERROR "morvahost.exe holds the demo's strings: ${demo_strings}")
endif()
# Nor any switch read from the environment, whose name would begin MORVA_
# (a test's hook has no place in what users run), in narrow or wide text.
foreach(encoding UTF-8 UTF-16LE)
  file(STRINGS ${host} switches ENCODING ${encoding} REGEX "MORVA_[A-Z_]+")
  if(switches)
    message(FATAL_ERROR "morvahost.exe reads an environment switch: ${switches}")
  endif()
endforeach()
run("morva.dll: version" ${PYTHON} ${CHECK_DLL} version ${dll} ${VERSION}
    ProductName=Morva "FileDescription=Morva Tool for Orbiscope" OriginalFilename=morva.dll)
run("morvahost.exe: version" ${PYTHON} ${CHECK_DLL} version ${host} ${VERSION}
    ProductName=Morva OriginalFilename=morvahost.exe)
