# What `cmake --install` puts where.
#
# The editor finds zlib/zlibtool and resources/ beside its own file, so these
# three stay together. On Windows that is the top of the prefix, laid out as
# the build folder is, with the working folder zlib/temp/ (the zip). Elsewhere
# the GNU layout: the three live in libexec/vestrel/, bin/vestrel links to the
# editor there (the link is followed, so the editor still finds its tool), and
# vestrel-table, which needs nothing beside itself, sits in bin/. No working
# folder is installed there: users cannot write below the prefix, and the
# editor then works in a folder of their own.
include(GNUInstallDirs)

if(WIN32)
    set(vestrel_app_dir .)
    set(vestrel_bin_dir .)
    set(vestrel_doc_dir .)
    install(DIRECTORY DESTINATION zlib/temp)
else()
    set(vestrel_app_dir ${CMAKE_INSTALL_LIBEXECDIR}/vestrel)
    set(vestrel_bin_dir ${CMAKE_INSTALL_BINDIR})
    set(vestrel_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vestrel)
endif()

install(TARGETS vestrel RUNTIME DESTINATION ${vestrel_app_dir})
install(TARGETS zlibtool RUNTIME DESTINATION ${vestrel_app_dir}/zlib)
install(TARGETS vestrel-table RUNTIME DESTINATION ${vestrel_bin_dir})
install(FILES ${CMAKE_BINARY_DIR}/resources/click.wav ${CMAKE_BINARY_DIR}/resources/over.wav
        DESTINATION ${vestrel_app_dir}/resources)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${vestrel_doc_dir})
# The editor carries Liberation Sans; its licence goes with every copy.
install(FILES ${PROJECT_SOURCE_DIR}/main_window/fonts/OFL.txt DESTINATION ${vestrel_doc_dir}
        RENAME LICENSE-LiberationSans.txt)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${vestrel_doc_dir})
else()
    message(STATUS "No LICENSE file in the sources: the install and the packages carry none")
endif()

if(NOT WIN32)
    file(RELATIVE_PATH vestrel_link_target ${CMAKE_INSTALL_FULL_BINDIR}
         ${CMAKE_INSTALL_FULL_LIBEXECDIR}/vestrel/vestrel)
    install(CODE "
        set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vestrel\")
        message(STATUS \"Installing: \${link} -> ${vestrel_link_target}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(CREATE_LINK \"${vestrel_link_target}\" \"\${link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link}\")")

    install(FILES ${PROJECT_SOURCE_DIR}/resources/vestrel.desktop
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
    foreach(size ${VESTREL_ICON_SIZES})
        install(FILES ${CMAKE_BINARY_DIR}/resources/icons/${size}/vestrel.png
                DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
endif()
