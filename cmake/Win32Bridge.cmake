# impthermorvane.exe: the browser bridge for Windows, from the same bridge
# sources as the Linux program, over the Win32 backends. Included by
# cmake/Win32.cmake.
#
# Asio, Beast and nlohmann-json are header-only; the cross compiler must not
# see /usr/include itself (glibc's headers would shadow mingw's), so a folder
# of the build tree holds links to just those libraries.
find_path(IMPTHERM_BOOST_INCLUDE boost/asio.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(IMPTHERM_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(IMPTHERM_HEADER_LIBS ${CMAKE_BINARY_DIR}/header-libs)
file(MAKE_DIRECTORY ${IMPTHERM_HEADER_LIBS})
file(CREATE_LINK ${IMPTHERM_BOOST_INCLUDE}/boost ${IMPTHERM_HEADER_LIBS}/boost SYMBOLIC)
file(CREATE_LINK ${IMPTHERM_JSON_INCLUDE}/nlohmann ${IMPTHERM_HEADER_LIBS}/nlohmann SYMBOLIC)

file(GLOB BRIDGE_SOURCES CONFIGURE_DEPENDS src/bridge/*.cpp)
file(GLOB BRIDGE_WIN32_SOURCES CONFIGURE_DEPENDS src/bridge_win32/*.cpp)
set(IMPTHERM_BRIDGE_RC ${CMAKE_SOURCE_DIR}/src/bridge_win32/impthermorvane.rc)
set_source_files_properties(${IMPTHERM_BRIDGE_RC} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/platform/string_table.inc")
add_executable(impthermorvane ${BRIDGE_SOURCES} ${BRIDGE_WIN32_SOURCES} ${IMPTHERM_BRIDGE_RC})
set_target_properties(impthermorvane PROPERTIES OUTPUT_NAME impthermorvane WIN32_EXECUTABLE ON)
target_include_directories(impthermorvane PRIVATE src)
target_include_directories(impthermorvane SYSTEM PRIVATE ${IMPTHERM_HEADER_LIBS})
# Asio: Windows 7 sockets API; Boost's own error category, not its library.
target_compile_definitions(impthermorvane PRIVATE BOOST_ERROR_CODE_HEADER_ONLY BOOST_ASIO_NO_DEPRECATED)
target_link_libraries(impthermorvane PRIVATE impthermwin32 shell32 ws2_32 mswsock ${IMPTHERM_STATIC_RUNTIME})
target_link_options(impthermorvane PRIVATE $<$<CONFIG:Release>:-s>)
