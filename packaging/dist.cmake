# cmake -D source=FOLDER -D tarball=FILE -P dist.cmake: the release tarball,
# made by git archive from the commit checked out in FOLDER. It holds exactly
# that commit's files, whatever lies untracked beside them, with fixed owners
# and modes, sorted and dated by the commit: the same bytes every time.
cmake_path(GET tarball STEM LAST_ONLY name)
string(REGEX REPLACE "\\.tar$" "" name "${name}")
# Whatever fails below, no tarball of this name is left to be taken for new.
file(REMOVE "${tarball}" "${tarball}.part")
find_program(git git NO_CACHE)
if(NOT git)
  message(FATAL_ERROR "The release tarball is made by git: apt-get install git. No tarball was made.")
endif()
file(REAL_PATH "${source}" source)

# The caller's git environment could point git at another repository, index
# or configuration; git names the variables that do. Its answer is read in
# the C locale, so that it can be told apart below whatever the language.
execute_process(COMMAND ${git} rev-parse --local-env-vars OUTPUT_VARIABLE local_variables)
string(REGEX MATCHALL "[A-Z_]+" local_variables
  "${local_variables} GIT_CONFIG_GLOBAL GIT_CONFIG_SYSTEM GIT_CONFIG_NOSYSTEM GIT_ATTR_SOURCE")
list(TRANSFORM local_variables PREPEND --unset=)
set(clean_git ${CMAKE_COMMAND} -E env ${local_variables} LC_ALL=C GIT_ATTR_NOSYSTEM=1 ${git})

execute_process(COMMAND ${clean_git} rev-parse --show-toplevel
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

# A tarball named for a version changed but not committed would hold the
# sources of the last commit, so changes to tracked files stop it.
execute_process(COMMAND ${clean_git} diff --name-only HEAD -- WORKING_DIRECTORY ${source}
  RESULT_VARIABLE status OUTPUT_VARIABLE changed ERROR_VARIABLE said OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "git could not compare ${source} with its commit: ${said}No tarball was made.")
elseif(NOT changed STREQUAL "")
  string(REPLACE "\n" ", " changed "${changed}")
  message(FATAL_ERROR "Tracked files have changes that are not committed: ${changed}. The tarball holds "
    "the commit checked out, which lacks them. Commit them (git commit) or set them aside (git stash), "
    "then make it again. No tarball was made.")
endif()

# Settings that change what git archive writes are pinned, whatever the
# user's configuration says: line ends, attributes, the compressor and modes.
execute_process(COMMAND ${clean_git} -c core.autocrlf=false -c core.eol=lf -c core.attributesFile=/dev/null
  -c "tar.tar.gz.command=git archive gzip" -c tar.umask=0022
  archive --format=tar.gz --prefix=${name}/ --output=${tarball}.part HEAD
  WORKING_DIRECTORY ${source} RESULT_VARIABLE status ERROR_VARIABLE said)
if(NOT status EQUAL 0)
  file(REMOVE "${tarball}.part")
  message(FATAL_ERROR "git archive failed: ${said}No tarball was made.")
endif()
file(RENAME "${tarball}.part" "${tarball}")
message(STATUS "Made ${tarball}")
