# What "cmake --install <build> --prefix <prefix>" puts where. After it, "<prefix>/bin/Zorrun
# -RegServer" registers the installed program with the settings store and the session bus.
include(GNUInstallDirs)

# The programs: the driver, its run client, the settings editor and the instrument simulator
# (for trying the driver without an instrument).
foreach(program Zorrun zorctl zorreg zorsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The host's plug-in, loaded by the data system from the path its registration names.
if(TARGET zorsetup)
  install(TARGETS zorsetup LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zor)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zor/examples)
install(FILES ${PROJECT_SOURCE_DIR}/man/Zorrun.1 ${PROJECT_SOURCE_DIR}/man/zorctl.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The install into a scratch prefix, registration from there, and a call through the bus.
if(ZOR_BUILD_TESTS AND TARGET Zorrun AND TARGET zorctl AND TARGET zorreg)
  add_test(NAME install_into_a_prefix_registers_the_installed_zorrun
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-install ${CMAKE_BINARY_DIR})
  set_tests_properties(install_into_a_prefix_registers_the_installed_zorrun PROPERTIES LABELS e2e TIMEOUT 300)
endif()
