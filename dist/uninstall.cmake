# Removes what `cmake --install` put in place, as listed in MANIFEST (below
# DESTDIR when it is set in the environment, as for the install), then
# every folder this left empty, up to the folders of the standard hierarchy
# that other programs share.
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} not found (make install writes it)")
endif()
file(STRINGS "${MANIFEST}" files)
set(shared "/(bin|share|share/applications|share/metainfo|share/doc|share/man|share/man/man1|share/icons|share/icons/hicolor)$")
foreach(file IN LISTS files)
    set(file "$ENV{DESTDIR}${file}")
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
        file(REMOVE "${file}")
        message(STATUS "Removed ${file}")
    endif()
    get_filename_component(dir "${file}" DIRECTORY)
    # rmdir removes a folder only when it is empty.
    while(IS_DIRECTORY "${dir}" AND NOT dir MATCHES "${shared}")
        execute_process(COMMAND rmdir "${dir}" RESULT_VARIABLE kept ERROR_QUIET)
        if(kept)
            break()
        endif()
        get_filename_component(dir "${dir}" DIRECTORY)
    endwhile()
endforeach()
