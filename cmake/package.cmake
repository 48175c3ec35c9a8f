# What ships and how CPack packs it.
#
# Two layouts come from one set of install rules, told apart by component:
#   archive  the zip (Windows) and tar.gz (Linux): the programs, README,
#            LICENSE and the Java example at the top of the archive;
#   deb      the Debian package: the two launchers as templates under
#            /usr/lib/kestrelbay-launcher, launcher_check on the search path,
#            the documents under /usr/share/doc/kestrelbay-launcher.
# Each CPack generator installs only its component (cmake/cpack_project.cmake.in).

set(KB_PACKAGE_NAME kestrelbay-launcher)
set(KB_MAINTAINER "Kestrelbay Launcher authors <launcher@kestrelbay.org>")

# The example's classes, compiled for Java 8 and later so that a shipper's
# older runtime can run them too.
find_package(Java 1.8 COMPONENTS Development REQUIRED)
set(KB_EXAMPLE_CLASSES ${CMAKE_BINARY_DIR}/package/examples/hello/classes)
add_custom_command(
  OUTPUT ${KB_EXAMPLE_CLASSES}/demo/Hello.class
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KB_EXAMPLE_CLASSES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KB_EXAMPLE_CLASSES}
  COMMAND ${Java_JAVAC_EXECUTABLE} --release 8 -Xlint:-options -encoding UTF-8
          -d ${KB_EXAMPLE_CLASSES} ${CMAKE_SOURCE_DIR}/examples/hello/src/demo/Hello.java
  DEPENDS ${CMAKE_SOURCE_DIR}/examples/hello/src/demo/Hello.java
  COMMENT "Compiling the Java example")
add_custom_target(kb_example_classes ALL DEPENDS ${KB_EXAMPLE_CLASSES}/demo/Hello.class)

# The archives: everything at the top, as a shipper copies it.
set(KB_PROGRAMS launcher_console launcher launcher_check)
if(WIN32)
  list(APPEND KB_PROGRAMS launcher_brand)
endif()
install(TARGETS ${KB_PROGRAMS} RUNTIME DESTINATION . COMPONENT archive)
install(FILES README.md LICENSE DESTINATION . COMPONENT archive)
install(FILES examples/hello/hello.ini DESTINATION examples/hello COMPONENT archive)
install(DIRECTORY ${KB_EXAMPLE_CLASSES} DESTINATION examples/hello COMPONENT archive)

if(NOT WIN32)
  # The Debian package, installed under /usr.
  set(KB_DOC share/doc/${KB_PACKAGE_NAME})
  install(TARGETS launcher_console launcher RUNTIME DESTINATION lib/${KB_PACKAGE_NAME}
          COMPONENT deb)
  install(TARGETS launcher_check RUNTIME DESTINATION bin COMPONENT deb)
  install(FILES LICENSE DESTINATION ${KB_DOC} RENAME copyright COMPONENT deb)
  install(FILES README.md DESTINATION ${KB_DOC} COMPONENT deb)
  install(FILES examples/hello/hello.ini DESTINATION ${KB_DOC}/examples/hello COMPONENT deb)
  install(DIRECTORY ${KB_EXAMPLE_CLASSES} DESTINATION ${KB_DOC}/examples/hello COMPONENT deb)

  # The changelog a Debian package carries, dated at the commit and
  # compressed without a name or time in the gzip header.
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${KB_SOURCE_DATE_EPOCH})
  string(TIMESTAMP KB_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  string(TIMESTAMP KB_MAN_DATE "%Y-%m-%d" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
  set(KB_CHANGELOG ${CMAKE_BINARY_DIR}/package/changelog)
  configure_file(cmake/changelog.in ${KB_CHANGELOG} @ONLY)
  add_custom_command(
    OUTPUT ${KB_CHANGELOG}.gz
    COMMAND gzip -9 -n -c ${KB_CHANGELOG} > ${KB_CHANGELOG}.gz
    DEPENDS ${KB_CHANGELOG}
    COMMENT "Compressing the Debian changelog")
  add_custom_target(kb_changelog ALL DEPENDS ${KB_CHANGELOG}.gz)
  install(FILES ${KB_CHANGELOG}.gz DESTINATION ${KB_DOC} COMPONENT deb)

  # launcher_check's manual page, made from its own --help text.
  set(KB_MANPAGE ${CMAKE_BINARY_DIR}/package/launcher_check.1)
  add_custom_command(
    OUTPUT ${KB_MANPAGE}.gz
    COMMAND $<TARGET_FILE:launcher_check> --help > ${KB_MANPAGE}.help
    COMMAND ${CMAKE_COMMAND} -DHELP=${KB_MANPAGE}.help -DOUT=${KB_MANPAGE}
            -DVERSION=${PROJECT_VERSION} -DDATE=${KB_MAN_DATE}
            -P ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
    COMMAND gzip -9 -n -c ${KB_MANPAGE} > ${KB_MANPAGE}.gz
    DEPENDS launcher_check ${CMAKE_SOURCE_DIR}/cmake/manpage.cmake
    COMMENT "Writing launcher_check's manual page from its --help")
  add_custom_target(kb_manpage ALL DEPENDS ${KB_MANPAGE}.gz)
  install(FILES ${KB_MANPAGE}.gz DESTINATION share/man/man1 COMPONENT deb)
endif()

set(CPACK_PACKAGE_NAME ${KB_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "the Kestrelbay Launcher authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small console launcher for Java applications")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package/out)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF) # linked stripped already
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/package/cpack_project.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/cpack_staged_times.cmake)
set(CPACK_KB_BINARY_DIR ${CMAKE_BINARY_DIR})
set(CPACK_KB_SOURCE_DATE_EPOCH ${KB_SOURCE_DATE_EPOCH})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${KB_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x86)
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  set(CPACK_PACKAGE_FILE_NAME ${KB_PACKAGE_NAME}-${PROJECT_VERSION}-linux-x86_64)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KB_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A shipper copies one of the launchers beside a Java application and renames\n"
    "it after the application. The launcher reads the configuration file named\n"
    "after itself, builds the Java command line, starts the runtime, copies its\n"
    "output into a log and onto the console, and returns its exit code.\n"
    "The launchers are installed as templates under /usr/lib/kestrelbay-launcher;\n"
    "launcher_check shows what a launcher would do with a configuration file.")
endif()
configure_file(cmake/cpack_project.cmake.in ${CPACK_PROJECT_CONFIG_FILE} @ONLY)
include(CPack)
