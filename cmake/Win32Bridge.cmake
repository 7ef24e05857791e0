# impthermorvane.exe: the browser bridge for Windows, the bridge library (the
# same sources as the Linux program's, with Asio, Beast and nlohmann-json)
# over the Win32 backends. Included by cmake/Win32.cmake.
file(GLOB BRIDGE_WIN32_SOURCES CONFIGURE_DEPENDS src/bridge_win32/*.cpp)
set(IMPTHERM_BRIDGE_RC ${CMAKE_SOURCE_DIR}/src/bridge_win32/impthermorvane.rc)
set_source_files_properties(${IMPTHERM_BRIDGE_RC} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/platform/string_table.inc")
add_executable(impthermorvane ${BRIDGE_WIN32_SOURCES} ${IMPTHERM_BRIDGE_RC})
# No console window when started at logon; see UseParentConsole in main.cpp.
set_target_properties(impthermorvane PROPERTIES WIN32_EXECUTABLE ON)
target_include_directories(impthermorvane PRIVATE src)
target_link_libraries(impthermorvane PRIVATE impthermbridge impthermwin32 impthermcore shell32 ${IMPTHERM_STATIC_RUNTIME})
target_link_options(impthermorvane PRIVATE $<$<CONFIG:Release>:-s>)
