# Run by cpack on each finished package. CPack takes modes from the builder's
# umask and a folder's default ACL, dates the folders by the time it works,
# and adds up the folders' sizes, which differ from one file system to
# another. So the .deb is unpacked and built again by dpkg-deb: modes set
# outright (0755 for folders and the program, 0644 for the rest), every
# entry owned by root and dated by SOURCE_DATE_EPOCH, and Installed-Size
# worked out as dpkg-gencontrol does. A package that cannot be made so is
# removed. Only external tools touch the tree: CMake's file() checks access
# with the real user, which an ordinary user's capabilities do not pass.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  # Installed-Size: each file's size in KiB rounded up, and 1 for each other entry.
  set(size 0)
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} RESULT_VARIABLE status OUTPUT_QUIET)
  if(status EQUAL 0)
    execute_process(COMMAND find . -path ./DEBIAN -prune -o ( -type f -o -type l ) -printf "%s\\n" -o -printf "1\\n"
      WORKING_DIRECTORY ${tree} RESULT_VARIABLE status OUTPUT_VARIABLE sizes)
    string(REGEX MATCHALL "[0-9]+" sizes "${sizes}")
    foreach(bytes IN LISTS sizes)
      math(EXPR size "${size} + (${bytes} + 1023) / 1024")
    endforeach()
  endif()
  # dpkg-deb only moves later times back to SOURCE_DATE_EPOCH, so every
  # entry is dated by it first.
  foreach(step "sed;-i;s/^Installed-Size: .*/Installed-Size: ${size}/;${tree}/DEBIAN/control"
      "chmod;-R;u=rw,go=r,a+X,-s;${tree}" "chmod;0755;${tree}/usr/bin/${CPACK_PACKAGE_NAME}"
      "find;${tree};-exec;touch;--no-dereference;--date=@$ENV{SOURCE_DATE_EPOCH};{};+"
      "dpkg-deb;--root-owner-group;--build;${tree};${package}.part")
    if(status EQUAL 0)
      execute_process(COMMAND ${step} RESULT_VARIABLE status OUTPUT_QUIET)
    endif()
  endforeach()
  file(REMOVE_RECURSE ${tree})
  if(NOT status EQUAL 0)
    file(REMOVE ${package} ${package}.part)
    message(FATAL_ERROR "The .deb could not be rebuilt with fixed modes, owners and dates (${status}). "
      "No package was made.")
  endif()
  file(RENAME ${package}.part ${package})
endforeach()
