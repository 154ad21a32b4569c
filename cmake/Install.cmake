# Where `cmake --install` puts Vantrel, and the Debian package CPack makes of it:
#   cmake --install build/release --prefix ~/.local
#   cpack --config build/release/CPackConfig.cmake -B build/release
include(GNUInstallDirs)

# The decoder helper is started by the programs, never by a user, so it stays off PATH. The
# programs look for it at ../libexec/vantrel/ from their own folder (src/image/DecodeClient.cpp).
if(NOT CMAKE_INSTALL_LIBEXECDIR STREQUAL "libexec")
    message(WARNING "vantrel and vantrel-cli look for the decoder in ../libexec/vantrel; "
        "CMAKE_INSTALL_LIBEXECDIR=${CMAKE_INSTALL_LIBEXECDIR} needs VANTREL_DECODER at run time")
endif()
install(TARGETS vantrel vantrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vantrel-decoder RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vantrel)

set(VANTREL_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(VANTREL_APPSTREAM_ID io.github.vantrel.Vantrel)
install(FILES ${VANTREL_PACKAGING}/vantrel.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VANTREL_PACKAGING}/${VANTREL_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VANTREL_PACKAGING}/vantrel-mime.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME vantrel.xml)
foreach(size 16 32 48 64 128 256)
    install(FILES ${VANTREL_PACKAGING}/icons/vantrel-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME vantrel.png)
endforeach()
install(FILES ${VANTREL_PACKAGING}/icons/vantrel.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The version the programs print is also in the texts a user reads about them; a release that
# forgets one of them stops here rather than shipping two versions.
foreach(versioned docs/man/vantrel.1 docs/man/vantrel-cli.1
        packaging/${VANTREL_APPSTREAM_ID}.metainfo.xml)
    file(READ ${CMAKE_SOURCE_DIR}/${versioned} text)
    string(FIND "${text}" "${PROJECT_VERSION}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${versioned} does not name version ${PROJECT_VERSION}")
    endif()
endforeach()

# Debian installs manual pages compressed, without a time stamp in the gzip header.
set(VANTREL_MAN_PAGES)
foreach(page vantrel.1 vantrel-cli.1)
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/docs/man/${page} > ${compressed}
        DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/${page}
        VERBATIM)
    list(APPEND VANTREL_MAN_PAGES ${compressed})
endforeach()
add_custom_target(vantrel-man-pages ALL DEPENDS ${VANTREL_MAN_PAGES})
install(FILES ${VANTREL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "steganalysis workbench for still images")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(VANTREL_PACKAGE_MAINTAINER "The Vantrel developers <vantrel@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# vantrel_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Library packages as dpkg-shlibdeps finds them in the programs, not a hand-kept list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Load a suspect image, and where you have it the clean original, and Vantrel shows the
traces hidden data leaves in pixel bits: LSB statistics per column with a chi-squared test,
LSB views, every bit plane of every channel, the pixels that changed between two images and
the direction of each change, PSNR, a local-variation map, a full-size viewer with pixel
readout and zoom, and a search of directory trees for images whose most-significant-bit plane
matches a chosen image. Every file is decoded in a helper process with memory and time limits.
vantrel-cli runs the same analyses without a window.")
include(CPack)
