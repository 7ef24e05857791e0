# Builds the MSI package with wixl, then fills in what wixl's WiX subset
# cannot express, with msibuild's SQL on the finished database:
# - the condition of the AllowedSites component (wixl takes no Condition
#   inside a Component);
# - ALLOWEDSITES among the secure properties, so that a managed or elevated
#   install (Group Policy) passes it from the client to the installing
#   service. wixl writes that property itself for the upgrade table, and a
#   second Property element with the same name would collide.
#
# cmake -DWIXL=... -DMSIBUILD=... -DMSIINFO=... -DWXS=... -DPLATFORM=x86|x64
#       -DOCX=... [-DOCX64=...] -DBRIDGE=... -DVERSION=a.b.c.d -DOUTPUT=...
#       -P build_msi.cmake
# OCX is the 32-bit control, OCX64 the 64-bit one (x64 packages only).
foreach(var WIXL MSIBUILD MSIINFO WXS PLATFORM OCX BRIDGE VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build_msi.cmake: ${var} is not set")
  endif()
endforeach()

# Windows Installer compares only the first three fields of a version, and
# this project counts its releases in the fourth: fold it into the third so
# that every release upgrades the one before.
string(REPLACE "." ";" fields "${VERSION}")
list(LENGTH fields count)
if(NOT count EQUAL 4)
  message(FATAL_ERROR "build_msi.cmake: version ${VERSION} is not a.b.c.d")
endif()
list(GET fields 0 major)
list(GET fields 1 minor)
list(GET fields 2 patch)
list(GET fields 3 tweak)
math(EXPR build "${patch} * 1000 + ${tweak}")
if(build GREATER 65535)
  message(FATAL_ERROR "build_msi.cmake: version ${VERSION} does not fit a package version")
endif()
set(msi_version "${major}.${minor}.${build}")

# wixl looks sources up only relative to where it runs, and the two
# controls of an x64 package come from two builds: gather what the package
# holds in one folder.
set(stage "${OUTPUT}.files")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")
file(COPY_FILE "${OCX}" "${stage}/ImpThermOrvane.ocx")
file(COPY_FILE "${BRIDGE}" "${stage}/impthermorvane.exe")
set(ocx64_define)
if(PLATFORM STREQUAL "x64")
  if(NOT DEFINED OCX64)
    message(FATAL_ERROR "build_msi.cmake: an x64 package needs OCX64")
  endif()
  file(COPY_FILE "${OCX64}" "${stage}/ImpThermOrvane64.ocx")
  set(ocx64_define -D "Ocx64=ImpThermOrvane64.ocx")
elseif(NOT PLATFORM STREQUAL "x86")
  message(FATAL_ERROR "build_msi.cmake: PLATFORM is ${PLATFORM}, not x86 or x64")
endif()
get_filename_component(wxs_dir "${WXS}" DIRECTORY)
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND "${WIXL}" -a ${PLATFORM} -I "${wxs_dir}" -D "Platform=${PLATFORM}" -D "Version=${VERSION}"
          -D "MsiVersion=${msi_version}" -D "Ocx=ImpThermOrvane.ocx" ${ocx64_define} -D "Bridge=impthermorvane.exe"
          -o "${OUTPUT}" "${WXS}"
  WORKING_DIRECTORY "${stage}"
  RESULT_VARIABLE result)
file(REMOVE_RECURSE "${stage}")
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "wixl could not build ${OUTPUT}")
endif()

function(msi_query sql)
  execute_process(COMMAND "${MSIBUILD}" "${OUTPUT}" -q "${sql}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "msibuild could not run: ${sql}")
  endif()
endfunction()

msi_query("UPDATE `Component` SET `Condition` = 'ALLOWEDSITES OR REMOVE~=\"ALL\"' WHERE `Component` = 'AllowedSites'")

execute_process(COMMAND "${MSIINFO}" export "${OUTPUT}" Property OUTPUT_VARIABLE properties RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "msiinfo could not read the properties of ${OUTPUT}")
endif()
if(properties MATCHES "\nSecureCustomProperties\t([^\r\n]*)")
  msi_query("UPDATE `Property` SET `Value` = '${CMAKE_MATCH_1};ALLOWEDSITES' WHERE `Property` = 'SecureCustomProperties'")
else()
  msi_query("INSERT INTO `Property` (`Property`, `Value`) VALUES ('SecureCustomProperties', 'ALLOWEDSITES')")
endif()
