# Run by `cmake --install` and cpack (install(CODE) in CMakeLists.txt), so that a manual page
# names the folders of the prefix it is installed under: fills in VEMA_MANUAL_IN, compresses it
# without a name or time stamp (the same bytes every time) and installs it into man1.
# Expects VEMA_MANUAL_IN, VEMA_MANUAL_OUT, VEMA_PKGDATADIR, VEMA_MANDIR, PROJECT_VERSION and
# VEMA_RELEASE_DATE.
set(VEMA_FULL_PKGDATADIR "${CMAKE_INSTALL_PREFIX}/${VEMA_PKGDATADIR}")
configure_file("${VEMA_MANUAL_IN}" "${VEMA_MANUAL_OUT}" @ONLY)
execute_process(COMMAND gzip -9nf "${VEMA_MANUAL_OUT}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip ${VEMA_MANUAL_OUT} failed")
endif()
file(INSTALL "${VEMA_MANUAL_OUT}.gz" DESTINATION "${CMAKE_INSTALL_PREFIX}/${VEMA_MANDIR}/man1")
