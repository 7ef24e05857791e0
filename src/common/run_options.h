#pragma once
#include <string>

namespace imptherm {

// What the header of the label data file says about the labels that follow.
// A line the file does not reach leaves its value as the driver starts every
// run: French captions, no baggage, no header text, no forced new sheet.
struct LabelFileHeader {
  bool BaggageMode = false;  // first line "ETIQUETTESBAG"
  std::string HeaderText;    // second line, at most 30 characters
  std::string LanguageCode = "FRF";
  int CaptionBase = 0;      // caption bank the language selects
  bool HeaderFlag = false;  // each record starts a new sheet
  bool operator==(const LabelFileHeader&) const = default;
};

// What the stages of one print run read, made by the driver once the label
// data is in: the page's choices and the data file's header. Each stage call
// is handed it; nothing of it outlives the run.
struct RunOptions {
  std::string prnType;      // "0": sheets; any other text names a thermal model
  std::string fileOut;      // the thermal channel
  std::string prnName;      // the printer of the "WIN" channel and of the sheets
  int nbEtiquColis = 0;     // copies of each parcel label
  int nbEtiquPalettes = 0;  // copies of each pallet label
  LabelFileHeader header;
};

}  // namespace imptherm
