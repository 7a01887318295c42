# Writes the menu entry at install time, when the prefix the program lands in is known: Exec must
# name the installed program by its absolute path.
set(vaultry_program "${CMAKE_INSTALL_PREFIX}/vaultry/vaultry")
if(vaultry_program MATCHES "[\"`$\\\\%\n]")
    message(FATAL_ERROR "The menu entry cannot name a program whose path holds \" ` $ \\ % or a line break: ${vaultry_program}")
endif()
# A path with blanks or other characters the launcher would split on is quoted as a whole.
if(vaultry_program MATCHES "[ \t'><~|&;*?#()]")
    set(VAULTRY_EXEC "\"${vaultry_program}\"")
else()
    set(VAULTRY_EXEC "${vaultry_program}")
endif()
set(vaultry_entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/applications/${VAULTRY_APP_ID}.desktop")
message(STATUS "Installing: ${vaultry_entry}")
configure_file("${vaultry_desktop_template}" "${vaultry_entry}" @ONLY)
