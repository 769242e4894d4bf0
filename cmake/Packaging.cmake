# What the project installs, and the packages CPack makes of it: on Linux
# two Debian packages, "cobaltline" (the program and the console scanner)
# and "cobaltline-service" (the update service); in the Windows build an
# NSIS installer of the program. scripts/release.sh builds them all.

# The day of the release whose version project() gives; the AppStream
# metadata carries it. The top entry of resources/debian/changelog must
# name the same version (scripts/package-linux.sh checks).
set (COBALTLINE_RELEASE_DATE "2026-12-09")

set (CPACK_PACKAGE_NAME "cobaltline")
set (CPACK_PACKAGE_VENDOR "Cobaltline")
set (CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set (CPACK_PACKAGE_CONTACT "Cobaltline developers <packages@cobaltline.example>")
set (CPACK_PACKAGE_DESCRIPTION_SUMMARY "See which of your audio plug-ins have newer versions")
set (CPACK_PACKAGE_HOMEPAGE_URL "${COBALTLINE_PRODUCT_SITE_URL}")
set (CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
# The Windows build links its executables without symbols and signs them
# before they are packed (scripts/package-windows.sh), which stripping here
# would undo.
if (NOT WIN32)
    set (CPACK_STRIP_FILES ON)
endif()
set (CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/packages")

if (WIN32)
    #==========================================================================
    # The Windows installer: per machine into Program Files, a Start-menu
    # entry, an uninstaller listed in "Apps & features". The user's data in
    # %APPDATA%\Cobaltline is not the installer's and stays.
    # (JUCE lists the program's icon as a resource file; it is linked into
    # the executable already.)
    install (TARGETS Cobaltline cobaltline-scan
             RUNTIME DESTINATION . COMPONENT program
             RESOURCE DESTINATION resources COMPONENT program EXCLUDE_FROM_ALL)
    install (FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION . RENAME LICENSE.txt COMPONENT program)

    set (CPACK_GENERATOR NSIS)
    set (CPACK_PACKAGE_FILE_NAME "Cobaltline-${PROJECT_VERSION}-win64")
    set (CPACK_PACKAGE_INSTALL_DIRECTORY "Cobaltline")
    set (CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Cobaltline")
    set (CPACK_PACKAGE_EXECUTABLES "Cobaltline;Cobaltline")
    set (CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
    set (CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set (CPACK_NSIS_PACKAGE_NAME "Cobaltline")
    set (CPACK_NSIS_DISPLAY_NAME "Cobaltline")
    set (CPACK_NSIS_INSTALLED_ICON_NAME "Cobaltline.exe")
    set (CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/images/cobaltline.ico")
    set (CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/resources/images/cobaltline.ico")
    set (CPACK_NSIS_URL_INFO_ABOUT "${COBALTLINE_PRODUCT_SITE_URL}")
    set (CPACK_NSIS_HELP_LINK "${COBALTLINE_PRODUCT_SITE_URL}/betareport")
    set (CPACK_NSIS_CONTACT "packages@cobaltline.example")
    set (CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    set (CPACK_NSIS_UNINSTALL_NAME "Uninstall")
    set (CPACK_NSIS_COMPRESSOR "/SOLID lzma")
    set (CPACK_NSIS_MUI_FINISHPAGE_RUN "Cobaltline.exe")
    # A 64-bit installer (as the program is), and its own version resource:
    # what Explorer's Properties show.
    # (NSIS's single quotes: CPack passes double quotes on mangled.)
    string (JOIN "\n" CPACK_NSIS_DEFINES
        "Target amd64-unicode"
        "VIProductVersion ${PROJECT_VERSION}.0"
        "VIFileVersion ${PROJECT_VERSION}.0"
        "VIAddVersionKey ProductName Cobaltline"
        "VIAddVersionKey ProductVersion ${PROJECT_VERSION}"
        "VIAddVersionKey FileVersion ${PROJECT_VERSION}"
        "VIAddVersionKey FileDescription 'Cobaltline ${PROJECT_VERSION} Setup'"
        "VIAddVersionKey CompanyName ${CPACK_PACKAGE_VENDOR}"
        "VIAddVersionKey LegalCopyright 'The Cobaltline developers, GPL-3.0-or-later'"
        "BrandingText 'Cobaltline ${PROJECT_VERSION}'")
else()
    #==========================================================================
    # The Debian packages.
    include (GNUInstallDirs)
    set (app_id "com.cobaltline.Cobaltline")
    set (linux "${PROJECT_SOURCE_DIR}/resources/linux")
    set (debian "${PROJECT_SOURCE_DIR}/resources/debian")
    set (generated "${CMAKE_BINARY_DIR}/packaging")

    # Man pages and changelogs go in compressed with gzip -9n (no name or
    # time stamp), as Debian's policy asks.
    set (compressed)
    function (cobaltline_gzip source output)
        add_custom_command (OUTPUT "${output}"
            COMMAND gzip -9nc "${source}" > "${output}"
            DEPENDS "${source}"
            VERBATIM)
        set (compressed ${compressed} "${output}" PARENT_SCOPE)
    endfunction()

    foreach (page cobaltline.1 cobaltline-scan.1 cobaltline-service.8)
        configure_file ("${linux}/man/${page}" "${generated}/${page}" @ONLY)
        cobaltline_gzip ("${generated}/${page}" "${generated}/${page}.gz")
    endforeach()
    cobaltline_gzip ("${debian}/changelog" "${generated}/changelog.gz")
    foreach (doc README.md)
        cobaltline_gzip ("${PROJECT_SOURCE_DIR}/updateservice/${doc}" "${generated}/${doc}.gz")
    endforeach()
    cobaltline_gzip ("${PROJECT_SOURCE_DIR}/docs/deploying.md" "${generated}/deploying.md.gz")
    add_custom_target (cobaltline_packaging_files ALL DEPENDS ${compressed})

    configure_file ("${linux}/${app_id}.metainfo.xml.in" "${generated}/${app_id}.metainfo.xml" @ONLY)

    # cobaltline: the program and the console scanner. The program is called
    # "cobaltline" on the command line.
    install (TARGETS Cobaltline cobaltline-scan RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT program)
    install (CODE "file (RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/Cobaltline\"
                               \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/cobaltline\")"
             COMPONENT program)
    install (FILES "${linux}/${app_id}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT program)
    install (FILES "${generated}/${app_id}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT program)
    foreach (size 16 24 32 48 64 128 256 512)
        install (FILES "${linux}/icons/cobaltline-${size}.png"
                 DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
                 RENAME "${app_id}.png" COMPONENT program)
    endforeach()
    install (FILES "${PROJECT_SOURCE_DIR}/resources/art/icon.svg"
             DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
             RENAME "${app_id}.svg" COMPONENT program)
    install (FILES "${generated}/cobaltline.1.gz" "${generated}/cobaltline-scan.1.gz"
             DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT program)
    install (FILES "${debian}/copyright" "${generated}/changelog.gz"
             DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/cobaltline" COMPONENT program)

    # cobaltline-service: the service, its unit (not enabled) reading its
    # options from /etc/default, the system user and data folder made by
    # the maintainer scripts.
    set (service "${PROJECT_SOURCE_DIR}/updateservice")
    install (TARGETS cobaltline-service RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT service)
    install (FILES "${service}/deploy/systemd/cobaltline-service.service"
             DESTINATION /lib/systemd/system COMPONENT service)
    install (FILES "${service}/deploy/systemd/cobaltline-service.default"
             DESTINATION /etc/default RENAME cobaltline-service COMPONENT service)
    install (FILES "${generated}/cobaltline-service.8.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man8" COMPONENT service)
    install (FILES "${debian}/copyright" "${generated}/changelog.gz" "${generated}/README.md.gz"
                   "${generated}/deploying.md.gz"
             DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/cobaltline-service" COMPONENT service)
    install (FILES "${service}/deploy/nginx/cobaltline-service.conf" "${service}/catalog/seed-catalog.csv"
             DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/cobaltline-service/examples" COMPONENT service)

    set (CPACK_GENERATOR DEB)
    set (CPACK_PACKAGING_INSTALL_PREFIX "/usr")
    set (CPACK_DEB_COMPONENT_INSTALL ON)
    set (CPACK_COMPONENTS_ALL program service)
    set (CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set (CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
    set (CPACK_DEBIAN_PACKAGE_HOMEPAGE "${COBALTLINE_PRODUCT_SITE_URL}")
    set (CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set (CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set (CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

    set (CPACK_DEBIAN_PROGRAM_PACKAGE_NAME "cobaltline")
    set (CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION sound)
    # JUCE opens the X11 libraries at run time, so they are named here.
    set (CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS
         "libx11-6, libxext6, libxcursor1, libxinerama1, libxrandr2, libxrender1")
    set (CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "xdg-utils, zenity, fonts-dejavu-core")
    set (CPACK_DEBIAN_PROGRAM_DESCRIPTION
"Cobaltline keeps an inventory of the audio plug-ins in your plug-in
folders (Windows VST, VST3, CLAP and AAX plug-ins, such as those inside a
Wine prefix), sends it to the Cobaltline update service and shows which
plug-ins have newer versions.
.
This package holds the program and cobaltline-scan, its console scanner.")

    # CPack gives every package of a run the one summary line: each package
    # is made in a run of its own (scripts/package-linux.sh), and
    # cmake/CPackProjectConfig.cmake picks the line of the package.
    set (CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/CPackProjectConfig.cmake")
    set (CPACK_COBALTLINE_SERVICE_SUMMARY "update service for the Cobaltline plug-in inventory")

    set (CPACK_DEBIAN_SERVICE_PACKAGE_NAME "cobaltline-service")
    set (CPACK_DEBIAN_SERVICE_PACKAGE_SECTION net)
    set (CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "adduser")
    set (CPACK_DEBIAN_SERVICE_PACKAGE_SUGGESTS "nginx, postgresql")
    set (CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
         "${service}/deploy/debian/postinst;${service}/deploy/debian/prerm;${service}/deploy/debian/postrm;${service}/deploy/debian/conffiles")
    set (CPACK_DEBIAN_SERVICE_DESCRIPTION
"The service keeps the accounts of the Cobaltline program, receives the
inventory of each computer's audio plug-ins and replies with the newer
versions its catalog knows. It stores in SQLite or PostgreSQL.
.
A systemd unit is installed but not enabled; its options are read from
/etc/default/cobaltline-service.")
endif()

include (CPack)
