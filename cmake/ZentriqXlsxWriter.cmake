# libxlsxwriter for zentriq-lookup's --format xlsx, behind the target zentriq::xlsxwriter, with
# ZENTRIQ_HAVE_XLSX set to ON when it is there.
#
# A native build takes Debian's libxlsxwriter-dev through pkg-config. Debian ships no MinGW build of
# it, so the Windows cross build makes one: from the source Debian's own archive publishes (the
# tarball is checked against its SHA-256 before use), against libz-mingw-w64-dev, linked statically.
# ZENTRIQ_XLSX=OFF builds the tool without xlsx output instead.
option(ZENTRIQ_XLSX "Let zentriq-lookup write .xlsx files (needs libxlsxwriter)" ON)
set(ZENTRIQ_HAVE_XLSX OFF)
if(NOT ZENTRIQ_XLSX OR TARGET zentriq::xlsxwriter)
    set(ZENTRIQ_HAVE_XLSX ${ZENTRIQ_XLSX})
    return()
endif()

if(NOT CMAKE_CROSSCOMPILING)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(XLSXWRITER IMPORTED_TARGET GLOBAL xlsxwriter)
    if(NOT XLSXWRITER_FOUND)
        message(FATAL_ERROR "libxlsxwriter is missing: install Debian's libxlsxwriter-dev, or "
                            "configure with -DZENTRIQ_XLSX=OFF for a zentriq-lookup without xlsx")
    endif()
    add_library(zentriq::xlsxwriter ALIAS PkgConfig::XLSXWRITER)
    set(ZENTRIQ_HAVE_XLSX ON)
    return()
endif()

if(NOT WIN32)
    message(FATAL_ERROR "No libxlsxwriter for this cross build: configure with -DZENTRIQ_XLSX=OFF")
endif()

set(ZENTRIQ_DOWNLOAD_DIR "${CMAKE_BINARY_DIR}/downloads"
    CACHE PATH "Where the build keeps the source tarballs it downloads")
find_library(ZENTRIQ_MINGW_ZLIB NAMES libz.a)
find_path(ZENTRIQ_MINGW_ZLIB_INCLUDE zlib.h)
if(NOT ZENTRIQ_MINGW_ZLIB OR NOT ZENTRIQ_MINGW_ZLIB_INCLUDE)
    message(FATAL_ERROR "zlib for MinGW-w64 is missing: install Debian's libz-mingw-w64-dev")
endif()

include(ExternalProject)
ExternalProject_Add(xlsxwriter_windows
    URL http://deb.debian.org/debian/pool/main/libx/libxlsxwriter/libxlsxwriter_1.1.4.orig.tar.gz
    URL_HASH SHA256=b379eb35fdd9c653ebe72485b9c992f612c7ea66f732784457997d6e782f619b
    DOWNLOAD_DIR "${ZENTRIQ_DOWNLOAD_DIR}"
    DOWNLOAD_NO_PROGRESS ON
    DOWNLOAD_EXTRACT_TIMESTAMP ON
    INACTIVITY_TIMEOUT 60
    PREFIX "${CMAKE_BINARY_DIR}/xlsxwriter"
    PATCH_COMMAND ${CMAKE_COMMAND} -P "${CMAKE_CURRENT_LIST_DIR}/xlsxwriter-windows-patch.cmake"
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
        -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
        -DCMAKE_INSTALL_LIBDIR=lib
        -DBUILD_SHARED_LIBS=OFF
        -DZLIB_LIBRARY=${ZENTRIQ_MINGW_ZLIB}
        -DZLIB_INCLUDE_DIR=${ZENTRIQ_MINGW_ZLIB_INCLUDE}
    BUILD_BYPRODUCTS <INSTALL_DIR>/lib/libxlsxwriter.a)
ExternalProject_Get_Property(xlsxwriter_windows INSTALL_DIR)
# The program carries libxlsxwriter and what it bundles (minizip, tmpfileplus, md5, FreeBSD's
# queue.h and tree.h): their licences, in one file, go with it.
ExternalProject_Add_Step(xlsxwriter_windows licence
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/License.txt <INSTALL_DIR>/License.txt
    DEPENDEES install
    BYPRODUCTS <INSTALL_DIR>/License.txt)
set(ZENTRIQ_XLSXWRITER_LICENSE "${INSTALL_DIR}/License.txt"
    CACHE INTERNAL "libxlsxwriter's licences, for a package of a program linked with it")
# An imported target's include directory must exist when CMake runs, before the build fills it.
file(MAKE_DIRECTORY "${INSTALL_DIR}/include")
add_library(zentriq::xlsxwriter STATIC IMPORTED GLOBAL)
set_target_properties(zentriq::xlsxwriter PROPERTIES
    IMPORTED_LOCATION "${INSTALL_DIR}/lib/libxlsxwriter.a"
    INTERFACE_INCLUDE_DIRECTORIES "${INSTALL_DIR}/include"
    INTERFACE_LINK_LIBRARIES "${ZENTRIQ_MINGW_ZLIB}")
add_dependencies(zentriq::xlsxwriter xlsxwriter_windows)
set(ZENTRIQ_HAVE_XLSX ON)
