# Header-only libraries from Debian's -dev packages, behind the imported target their own CMake
# package defines (CLI11::CLI11, nlohmann_json::nlohmann_json, Boost::headers, ...):
#
#   zentriq_header_only(<package> [VERSION <version>] TARGET <imported target>
#                       HEADERS <path below /usr/include>...)
#
# A native build simply finds the package (of at least that version). A cross build cannot: the
# package's target would put /usr/include on the compiler's search path, where the host's C library
# headers shadow the target system's own. There the target points at a directory of its own that
# links to the listed header files and directories only, so each library brings in nothing but
# itself; the version is the one the native build checks.
set(ZENTRIQ_HOST_INCLUDE_DIR /usr/include
    CACHE PATH "Where a cross build takes header-only libraries of the build machine from")

function(zentriq_header_only package)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "VERSION;TARGET" "HEADERS")
    if(NOT arg_TARGET OR NOT arg_HEADERS)
        message(FATAL_ERROR "zentriq_header_only(${package}) needs TARGET and HEADERS")
    endif()
    if(TARGET ${arg_TARGET})
        return()
    endif()
    if(NOT CMAKE_CROSSCOMPILING)
        find_package(${package} ${arg_VERSION} REQUIRED)
        if(NOT TARGET ${arg_TARGET})
            message(FATAL_ERROR "The ${package} package defines no target ${arg_TARGET}")
        endif()
        return()
    endif()

    set(dir "${CMAKE_BINARY_DIR}/header-only/${package}")
    foreach(path IN LISTS arg_HEADERS)
        set(source "${ZENTRIQ_HOST_INCLUDE_DIR}/${path}")
        if(NOT EXISTS "${source}")
            message(FATAL_ERROR "${package}: ${source} is missing; install the Debian package that "
                                "ships it")
        endif()
        get_filename_component(parent "${dir}/${path}" DIRECTORY)
        file(MAKE_DIRECTORY "${parent}")
        file(CREATE_LINK "${source}" "${dir}/${path}" SYMBOLIC)
    endforeach()
    # Imported, so the compiler treats these as system headers: their warnings are not ours.
    add_library(${arg_TARGET} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${arg_TARGET} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${dir}")
endfunction()
