# Run by cpack on each finished package. CPack takes modes from the builder's
# umask and a folder's default ACL, and adds up the folders' sizes, which
# differ from one file system to another. So the .deb is unpacked and built
# again by dpkg-deb: modes set outright (0755 for folders and the program,
# 0644 for the rest), every entry owned by root, and Installed-Size worked out
# as dpkg-gencontrol does. CPack dates the entries by SOURCE_DATE_EPOCH; what
# the rebuild itself makes or changes (the tree's root, the control file and
# its folder) is dated so too. A package that cannot be made so, or whose
# changelog and manual page are of another version than its name, is
# removed. Only external tools touch the tree: CMake's file() checks access
# with the real user, which an ordinary user's capabilities do not pass.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  # Installed-Size: each file's size in KiB rounded up, and 1 for each other
  # entry, the DEBIAN folder included but not what it holds.
  set(size 0)
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} RESULT_VARIABLE status
    OUTPUT_QUIET)
  if(status EQUAL 0)
    execute_process(COMMAND find . -path ./DEBIAN -prune -printf "1\\n"
      -o ( -type f -o -type l ) -printf "%s\\n" -o -printf "1\\n"
      WORKING_DIRECTORY ${tree} RESULT_VARIABLE status OUTPUT_VARIABLE sizes)
    string(REGEX MATCHALL "[0-9]+" sizes "${sizes}")
    foreach(bytes IN LISTS sizes)
      math(EXPR size "${size} + (${bytes} + 1023) / 1024")
    endforeach()
  endif()
  # The versions of the changelog and of the manual page, which the build
  # made, against the one that the configure named the package for.
  if(status EQUAL 0)
    execute_process(COMMAND gzip -dc usr/share/doc/${CPACK_PACKAGE_NAME}/changelog.gz
      usr/share/man/man1/${CPACK_PACKAGE_NAME}.1.gz
      WORKING_DIRECTORY ${tree} RESULT_VARIABLE status OUTPUT_VARIABLE documents)
  endif()
  string(REGEX MATCH "^${CPACK_PACKAGE_NAME} \\(([^)]*)\\)" _ "${documents}")
  set(changelog_version "${CMAKE_MATCH_1}")
  string(REGEX MATCH "\n\\.TH [^\n]*\"${CPACK_PACKAGE_NAME} ([^\"]*)\"" _ "${documents}")
  set(manual_version "${CMAKE_MATCH_1}")
  set(control ${tree}/DEBIAN/control)
  set(epoch $ENV{SOURCE_DATE_EPOCH})
  foreach(step "sed;-i;s/^Installed-Size: .*/Installed-Size: ${size}/;${control}"
      "chmod;-R;u=rw,go=r,a+X,-s;${tree}" "chmod;0755;${tree}/usr/bin/${CPACK_PACKAGE_NAME}"
      "touch;--date=@${epoch};${tree};${tree}/DEBIAN;${control}"
      "dpkg-deb;--root-owner-group;--build;${tree};${package}.part")
    if(status EQUAL 0)
      execute_process(COMMAND ${step} RESULT_VARIABLE status OUTPUT_QUIET)
    endif()
  endforeach()
  file(REMOVE_RECURSE ${tree})
  if(NOT status EQUAL 0)
    file(REMOVE ${package} ${package}.part)
    message(FATAL_ERROR "The .deb could not be rebuilt with fixed modes, owners and dates "
      "(${status}). No package was made.")
  endif()
  if(NOT changelog_version STREQUAL CPACK_PACKAGE_VERSION
      OR NOT manual_version STREQUAL CPACK_PACKAGE_VERSION)
    file(REMOVE ${package} ${package}.part)
    message(FATAL_ERROR "The package would be named for ${CPACK_PACKAGE_VERSION}, but its "
      "changelog is of [${changelog_version}] and its manual page of [${manual_version}]. If the "
      "version changed since the build folder was configured, build first (cmake --build), then "
      "run cpack again; otherwise project() in CMakeLists.txt and the top entry of "
      "packaging/changelog name different versions. No package was made.")
  endif()
  file(RENAME ${package}.part ${package})
endforeach()
