# The Debian package of salvor-cli, made by CPack (scripts/package):
# salvor-cli in /usr/bin, Gleaner and Surveyor in /usr/lib/salvor (the
# program loads them from there), the manual page and the copyright file.
# dpkg-shlibdeps works out the Depends from the installed binaries.
install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/salvor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME salvor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Salvor developers")
set(CPACK_PACKAGE_CONTACT "Salvor developers <dev@salvor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recovers deleted files from FAT, exFAT and NTFS volumes")
set(CPACK_PACKAGE_DESCRIPTION
  "salvor-cli finds deleted and present files on FAT16, FAT32, exFAT and NTFS
volumes, disk images and block devices, also on a volume that was
quick-formatted over, and writes them into a folder on another disk. The
scanned volume is only ever read.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
