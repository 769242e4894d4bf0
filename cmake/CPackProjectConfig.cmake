# Read by cpack before it packs: a run that makes only the service's Debian
# package gives it the service's summary line.
if (CPACK_GENERATOR STREQUAL "DEB" AND CPACK_COMPONENTS_ALL STREQUAL "service")
    set (CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CPACK_COBALTLINE_SERVICE_SUMMARY}")
endif()
