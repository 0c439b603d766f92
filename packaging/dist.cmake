# cmake -D tarball=FILE -P dist.cmake: the release tarball, made by git
# archive from the commit checked out in the source folder this script lies
# in. It holds exactly that commit's files, whatever lies untracked beside
# them, with fixed owners and modes, sorted and dated by the commit: the same
# bytes every time.
cmake_path(GET tarball STEM LAST_ONLY name)
string(REGEX REPLACE "\\.tar$" "" name "${name}")
set(scratch "${tarball}.scratch")
# Whatever fails below, no tarball of this name is left to be taken for new.
file(REMOVE_RECURSE "${tarball}" "${tarball}.part" "${scratch}")
find_program(git git NO_CACHE)
if(NOT git)
  message(FATAL_ERROR "The release tarball is made by git: apt-get install git. No tarball was "
    "made.")
endif()
# Found from here rather than passed in: CMake drops a trailing space from a
# -D value, and would name a sibling folder.
cmake_path(GET CMAKE_CURRENT_LIST_DIR PARENT_PATH source)
file(REAL_PATH "${source}" source)

# The caller's git environment could point git at another repository, index
# or configuration; git names the variables that do. Its answer is read in
# the C locale, so that it can be told apart below whatever the language.
# Replace objects would put other contents in place of the commit's.
execute_process(COMMAND ${git} rev-parse --local-env-vars OUTPUT_VARIABLE local_variables)
string(REGEX MATCHALL "[A-Z_]+" local_variables
  "${local_variables} GIT_CONFIG_GLOBAL GIT_CONFIG_SYSTEM GIT_CONFIG_NOSYSTEM GIT_ATTR_SOURCE")
list(TRANSFORM local_variables PREPEND --unset=)
set(clean_environment ${CMAKE_COMMAND} -E env ${local_variables} LC_ALL=C GIT_ATTR_NOSYSTEM=1
  GIT_NO_REPLACE_OBJECTS=1)
set(clean_git ${clean_environment} ${git})

execute_process(COMMAND ${clean_git} rev-parse --show-toplevel
  WORKING_DIRECTORY ${source} RESULT_VARIABLE status OUTPUT_VARIABLE top ERROR_VARIABLE said
  ERROR_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "\n$" "" top "${top}") # only the newline: a folder's name may end in a space
set(release "The release tarball is made from a git clone of the project, and an unpacked release "
  "tarball is a release already. No tarball was made.")
if(NOT status EQUAL 0 AND said MATCHES "not a git repository")
  message(FATAL_ERROR "${source} is not a git checkout. " ${release})
elseif(NOT status EQUAL 0)
  message(FATAL_ERROR "git could not read ${source}: ${said}\nNo tarball was made.")
endif()
if(NOT top STREQUAL source)
  # git archive would pack the outer repository: someone else's files.
  message(FATAL_ERROR "${source} is not a git checkout of its own: it lies inside the git work "
    "tree ${top}. " ${release})
endif()

# A tarball named for a version changed but not committed would hold the
# sources of the last commit, so changes to tracked files stop it: staged
# ones, and any the work tree holds. The index can hide changes from git diff
# (assume-unchanged, which core.ignoreStat sets, and skip-worktree), so the
# work tree is compared through a fresh index of the commit too. Files that
# only the fresh index misses are those a sparse checkout leaves out, which
# the tarball holds as committed.
file(MAKE_DIRECTORY "${scratch}")
set(fresh_git ${clean_environment} GIT_INDEX_FILE=${scratch}/index ${git})
set(changed "")
foreach(step "${clean_git};diff;--cached;--name-only;HEAD;--"
    "${clean_git};diff;--name-only;HEAD;--" "${fresh_git};read-tree;HEAD"
    "${fresh_git};diff;--name-only;--diff-filter=d;HEAD;--")
  if(status EQUAL 0)
    execute_process(COMMAND ${step} WORKING_DIRECTORY ${source} RESULT_VARIABLE status
      OUTPUT_VARIABLE out ERROR_VARIABLE said)
    string(APPEND changed "${out}")
  endif()
endforeach()
string(STRIP "${changed}" changed)
string(REPLACE "\n" ";" changed "${changed}")
list(REMOVE_DUPLICATES changed)
list(SORT changed)
list(JOIN changed ", " changed)
file(REMOVE_RECURSE "${scratch}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "git could not compare ${source} with its commit: ${said}No tarball was "
    "made.")
elseif(NOT changed STREQUAL "")
  message(FATAL_ERROR "Tracked files have changes that are not committed: ${changed}. The "
    "tarball holds the commit checked out, which lacks them. Commit them (git commit) or set them "
    "aside (git stash), then make it again. No tarball was made.")
endif()

# git archive runs in a bare clone that shares the objects and nothing else:
# none of this clone's own attributes (.git/info/attributes), replace refs or
# settings. The settings that change what it writes are pinned, whatever the
# user's configuration says: line ends, attributes, the compressor and modes.
execute_process(COMMAND ${clean_git} rev-parse --verify HEAD^{commit} WORKING_DIRECTORY ${source}
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE)
set(step "clone of the checkout")
execute_process(COMMAND ${clean_git} clone --quiet --bare --shared --template= -- ${source}
  ${scratch}/clone.git RESULT_VARIABLE status ERROR_VARIABLE said)
if(status EQUAL 0)
  # Named outright: safe.bareRepository=explicit stops git finding a bare
  # repository from the folder it runs in.
  set(step "archive")
  execute_process(COMMAND ${clean_git} --git-dir=${scratch}/clone.git -c core.autocrlf=false
    -c core.eol=lf -c core.attributesFile=/dev/null -c "tar.tar.gz.command=git archive gzip"
    -c tar.umask=0022 archive --format=tar.gz --prefix=${name}/ --output=${tarball}.part ${commit}
    WORKING_DIRECTORY ${scratch}/clone.git RESULT_VARIABLE status ERROR_VARIABLE said)
endif()
file(REMOVE_RECURSE "${scratch}")
if(NOT status EQUAL 0)
  file(REMOVE "${tarball}.part")
  message(FATAL_ERROR "git's ${step} failed: ${said}No tarball was made.")
endif()
file(RENAME "${tarball}.part" "${tarball}")
message(STATUS "Made ${tarball}")
