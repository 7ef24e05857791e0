#pragma once
#include "platform/canvas.h"

namespace imptherm {

// Where the pictures of previewed thermal labels go, one picture per label
// at the printer's resolution (a page of one document, or one image file).
class LabelPictures {
 public:
  virtual ~LabelPictures() = default;
  // A white label of that size in printer dots; the canvas is valid until
  // EndLabel.
  virtual Canvas& StartLabel(int widthDots, int heightDots, int dotsPerInch) = 0;
  // copies: how many times the printer prints this picture; more than one
  // is marked on the picture or in its name, the picture is kept once.
  virtual void EndLabel(int copies) = 0;
  // Raises PlatformError when the pictures cannot be written.
  virtual void Finish() = 0;
};

}  // namespace imptherm
