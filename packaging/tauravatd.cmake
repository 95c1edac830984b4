# The print service's install rules, component "service": the program, its systemd unit,
# and examples of its configuration and of the udev rule for the printer's port (the same
# rule the command-line tools ship). Included after the other components' rules.
if(NOT TARGET tauravatd)
  return()
endif()

tauravat_install_program(tauravatd service)
tauravat_install_man(tauravatd.8 service)
# systemd's own directory under the prefix (/usr/lib/systemd/system for Debian).
install(FILES tauravatd.service DESTINATION lib/systemd/system COMPONENT service)
install(FILES tauravatd.json 60-kestra-printer.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tauravatd/examples COMPONENT service)
# The shop's page, where the program looks for it: PREFIX/share/tauravatd/web.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/service/web/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tauravatd/web COMPONENT service)
install(FILES ${PROJECT_SOURCE_DIR}/docs/service.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tauravatd COMPONENT service)

tauravat_debian_package(service tauravatd SECTION net REQUIRES runtime
  SUMMARY "print service for KESTRA fiscal printers"
  DESCRIPTION "tauravatd owns the KESTRA fiscal printers of a till and serves them over
HTTP/JSON: one queue per printer, and a journal that prints every receipt
id at most once, even across a crash. With a systemd unit and an example
udev rule for the printer's port.")
