# Installation of the documentation, `uninstall`, and the Debian package (CPack).
# Included at the very end of CMakeLists.txt, after the marrowtide and demo_tune targets.
#
#   cmake --install build [--prefix P]        bin/marrowtide, share/man/man1/marrowtide.1.gz,
#                                             share/doc/marrowtide/{README.md,demo.xm}
#   cmake --build build --target uninstall    removes the files build/install_manifest.txt
#                                             lists, under $DESTDIR when it is set
#   cd build && cpack -G DEB                  build/marrowtide_<version>_<arch>.deb

include(GNUInstallDirs)

# --- the manual page, compressed at build time as Debian installs manual pages -----------

set(MARROWTIDE_MANUAL ${PROJECT_SOURCE_DIR}/doc/marrowtide.1)
find_program(GZIP_PROGRAM gzip)
if(GZIP_PROGRAM)
    set(MARROWTIDE_MANUAL_INSTALLED ${PROJECT_BINARY_DIR}/doc/marrowtide.1.gz)
    # -n leaves the name and time stamp out, so the same page gives the same bytes.
    add_custom_command(
        OUTPUT ${MARROWTIDE_MANUAL_INSTALLED}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
        COMMAND ${CMAKE_COMMAND} -E copy ${MARROWTIDE_MANUAL} ${PROJECT_BINARY_DIR}/doc/marrowtide.1
        COMMAND ${GZIP_PROGRAM} -9 -n -f ${PROJECT_BINARY_DIR}/doc/marrowtide.1
        DEPENDS ${MARROWTIDE_MANUAL}
        COMMENT "Compressing the manual page"
        VERBATIM)
else()
    set(MARROWTIDE_MANUAL_INSTALLED ${PROJECT_BINARY_DIR}/doc/marrowtide.1)
    add_custom_command(
        OUTPUT ${MARROWTIDE_MANUAL_INSTALLED}
        COMMAND ${CMAKE_COMMAND} -E copy ${MARROWTIDE_MANUAL} ${MARROWTIDE_MANUAL_INSTALLED}
        DEPENDS ${MARROWTIDE_MANUAL}
        VERBATIM)
endif()
add_custom_target(manual_page ALL DEPENDS ${MARROWTIDE_MANUAL_INSTALLED})

install(FILES ${MARROWTIDE_MANUAL_INSTALLED} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${DEMO_TUNE} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# --- uninstall: the files of the last installation, as install_manifest.txt records them ---

# The manifest holds the paths without DESTDIR; the script adds $ENV{DESTDIR} in front, and
# removes the documentation directory when nothing else is left in it.
set(MARROWTIDE_UNINSTALL_SCRIPT ${PROJECT_BINARY_DIR}/uninstall.cmake)
file(CONFIGURE OUTPUT ${MARROWTIDE_UNINSTALL_SCRIPT} @ONLY CONTENT [=[
set(manifest "@PROJECT_BINARY_DIR@/install_manifest.txt")
if(NOT EXISTS "${manifest}")
    message(FATAL_ERROR "${manifest} is missing: nothing was installed from this build")
endif()
file(STRINGS "${manifest}" installed_files)
set(doc_directories "")
foreach(installed IN LISTS installed_files)
    set(path "$ENV{DESTDIR}${installed}")
    if(EXISTS "${path}" OR IS_SYMLINK "${path}")
        message(STATUS "Removing ${path}")
        file(REMOVE "${path}")
    else()
        message(STATUS "Not installed: ${path}")
    endif()
    get_filename_component(directory "${path}" DIRECTORY)
    if(directory MATCHES "/doc/@PROJECT_NAME@$")
        list(APPEND doc_directories "${directory}")
    endif()
endforeach()
list(REMOVE_DUPLICATES doc_directories)
foreach(directory IN LISTS doc_directories)
    file(GLOB left "${directory}/*" "${directory}/.*")
    if(IS_DIRECTORY "${directory}" AND NOT left)
        message(STATUS "Removing ${directory}")
        file(REMOVE_RECURSE "${directory}")
    endif()
endforeach()
]=])
add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -P ${MARROWTIDE_UNINSTALL_SCRIPT}
    COMMENT "Removing the installed files"
    VERBATIM)

# --- the Debian package -------------------------------------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marrowtide)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Marrowtide")
set(CPACK_PACKAGE_CONTACT "Marrowtide maintainers <marrowtide@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console player and converter for tracker music modules")
set(CPACK_PACKAGE_DESCRIPTION
    "Marrowtide plays, inspects and converts tracker music modules: MOD, S3M,
XM, IT and the other formats libmodplug reads. It shows a framed table
about the song and a live status line or pattern view while it plays
through libao, has an interactive shell with playlists, and exports to
WAVE, AIFF (16 and 24 bit) and raw 16-bit PCM.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

execute_process(COMMAND dpkg --print-architecture
    OUTPUT_VARIABLE MARROWTIDE_DEB_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE MARROWTIDE_DPKG_STATUS
    ERROR_QUIET)
if(MARROWTIDE_DPKG_STATUS EQUAL 0 AND MARROWTIDE_DEB_ARCHITECTURE)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${MARROWTIDE_DEB_ARCHITECTURE})
    set(CPACK_DEBIAN_FILE_NAME
        "${CPACK_PACKAGE_NAME}_${CPACK_PACKAGE_VERSION}_${MARROWTIDE_DEB_ARCHITECTURE}.deb")
else()
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
endif()

# The dependencies come from the binary's libraries through dpkg-shlibdeps (dpkg-dev) where
# it can run (CPack also needs `file` for that); otherwise from this list of the runtime
# libraries the program links.
find_program(MARROWTIDE_SHLIBDEPS dpkg-shlibdeps)
find_program(MARROWTIDE_FILE_PROGRAM file)
if(MARROWTIDE_SHLIBDEPS AND MARROWTIDE_FILE_PROGRAM)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmodplug1, libao4, libsndfile1, libstdc++6, libc6")
endif()

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/[.]git/" "/build[^/]*/")

include(CPack)
