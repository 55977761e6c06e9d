# Run in libxlsxwriter's source tree before its MinGW build (cmake -P). Its MinGW build names files
# in the ANSI code page: the .xlsx file itself through fopen, so a name in UTF-8 with characters
# outside ASCII would name another file or none. Its MSVC build converts UTF-8 names to UTF-16
# and opens them with the wide Win32 calls; these edits give MinGW that same code. Each edit fails
# loudly when the text it expects is not there, and is skipped when it was made before.
function(edit file old new)
    file(READ "${file}" text)
    string(FIND "${text}" "${new}" done)
    if(NOT done EQUAL -1)
        return()
    endif()
    string(FIND "${text}" "${old}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${file} is not the libxlsxwriter 1.1.4 this edit was made for")
    endif()
    string(REPLACE "${old}" "${new}" text "${text}")
    file(WRITE "${file}" "${text}")
endfunction()

set(mingw_undef "#ifdef __MINGW32__\n#undef _WIN32\n#endif\n")
set(kept "/* zentriq: MinGW takes the _WIN32 code too, for UTF-8 file names. */\n")
edit(src/packager.c "${mingw_undef}" "${kept}")
edit(src/utility.c "${mingw_undef}" "${kept}")
edit(CMakeLists.txt "    if(MSVC)\n        list(APPEND LXW_SOURCES third_party/minizip/iowin32.c)"
     "    if(WIN32)\n        list(APPEND LXW_SOURCES third_party/minizip/iowin32.c)")
