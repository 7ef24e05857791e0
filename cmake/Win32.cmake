# The ActiveX control ImpThermOrvane.ocx and its Wine test host, cross-built
# with mingw-w64 for 32-bit (i686) or 64-bit (x86_64) Windows, after the
# toolchain file. The type library comes from our IDL through widl, which
# needs the system IDL files of libwine-dev and a stdole2.tlb that a Wine
# library installs (the 32-bit and the 64-bit one give the same result).
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(IMPTHERM_WINDOWS_BITS 64)
else()
  set(IMPTHERM_WINDOWS_BITS 32)
endif()
find_program(IMPTHERM_WIDL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-widl widl REQUIRED)
find_path(IMPTHERM_WINE_IDL_DIR ocidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(IMPTHERM_STDOLE_DIR stdole2.tlb
  PATHS /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows /usr/lib32/wine/i386-windows
        /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

set(IMPTHERM_CONTROL_GEN ${CMAKE_BINARY_DIR}/control)
set(IMPTHERM_IDL ${CMAKE_SOURCE_DIR}/src/control/ImpThermOrvane.idl)
# -m64 makes a 64-bit type library (SYSKIND win64); a 64-bit control holding
# a 32-bit one would be registered under TypeLib\...\0\win32.
set(IMPTHERM_WIDL_FLAGS -m${IMPTHERM_WINDOWS_BITS} -I${IMPTHERM_WINE_IDL_DIR} -L${IMPTHERM_STDOLE_DIR})
add_custom_command(
  OUTPUT ${IMPTHERM_CONTROL_GEN}/ImpThermOrvane.tlb ${IMPTHERM_CONTROL_GEN}/ImpThermOrvane_h.h
  COMMAND ${CMAKE_COMMAND} -E make_directory ${IMPTHERM_CONTROL_GEN}
  COMMAND ${IMPTHERM_WIDL} ${IMPTHERM_WIDL_FLAGS} -t -o ${IMPTHERM_CONTROL_GEN}/ImpThermOrvane.tlb ${IMPTHERM_IDL}
  COMMAND ${IMPTHERM_WIDL} ${IMPTHERM_WIDL_FLAGS} -h -o ${IMPTHERM_CONTROL_GEN}/ImpThermOrvane_h.h ${IMPTHERM_IDL}
  DEPENDS ${IMPTHERM_IDL}
  COMMENT "Compiling the type library with widl")
add_custom_target(impthermtypelib DEPENDS
  ${IMPTHERM_CONTROL_GEN}/ImpThermOrvane.tlb ${IMPTHERM_CONTROL_GEN}/ImpThermOrvane_h.h)

set(IMPTHERM_WIN32_DEFINES WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0700)
set(IMPTHERM_WIN32_LIBS ole32 oleaut32 uuid user32 gdi32 advapi32 winspool ws2_32 secur32)

set(IMPTHERM_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The Win32 backend of the platform interfaces.
imptherm_backend(impthermwin32 win32)
target_compile_definitions(impthermwin32 PUBLIC ${IMPTHERM_WIN32_DEFINES})
target_link_libraries(impthermwin32 PUBLIC ${IMPTHERM_WIN32_LIBS})

# The control itself.
file(GLOB CONTROL_SOURCES CONFIGURE_DEPENDS src/control/*.cpp)
set(IMPTHERM_RC ${CMAKE_SOURCE_DIR}/src/control/ImpThermOrvane.rc)
set_source_files_properties(${IMPTHERM_RC} PROPERTIES OBJECT_DEPENDS
  "${IMPTHERM_CONTROL_GEN}/ImpThermOrvane.tlb;${CMAKE_SOURCE_DIR}/src/control/toolbox.bmp;${CMAKE_SOURCE_DIR}/src/platform/string_table.inc")
add_library(ImpThermOrvane SHARED ${CONTROL_SOURCES} ${IMPTHERM_RC} src/control/ImpThermOrvane.def)
add_dependencies(ImpThermOrvane impthermtypelib)
set_target_properties(ImpThermOrvane PROPERTIES PREFIX "" SUFFIX ".ocx" OUTPUT_NAME ImpThermOrvane)
target_include_directories(ImpThermOrvane PRIVATE src ${IMPTHERM_CONTROL_GEN} ${CMAKE_SOURCE_DIR}/src/control)
target_link_libraries(ImpThermOrvane PRIVATE impthermwin32 impthermcore ${IMPTHERM_STATIC_RUNTIME} -Wl,--enable-stdcall-fixup)
# What is shipped carries no symbols.
target_link_options(ImpThermOrvane PRIVATE $<$<CONFIG:Release>:-s>)

include(cmake/Win32Bridge.cmake)

# The MSI package that administrators deploy (msiexec, Group Policy), built
# by wixl from installer/ImpThermOrvane.wxs; msitools finishes what wixl's
# WiX subset cannot say (see installer/build_msi.cmake). The 32-bit build
# makes the x86 package. The 64-bit build makes the x64 package, which also
# holds the 32-bit control: IMPTHERM_OCX32 names that build's
# ImpThermOrvane.ocx (without it there is no x64 package).
find_program(IMPTHERM_WIXL wixl REQUIRED)
find_program(IMPTHERM_MSIBUILD msibuild REQUIRED)
find_program(IMPTHERM_MSIINFO msiinfo REQUIRED)
set(IMPTHERM_OCX32 "" CACHE FILEPATH "The 32-bit ImpThermOrvane.ocx that the x64 MSI package holds")
if(IMPTHERM_WINDOWS_BITS EQUAL 32)
  set(IMPTHERM_MSI ${CMAKE_BINARY_DIR}/ImpThermOrvane-${PROJECT_VERSION}.msi)
  set(IMPTHERM_MSI_CONTROLS -DPLATFORM=x86 -DOCX=$<TARGET_FILE:ImpThermOrvane>)
elseif(IMPTHERM_OCX32)
  set(IMPTHERM_MSI ${CMAKE_BINARY_DIR}/ImpThermOrvane-${PROJECT_VERSION}-x64.msi)
  set(IMPTHERM_MSI_CONTROLS -DPLATFORM=x64 -DOCX=${IMPTHERM_OCX32} -DOCX64=$<TARGET_FILE:ImpThermOrvane>)
else()
  message(STATUS "No x64 MSI package: IMPTHERM_OCX32 does not name the 32-bit build's ImpThermOrvane.ocx")
endif()
if(IMPTHERM_MSI)
  get_filename_component(IMPTHERM_MSI_NAME ${IMPTHERM_MSI} NAME)
  add_custom_command(
    OUTPUT ${IMPTHERM_MSI}
    COMMAND ${CMAKE_COMMAND} -DWIXL=${IMPTHERM_WIXL} -DMSIBUILD=${IMPTHERM_MSIBUILD} -DMSIINFO=${IMPTHERM_MSIINFO}
            -DWXS=${CMAKE_SOURCE_DIR}/installer/ImpThermOrvane.wxs ${IMPTHERM_MSI_CONTROLS}
            -DBRIDGE=$<TARGET_FILE:impthermorvane>
            -DVERSION=${PROJECT_VERSION} -DOUTPUT=${IMPTHERM_MSI} -P ${CMAKE_SOURCE_DIR}/installer/build_msi.cmake
    DEPENDS ImpThermOrvane impthermorvane ${IMPTHERM_OCX32} ${CMAKE_SOURCE_DIR}/installer/ImpThermOrvane.wxs
            ${CMAKE_SOURCE_DIR}/installer/control_registration.wxi ${CMAKE_SOURCE_DIR}/installer/build_msi.cmake
    COMMENT "Building ${IMPTHERM_MSI_NAME} with wixl")
  add_custom_target(impthermmsi ALL DEPENDS ${IMPTHERM_MSI})
endif()

# The test host that runs under Wine: an independent client of the control.
add_executable(control_host tests/win32/control_host.cpp)
target_compile_definitions(control_host PRIVATE ${IMPTHERM_WIN32_DEFINES})
target_link_libraries(control_host PRIVATE ${IMPTHERM_WIN32_LIBS} version urlmon ${IMPTHERM_STATIC_RUNTIME})
set_target_properties(control_host PROPERTIES WIN32_EXECUTABLE OFF)

# Checks of the Win32 backend on its own, also run under Wine.
add_executable(backend_test tests/win32/backend_test.cpp)
target_link_libraries(backend_test PRIVATE impthermwin32 impthermcore ${IMPTHERM_STATIC_RUNTIME})

# Checks of the network and profile backends (and of the bridge's owner of a
# connection) against loopback sockets and real files, also run under Wine.
add_executable(net_profile_test tests/win32/net_profile_test.cpp)
target_link_libraries(net_profile_test PRIVATE impthermwin32 impthermcore impthermbridge ${IMPTHERM_STATIC_RUNTIME})

# The proxy credentials dialog, driven as a person would, also under Wine.
add_executable(proxy_dialog_test tests/win32/proxy_dialog_test.cpp)
target_link_libraries(proxy_dialog_test PRIVATE impthermwin32 impthermcore ${IMPTHERM_STATIC_RUNTIME})

# Checks of the Win32 device backends (serial and parallel ports), run under
# Wine against a pseudo-terminal pair and a file that the runner maps in.
add_executable(device_test tests/win32/device_test.cpp)
target_link_libraries(device_test PRIVATE impthermwin32 impthermcore ${IMPTHERM_STATIC_RUNTIME})

# Checks of the Win32 sheet backends: GDI drawing, drawn documents and the
# position chooser, driven on Wine's virtual display.
add_executable(sheet_test tests/win32/sheet_test.cpp)
target_link_libraries(sheet_test PRIVATE impthermwin32 impthermcore ${IMPTHERM_STATIC_RUNTIME})

enable_testing()
add_test(NAME wine_control
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/win32/run_wine_tests.sh ${CMAKE_BINARY_DIR})
set_tests_properties(wine_control PROPERTIES TIMEOUT 960 LABELS wine)

# The width of this build, for tests/win32/run_wine_tests.sh.
file(WRITE ${CMAKE_BINARY_DIR}/windows_bits.txt "${IMPTHERM_WINDOWS_BITS}\n")
