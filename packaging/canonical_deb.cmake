# Run by cpack on each finished package. CPack takes modes from the builder's
# umask, both in the files it stages and in the archive members it writes, so
# the .deb is unpacked and built again by dpkg-deb: directories and
# executables 0755, other files 0644 (no setgid bit from a shared folder),
# everything owned by root. A package that cannot be made so is removed.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  set(status 0)
  foreach(step "dpkg-deb;--raw-extract;${package};${tree}" "chmod;-R;u=rwX,go=rX,-s;${tree}"
      "dpkg-deb;--root-owner-group;--build;${tree};${package}.part")
    if(status EQUAL 0)
      execute_process(COMMAND ${step} RESULT_VARIABLE status OUTPUT_QUIET)
    endif()
  endforeach()
  file(REMOVE_RECURSE ${tree})
  if(NOT status EQUAL 0)
    file(REMOVE ${package} ${package}.part)
    message(FATAL_ERROR "The .deb could not be rebuilt with fixed modes and owners (${status}). "
      "No package was made.")
  endif()
  file(RENAME ${package}.part ${package})
endforeach()
