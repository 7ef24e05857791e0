#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/job_sink.h"
#include "platform/label_pictures.h"

namespace imptherm {

// The printer sizes the preview knows. A print head is at most
// kHeadWidthInches wide; no label is longer than kMaxLabelInches, so no job
// can ask for a picture larger than the printer could print.
inline constexpr double kHeadWidthInches = 4.1;
inline constexpr int kMaxLabelInches = 30;
inline constexpr int kDefaultLabelInches = 6;
// The widest label in dots at 203 or 300 dpi (the head's dots).
int MaxLabelWidthDots(int dotsPerInch);
int MaxLabelLengthDots(int dotsPerInch);

// Text in the printer's code page 850 (what `I8,1` selects) as Windows-1252
// for the canvas; a character that Windows-1252 lacks (box drawing) is '?'.
std::string Cp850ToCp1252(std::string_view text);

struct PreviewOptions {
  int dotsPerInch = 203;  // 203 or 300
  // The label's size in dots when the job does not set it (q and Q); 0: the
  // head's width and kDefaultLabelInches.
  int labelWidth = 0, labelLength = 0;
};

// A line of the job that was not drawn as written, and why. The bytes of the
// job it quotes have their control bytes written as \xNN.
struct PreviewNote {
  std::size_t line = 0;
  std::string text;
};

// Draws an EPL2 job as the printer would print it: every P prints the image
// buffer built since the last N, as one picture marked with its number of
// copies. Bytes arrive in pieces of any size (a job is never held whole).
class EplPreview final : public JobSink {
 public:
  EplPreview(LabelPictures& pictures, PreviewOptions options);
  ~EplPreview() override;

  void Write(std::string_view piece) override;
  // The last line, when the job does not end with a line end.
  void Finish();

  int labels() const { return labels_; }
  // The first kMaxNotes notes; notesLeftOut() counts the others.
  const std::vector<PreviewNote>& notes() const { return notes_; }
  std::size_t notesLeftOut() const { return notesLeftOut_; }
  static constexpr std::size_t kMaxNotes = 200;
  // An EPL2 command line is short; a longer one is refused whole.
  static constexpr std::size_t kMaxLineLength = 16 * 1024;
  // The image buffer of a printer holds a bounded number of fields too.
  static constexpr std::size_t kMaxElements = 4096;

  struct Element;

 private:
  void Line(std::string_view line);
  void Note(std::string text);
  void Print(int copies);
  bool Text(std::string_view args);
  bool Barcode(std::string_view args);

  LabelPictures& pictures_;
  PreviewOptions options_;
  std::string partial_;
  bool overlong_ = false;
  std::size_t lineNumber_ = 0;
  std::vector<Element> elements_;
  int width_ = 0, length_ = 0;
  int refX_ = 0, refY_ = 0;
  bool fromBottom_ = false;
  bool codePage850_ = false;
  int labels_ = 0;
  std::vector<PreviewNote> notes_;
  std::size_t notesLeftOut_ = 0;
};

}  // namespace imptherm
