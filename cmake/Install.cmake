# Installs the program for one user, the way scripts/install does. The prefix is the user's data
# home (${XDG_DATA_HOME:-~/.local/share}):
#   <prefix>/vaultry/                        the program's folder: the programs, Skin/, Icons/
#   <prefix>/applications/vaultry.desktop    the menu entry, Exec naming <prefix>/vaultry/vaultry
#   <prefix>/icons/hicolor/NxN/apps/vaultry.png
# DB.xml and Backup/ in the program's folder belong to the user: no rule installs, replaces or
# removes them, so the programs are named one by one rather than copying the build's bin/.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    if(DEFINED ENV{XDG_DATA_HOME} AND NOT "$ENV{XDG_DATA_HOME}" STREQUAL "")
        set(CMAKE_INSTALL_PREFIX "$ENV{XDG_DATA_HOME}" CACHE PATH "The user's data home" FORCE)
    else()
        set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local/share" CACHE PATH "The user's data home" FORCE)
    endif()
endif()

foreach(program vaultry newvault importvault exportvault protectvault)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION vaultry)
    endif()
endforeach()
install(DIRECTORY ${VAULTRY_BIN_DIR}/Skin ${VAULTRY_BIN_DIR}/Icons DESTINATION vaultry)
install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION icons)
install(CODE "set(vaultry_desktop_template \"${PROJECT_SOURCE_DIR}/resources/vaultry.desktop.in\")
include(\"${PROJECT_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake\")")
