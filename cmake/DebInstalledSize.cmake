# Run by cpack after it has built the packages. CPack's Installed-Size counts every folder
# by its size on disk (4 KiB each); dpkg counts each file in whole KiB and every folder as
# 1 KiB, and that is the figure apt shows and checks the free space against. So each .deb
# is unpacked, given dpkg's figure and packed again by dpkg-deb, which takes its
# timestamps from SOURCE_DATE_EPOCH as CPack did.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT deb MATCHES "\\.deb$")
        continue()
    endif()
    find_program(DPKG_DEB dpkg-deb REQUIRED)
    set(tree ${deb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND ${DPKG_DEB} --raw-extract ${deb} ${tree} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-deb could not unpack ${deb}")
    endif()

    file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${tree} ${tree}/*)
    set(kib 1) # the top folder
    foreach(entry IN LISTS entries)
        if(entry MATCHES "^DEBIAN(/|$)")
            continue()
        elseif(IS_DIRECTORY ${tree}/${entry} OR IS_SYMLINK ${tree}/${entry})
            math(EXPR kib "${kib} + 1")
        else()
            file(SIZE ${tree}/${entry} bytes)
            math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
        endif()
    endforeach()
    file(READ ${tree}/DEBIAN/control control)
    string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" control "${control}")
    file(WRITE ${tree}/DEBIAN/control "${control}")

    string(TOLOWER "${CPACK_DEBIAN_COMPRESSION_TYPE}" compression)
    execute_process(
        COMMAND ${DPKG_DEB} --root-owner-group -Z${compression} --build ${tree} ${deb}
        OUTPUT_QUIET RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-deb could not pack ${deb} again")
    endif()
    file(REMOVE_RECURSE ${tree})
endforeach()
