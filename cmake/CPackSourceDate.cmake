# Read by cpack before it builds each package: the packages' timestamps are the last
# commit's time unless SOURCE_DATE_EPOCH is set already (outside a git checkout they are the
# time of packaging). The DEB generator and rpmbuild read the variable.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_SERIALTERMINAL_GIT)
    execute_process(
        COMMAND "${CPACK_SERIALTERMINAL_GIT}" -C "${CPACK_SERIALTERMINAL_SOURCE_DIR}" log -1 --format=%ct
        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND commit_time MATCHES "^[0-9]+$")
        set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    endif()
endif()
