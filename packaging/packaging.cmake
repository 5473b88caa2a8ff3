# What `cmake --install` and the Debian package hold beyond the programs: the
# second name qveka, the manual pages, and the CPack settings of the package.
# Included at the end of the top-level CMakeLists.txt, when every program
# target is known.

# qveka is qvek under its second name: a relative link, made in the build tree
# and installed as a link, works under any prefix and in the package root.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/links/bin ${PROJECT_BINARY_DIR}/links/man)
file(CREATE_LINK qvek ${PROJECT_BINARY_DIR}/links/bin/qveka SYMBOLIC)
file(CREATE_LINK qvek.1 ${PROJECT_BINARY_DIR}/links/man/qveka.1 SYMBOLIC)
install(PROGRAMS ${PROJECT_BINARY_DIR}/links/bin/qveka DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES man/qvek.1 ${PROJECT_BINARY_DIR}/links/man/qveka.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET qvekdump)
    install(FILES man/qvekdump.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET qvek-lsp)
    install(FILES man/qvek-lsp.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET qvekfmt)
    install(FILES man/qvekfmt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Where Debian looks for the terms: the same MIT license, in its machine-readable form.
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README links to the engineer's record beside it.
install(DIRECTORY docs DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md")
install(FILES examples/Makefile examples/main.qvs examples/COMMON.INC examples/PATTERNS.INC examples/ROUTINES.INC
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(QVEK_PACKAGE_CONTACT "qvek maintainers <qvek@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${QVEK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "qvek reads one assembly source with its include files and writes one text\n"
    "load file holding a program memory of 4096 nibbles and a pattern memory of\n"
    "1024 32-bit words, for a configuration tool or for debug hardware.")
if(TARGET qvekdump)
    string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION
           "\nqvekdump lists, disassembles and converts load files and writes make\n"
           "dependency rules for sources.")
endif()
if(TARGET qvek-lsp)
    string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION
           "\nqvek-lsp is the language server editors start for qvek sources: the\n"
           "assembler's own diagnostics, names, values and addresses as you type.")
endif()
if(TARGET qvekfmt)
    string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION
           "\nqvekfmt lays out sources in one layout, never changing the load file.")
endif()
# The programs need the C and C++ runtimes only; dpkg-shlibdeps, when there,
# states the versions.
find_program(QVEK_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QVEK_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
