# Run by CPack on the staged tree of the Debian package, before packing: what
# Debian's policy asks of a package beyond the install rules. Manual pages
# and the changelog compressed with gzip -9n, the machine-readable copyright
# file, the README, and plain 0644 permissions on the plug-in libraries
# (hosts load them; nothing runs them).
set(usr "${CPACK_TEMPORARY_DIRECTORY}/usr")
set(doc "${usr}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")

function(gzip_n file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip failed on ${file}")
  endif()
endfunction()

file(GLOB pages "${usr}/share/man/man*/*.[0-9]")
foreach(page ${pages})
  gzip_n("${page}")
endforeach()

file(COPY "${CPACK_QUORVEL_SOURCE_DIR}/packaging/copyright" DESTINATION "${doc}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(COPY "${CPACK_QUORVEL_SOURCE_DIR}/README.md" DESTINATION "${doc}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gzip_n("${doc}/README.md")

# The changelog's date is the release's, so that the same sources make the
# same package: SOURCE_DATE_EPOCH when set, else the time of packing.
string(TIMESTAMP when "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
  "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Release ${CPACK_PACKAGE_VERSION}.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${when}\n")
gzip_n("${doc}/changelog")

file(GLOB_RECURSE libraries "${usr}/lib/*.so")
foreach(library ${libraries})
  file(CHMOD "${library}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
