#pragma once
// Published examples of every symbology the preview draws, with their known
// answers: the line under the bars (check digit included), and the widths of
// the bars and spaces written from the symbology's own character tables, bar
// first ('n' and 'w' a narrow and a wide element, a digit that many modules;
// a space between characters for the reader). zint 2.11 draws the same bars.
// The preview test draws each one and has zbarimg read it back.
namespace imptherm {

struct PublishedBarcode {
  const char* type;  // the EPL2 barcode type of the B command
  const char* data;
  const char* readable;  // nullptr: the symbology cannot carry the data
  const char* elements;
  const char* zbarOptions;  // what zbarimg 0.23 needs to read the symbol
  const char* zbarReads;    // its "SYMBOLOGY:data" line
};

inline constexpr PublishedBarcode kPublishedBarcodes[] = {
    // The worked example of ISO/IEC 15417: Start B, A, I, M, CODE C, 12, 34,
    // the check character 87, Stop.
    {"1", "AIM1234", "AIM1234", "211214 111323 231311 113123 113141 112232 131123 421112 2331112", "",
     "CODE-128:AIM1234"},
    // Code 39: "*", "A", "1", "*", a narrow space between characters.
    {"3", "A1", "A1", "nwnnwnwnn n wnnnnwnnw n wnnwnnnnw n nwnnwnwnn", "", "CODE-39:A1"},
    // Full ASCII: "a" is "+A", which a scanner not set for full ASCII reads as it is.
    {"3", "a", "a", "nwnnwnwnn n nwnnnwnwn n wnnnnwnnw n nwnnwnwnn", "", "CODE-39:+A"},
    {"3", "\xE9", nullptr, "", "", ""},
    // Interleaved 2 of 5: start, the pair "12" (1 in the bars, 2 in the
    // spaces), stop; an odd count gets a leading 0. zbarimg wants 6 digits
    // unless told otherwise.
    {"2", "12", "12", "nnnn wnnwnnnnww wnn", "-Si25.min-length=2", "I2/5:12"},
    {"2", "123", "0123", "nnnn nwnnwnwnnw nwwwnnnnwn wnn", "-Si25.min-length=2", "I2/5:0123"},
    {"2", "12A", nullptr, "", "", ""},
    // EAN-13 4006381333931: check digit 1, the first digit 4 read from the
    // sets of the left half (A B A A B B).
    {"E30", "400638133393", "4006381333931",
     "111 3211 1123 1114 1411 3121 1222 11111 1411 1411 1411 3112 1411 2221 111", "", "EAN-13:4006381333931"},
    // 5901234123457 given with its check digit 7: 5 is A B B A A B.
    {"E30", "5901234123457", "5901234123457",
     "111 3112 1123 1222 2122 1411 2311 11111 2221 2122 1411 1132 1231 1312 111", "", "EAN-13:5901234123457"},
    {"E30", "4006381333932", nullptr, "", "", ""},
    // UPC-A 036000291452: check digit 2, the left half all set A. zbarimg
    // reports a UPC-A as an EAN-13 unless UPC-A is enabled.
    {"UA0", "03600029145", "036000291452", "111 3211 1411 1114 3211 3211 3211 11111 2122 3112 2221 1132 1231 2122 111",
     "-Supca.enable", "UPC-A:036000291452"},
};

}  // namespace imptherm
