# The packages CPack makes from the install (scripts/package runs it): on
# Linux a .deb, whose dependencies dpkg-shlibdeps reads from the libraries the
# programs link, and a tar.gz of the same files; on Windows a zip of the
# runnable layout.
set(CPACK_PACKAGE_NAME vestrel)
set(CPACK_PACKAGE_VENDOR "Tarnholt Team")
set(CPACK_PACKAGE_CONTACT "Tarnholt Team <team@tarnholt.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Editor for the ball table of a football game's data file")
set(CPACK_PACKAGE_DESCRIPTION
    "Vestrel opens the game's compressed ball file (unnamed_1964.bin, unnamed_1815.bin), lists its balls, lets \
you change them or add one, and saves the file back. vestrel-table does the same from the command line.")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://www.tarnholt.example/")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME vestrel-${PROJECT_VERSION}-windows-x86_64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_PACKAGE_FILE_NAME vestrel-${PROJECT_VERSION}-linux-x86_64)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION games)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The .deb installs below /usr (its generator's own prefix); the tar.gz
    # holds the same layout below its top folder.
endif()

include(CPack)
