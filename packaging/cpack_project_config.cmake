# Read by cpack before it makes each package.

if(CPACK_GENERATOR STREQUAL "DEB")
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
elseif(CPACK_INSTALLED_DIRECTORIES)
  # The source tarball, the only package made from folders rather than an
  # install. In a git clone it holds exactly the files git tracks; elsewhere,
  # as in an unpacked tarball, everything but build folders. Either way no
  # build output goes in, nor a CMakeCache.txt holding a chosen message.
  list(GET CPACK_INSTALLED_DIRECTORIES 0 source)
  if(EXISTS ${source}/.git)
    execute_process(COMMAND git -c core.quotePath=false ls-files --others --directory
      WORKING_DIRECTORY ${source} OUTPUT_VARIABLE left_out RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "The source tarball holds the files git tracks, and git could not list "
        "them (apt-get install git). No package was made.")
    endif()
    string(STRIP "${left_out}" left_out)
    string(REPLACE "\n" ";" left_out "${left_out}")
  else()
    file(GLOB_RECURSE caches RELATIVE ${source} ${source}/*/CMakeCache.txt)
    list(TRANSFORM caches REPLACE "CMakeCache.txt$" "")
    set(left_out ${caches} CMakeCache.txt)
  endif()
  # A folder is left out with all it holds; a file only by its whole name.
  foreach(path IN LISTS left_out)
    string(REGEX REPLACE "([][+.*?()^$|\\\\{}])" "\\\\\\1" pattern "${source}/${path}")
    set(pattern "^${pattern}")
    if(NOT path MATCHES "/$")
      string(APPEND pattern "$")
    endif()
    list(APPEND CPACK_IGNORE_FILES "${pattern}")
  endforeach()
endif()
