# Read by cpack before it makes each package.

if(CPACK_INSTALLED_DIRECTORIES)
  # CPack's source package would pack whatever lies in the source folder.
  message(FATAL_ERROR "The release tarball is made by git from the commit checked out: "
    "cmake --build <build folder> --target dist. package_source makes none.")
endif()
# The rest is the .deb's, which a plain cpack makes alone. Another package,
# asked for by name, leaves out the .deb's own component, the lintian override.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  list(SUBLIST CPACK_INSTALL_CMAKE_PROJECTS 0 4 CPACK_INSTALL_CMAKE_PROJECTS)
  return()
endif()

# Whatever stops the package below, no .deb of an earlier build, this version
# or another, is left to be taken for this one by dpkg -i *.deb. find takes
# the folder's name as it is, where a glob would read brackets in it.
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE architecture
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(CPACK_DEBIAN_FILE_NAME ${CPACK_PACKAGE_NAME}_${CPACK_PACKAGE_VERSION}_${architecture}.deb)
execute_process(COMMAND find ${CPACK_PACKAGE_DIRECTORY} -maxdepth 1 -type f
  -name "${CPACK_PACKAGE_NAME}_*.deb" -delete ERROR_QUIET)
# CPackDeb lists the staged files with a glob under the build folder, so
# brackets, * or ? in its path give a .deb with no files that looks fine.
if(CPACK_PACKAGE_DIRECTORY MATCHES "[][*?]")
  message(FATAL_ERROR "The folder ${CPACK_PACKAGE_DIRECTORY} holds [, ], * or ? in its path, "
    "which CPack reads as a pattern: the .deb would be empty. Build in a folder whose path has "
    "none of them. No package was made.")
endif()
# CPack reads a path outside ASCII only under a UTF-8 locale; under another
# its archive fails with "Can't lstat". The locale is cpack's own, which its
# children share, as they share its environment.
if(CPACK_PACKAGE_DIRECTORY MATCHES "[^\t -~]")
  execute_process(COMMAND locale charmap OUTPUT_VARIABLE charmap OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  if(NOT charmap STREQUAL "UTF-8")
    message(FATAL_ERROR "The folder ${CPACK_PACKAGE_DIRECTORY} has characters outside ASCII in its "
      "path, which CPack reads only under a UTF-8 locale, and this locale's character set is "
      "${charmap}. Run cpack under a UTF-8 locale, for example LC_ALL=C.UTF-8 cpack. No package "
      "was made.")
  endif()
endif()
# Without dpkg-shlibdeps CPack writes a .deb with no Depends and calls it a
# success; without file it fails without saying why. Stop before either.
find_program(shlibdeps_program dpkg-shlibdeps NO_CACHE)
if(NOT shlibdeps_program)
  message(FATAL_ERROR "Making the .deb needs dpkg-shlibdeps, which works out the package's "
    "dependencies: apt-get install dpkg-dev. No package was made.")
endif()
find_program(file_program file NO_CACHE)
if(NOT file_program)
  message(FATAL_ERROR "Making the .deb needs the file command, which finds the executables whose "
    "libraries the package depends on: apt-get install file. No package was made.")
endif()
# The package's entries are dated by SOURCE_DATE_EPOCH; unset, by the
# latest changelog entry, as dpkg-buildpackage does, so that the same
# sources give the same .deb. A value dpkg-deb cannot read would fail the
# package half made, one past what a tar header holds would silently date
# it otherwise, and lintian calls files of 1975 and before ancient.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(changelog ${CMAKE_CURRENT_LIST_DIR}/changelog)
  execute_process(COMMAND dpkg-parsechangelog -l ${changelog} -S Timestamp
    OUTPUT_VARIABLE changelog_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE said)
  if(NOT changelog_time MATCHES "^[0-9]+$")
    message(FATAL_ERROR "The latest entry of ${changelog} has no date that dpkg can read, and the "
      "package is dated by it. Write the date as date -R prints it, such as Wed, 09 Dec 2026 "
      "18:19:00 +0000, or set SOURCE_DATE_EPOCH. dpkg-parsechangelog said: ${said}No package was "
      "made.")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${changelog_time}")
endif()
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 189302400 OR epoch GREATER 8589934591)
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is [${epoch}]: it must be unset, or a time as date +%s "
    "prints it, from 189302400 (1976, as lintian calls older files ancient) to 8589934591 (the "
    "latest a tar header holds). No package was made.")
endif()
