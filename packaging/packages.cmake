# The installed documents, the Debian package and the release tarball.
# Included from the top CMakeLists.txt, so outputs land in the top build folder.

# Debian wants the manual page and changelog compressed as tightly as gzip
# can; -n leaves out the name and time, so the output stays reproducible.
# The manual page gets the project's version in its .TH line on the way.
set(compressed)
foreach(file man/delayed-message.1 packaging/changelog)
  cmake_path(GET file FILENAME name)
  add_custom_command(OUTPUT ${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${file} ${name}
    COMMAND sed -i "s/^\\(\\.TH .*\"${PROJECT_NAME}\\)\"/\\1 ${PROJECT_VERSION}\"/" ${name}
    COMMAND gzip -9nf ${name}
    DEPENDS ${PROJECT_SOURCE_DIR}/${file} VERBATIM)
  list(APPEND compressed ${PROJECT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(compressed-docs ALL DEPENDS ${compressed})

# Debian's machine-readable copyright file, made from LICENSE so the two
# cannot drift apart.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(copyright_holder "${CMAKE_MATCH_1}")
string(FIND "${license}" "Permission" start)
string(SUBSTRING "${license}" ${start} -1 license_text)
string(STRIP "${license_text}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text " ${license_text}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in copyright @ONLY)

install(FILES ${PROJECT_BINARY_DIR}/delayed-message.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz ${PROJECT_BINARY_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Only lintian reads the override, and only from a .deb: it is installed by
# cpack alone, which installs this component too.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME delayed-message COMPONENT deb EXCLUDE_FROM_ALL)
set(CPACK_INSTALL_CMAKE_PROJECTS ${PROJECT_BINARY_DIR} ${PROJECT_NAME} Unspecified /
  ${PROJECT_BINARY_DIR} ${PROJECT_NAME} deb /)

# The summary is the manual page's NAME line.
file(STRINGS ${PROJECT_SOURCE_DIR}/man/delayed-message.1 summary REGEX "^${PROJECT_NAME} \\\\- ")
string(REGEX REPLACE "^${PROJECT_NAME} \\\\- " "" CPACK_PACKAGE_DESCRIPTION_SUMMARY "${summary}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/man/delayed-message.1)
set(CPACK_PACKAGE_DESCRIPTION "delayed-message carries one short message, stored enciphered.
When started it waits 100000 seconds (27 hours, 46 minutes and 40 seconds),
then deciphers the message, writes it to standard output and exits.
It reads no arguments, environment, input or files.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
  "delayed-message developers <maintainers@delayed-message.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A plain cpack makes the .deb alone: the other generators' packages would
# get none of its checks.
set(CPACK_GENERATOR DEB)
# cpack reads this before each package: it names the .deb, checks the tools
# it needs, the build folder's path and the date, and refuses other packages.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_project_config.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/canonical_deb.cmake)
include(CPack)

# The release tarball, delayed-message-<version>.tar.gz, comes from git.
add_custom_target(dist COMMAND ${CMAKE_COMMAND}
  -D tarball=${PROJECT_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}.tar.gz
  -P ${CMAKE_CURRENT_LIST_DIR}/dist.cmake VERBATIM)
