# The installation's system-wide files and the Debian package made from it
# (`cmake --build --preset default --target package`).
#
# What an installation under PREFIX holds besides the programs and the module:
#   share/components/registry.d/Tessik.reg   Tessik's registration for every user
#   share/metainfo/org.example.talhaz.metainfo.xml   the AppStream description
#   share/man/man1/{Talhaz,component,tessik}.1.gz   the manual pages
#   share/bash-completion/completions/tessik   tessik's completion
#   share/doc/talhaz/{copyright,changelog.Debian.gz}

# Hosts refuse modules and registrations in folders that others can write,
# whatever the umask of the one who installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(package_files ${CMAKE_BINARY_DIR}/package-files)
set(registration_folder share/components/registry.d)

# Tessik's registration, written by the component tool from the module itself
# and then made relative: hosts resolve a module path in a drop-in file
# against the file's folder, so the same file works under any prefix.
file(RELATIVE_PATH module_folder /${registration_folder} /${PROJECT_PRIVATE_LIBRARY_DIR})
add_custom_command(OUTPUT ${package_files}/Tessik.reg
  COMMAND ${CMAKE_COMMAND} -E rm -f ${package_files}/absolute.reg
  # A sanitizer build's leak report is no failure of the registration.
  COMMAND ${CMAKE_COMMAND} -E env COMPONENT_REGISTRY=${package_files}/absolute.reg
    ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:component> register $<TARGET_FILE:Tessik>
  COMMAND ${CMAKE_COMMAND} -DREGISTRY=${package_files}/absolute.reg -DMODULE=$<TARGET_FILE:Tessik>
    -DRELATIVE=${module_folder}/$<TARGET_FILE_NAME:Tessik> -DOUTPUT=${package_files}/Tessik.reg
    -P ${CMAKE_CURRENT_LIST_DIR}/RelativeRegistration.cmake
  DEPENDS component Tessik ${CMAKE_CURRENT_LIST_DIR}/RelativeRegistration.cmake
  COMMENT "Writing Tessik's system registration"
  VERBATIM)
set(generated_files ${package_files}/Tessik.reg)
install(FILES ${package_files}/Tessik.reg DESTINATION ${registration_folder})

# Compressed as Debian wants them: gzip -9, no name or time stamp inside.
function(install_gzipped source destination)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${package_files}/${name}.gz
    COMMAND gzip -9nc ${source} > ${package_files}/${name}.gz
    DEPENDS ${source}
    VERBATIM)
  install(FILES ${package_files}/${name}.gz DESTINATION ${destination})
  set(generated_files ${generated_files} ${package_files}/${name}.gz PARENT_SCOPE)
endfunction()

set(PACKAGE_MANUAL_DIR ${PROJECT_SOURCE_DIR}/docs/man CACHE PATH
  "Folder holding the manual page sources Talhaz.1, component.1 and tessik.1")
foreach(page Talhaz.1 component.1 tessik.1)
  if(EXISTS ${PACKAGE_MANUAL_DIR}/${page})
    install_gzipped(${PACKAGE_MANUAL_DIR}/${page} share/man/man1)
  else()
    message(WARNING "${PACKAGE_MANUAL_DIR}/${page} is missing: it is left out of the installation")
  endif()
endforeach()

install_gzipped(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian share/doc/talhaz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/talhaz)
install(FILES ${PROJECT_SOURCE_DIR}/resources/talhaz.metainfo.xml DESTINATION share/metainfo
  RENAME org.example.talhaz.metainfo.xml)

add_custom_target(package_files ALL DEPENDS ${generated_files})

# The changelog's latest entry names the version the package carries.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian changelog_head LIMIT_COUNT 1)
set(package_version ${PROJECT_VERSION}-1)
if(NOT changelog_head MATCHES "^talhaz \\(${package_version}\\) ")
  message(WARNING "packaging/changelog.Debian has no entry for ${package_version} at its top")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talhaz)
set(CPACK_PACKAGE_VENDOR "Talhaz developers")
set(CPACK_PACKAGE_CONTACT "Talhaz developers <talhaz@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file splitter and joiner, exact to the byte")
set(CPACK_PACKAGE_DESCRIPTION
  "Talhaz cuts a file into a numbered set of plain fragment files (its name
with .1, .2, ... appended) and puts such a set back together byte for byte.
Every split also writes a SHA-256 checksum file in the format of sha256sum,
against which every join is checked.

The package holds the window program Talhaz, the Tessik component that does
the work, registered for every user, and the command-line tool component,
which registers components and calls them from scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Revision 1 of the Debian packaging of this version: its changelog is
# changelog.Debian.gz, and the file is talhaz_<version>-1_amd64.deb.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://talhaz.example.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Tessik loads libcrypto only to hash and libgf-complete only to compute
# recovery data, so the libraries' own dependencies do not name them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3, libgf-complete1")
include(CPack)
