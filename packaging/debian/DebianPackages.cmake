# The Debian packages, one CPack DEB component each. tauravat_debian_package() declares a
# package; packaging/CMakeLists.txt calls it once per package, next to the install rules
# of its component. Only declared components become packages, so an install rule of any
# other component never turns into a package by accident.

set(TAURAVAT_MAINTAINER "The tauravat developers <maintainers@tauravat.invalid>")
set(tauravat_debian_source ${CMAKE_CURRENT_LIST_DIR})
set(tauravat_debian_build ${CMAKE_CURRENT_BINARY_DIR}/debian)

# Writes <output> as `gzip -9n` of <source>: Debian wants manual pages and changelogs
# compressed, and without a name or time stamp in them the packages are reproducible.
find_program(TAURAVAT_GZIP gzip REQUIRED)
function(tauravat_gzip source output)
  string(REGEX REPLACE "\\.gz$" "" uncompressed ${output})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${uncompressed}
    COMMAND ${TAURAVAT_GZIP} -9nf ${uncompressed}
    DEPENDS ${source} VERBATIM)
  set_property(GLOBAL APPEND PROPERTY TAURAVAT_GZIP_OUTPUTS ${output})
endfunction()

# copyright: machine-readable, with LICENSE's holder and text (LICENSE stays the one
# place they are written).
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(.*)")
  message(FATAL_ERROR "LICENSE: expected a \"Copyright (c)\" line, a blank line, the text")
endif()
set(license_holder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text " ${license_text}")
configure_file(${tauravat_debian_source}/copyright.in ${tauravat_debian_build}/copyright @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE ${tauravat_debian_source}/changelog)

# The package version is the project's; the changelog's latest entry must say so.
file(STRINGS ${tauravat_debian_source}/changelog changelog_head LIMIT_COUNT 1)
string(REPLACE "." "\\." version_pattern "${PROJECT_VERSION}")
if(NOT changelog_head MATCHES "^tauravat \\(${version_pattern}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the latest entry is \"${changelog_head}\"; "
                      "add an entry for version ${PROJECT_VERSION}")
endif()
tauravat_gzip(${tauravat_debian_source}/changelog ${tauravat_debian_build}/changelog.gz)

# tauravat_debian_package(<component> <package>
#     SECTION <section> SUMMARY <one line> DESCRIPTION <paragraph>
#     [REQUIRES <component>...]   packages of this build it needs, at this very version
#     [DEPENDS <relation>...]     other Depends ("python3"); shared libraries are found
#                                 by dpkg-shlibdeps
#     [RECOMMENDS <relation>...]
#     [SUGGESTS <relation>...]
#     [ARCHITECTURE all]
#     [CONTROL <file>...]         control files of its own: maintainer scripts, conffiles
#     [SHARED_LIBRARY])           it holds a shared library: ldconfig runs after it
# Declares Debian package <package> holding the install rules of <component>, and gives
# it /usr/share/doc/<package>/copyright and changelog.gz.
function(tauravat_debian_package component package)
  cmake_parse_arguments(PARSE_ARGV 2 arg "SHARED_LIBRARY" "SECTION;SUMMARY;DESCRIPTION;ARCHITECTURE"
                        "REQUIRES;DEPENDS;RECOMMENDS;SUGGESTS;CONTROL")
  string(TOUPPER ${component} id)
  set(CPACK_DEBIAN_${id}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${id}_PACKAGE_SECTION ${arg_SECTION} PARENT_SCOPE)
  set(CPACK_DEBIAN_${id}_DESCRIPTION "${arg_SUMMARY}\n${arg_DESCRIPTION}" PARENT_SCOPE)
  set(CPACK_COMPONENT_${id}_DEPENDS ${arg_REQUIRES} PARENT_SCOPE)
  if(arg_DEPENDS)
    list(JOIN arg_DEPENDS ", " depends)
    set(CPACK_DEBIAN_${id}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  endif()
  if(arg_RECOMMENDS)
    list(JOIN arg_RECOMMENDS ", " recommends)
    set(CPACK_DEBIAN_${id}_PACKAGE_RECOMMENDS "${recommends}" PARENT_SCOPE)
  endif()
  if(arg_SUGGESTS)
    list(JOIN arg_SUGGESTS ", " suggests)
    set(CPACK_DEBIAN_${id}_PACKAGE_SUGGESTS "${suggests}" PARENT_SCOPE)
  endif()
  if(arg_ARCHITECTURE)
    set(CPACK_DEBIAN_${id}_PACKAGE_ARCHITECTURE ${arg_ARCHITECTURE} PARENT_SCOPE)
  endif()
  set(control ${arg_CONTROL})
  if(arg_SHARED_LIBRARY)
    list(APPEND control ${tauravat_debian_source}/triggers)
  endif()
  if(control)
    set(CPACK_DEBIAN_${id}_PACKAGE_CONTROL_EXTRA "${control}" PARENT_SCOPE)
  endif()
  set_property(GLOBAL APPEND PROPERTY TAURAVAT_DEBIAN_COMPONENTS ${component})
  install(FILES ${tauravat_debian_build}/copyright ${tauravat_debian_build}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

# Builds the compressed files, then sets up CPack for the packages declared so far. Called
# once, after the last package.
macro(tauravat_debian_packages_done)
  get_property(gzip_outputs GLOBAL PROPERTY TAURAVAT_GZIP_OUTPUTS)
  add_custom_target(tauravat_compressed_docs ALL DEPENDS ${gzip_outputs})

  get_property(CPACK_COMPONENTS_ALL GLOBAL PROPERTY TAURAVAT_DEBIAN_COMPONENTS)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tauravat)
  set(CPACK_PACKAGE_VENDOR "The tauravat developers")
  set(CPACK_PACKAGE_CONTACT "${TAURAVAT_MAINTAINER}")
  # Each package has its own synopsis; CPack would put the project's in front of it.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  # Library dependencies come from dpkg-shlibdeps. It finds libtauravat.so.10 in the
  # build tree and leaves it to REQUIRES, which pins the version built with it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  get_target_property(library_dir tauravat BINARY_DIR)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_dir})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endmacro()
