# Builds the credential key table into the program. The table must equal the
# one the application server scrambles with; a deployment points
# IMPTHERM_KEY_TABLE_FILE at its own copy (400 letters a-z, any white space
# between them is ignored). The generated header lives in the build tree only.
file(READ "${IMPTHERM_KEY_TABLE_FILE}" _key_text)
string(REGEX REPLACE "[ \t\r\n]" "" _key_text "${_key_text}")
string(LENGTH "${_key_text}" _key_len)
if(NOT _key_len EQUAL 400 OR NOT _key_text MATCHES "^[a-z]+$")
  message(FATAL_ERROR "IMPTHERM_KEY_TABLE_FILE must hold exactly 400 letters a-z (found ${_key_len} characters)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${IMPTHERM_KEY_TABLE_FILE}")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/credential_key_table.h CONTENT
"// Generated from the configured key table file; do not edit.
#pragma once
namespace imptherm {
inline constexpr char kCredentialKeyTable[] = \"${_key_text}\";
}
")
add_custom_target(key_table_header)
