// Printer configuration files as the profile functions read and edit them,
// one table for both backends: the POSIX unit test and the Win32 test under
// Wine run every row against real files.
#pragma once

namespace imptherm::cases {

struct ProfileFileCase {
  const char* name;
  const char* before;  // the file's bytes; nullptr: no file
  const char* section;
  const char* key;    // nullptr: read the whole section
  const char* write;  // the value to write; nullptr: read
  // A read: the value, or the section's entries as "key=value\n" lines.
  // A write: the file's bytes afterwards, every other byte kept in place.
  const char* expected;
  // Where Wine's answer differs: Wine lays the whole file out anew when it
  // writes (CR LF everywhere, no blank lines, no blanks around '=', section
  // headers cut at ']'); Windows edits the one line in place.
  const char* wine = nullptr;
};

inline constexpr ProfileFileCase kProfileFileCases[] = {
    {"missing file", nullptr, "S", "k", nullptr, ""},
    {"first of two keys", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", nullptr, "1"},
    {"first of two sections", "[S]\r\nA=1\r\n[T]\r\n[s]\r\nB=2\r\n", "S", "B", nullptr, ""},
    {"names in any case, blanks around", "[zebra 2844]\r\n\t PARAM02 =  S3  \r\n", "ZEBRA 2844", "Param02", nullptr,
     "S3"},
    {"no comment after a value", "[S]\r\nA=1 ; note\r\n", "S", "A", nullptr, "1 ; note"},
    {"quotes around a value go", "[S]\r\nA=\"q\"\r\n", "S", "A", nullptr, "q"},
    {"a lone CR ends a line", "[S]\rA=1\rB=2\r", "S", "B", nullptr, "2"},
    {"section entries in file order", "[S]\r\n; c\r\n  k  =  v  \r\njunk\r\nA=\"q\"\r\n\r\nk=dup\r\n[T]\r\nx=1\r\n",
     "S", nullptr, nullptr, "k=v\nA=\"q\"\nk=dup\n"},
    {"new file", nullptr, "ZEBRA S4M", "Param01", "N", "[ZEBRA S4M]\r\nParam01=N\r\n"},
    {"first of two keys written", "[S]\r\nk=1\r\nK=2\r\n", "S", "K", "3", "[S]\r\nk=3\r\nK=2\r\n"},
    {"into the first of two sections", "[S]\r\nA=1\r\n[T]\r\n[S]\r\nB=2\r\n", "S", "B", "3",
     "[S]\r\nA=1\r\nB=3\r\n[T]\r\n[S]\r\nB=2\r\n"},
    {"LF line ends and comments kept", "; head\n[S]\nA=1\nB=2\n; tail\n", "S", "A", "9",
     "; head\n[S]\nA=9\nB=2\n; tail\n", "; head\r\n[S]\r\nA=9\r\nB=2\r\n; tail\r\n"},
    {"lines without '=' and a last comment kept", "[S]\r\njunk line\r\nA=1\r\n; last words", "S", "A", "2",
     "[S]\r\njunk line\r\nA=2\r\n; last words", "[S]\r\njunk line\r\nA=2\r\n; last words\r\n"},
    {"the key's line loses its blanks", "[S]\r\n  k  =  v  \r\nB = 1\r\n", "S", "K", "w", "[S]\r\nk=w\r\nB = 1\r\n",
     "[S]\r\nk=w\r\nB=1\r\n"},
    {"new key before the blank lines", "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n", "S", "C", "3",
     "[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\nB=2\r\n", "[S]\r\nA=1\r\nC=3\r\n[T]\r\nB=2\r\n"},
    {"new key after a last line without line end", "  [ S ] x\r\nA=1", "S", "B", "2", "  [ S ] x\r\nA=1\r\nB=2\r\n",
     "[S]\r\nA=1\r\nB=2\r\n"},
    {"new section at the end", "[S]\r\nA=1", "New", "x", "y z", "[S]\r\nA=1\r\n[New]\r\nx=y z\r\n"},
    {"same value, same bytes", "[S]\nA=1\n\n", "S", "a", "1", "[S]\nA=1\n\n"},
};

}  // namespace imptherm::cases
