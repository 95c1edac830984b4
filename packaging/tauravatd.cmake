# The print service's install rules, component "service": the program, its systemd unit
# with the maintainer scripts that enable it, an example configuration in /etc/tauravatd/,
# and an example of the udev rule for the printer's port (the same rule the command-line
# tools ship). Included after the other components' rules.
if(NOT TARGET tauravatd)
  return()
endif()

tauravat_install_program(tauravatd service)
tauravat_install_man(tauravatd.8 service)
# systemd's own directory under the prefix (/usr/lib/systemd/system for Debian).
install(FILES tauravatd.service DESTINATION lib/systemd/system COMPONENT service)
install(FILES 60-kestra-printer.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tauravatd/examples COMPONENT service)
# The example configuration, beside where the configuration goes: /etc/tauravatd under
# /usr (a conffile of the package), <prefix>/etc/tauravatd under any other prefix. The unit
# starts once tauravatd.json is there.
install(CODE "if(CMAKE_INSTALL_PREFIX MATCHES \"^/usr/?$\")
  set(tauravatd_etc /etc/tauravatd)
else()
  set(tauravatd_etc \"\${CMAKE_INSTALL_PREFIX}/etc/tauravatd\")
endif()
file(INSTALL \"${CMAKE_CURRENT_SOURCE_DIR}/tauravatd.json\" DESTINATION \"\${tauravatd_etc}\"
     RENAME tauravatd.json.example)" COMPONENT service)
# The shop's page: the static files of service/web/, where the program looks for them.
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/service/web)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/service/web/
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tauravatd/web COMPONENT service)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/service.md ${PROJECT_SOURCE_DIR}/docs/fleet.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tauravatd COMPONENT service)

set(scripts ${CMAKE_CURRENT_SOURCE_DIR}/debian/tauravatd)
tauravat_debian_package(service tauravatd SECTION net REQUIRES runtime
  CONTROL ${scripts}/postinst ${scripts}/prerm ${scripts}/postrm ${scripts}/conffiles
  SUMMARY "print service for KESTRA fiscal printers"
  DESCRIPTION "tauravatd owns the KESTRA fiscal printers of a till and serves them over
HTTP/JSON: one queue per printer, and a journal that prints every receipt
id at most once, even across a crash. With a systemd unit and an example
udev rule for the printer's port.")
