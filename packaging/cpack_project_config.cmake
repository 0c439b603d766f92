# Read by cpack before it makes each package.

if(CPACK_INSTALLED_DIRECTORIES)
  # CPack's source package would pack whatever lies in the source folder.
  message(FATAL_ERROR "The release tarball is made by git from the commit checked out: "
    "cmake --build <build folder> --target dist. package_source makes none.")
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
  # CPackDeb lists the staged files with a glob under the build folder, so
  # brackets, * or ? in its path give a .deb with no files that looks fine.
  if(CPACK_PACKAGE_DIRECTORY MATCHES "[][*?]")
    message(FATAL_ERROR "The folder ${CPACK_PACKAGE_DIRECTORY} holds [, ], * or ? in its path, which "
      "CPack reads as a pattern: the .deb would be empty. Build in a folder whose path has none of them. "
      "No package was made.")
  endif()
  # The package's files are dated by it. A value dpkg-deb cannot read would
  # fail the package half made, one CPack cannot store would fail it later,
  # and one past what a tar header holds would silently date it otherwise.
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  string(LENGTH "${epoch}" digits)
  if(DEFINED ENV{SOURCE_DATE_EPOCH} AND (NOT epoch MATCHES "^[0-9]+$" OR digits GREATER 10
      OR (digits EQUAL 10 AND epoch STRGREATER 8589934591)))
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is [${epoch}]: it must be unset, or a time as date +%s "
      "prints it, from 0 to 8589934591 (the latest a tar header holds). No package was made.")
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
endif()
