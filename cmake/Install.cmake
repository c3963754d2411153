# Install rules and packaging.
include(GNUInstallDirs)

# One id names the desktop entry, the icon and the AppStream component, so that launchers and
# software centres can tie the three together.
set(APP_ID io.github.serialterminal.serialterminal)

install(TARGETS serialterminal RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The compiler and the C runtime's start files each record their version in .comment, which
# nothing reads at run time.
if(CMAKE_OBJCOPY AND NOT WIN32)
    add_custom_command(TARGET serialterminal POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:serialterminal>
        VERBATIM)
endif()

if(UNIX AND NOT APPLE)
    # The PNGs are rendered at build time from the same drawing as the committed window icon,
    # so a change to the drawing reaches every size and no bitmap can go stale in the tree.
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(ICON_SIZES 16 32 48 128)
    set(icon_files)
    foreach(size IN LISTS ICON_SIZES)
        set(dir ${PROJECT_BINARY_DIR}/icons/hicolor/${size}x${size}/apps)
        add_custom_command(OUTPUT ${dir}/${APP_ID}.png
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
            COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/resources/make_icon.py
                png ${size} ${dir}/${APP_ID}.png
            DEPENDS ${PROJECT_SOURCE_DIR}/resources/make_icon.py
            COMMENT "Rendering the ${size}x${size} application icon"
            VERBATIM)
        list(APPEND icon_files ${dir}/${APP_ID}.png)
        install(FILES ${dir}/${APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(desktop_icons ALL DEPENDS ${icon_files})

    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # Man page and changelog compressed as Debian wants them: at the strongest level, and
    # without the name and time gzip would otherwise write into the header.
    find_program(GZIP_EXECUTABLE gzip)
    if(NOT GZIP_EXECUTABLE)
        message(FATAL_ERROR "gzip is needed to compress the man page and the changelog")
    endif()
    set(gzipped)
    foreach(file serialterminal.1 changelog)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${file}.gz
            COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/${file}
                ${PROJECT_BINARY_DIR}/packaging/${file}
            COMMAND ${GZIP_EXECUTABLE} -9nf ${PROJECT_BINARY_DIR}/packaging/${file}
            DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${file}
            VERBATIM)
        list(APPEND gzipped ${PROJECT_BINARY_DIR}/packaging/${file}.gz)
    endforeach()
    add_custom_target(compressed_docs ALL DEPENDS ${gzipped})
    install(FILES ${PROJECT_BINARY_DIR}/packaging/serialterminal.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
        ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(PACKAGE_HOMEPAGE "https://github.com/serialterminal/serialterminal"
    CACHE STRING "Home page named by the packages")
set(PACKAGE_MAINTAINER "Serial Terminal maintainers <maintainers@serialterminal.invalid>"
    CACHE STRING "Name and e-mail address for the Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME serialterminal)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial port terminal with a Chinese user interface")
# Debian wants the extended description in lines of under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION [[
A small Qt desktop program with one window for talking to a serial port.
It lists the serial ports present at start-up and opens the chosen one with
the chosen baud rate, parity, data bits and stop bits. Bytes that arrive are
shown as text or as hexadecimal pairs, successive arrivals alternately in red
and blue. Typed text is sent as plain text or as hexadecimal byte pairs.
Received and sent bytes are counted. The window texts are in Chinese.]])
set(CPACK_PACKAGE_HOMEPAGE_URL ${PACKAGE_HOMEPAGE})
set(CPACK_STRIP_FILES ON)
# Every timestamp in the packages is the last commit's, unless SOURCE_DATE_EPOCH says
# otherwise, so two builds of one commit give the same package.
find_package(Git QUIET)
set(CPACK_SERIALTERMINAL_GIT "${GIT_EXECUTABLE}")
set(CPACK_SERIALTERMINAL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackSourceDate.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebInstalledSize.cmake)
if(UNIX AND NOT APPLE)
    set(CPACK_GENERATOR DEB)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps turns the binary's needed libraries into Depends, so the Qt package names
# follow whatever the build machine's distribution calls them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every text of the window is Chinese and none has an English fallback: without a font with
# Chinese glyphs the window is a grid of empty boxes, so one is a dependency, not a
# recommendation that --no-install-recommends would drop. The first is the smallest; any of
# the others already installed will do. dpkg-shlibdeps's libraries are added to this list.
set(CHINESE_FONT_PACKAGES
    fonts-wqy-microhei fonts-wqy-zenhei fonts-noto-cjk fonts-arphic-uming fonts-arphic-ukai)
list(JOIN CHINESE_FONT_PACKAGES " | " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Without the Wayland plugin of the Qt it was built with, the window cannot run natively in a
# Wayland session (XWayland at best).
if(QT_VERSION_MAJOR EQUAL 6)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
else()
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qtwayland5)
endif()

set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
# RPM summaries start with a capital, Debian's synopses do not.
set(CPACK_RPM_PACKAGE_SUMMARY "Serial port terminal with a Chinese user interface")
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# The maintainer as packager; the build time and the files' times from SOURCE_DATE_EPOCH, as
# in the Debian package.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${PACKAGE_MAINTAINER}
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1")
# rpm's own dependency generator adds the libraries; fontconfig-based distributions name
# fonts by the languages they cover.
set(CPACK_RPM_PACKAGE_AUTOREQ ON)
set(CPACK_RPM_PACKAGE_REQUIRES "font(:lang=zh-cn)")
# The package owns its files and its doc folder, not the folders other packages share.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/applications /usr/share/metainfo /usr/share/man /usr/share/man/man1
    /usr/share/icons /usr/share/icons/hicolor)
foreach(size IN LISTS ICON_SIZES)
    list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
        /usr/share/icons/hicolor/${size}x${size} /usr/share/icons/hicolor/${size}x${size}/apps)
endforeach()

include(CPack)
