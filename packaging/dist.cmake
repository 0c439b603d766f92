# cmake -D source=FOLDER -D tarball=FILE -P dist.cmake: the release tarball,
# made by git archive from the commit checked out in FOLDER. It holds exactly
# that commit's files, whatever lies untracked beside them, with fixed owners
# and modes, sorted and dated by the commit: the same bytes every time.
cmake_path(GET tarball STEM LAST_ONLY name)
string(REGEX REPLACE "\\.tar$" "" name "${name}")
find_program(git git NO_CACHE)
if(NOT git)
  message(FATAL_ERROR "The release tarball is made by git: apt-get install git. No tarball was made.")
endif()
file(REAL_PATH "${source}" source)
# In the C locale, so that git's answer can be told apart below.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${git} rev-parse --show-toplevel
  WORKING_DIRECTORY ${source} RESULT_VARIABLE status OUTPUT_VARIABLE top ERROR_VARIABLE said
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
set(release "The release tarball is made from a git clone of the project, and an unpacked release "
  "tarball is a release already. No tarball was made.")
if(NOT status EQUAL 0 AND said MATCHES "not a git repository")
  message(FATAL_ERROR "${source} is not a git checkout. " ${release})
elseif(NOT status EQUAL 0)
  message(FATAL_ERROR "git could not read ${source}: ${said}\nNo tarball was made.")
elseif(NOT top STREQUAL source)
  # git archive would pack the outer repository: someone else's files.
  message(FATAL_ERROR "${source} is not a git checkout of its own: it lies inside the git work tree "
    "${top}. " ${release})
endif()
execute_process(COMMAND ${git} -c tar.umask=0022 archive --format=tar.gz --prefix=${name}/
  --output=${tarball} HEAD WORKING_DIRECTORY ${source} RESULT_VARIABLE status ERROR_VARIABLE said)
if(NOT status EQUAL 0)
  file(REMOVE ${tarball})
  message(FATAL_ERROR "git archive failed: ${said}No tarball was made.")
endif()
execute_process(COMMAND ${git} diff --quiet HEAD -- WORKING_DIRECTORY ${source} RESULT_VARIABLE changed)
if(NOT changed EQUAL 0)
  message(NOTICE "The tarball holds the commit checked out; changes not committed are not in it.")
endif()
message(STATUS "Made ${tarball}")
