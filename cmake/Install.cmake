# Two layouts from one build tree.
#
# The user install (a plain `cmake --install`, what scripts/install does). The prefix is the user's
# data home (${XDG_DATA_HOME:-~/.local/share}):
#   <prefix>/vaultry/                               the program's folder: the programs, Skin/, Icons/
#   <prefix>/applications/<app id>.desktop          the menu entry, Exec naming <prefix>/vaultry/vaultry
#   <prefix>/icons/hicolor/{NxN,scalable}/apps/<app id>.{png,svg}
# DB.xml and Backup/ in the program's folder belong to the user: no rule installs, replaces or
# removes them, so the programs are named one by one rather than copying the build's bin/.
#
# The Debian package (component "package", placed only by an install that names it; scripts/package
# installs it with the prefix /usr): the programs in bin/, skin and icons in share/vaultry/, where a
# program whose own folder holds no Skin/ looks for them; the vault is then the user's, in the data
# home, made by the program's first start.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    if(DEFINED ENV{XDG_DATA_HOME} AND NOT "$ENV{XDG_DATA_HOME}" STREQUAL "")
        set(CMAKE_INSTALL_PREFIX "$ENV{XDG_DATA_HOME}" CACHE PATH "The user's data home" FORCE)
    else()
        set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local/share" CACHE PATH "The user's data home" FORCE)
    endif()
endif()

set(vaultry_programs vaultry newvault importvault exportvault protectvault)
set(vaultry_package_only COMPONENT package EXCLUDE_FROM_ALL)

# Named one by one: a build folder may still hold icons of another name from an older build.
set(vaultry_theme_icons)
foreach(size 16 32 48 64 128 256)
    list(APPEND vaultry_theme_icons "${size}x${size}")
endforeach()
set(vaultry_svg_icon ${PROJECT_SOURCE_DIR}/resources/${VAULTRY_APP_ID}.svg)

# --- the user install
foreach(program ${vaultry_programs})
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION vaultry)
    endif()
endforeach()
install(DIRECTORY ${VAULTRY_BIN_DIR}/Skin ${VAULTRY_BIN_DIR}/Icons DESTINATION vaultry)
foreach(size ${vaultry_theme_icons})
    install(FILES ${CMAKE_BINARY_DIR}/icons/hicolor/${size}/apps/${VAULTRY_APP_ID}.png
            DESTINATION icons/hicolor/${size}/apps)
endforeach()
install(FILES ${vaultry_svg_icon} DESTINATION icons/hicolor/scalable/apps)
install(CODE "set(vaultry_desktop_template \"${PROJECT_SOURCE_DIR}/resources/vaultry.desktop.in\")
set(VAULTRY_APP_ID \"${VAULTRY_APP_ID}\")
include(\"${PROJECT_SOURCE_DIR}/cmake/InstallDesktopEntry.cmake\")")

# --- the package
foreach(program ${vaultry_programs})
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION bin ${vaultry_package_only})
    endif()
endforeach()
install(DIRECTORY ${VAULTRY_BIN_DIR}/Skin ${VAULTRY_BIN_DIR}/Icons DESTINATION share/vaultry ${vaultry_package_only})
foreach(size ${vaultry_theme_icons})
    install(FILES ${CMAKE_BINARY_DIR}/icons/hicolor/${size}/apps/${VAULTRY_APP_ID}.png
            DESTINATION share/icons/hicolor/${size}/apps ${vaultry_package_only})
endforeach()
install(FILES ${vaultry_svg_icon} DESTINATION share/icons/hicolor/scalable/apps ${vaultry_package_only})
# The package's menu entry starts the program through PATH.
set(VAULTRY_EXEC vaultry)
configure_file(${PROJECT_SOURCE_DIR}/resources/vaultry.desktop.in ${CMAKE_BINARY_DIR}/package/${VAULTRY_APP_ID}.desktop
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/${VAULTRY_APP_ID}.desktop DESTINATION share/applications
        ${vaultry_package_only})
install(FILES ${PROJECT_SOURCE_DIR}/resources/${VAULTRY_APP_ID}.metainfo.xml DESTINATION share/metainfo
        ${vaultry_package_only})
# The manual pages and the changelog go in as they are: scripts/package compresses them.
install(FILES ${PROJECT_SOURCE_DIR}/resources/package/copyright ${PROJECT_SOURCE_DIR}/resources/package/changelog
        DESTINATION share/doc/vaultry ${vaultry_package_only})
foreach(page ${vaultry_programs})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 DESTINATION share/man/man1 ${vaultry_package_only})
endforeach()
